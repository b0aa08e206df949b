// aimset-atspi-dump: prints the element tree of an application's focused
// window as JSON, read through AT-SPI. The app runs it as a separate process
// because libatspi misbehaves inside a Qt program, and so that a hung or huge
// application can only ever cost the app the deadline it puts on this one.
//
// Usage: aimset-atspi-dump [--full] [--max-depth N] [--max-text N]
//                          [--call-timeout MS] PID
//
// Output: {"calls":N,"stoppedEarly":B,"window":ELEMENT|null}, where ELEMENT is
// {"role":R,"text":T,"name":N,"description":D,"children":[ELEMENT...]} with
// absent members for what could not be read. Password fields appear as
// {"role":"password text"} and nothing of them or inside them is read: fields
// the toolkit marks as such, and text entries that show a password in plain
// text, as far as the tree tells (see SecretFields below).
//
// When the window shows a web document (a browser's page), the element
// printed is that document: the page of the tab on show, without the tab
// strip, toolbar and bookmarks around it. Otherwise it is the whole window.
//
// The reader of this output walks it depth first, joins the texts (text, name,
// description of each element) with single spaces and keeps the first
// max-text grapheme clusters of elements above max-depth. So this program reads
// nothing that deep, and unless --full is given it stops as soon as the texts
// read so far hold more than max-text clusters: the kept text is then the same
// as after a full walk.

#include <QJsonArray>
#include <QJsonDocument>
#include <QString>
#include <QTextBoundaryFinder>

#include <atspi/atspi.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace {

struct Options {
    long pid = -1;
    int maxDepth = 15;
    long maxText = 4000;
    bool stopEarly = true;
    int callTimeoutMs = 2000;
};

// Counts the grapheme clusters of the joined texts as they grow. The space
// between two texts can only join the cluster before it or the one after it,
// so the last cluster and the new text are all that need looking at.
class ClusterCounter {
public:
    void append(std::string_view part) {
        QString text = m_last;
        if (m_anyPart) {
            text += QLatin1Char(' ');
        }
        m_anyPart = true;
        text += QString::fromUtf8(part.data(), static_cast<qsizetype>(part.size()));
        QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text);
        qsizetype lastStart = 0;
        long found = 0;
        while (clusters.position() < text.size()) {
            lastStart = clusters.position();
            clusters.toNextBoundary();
            ++found;
        }
        m_count += found - (m_last.isEmpty() ? 0 : 1);
        m_last = text.mid(lastStart);
    }
    long clusters() const { return m_count; }

private:
    bool m_anyPart = false;
    QString m_last;
    long m_count = 0;
};

void appendJsonString(std::string& out, std::string_view text) {
    // Qt writes a lone string only inside an array: the brackets are dropped.
    const QByteArray array =
        QJsonDocument(
            QJsonArray{QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))})
            .toJson(QJsonDocument::Compact);
    out.append(array.constData() + 1, static_cast<std::size_t>(array.size() - 2));
}

// Object replacement characters stand for embedded children, which the walk
// reads on their own.
std::string withoutObjectReplacements(const char* text) {
    return QString::fromUtf8(text).remove(QChar(0xFFFC)).toStdString();
}

// Words that name a password, a PIN or a one-time code in the languages the
// app is likely to meet, case-folded. Longer words match anywhere (also in
// "current-password" or "new-password"); the short ones only as whole words.
constexpr std::string_view kSecretWords =
    "password|passwort|kennwort|contraseña|contrasena|clave de acceso|mot de passe|"
    "passcode|passphrase|passwd|senha|wachtwoord|lösenord|adgangskode|passord|"
    "salasana|hasło|haslo|heslo|jelszó|parola|parolă|şifre|sifre|пароль|密码|密碼|"
    "パスワード|暗証番号|비밀번호|κωδικός|סיסמה|كلمة المرور|mật khẩu|kata sandi|kata laluan|"
    "security code|one-time code|verification code|código de seguridad|"
    "code de sécurité";
constexpr std::string_view kSecretShortWords = "pin|otp|cvv|cvc|mdp|tan|pwd";

