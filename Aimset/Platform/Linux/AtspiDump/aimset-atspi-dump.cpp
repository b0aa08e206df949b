// aimset-atspi-dump: prints the element tree of an application's focused
// window, read through AT-SPI, as {"window":ELEMENT|null}, ELEMENT being
// {"role","text","name","description","children":[ELEMENT...]} without the
// members it could not read or found empty. A process of its own: libatspi
// misbehaves inside a Qt program, and a hung or huge application can then
// cost the app only the deadline it puts on this one.
//
// Password fields print as {"role":"password text"}, nothing of or in them
// read: those the toolkit marks, and entries showing a password in plain text
// as far as the tree tells. A window showing a web document prints that page
// (the tab on show), without the browser's tab strip and toolbars.
//
// The app joins the texts depth first with spaces and keeps max-text grapheme
// clusters of the elements above max-depth: so nothing deeper is read, and the
// walk stops once the texts hold more than max-text clusters.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTextBoundaryFinder>

#include <atspi/atspi.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <deque>
#include <list>
#include <memory>
#include <optional>
#include <string_view>

namespace {

struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using Element = std::unique_ptr<AtspiAccessible, Unref>;

struct Options {
    long pid;
    long maxDepth;
    long maxText;
    long callTimeoutMs;
};

// Counts the grapheme clusters of the joined texts as they grow. The space
// between two texts joins at most the clusters beside it, so only the last
// cluster and the new (never empty) text need looking at.
class ClusterCounter {
public:
    void append(const QString& part) {
        QString text = m_last;
        if (m_count > 0) {
            text += QLatin1Char(' ');
        }
        text += part;
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
    QString m_last;
    long m_count = 0;
};

// Whether the text, taken as UTF-8 (anything else names no secret), names a
// password, a PIN or a one-time code in a language the app is likely to meet.
// Longer words match anywhere (also in "current-password" or "new-password");
// the short ones only between characters that are no ASCII letter or digit
// and not beyond ASCII.
bool mentionsSecret(const QByteArray& text) {
    static const QRegularExpression words(QStringLiteral(
        "password|passwort|kennwort|contraseña|contrasena|clave de acceso|mot de passe|"
        "passcode|passphrase|passwd|senha|wachtwoord|lösenord|adgangskode|passord|"
        "salasana|hasło|haslo|heslo|jelszó|parola|parolă|şifre|sifre|пароль|密码|密碼|"
        "パスワード|暗証番号|비밀번호|κωδικός|סיסמה|كلمة المرور|mật khẩu|kata sandi|kata laluan|"
        "security code|one-time code|verification code|código de seguridad|"
        "code de sécurité|(?<![0-9A-Za-z\\x{80}-\\x{10FFFF}])(?:pin|otp|cvv|cvc|mdp|tan|pwd)"
        "(?![0-9A-Za-z\\x{80}-\\x{10FFFF}])"));
    g_autofree gchar* normal = g_utf8_normalize(text.constData(), -1, G_NORMALIZE_NFC);
    g_autofree gchar* folded = normal ? g_utf8_casefold(normal, -1) : nullptr;
    return folded && words.match(QString::fromUtf8(folded)).hasMatch();
}

constexpr std::array kDocuments{ATSPI_ROLE_DOCUMENT_WEB, ATSPI_ROLE_DOCUMENT_FRAME};
constexpr std::array kEntries{ATSPI_ROLE_ENTRY, ATSPI_ROLE_TEXT, ATSPI_ROLE_SPIN_BUTTON};
// What a "show password" switch is made of.
constexpr std::array kControls{ATSPI_ROLE_PUSH_BUTTON, ATSPI_ROLE_TOGGLE_BUTTON,
                               ATSPI_ROLE_CHECK_BOX, ATSPI_ROLE_LINK, ATSPI_ROLE_IMAGE};

bool isOneOf(std::optional<AtspiRole> role, const auto& roles) {
    return role && std::ranges::find(roles, *role) != roles.end();
}

template <typename Read> auto ask(Read read) {
    g_autoptr(GError) error = nullptr;
    const auto value = read(&error);
    return error ? std::nullopt : std::optional(value);
}

// Empty when it could not be read.
QByteArray take(gchar* value) {
    g_autofree gchar* owned = value;
    return QByteArray(owned);
}

std::optional<gint> childCount(AtspiAccessible* element) {
    return ask([&](GError** error) { return atspi_accessible_get_child_count(element, error); });
}

std::optional<AtspiRole> roleOf(AtspiAccessible* element) {
    return ask([&](GError** error) { return atspi_accessible_get_role(element, error); });
}

Element childAt(AtspiAccessible* element, gint index) {
    return Element(atspi_accessible_get_child_at_index(element, index, nullptr));
}

bool hasState(AtspiAccessible* element, AtspiStateType state) {
    const std::unique_ptr<AtspiStateSet, Unref> states(atspi_accessible_get_state_set(element));
    return states && atspi_state_set_contains(states.get(), state);
}

// Any attribute value that names a secret: Chromium's "text-input-type"
// ("password"), the page's autocomplete hint ("current-password",
// "new-password"), its id, name or placeholder.
bool attributesMentionSecret(AtspiAccessible* element) {
    g_autoptr(GHashTable) attributes = atspi_accessible_get_attributes(element, nullptr);
    const auto secret = [](gpointer, gpointer value, gpointer) -> gboolean {
        return mentionsSecret(static_cast<const char*>(value));
    };
    return attributes && g_hash_table_find(attributes, secret, nullptr);
}

// An element as read, kept until the whole window is: an entry already read
// may still turn out to be a password field shown in plain text.
struct Node {
    QJsonObject members;
    std::list<Node> children;
    bool secret = false;

