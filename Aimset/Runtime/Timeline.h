#pragma once

#include "Runtime/MainLoop.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <vector>

namespace aimset {

// Plays a demonstration written as a table: at each time from the start, one
// named field of `state` takes a value. QML draws `state` (through its owner)
// and animates its changes; the table is the whole demonstration, so it is
// read, and tested, as data. Runs on the main loop, so a test plays it in
// virtual time.
class Timeline : public QObject {
    Q_OBJECT

public:
    using Duration = MainLoop::Duration;

    // At `at` from the start, `key` becomes `value`; with an `every`, again
    // each `every` after that. An empty key changes nothing and only marks
    // where the table ends.
    struct Cue {
        Duration at;
        QString key;
        QVariant value;
        Duration every{0};
    };
    using Table = std::vector<Cue>;

    // `defaults` gives every field its value before and between plays.
    Timeline(MainLoop& loop, QVariantMap defaults, QObject* parent = nullptr);

    const QVariantMap& state() const { return m_state; }

    // Starts `table` from the defaults; the cues due at once apply before
    // this returns. Replaces whatever played before.
    void play(Table table);
    // Cancels what is left of the table and puts the defaults back.
    void stop();

    // Cues that type `text` into `key` one character per `interval`, the
    // first at `first`. Returns the time of the last character.
    static Duration typing(Table& table, const QString& key, const QString& text, Duration first,
                           Duration interval);
    // Cues that count `key` down by one per `interval` after `start`, from
    // `from` − 1 to `to`. Returns the time of the next tick after `to`.
    static Duration countdown(Table& table, const QString& key, int from, int to, Duration start,
                              Duration interval);

signals:
    void stateChanged();
    // The last cue of a table without repeating cues has applied.
    void finished();

private:
    void advance();

    MainLoop& m_loop;
    const QVariantMap m_defaults;
    QVariantMap m_state;
    Table m_table;
    // When each cue is next due, from the loop's clock; max for spent cues.
    std::vector<Duration> m_due;
    TimerHandle m_pending;
};

} // namespace aimset
