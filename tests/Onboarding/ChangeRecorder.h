#pragma once

#include "Runtime/VirtualMainLoop.h"

#include <QMetaProperty>
#include <QObject>
#include <QStringList>

#include <utility>
#include <vector>

namespace aimset::test {

// Writes down every change an object announces, as "<ms> <property> <value>",
// the time counted on the virtual loop from the last restart().
class ChangeRecorder : public QObject {
    Q_OBJECT

public:
    ChangeRecorder(QObject& watched, const VirtualMainLoop& loop)
        : m_watched(watched)
        , m_loop(loop)
        , m_origin(loop.now()) {
        const QMetaObject* meta = watched.metaObject();
        const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("changed()"));
        QList<int> connected;
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            if (!property.hasNotifySignal()) {
                continue;
            }
            m_properties.emplace_back(property.notifySignalIndex(), property);
            if (!connected.contains(property.notifySignalIndex())) {
                connected << property.notifySignalIndex();
                connect(&watched, property.notifySignal(), this, slot);
            }
        }
    }

    // Counts times from now on.
    void restart() { m_origin = m_loop.now(); }
    QStringList take() { return std::exchange(m_lines, {}); }

private slots:
    void changed() {
        const int signal = senderSignalIndex();
        const auto ms = (m_loop.now() - m_origin).count();
        for (const auto& [index, property] : m_properties) {
            if (index == signal) {
                m_lines << QStringLiteral("%1 %2 %3")
                               .arg(ms)
                               .arg(QString::fromLatin1(property.name()),
                                    property.read(&m_watched).toString());
            }
        }
    }

private:
    QObject& m_watched;
    const VirtualMainLoop& m_loop;
    MainLoop::Duration m_origin;
    std::vector<std::pair<int, QMetaProperty>> m_properties;
    QStringList m_lines;
};

} // namespace aimset::test
