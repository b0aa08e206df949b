#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace aimset {

// The state behind the screen that opens every focus session: the aimset
// being typed and the chosen goal.
class LaunchModal : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString aimsetText READ aimsetText WRITE setAimsetText NOTIFY aimsetTextChanged)
    Q_PROPERTY(int goalIndex READ goalIndex WRITE setGoalIndex NOTIFY goalIndexChanged)
    Q_PROPERTY(QString goalLabel READ goalLabel NOTIFY goalIndexChanged)
    Q_PROPERTY(bool canStart READ canStart NOTIFY aimsetTextChanged)
    Q_PROPERTY(int goalCount READ goalCount CONSTANT)

public:
    using QObject::QObject;

    static const QStringList& goalLabels();
    int goalCount() const { return static_cast<int>(goalLabels().size()); }

    QString aimsetText() const { return m_aimsetText; }
    void setAimsetText(const QString& text);
    int goalIndex() const { return m_goalIndex; }
    // Takes any slider value; out-of-range values stop at the ends.
    void setGoalIndex(int index);
    QString goalLabel() const { return goalLabels().at(m_goalIndex); }
    bool canStart() const;

    // "Start session" and Return: hands the trimmed aimset and the goal over.
    Q_INVOKABLE void submitLaunch();

signals:
    // The trimmed aimset and the goal in minutes; closing the modal is the
    // receiver's business.
    void submitted(const QString& aimset, int goalMinutes);
    void aimsetTextChanged();
    void goalIndexChanged();

private:
    QString m_aimsetText;
    int m_goalIndex = 0;
};

} // namespace aimset