// Calls found(word) for each word of a '|'-separated list until it says yes.
template <typename Found> bool anyWord(std::string_view words, Found found) {
    for (std::size_t at = 0; at <= words.size();) {
        const std::size_t end = std::min(words.find('|', at), words.size());
        if (found(words.substr(at, end - at))) {
            return true;
        }
        at = end + 1;
    }
    return false;
}

std::string caseFolded(const char* text) {
    gchar* normal = g_utf8_normalize(text, -1, G_NORMALIZE_NFC);
    if (!normal) {
        return {};
    }
    gchar* folded = g_utf8_casefold(normal, -1);
    std::string result = folded ? folded : "";
    g_free(folded);
    g_free(normal);
    return result;
}

bool isWordCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || u >= 0x80;
}

bool containsWord(const std::string& text, std::string_view word) {
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const bool startsWord = at == 0 || !isWordCharacter(text[at - 1]);
        const std::size_t end = at + word.size();
        const bool endsWord = end == text.size() || !isWordCharacter(text[end]);
        if (startsWord && endsWord) {
            return true;
        }
    }
    return false;
}

bool mentionsSecret(const char* text) {
    if (!text || !*text) {
        return false;
    }
    const std::string folded = caseFolded(text);
    return anyWord(kSecretWords,
                   [&](std::string_view word) { return folded.find(word) != std::string::npos; }) ||
           anyWord(kSecretShortWords,
                   [&](std::string_view word) { return containsWord(folded, word); });
}

bool isDocument(AtspiRole role) {
    return role == ATSPI_ROLE_DOCUMENT_WEB || role == ATSPI_ROLE_DOCUMENT_FRAME;
}

bool isEntry(AtspiRole role) {
    return role == ATSPI_ROLE_ENTRY || role == ATSPI_ROLE_TEXT || role == ATSPI_ROLE_SPIN_BUTTON;
}

// What a "show password" switch is made of.
bool isControl(AtspiRole role) {
    return role == ATSPI_ROLE_PUSH_BUTTON || role == ATSPI_ROLE_TOGGLE_BUTTON ||
           role == ATSPI_ROLE_CHECK_BOX || role == ATSPI_ROLE_LINK || role == ATSPI_ROLE_IMAGE;
}

// How many children an element has; nothing when that cannot be read.
std::optional<gint> childCount(AtspiAccessible* element, long& calls) {
    GError* error = nullptr;
    ++calls;
    const gint count = atspi_accessible_get_child_count(element, &error);
    const bool failed = error;
    g_clear_error(&error);
    return failed ? std::nullopt : std::optional<gint>(count);
}

// A child the caller owns, or null.
AtspiAccessible* childAt(AtspiAccessible* element, gint index, long& calls) {
    GError* error = nullptr;
    ++calls;
    AtspiAccessible* child = atspi_accessible_get_child_at_index(element, index, &error);
    g_clear_error(&error);
    return child;
}

// Any attribute value that names a secret: Chromium's "text-input-type"
// ("password"), the page's autocomplete hint ("current-password",
// "new-password"), its id, name or placeholder.
bool attributesMentionSecret(AtspiAccessible* element, long& calls) {
    GError* error = nullptr;
    ++calls;
    GHashTable* attributes = atspi_accessible_get_attributes(element, &error);
    g_clear_error(&error);
    if (!attributes) {
        return false;
    }
    bool found = false;
    GHashTableIter iter;
    gpointer key = nullptr;
    gpointer value = nullptr;
    g_hash_table_iter_init(&iter, attributes);
    while (!found && g_hash_table_iter_next(&iter, &key, &value)) {
        found = mentionsSecret(static_cast<const char*>(value));
    }
    g_hash_table_unref(attributes);
    return found;
}

constexpr std::string_view kSecretField = "{\"role\":\"password text\"}";

class Walker {
public:
    explicit Walker(const Options& options)
        : m_options(options) {}

    long calls() const { return m_calls; }
    bool stoppedEarly() const { return m_stopped; }

