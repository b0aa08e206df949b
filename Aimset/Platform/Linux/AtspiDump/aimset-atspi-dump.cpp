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
// {"role":"password text"} and nothing of them or inside them is read.
//
// The reader of this output walks it depth first, joins the texts (text, name,
// description of each element) with single spaces and keeps the first
// max-text grapheme clusters of elements above max-depth. So this program reads
// nothing that deep, and unless --full is given it stops as soon as the texts
// read so far are certain to hold more than max-text clusters: the kept text is
// then the same as after a full walk.

#include <atspi/atspi.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

struct Options {
    long pid = -1;
    int maxDepth = 15;
    long maxText = 4000;
    bool stopEarly = true;
    int callTimeoutMs = 2000;
};

// Characters that always begin a new grapheme cluster unless the character
// before them is a prepended concatenation mark: letters, digits, spaces and
// punctuation of the common scripts. Anything else (marks, joiners, Hangul
// jamo, emoji, other scripts) simply does not count.
bool alwaysStartsCluster(char32_t c) {
    const auto in = [c](char32_t from, char32_t to) { return c >= from && c <= to; };
    return in(0x20, 0x7E) || in(0xA0, 0xAC) || in(0xAE, 0x2FF) || in(0x386, 0x3FF) ||
           in(0x400, 0x482) || in(0x48A, 0x52F) || in(0x5D0, 0x5EA) || in(0x2010, 0x2027) ||
           in(0x2030, 0x205E) || in(0x3000, 0x3029) || in(0x3041, 0x3096) || in(0x30A0, 0x30FF) ||
           in(0x4E00, 0x9FFF) || in(0xFF01, 0xFF9D);
}

// A superset of the Prepend class: a cluster may continue after these.
bool mayPrepend(char32_t c) {
    return (c >= 0x600 && c <= 0x8FF) || c == 0xD4E || (c >= 0x11000 && c <= 0x11FFF);
}

// A lower bound of the number of grapheme clusters in the joined texts.
class ClusterCounter {
public:
    void append(std::string_view part) {
        if (m_anyPart) {
            feed(U' ');
        }
        m_anyPart = true;
        const char* p = part.data();
        const char* end = p + part.size();
        while (p < end) {
            feed(static_cast<char32_t>(g_utf8_get_char(p)));
            p = g_utf8_next_char(p);
        }
    }
    long certainClusters() const { return m_count; }

private:
    void feed(char32_t c) {
        if (alwaysStartsCluster(c) && !mayPrepend(m_previous)) {
            ++m_count;
        }
        m_previous = c;
    }

    bool m_anyPart = false;
    char32_t m_previous = 0;
    long m_count = 0;
};

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

// Object replacement characters stand for embedded children, which the walk
// reads on their own.
std::string withoutObjectReplacements(const char* text) {
    std::string result;
    for (const char* p = text; *p; p = g_utf8_next_char(p)) {
        if (g_utf8_get_char(p) != 0xFFFC) {
            result.append(p, static_cast<size_t>(g_utf8_next_char(p) - p));
        }
    }
    return result;
}

class Walker {
public:
    explicit Walker(const Options& options)
        : m_options(options) {}

    long calls() const { return m_calls; }
    bool stoppedEarly() const { return m_stopped; }

    void walk(AtspiAccessible* element, int depth, std::string& out) {
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
        if (error) {
            g_clear_error(&error);
        } else {
            gchar* roleName = atspi_role_get_name(role);
            member("role");
            appendJsonString(out, roleName ? roleName : "");
            g_free(roleName);
            if (role == ATSPI_ROLE_PASSWORD_TEXT) {
                out += '}';
                return;
            }
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
            out += '}';
            return;
        }
        for (const auto& [name, read] :
             {std::pair{"name", &atspi_accessible_get_name},
              std::pair{"description", &atspi_accessible_get_description}}) {
            ++m_calls;
            gchar* value = read(element, &error);
            g_clear_error(&error);
            if (value) {
                addText(member, out, name, value);
                g_free(value);
            }
            if (m_stopped) {
                out += '}';
                return;
            }
        }

        // Children at the depth limit would not be read, so they are not listed.
        if (depth + 1 < m_options.maxDepth) {
            ++m_calls;
            const gint count = atspi_accessible_get_child_count(element, &error);
            if (error) {
                g_clear_error(&error);
            } else {
                member("children");
                out += '[';
                bool firstChild = true;
                for (gint i = 0; i < count && !m_stopped; ++i) {
                    ++m_calls;
                    AtspiAccessible* child =
                        atspi_accessible_get_child_at_index(element, i, &error);
                    g_clear_error(&error);
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
    }

private:
    template <typename Member>
    void addText(const Member& member, std::string& out, const char* name,
                 const std::string& value) {
        if (value.empty()) {
            return;
        }
        member(name);
        appendJsonString(out, value);
        m_counter.append(value);
        if (m_options.stopEarly && m_counter.certainClusters() > m_options.maxText) {
            m_stopped = true;
        }
    }

    const Options& m_options;
    long m_calls = 0;
    ClusterCounter m_counter;
    bool m_stopped = false;
};

AtspiAccessible* applicationOf(long pid, long& calls) {
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (!desktop) {
        return nullptr;
    }
    GError* error = nullptr;
    ++calls;
    const gint count = atspi_accessible_get_child_count(desktop, &error);
    g_clear_error(&error);
    AtspiAccessible* found = nullptr;
    for (gint i = 0; i < count && !found; ++i) {
        ++calls;
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, &error);
        g_clear_error(&error);
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
    GError* error = nullptr;
    ++calls;
    const gint count = atspi_accessible_get_child_count(app, &error);
    g_clear_error(&error);
    AtspiAccessible* shown = nullptr;
    for (gint i = 0; i < count; ++i) {
        ++calls;
        AtspiAccessible* window = atspi_accessible_get_child_at_index(app, i, &error);
        g_clear_error(&error);
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
            window.clear();
            if (options.maxDepth > 0) {
                walker.walk(focused, 0, window);
            } else {
                window = "{}";
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
