#include "FakeAccessibility.h"

#include "Runtime/MainLoop.h"

namespace aimset {

std::shared_ptr<FakeElement> FakeElement::make(const QString& role) {
    auto element = std::make_shared<FakeElement>();
    element->m_self = element;
    element->m_role = role;
    return element;
}

std::shared_ptr<FakeElement> FakeElement::self() {
    return m_self.lock();
}

std::shared_ptr<FakeElement> FakeElement::withValue(const QString& value) {
    m_value = value;
    return self();
}

std::shared_ptr<FakeElement> FakeElement::withTitle(const QString& title) {
    m_title = title;
    return self();
}

std::shared_ptr<FakeElement> FakeElement::withDescription(const QString& description) {
    m_description = description;
    return self();
}

std::shared_ptr<FakeElement>
FakeElement::withChildren(std::vector<std::shared_ptr<const AccessibleElement>> children) {
    m_children = std::move(children);
    return self();
}

std::shared_ptr<FakeElement> FakeElement::adding(std::shared_ptr<const AccessibleElement> child) {
    if (!m_children) {
        m_children.emplace();
    }
    m_children->push_back(std::move(child));
    return self();
}

bool FakeAccessibility::isProcessTrusted() {
    calls << QStringLiteral("isProcessTrusted");
    return trusted;
}

void FakeAccessibility::requestTrustWithPrompt() {
    calls << QStringLiteral("requestTrustWithPrompt");
    if (grantOnPrompt) {
        trusted = true;
    }
}

void FakeAccessibility::readFocusedWindow(std::int32_t processIdentifier,
                                          WindowCompletion completion) {
    calls << QStringLiteral("readFocusedWindow %1").arg(processIdentifier);
    auto answer = [window = windows.value(processIdentifier), completion = std::move(completion)] {
        completion(window);
    };
    if (loop) {
        loop->post(std::move(answer));
    } else {
        m_heldReads.push_back(std::move(answer));
    }
}

void FakeAccessibility::deliverReads() {
    while (!m_heldReads.empty()) {
        auto answer = std::move(m_heldReads.front());
        m_heldReads.pop_front();
        answer();
    }
}

} // namespace aimset