    void walk(AtspiAccessible* element, int depth, std::string& out) {
        ++m_visited;
        const std::size_t begin = out.size();
        out += '{';
        bool first = true;
        const auto member = [&](const char* name) {
            if (!first) {
                out += ',';
            }
            first = false;
            appendJsonString(out, name);
            out += ':';
        };

        GError* error = nullptr;
        ++m_calls;
        const AtspiRole role = atspi_accessible_get_role(element, &error);
        const bool knownRole = !error;
        g_clear_error(&error);
        // The first document met inside the window, once walked.
        const bool firstDocument = depth > 0 && knownRole && isDocument(role) && !m_document;
        const DocumentMark mark{*this, out, begin, firstDocument};

        // Name and description first: they decide whether an entry may be read.
        std::array<std::pair<const char*, gchar*>, 2> labels{
            std::pair<const char*, gchar*>{"name", nullptr}, {"description", nullptr}};
        bool labelsRead = false;
        const auto readLabels = [&] {
            labelsRead = true;
            labels[0].second = readString(&atspi_accessible_get_name, element);
            labels[1].second = readString(&atspi_accessible_get_description, element);
        };
        const auto freeLabels = [&] {
            for (auto& label : labels) {
                g_free(std::exchange(label.second, nullptr));
            }
        };

        if (knownRole && role == ATSPI_ROLE_PASSWORD_TEXT) {
            out.resize(begin);
            out += kSecretField;
            return;
        }
        if (knownRole && isEntry(role)) {
            readLabels();
            if (isSecretEntry(element, labels[0].second, labels[1].second)) {
                freeLabels();
                out.resize(begin);
                out += kSecretField;
                m_lastEntry.reset();
                return;
            }
        }
        if (knownRole) {
            gchar* roleName = atspi_role_get_name(role);
            member("role");
            appendJsonString(out, roleName ? roleName : "");
            g_free(roleName);
        }

        ++m_calls;
        if (AtspiText* text = atspi_accessible_get_text_iface(element)) {
            ++m_calls;
            gchar* read = atspi_text_get_text(text, 0, -1, &error);
            g_clear_error(&error);
            g_object_unref(text);
            if (read) {
                addText(member, out, "text", withoutObjectReplacements(read));
                g_free(read);
            }
        }
        if (m_stopped) {
            freeLabels();
            out += '}';
            return;
        }
        if (!labelsRead) {
            readLabels();
        }
        // A "show password" switch just after a text entry: that entry shows
        // a password in plain text; it is taken back out.
        if (knownRole && isControl(role) &&
            (mentionsSecret(labels[0].second) || mentionsSecret(labels[1].second))) {
            hideRecentEntry(out, begin);
        }
        for (auto& [name, value] : labels) {
            if (value && !m_stopped) {
                addText(member, out, name, value);
            }
        }
        freeLabels();
        if (m_stopped) {
            out += '}';
            return;
        }

        // Children at the depth limit would not be read, so they are not listed.
        if (depth + 1 < m_options.maxDepth) {
            if (const auto count = childCount(element, m_calls)) {
                member("children");
                out += '[';
                bool firstChild = true;
                for (gint i = 0; i < *count && !m_stopped; ++i) {
                    AtspiAccessible* child = childAt(element, i, m_calls);
                    if (!child) {
                        continue;
                    }
                    if (!firstChild) {
                        out += ',';
                    }
                    firstChild = false;
                    walk(child, depth + 1, out);
                    g_object_unref(child);
                }
                out += ']';
            }
        }
        out += '}';
        if (knownRole && isEntry(role)) {
            m_lastEntry = Span{begin, out.size(), m_visited};
        }
    }

    // Where the first web document met inside the walked window lies in the
    // output, once walked: a page that came into the tree while the window
    // was being read.
    std::optional<std::pair<std::size_t, std::size_t>> document() const { return m_document; }

private:
    // Where an element's JSON lies in the output.
    struct Span {
        std::size_t begin = 0;
        std::size_t end = 0;
        long visitedAt = 0;
    };

    // Notes the document's span when its walk is over, however it ends.
    struct DocumentMark {
        Walker& walker;
        const std::string& out;
        std::size_t begin;
        bool active;
        ~DocumentMark() {
            if (active && !walker.m_document) {
                walker.m_document = std::pair{begin, out.size()};
            }
        }
    };

    gchar* readString(gchar* (*read)(AtspiAccessible*, GError**), AtspiAccessible* element) {
        GError* error = nullptr;
        ++m_calls;
        gchar* value = read(element, &error);
        g_clear_error(&error);
        return value;
    }

