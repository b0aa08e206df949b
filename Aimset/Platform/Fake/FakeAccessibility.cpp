#include "FakeAccessibility.h"

#include <utility>

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
    auto answer = [completion = std::move(completion), window = windows.value(processIdentifier)] {
        completion(window);
    };
    if (m_loop) {
        m_loop->postAfter(readDelay, std::move(answer));
    } else {
        m_pendingReads.push_back(std::move(answer));
    }
}

void FakeAccessibility::deliverReads() {
    auto reads = std::exchange(m_pendingReads, {});
    for (auto& read : reads) {
        read();
    }
}

} // namespace aimset
