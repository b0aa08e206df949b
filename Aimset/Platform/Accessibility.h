#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace aimset {

// One element of another application's accessibility tree. Each read may
// fail; a failed read, or a value of an unexpected type, is an empty optional.
class AccessibleElement {
public:
    virtual ~AccessibleElement() = default;

    // The backend's own role name; the core knows only kPasswordRole.
    virtual std::optional<QString> role() const = 0;
    virtual std::optional<QString> value() const = 0;
    virtual std::optional<QString> title() const = 0;
    virtual std::optional<QString> description() const = 0;
    virtual std::optional<std::vector<std::shared_ptr<const AccessibleElement>>>
    children() const = 0;
};

// Password entry fields: never read, nor anything inside them.
inline const QString kPasswordRole = QStringLiteral("password text");

class Accessibility {
public:
    virtual ~Accessibility() = default;

    // Whether this program may read other applications' elements.
    virtual bool isProcessTrusted() = 0;
    // Asks the desktop to let the user grant trust; the answer comes later
    // through isProcessTrusted().
    virtual void requestTrustWithPrompt() = 0;
    // Reads the focused window of a process without blocking the caller. The
    // completion runs exactly once, on the main thread, after this call has
    // returned: with the window, or null when it has none or cannot be read.
    using WindowCompletion = std::function<void(std::shared_ptr<const AccessibleElement>)>;
    virtual void readFocusedWindow(std::int32_t processIdentifier, WindowCompletion completion) = 0;
};

} // namespace aimset