    // A field for a password, shown in plain text or not: named or described
    // as one, carrying a password attribute, or right after a text naming one
    // (a label the page did not tie to the field).
    bool isSecretEntry(AtspiAccessible* element, const char* name, const char* description) {
        if (mentionsSecret(name) || mentionsSecret(description)) {
            return true;
        }
        if (attributesMentionSecret(element, m_calls)) {
            return true;
        }
        return m_visited - m_lastTextVisited <= kNearby && mentionsSecret(m_lastText.c_str());
    }

    // Replaces the text entry printed just before (within a few elements) by
    // a password field. Its text already counted towards the early stop, so
    // on such a page the walk may stop a little sooner than it had to.
    void hideRecentEntry(std::string& out, std::size_t current) {
        if (!m_lastEntry || m_visited - m_lastEntry->visitedAt > kNearby ||
            m_lastEntry->end > current) {
            return;
        }
        const std::string tail = out.substr(m_lastEntry->end);
        out.resize(m_lastEntry->begin);
        out += kSecretField;
        out += tail;
        // A document already walked keeps pointing at its own text.
        const auto shrunk = m_lastEntry->end - m_lastEntry->begin - kSecretField.size();
        if (m_document && m_lastEntry->begin < m_document->second) {
            m_document->second -= shrunk;
            if (m_lastEntry->end <= m_document->first) {
                m_document->first -= shrunk;
            }
        }
        m_lastEntry.reset();
    }

    template <typename Member>
    void addText(const Member& member, std::string& out, const char* name,
                 const std::string& value) {
        if (value.empty()) {
            return;
        }
        member(name);
        appendJsonString(out, value);
        m_lastText = value.substr(0, 200);
        m_lastTextVisited = m_visited;
        m_counter.append(value);
        if (m_options.stopEarly && m_counter.clusters() > m_options.maxText) {
            m_stopped = true;
        }
    }

    // How many elements apart a label and its field, or a field and its
    // "show password" switch, may be.
    static constexpr long kNearby = 4;

    const Options& m_options;
    long m_calls = 0;
    ClusterCounter m_counter;
    bool m_stopped = false;
    long m_visited = 0;
    std::string m_lastText;
    long m_lastTextVisited = -kNearby - 1;
    std::optional<Span> m_lastEntry;
    std::optional<std::pair<std::size_t, std::size_t>> m_document;
};

AtspiAccessible* applicationOf(long pid, long& calls) {
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (!desktop) {
        return nullptr;
    }
    GError* error = nullptr;
    const gint count = childCount(desktop, calls).value_or(0);
    AtspiAccessible* found = nullptr;
    for (gint i = 0; i < count && !found; ++i) {
        AtspiAccessible* app = childAt(desktop, i, calls);
        if (!app) {
            continue;
        }
        ++calls;
        const guint appPid = atspi_accessible_get_process_id(app, &error);
        if (!error && static_cast<long>(appPid) == pid) {
            found = app;
        } else {
            g_object_unref(app);
        }
        g_clear_error(&error);
    }
    g_object_unref(desktop);
    return found;
}

bool hasState(AtspiAccessible* element, AtspiStateType state, long& calls) {
    ++calls;
    AtspiStateSet* states = atspi_accessible_get_state_set(element);
    if (!states) {
        return false;
    }
    const bool has = atspi_state_set_contains(states, state);
    g_object_unref(states);
    return has;
}

// The active top-level window; else the first one shown, as an application
// in the background still has a window that would get the focus.
AtspiAccessible* focusedWindowOf(AtspiAccessible* app, long& calls) {
    const gint count = childCount(app, calls).value_or(0);
    AtspiAccessible* shown = nullptr;
    for (gint i = 0; i < count; ++i) {
        AtspiAccessible* window = childAt(app, i, calls);
        if (!window) {
            continue;
        }
        if (hasState(window, ATSPI_STATE_ACTIVE, calls)) {
            if (shown) {
                g_object_unref(shown);
            }
            return window;
        }
        if (!shown && hasState(window, ATSPI_STATE_SHOWING, calls)) {
            shown = window;
        } else {
            g_object_unref(window);
        }
    }
    return shown;
}

