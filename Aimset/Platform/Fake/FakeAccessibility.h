#pragma once

#include "Platform/Accessibility.h"

#include <QHash>
#include <QStringList>

#include <deque>

namespace aimset {

class MainLoop;

// An element whose attributes the test sets; unset attributes read as absent.
class FakeElement final : public AccessibleElement {
public:
    std::optional<QString> role() const override { return m_role; }
    std::optional<QString> value() const override { return m_value; }
    std::optional<QString> title() const override { return m_title; }
    std::optional<QString> description() const override { return m_description; }
    std::optional<std::vector<std::shared_ptr<const AccessibleElement>>> children() const override {
        return m_children;
    }

    // Builders, so a test can write a tree as one expression.
    static std::shared_ptr<FakeElement> make(const QString& role = QStringLiteral("AXGroup"));
    std::shared_ptr<FakeElement> withValue(const QString& value);
    std::shared_ptr<FakeElement> withTitle(const QString& title);
    std::shared_ptr<FakeElement> withDescription(const QString& description);
    std::shared_ptr<FakeElement>
    withChildren(std::vector<std::shared_ptr<const AccessibleElement>> children);
    std::shared_ptr<FakeElement> adding(std::shared_ptr<const AccessibleElement> child);

private:
    std::shared_ptr<FakeElement> self();

    std::optional<QString> m_role;
    std::optional<QString> m_value;
    std::optional<QString> m_title;
    std::optional<QString> m_description;
    std::optional<std::vector<std::shared_ptr<const AccessibleElement>>> m_children;
    std::weak_ptr<FakeElement> m_self;
};

// Trust and focused windows the test arranges; records every call. A read
// answers with the window arranged when it was asked, posted on the loop
// when one is set, else held until deliverReads().
class FakeAccessibility final : public Accessibility {
public:
    bool isProcessTrusted() override;
    void requestTrustWithPrompt() override;
    void readFocusedWindow(std::int32_t processIdentifier, WindowCompletion completion) override;

    // Answers every held read, oldest first.
    void deliverReads();

    MainLoop* loop = nullptr;
    bool trusted = true;
    // What a prompt does: by default the user declines.
    bool grantOnPrompt = false;
    QHash<std::int32_t, std::shared_ptr<const AccessibleElement>> windows;
    QStringList calls;

private:
    std::deque<std::function<void()>> m_heldReads;
};

} // namespace aimset