    QJsonObject toJson() const {
        if (secret) {
            return {{QStringLiteral("role"), QStringLiteral("password text")}};
        }
        QJsonObject object = members;
        if (!children.empty()) {
            QJsonArray array;
            for (const Node& child : children) {
                array.append(child.toJson());
            }
            object.insert(QStringLiteral("children"), array);
        }
        return object;
    }
};

class Walker {
public:
    explicit Walker(const Options& options)
        : m_options(options) {}

    // The first web document inside the walked window whose walk ended: a
    // page that came into the tree while the window was being read.
    const Node* document() const { return m_document; }

    void walk(AtspiAccessible* element, int depth, Node& node) {
        ++m_visited;
        const std::optional<AtspiRole> role = roleOf(element);
        read(element, role, depth, node);
        if (depth > 0 && isOneOf(role, kDocuments) && !m_document) {
            m_document = &node;
        }
    }

private:
    void read(AtspiAccessible* element, std::optional<AtspiRole> role, int depth, Node& node) {
        if (role == ATSPI_ROLE_PASSWORD_TEXT) {
            node.secret = true;
            return;
        }
        // An entry's name and description come first: they decide whether
        // it may be read.
        const bool entry = isOneOf(role, kEntries);
        QByteArray name;
        QByteArray description;
        const auto readLabels = [&] {
            name = take(atspi_accessible_get_name(element, nullptr));
            description = take(atspi_accessible_get_description(element, nullptr));
        };
        if (entry) {
            readLabels();
            if (isSecretEntry(element, name, description)) {
                node.secret = true;
                m_lastEntry = nullptr;
                return;
            }
        }
        if (role) {
            g_autofree gchar* roleName = atspi_role_get_name(*role);
            node.members.insert(QStringLiteral("role"), QString::fromUtf8(roleName));
        }

        if (const std::unique_ptr<AtspiText, Unref> text{
                atspi_accessible_get_text_iface(element)}) {
            const QByteArray read = take(atspi_text_get_text(text.get(), 0, -1, nullptr));
            // Object replacement characters stand for embedded children,
            // which the walk reads on their own.
            addText(node, QStringLiteral("text"), QString::fromUtf8(read).remove(QChar(0xFFFC)));
        }
        if (m_stopped) {
            return;
        }
        if (!entry) {
            readLabels();
        }
        // A "show password" switch just after a text entry: that entry shows
        // a password in plain text; it is taken back out. Its text already
        // counted towards the early stop, so on such a page the walk may
        // stop a little sooner than it had to.
        if (isOneOf(role, kControls) && (mentionsSecret(name) || mentionsSecret(description)) &&
            m_lastEntry && m_visited - m_lastEntryVisited <= kNearby) {
            m_lastEntry->secret = true;
            m_lastEntry = nullptr;
        }
        addText(node, QStringLiteral("name"), QString::fromUtf8(name));
        addText(node, QStringLiteral("description"), QString::fromUtf8(description));
        if (m_stopped) {
            return;
        }

        // Children at the depth limit would not be read, so they are not listed.
        const gint count = depth + 1 < m_options.maxDepth ? childCount(element).value_or(0) : 0;
        for (gint i = 0; i < count && !m_stopped; ++i) {
            if (const Element child = childAt(element, i)) {
                walk(child.get(), depth + 1, node.children.emplace_back());
            }
        }
        if (entry) {
            m_lastEntry = &node;
            m_lastEntryVisited = m_visited;
        }
    }

    // A field for a password, shown in plain text or not: named or described
    // as one, carrying a password attribute, or right after a text naming one
    // (a label the page did not tie to the field).
    bool isSecretEntry(AtspiAccessible* element, const QByteArray& name,
                       const QByteArray& description) {
        return mentionsSecret(name) || mentionsSecret(description) ||
               attributesMentionSecret(element) ||
               (m_visited - m_lastTextVisited <= kNearby && mentionsSecret(m_lastText));
    }