// The web document the window shows, looked for breadth first through the
// browser's own elements (never inside a document: frames within a page are
// part of it). A browser keeps the documents of other tabs, if it exposes
// them at all, out of view; the one on show is the active tab's page. A page
// still loading may not say it is shown yet: then the first document found.
AtspiAccessible* shownDocument(AtspiAccessible* window, long& calls) {
    constexpr int kMaxDepth = 25;
    constexpr long kMaxElements = 5000;
    std::deque<std::pair<AtspiAccessible*, int>> queue;
    queue.emplace_back(static_cast<AtspiAccessible*>(g_object_ref(window)), 0);
    AtspiAccessible* found = nullptr;
    AtspiAccessible* first = nullptr;
    long looked = 0;
    while (!queue.empty() && !found && looked < kMaxElements) {
        auto [element, depth] = queue.front();
        queue.pop_front();
        ++looked;
        GError* error = nullptr;
        ++calls;
        const AtspiRole role = atspi_accessible_get_role(element, &error);
        const bool knownRole = !error;
        g_clear_error(&error);
        if (knownRole && isDocument(role) && element != window) {
            if (hasState(element, ATSPI_STATE_SHOWING, calls)) {
                found = element;
                continue;
            }
            if (!first) {
                first = element;
                continue;
            }
        } else if (depth < kMaxDepth) {
            const gint count = childCount(element, calls).value_or(0);
            for (gint i = 0; i < count; ++i) {
                if (AtspiAccessible* child = childAt(element, i, calls)) {
                    queue.emplace_back(child, depth + 1);
                }
            }
        }
        g_object_unref(element);
    }
    for (const auto& [element, depth] : queue) {
        g_object_unref(element);
    }
    if (found && first) {
        g_object_unref(first);
    }
    return found ? found : first;
}

bool parseNumber(const char* text, long& value) {
    const char* const last = text + std::strlen(text);
    const auto [end, error] = std::from_chars(text, last, value);
    return error == std::errc() && end == last;
}

int usage() {
    std::fputs("usage: aimset-atspi-dump [--full] [--max-depth N] [--max-text N] "
               "[--call-timeout MS] PID\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        long number = 0;
        if (arg == "--full") {
            options.stopEarly = false;
        } else if ((arg == "--max-depth" || arg == "--max-text" || arg == "--call-timeout") &&
                   i + 1 < argc) {
            if (!parseNumber(argv[++i], number) || number < 0 || number > 1000000000) {
                return usage();
            }
            if (arg == "--max-depth") {
                options.maxDepth = static_cast<int>(number);
            } else if (arg == "--max-text") {
                options.maxText = number;
            } else {
                options.callTimeoutMs = static_cast<int>(number);
            }
        } else if (options.pid < 0 && parseNumber(argv[i], number) && number > 0) {
            options.pid = number;
        } else {
            return usage();
        }
    }
    if (options.pid < 0) {
        return usage();
    }

    if (atspi_init() > 1) {
        std::fputs("aimset-atspi-dump: cannot reach the accessibility bus\n", stderr);
        return 1;
    }
    // No startup grace: an application that does not answer costs the call
    // timeout, not 15 seconds per call.
    atspi_set_timeout(options.callTimeoutMs, -1);

    Walker walker(options);
    long calls = 0;
    std::string window = "null";
    if (AtspiAccessible* app = applicationOf(options.pid, calls)) {
        if (AtspiAccessible* focused = focusedWindowOf(app, calls)) {
            AtspiAccessible* document = shownDocument(focused, calls);
            AtspiAccessible* root = document ? document : focused;
            window.clear();
            if (options.maxDepth > 0) {
                walker.walk(root, 0, window);
                if (const auto page = walker.document(); page && !document) {
                    window = window.substr(page->first, page->second - page->first);
                }
            } else {
                window = "{}";
            }
            if (document) {
                g_object_unref(document);
            }
            g_object_unref(focused);
        }
        g_object_unref(app);
    }

    std::string out = "{\"calls\":" + std::to_string(calls + walker.calls()) +
                      ",\"stoppedEarly\":" + (walker.stoppedEarly() ? "true" : "false") +
                      ",\"window\":" + window + "}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return 0;
}
