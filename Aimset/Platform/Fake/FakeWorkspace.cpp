#include "FakeWorkspace.h"

namespace aimset {

std::optional<RunningApplication> FakeWorkspace::frontmostApplication() {
    calls << QStringLiteral("frontmostApplication");
    return frontmost;
}

std::optional<QString> FakeWorkspace::focusedWindowTitle(std::int32_t processIdentifier) {
    calls << QStringLiteral("focusedWindowTitle %1").arg(processIdentifier);
    const auto found = titles.constFind(processIdentifier);
    if (found == titles.constEnd()) {
        return std::nullopt;
    }
    return *found;
}

Workspace::ObserverToken FakeWorkspace::addActivationObserver(ActivationHandler handler) {
    calls << QStringLiteral("addActivationObserver");
    return ObservedWorkspace::addActivationObserver(std::move(handler));
}

void FakeWorkspace::removeActivationObserver(ObserverToken token) {
    calls << QStringLiteral("removeActivationObserver");
    ObservedWorkspace::removeActivationObserver(token);
}

void FakeWorkspace::setFrontmost(const QString& name, const QString& bundleID, std::int32_t pid,
                                 const std::optional<QString>& title) {
    frontmost = RunningApplication{name, bundleID, pid};
    if (title) {
        titles.insert(pid, *title);
    } else {
        titles.remove(pid);
    }
}

void FakeWorkspace::activate(const QString& name, const QString& bundleID, std::int32_t pid,
                             const std::optional<QString>& title) {
    setFrontmost(name, bundleID, pid, title);
    notifyObservers(frontmost);
}

void FakeWorkspace::notifyUnknownActivation() {
    notifyObservers(std::nullopt);
}

void FakeWorkspace::notifyActivation(const RunningApplication& app) {
    notifyObservers(app);
}

} // namespace aimset