    void addText(Node& node, const QString& key, const QString& value) {
        if (value.isEmpty() || m_stopped) {
            return;
        }
        node.members.insert(key, value);
        m_lastText = value.toUtf8().left(200);
        m_lastTextVisited = m_visited;
        m_counter.append(value);
        if (m_counter.clusters() > m_options.maxText) {
            m_stopped = true;
        }
    }

    // How many elements apart a label and its field, or a field and its
    // "show password" switch, may be.
    static constexpr long kNearby = 4;

    const Options& m_options;
    ClusterCounter m_counter;
    bool m_stopped = false;
    long m_visited = 0;
    QByteArray m_lastText;
    long m_lastTextVisited = -kNearby - 1;
    // The last text entry read, and when.
    Node* m_lastEntry = nullptr;
    long m_lastEntryVisited = 0;
    const Node* m_document = nullptr;
};

Element applicationOf(long pid) {
    const Element desktop(atspi_get_desktop(0));
    const gint count = desktop ? childCount(desktop.get()).value_or(0) : 0;
    for (gint i = 0; i < count; ++i) {
        Element app = childAt(desktop.get(), i);
        const auto appPid =
            app ? ask([&](GError** e) { return atspi_accessible_get_process_id(app.get(), e); })
                : std::nullopt;
        if (appPid && static_cast<long>(*appPid) == pid) {
            return app;
        }
    }
    return nullptr;
}

// The active top-level window; else the first one shown, as an application
// in the background still has a window that would get the focus.
Element focusedWindowOf(AtspiAccessible* app) {
    const gint count = childCount(app).value_or(0);
    Element shown;
    for (gint i = 0; i < count; ++i) {
        Element window = childAt(app, i);
        if (window && hasState(window.get(), ATSPI_STATE_ACTIVE)) {
            return window;
        }
        if (window && !shown && hasState(window.get(), ATSPI_STATE_SHOWING)) {
            shown = std::move(window);
        }
    }
    return shown;
}

// The web document the window shows, looked for breadth first through the
// browser's own elements (never inside a document: frames within a page are
// part of it). A browser keeps the documents of other tabs, if it exposes
// them at all, out of view; the one on show is the active tab's page. A page
// still loading may not say it is shown yet: then the first document found.
Element shownDocument(AtspiAccessible* window) {
    constexpr int kMaxDepth = 25;
    constexpr long kMaxElements = 5000;
    std::deque<std::pair<Element, int>> queue;
    queue.emplace_back(Element(static_cast<AtspiAccessible*>(g_object_ref(window))), 0);
    Element first;
    for (long looked = 0; !queue.empty() && looked < kMaxElements; ++looked) {
        auto [element, depth] = std::move(queue.front());
        queue.pop_front();
        const auto role = roleOf(element.get());
        if (isOneOf(role, kDocuments) && element.get() != window) {
            if (hasState(element.get(), ATSPI_STATE_SHOWING)) {
                return std::move(element);
            }
            if (!first) {
                first = std::move(element);
            }
        } else if (depth < kMaxDepth) {
            const gint count = childCount(element.get()).value_or(0);
            for (gint i = 0; i < count; ++i) {
                if (Element child = childAt(element.get(), i)) {
                    queue.emplace_back(std::move(child), depth + 1);
                }
            }
        }
    }
    return first;
}

// PID MAX-DEPTH MAX-TEXT CALL-TIMEOUT-MS, all positive.
std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    long* const fields[] = {&options.pid, &options.maxDepth, &options.maxText,
                            &options.callTimeoutMs};
    if (argc != 1 + std::ssize(fields)) {
        return std::nullopt;
    }
    for (int i = 0; long* value : fields) {
        const std::string_view text(argv[++i]);
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
        if (error != std::errc() || end != text.data() + text.size() || *value < 1 ||
            *value > 1000000000) {
            return std::nullopt;
        }
    }
    return options;
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        std::fputs("usage: aimset-atspi-dump PID MAX-DEPTH MAX-TEXT CALL-TIMEOUT-MS\n", stderr);
        return 2;
    }
    if (atspi_init() > 1) {
        std::fputs("aimset-atspi-dump: cannot reach the accessibility bus\n", stderr);
        return 1;
    }
    // No startup grace: an application that does not answer costs the call
    // timeout, not 15 seconds per call.
    atspi_set_timeout(static_cast<int>(options->callTimeoutMs), -1);

    Walker walker(*options);
    QJsonValue window;
    if (const Element app = applicationOf(options->pid)) {
        if (const Element focused = focusedWindowOf(app.get())) {
            const Element document = shownDocument(focused.get());
            Node root;
            walker.walk(document ? document.get() : focused.get(), 0, root);
            window = (!document && walker.document() ? *walker.document() : root).toJson();
        }
    }
    // Escaped JSON holds no NUL; stdout is flushed on the way out.
    const QJsonDocument out(QJsonObject{{QStringLiteral("window"), window}});
    std::fputs(out.toJson(QJsonDocument::Compact).append('\n').constData(), stdout);
    return 0;
}
