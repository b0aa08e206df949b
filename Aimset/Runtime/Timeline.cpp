#include "Timeline.h"

#include <algorithm>

namespace aimset {

namespace {
constexpr Timeline::Duration spent = Timeline::Duration::max();
} // namespace

Timeline::Timeline(MainLoop& loop, QVariantMap defaults, QObject* parent)
    : QObject(parent)
    , m_loop(loop)
    , m_defaults(std::move(defaults))
    , m_state(m_defaults) {}

void Timeline::play(Table table) {
    stop();
    const Duration start = m_loop.now();
    for (const Cue& cue : table) {
        m_due.push_back(start + cue.at);
    }
    m_table = std::move(table);
    advance();
}

void Timeline::stop() {
    m_pending.reset();
    m_table.clear();
    m_due.clear();
    if (m_state != m_defaults) {
        m_state = m_defaults;
        emit stateChanged();
    }
}

// Applies every cue that is due, earliest first and in table order within one
// time, then waits for the next.
void Timeline::advance() {
    const Duration now = m_loop.now();
    bool changed = false;
    const auto earliest = [this] { return std::ranges::min_element(m_due); };
    auto next = earliest();
    for (; next != m_due.end() && *next <= now; next = earliest()) {
        const Cue& cue = m_table[static_cast<std::size_t>(next - m_due.begin())];
        if (!cue.key.isEmpty() && m_state.value(cue.key) != cue.value) {
            m_state.insert(cue.key, cue.value);
            changed = true;
        }
        *next = cue.every > Duration::zero() ? *next + cue.every : spent;
    }
    if (changed) {
        emit stateChanged(); // whose handlers may play or stop a table
        next = earliest();
    }
    if (next == m_due.end() || *next == spent) {
        m_pending.reset();
        if (!m_table.empty()) {
            m_table.clear();
            m_due.clear();
            emit finished();
        }
        return;
    }
    m_pending = m_loop.scheduleOnce(
        *next - m_loop.now(), [this] { advance(); }, this);
}

Timeline::Duration Timeline::typing(Table& table, const QString& key, const QString& text,
                                    Duration first, Duration interval) {
    Duration at = first;
    for (qsizetype count = 1; count <= text.size(); ++count) {
        at = first + (count - 1) * interval;
        table.push_back({at, key, text.left(count)});
    }
    return at;
}

Timeline::Duration Timeline::countdown(Table& table, const QString& key, int from, int to,
                                       Duration start, Duration interval) {
    Duration at = start;
    for (int value = from - 1; value >= to; --value) {
        at += interval;
        table.push_back({at, key, value});
    }
    return at + interval;
}

} // namespace aimset
