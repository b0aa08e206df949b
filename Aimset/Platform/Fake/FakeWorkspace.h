#pragma once

#include "Platform/Workspace.h"

#include <QHash>
#include <QStringList>

namespace aimset {

// A desktop the test arranges: the frontmost application, window titles by
// process, and activations it announces when told.
class FakeWorkspace final : public ObservedWorkspace {
public:
    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<QString> focusedWindowTitle(std::int32_t processIdentifier) override;
    ObserverToken addActivationObserver(ActivationHandler handler) override;
    void removeActivationObserver(ObserverToken token) override;

    // Puts an application with a focused window in front (no notification).
    void setFrontmost(const QString& name, const QString& bundleID, std::int32_t pid,
                      const std::optional<QString>& title);
    // Brings an application to the front and notifies the observers, as the
    // desktop does when the user switches applications.
    void activate(const QString& name, const QString& bundleID, std::int32_t pid,
                  const std::optional<QString>& title);
    // Notifies the observers of an activation whose application is unknown.
    void notifyUnknownActivation();
    // Notifies the observers that app was activated, exactly as given (its
    // name or identifier may be unknown); the frontmost field is untouched.
    void notifyActivation(const RunningApplication& app);

    std::optional<RunningApplication> frontmost;
    QHash<std::int32_t, QString> titles;

    // Every call made through the port, in order, for tests that check calls.
    QStringList calls;
};

} // namespace aimset
