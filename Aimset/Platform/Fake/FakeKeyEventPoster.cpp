#include "FakeKeyEventPoster.h"

namespace aimset {

namespace {

QString describe(std::uint16_t keyCode, bool keyDown) {
    return QString::number(keyCode) + (keyDown ? QStringLiteral(" down") : QStringLiteral(" up"));
}

class FakeSource final : public KeyEventPoster::Source {
public:
    explicit FakeSource(FakeKeyEventPoster& poster)
        : m_poster(poster) {
        ++m_poster.liveObjects;
    }
    ~FakeSource() override {
        --m_poster.liveObjects;
        m_poster.calls << QStringLiteral("release source");
    }

private:
    FakeKeyEventPoster& m_poster;
};

class FakeEvent final : public KeyEventPoster::Event {
public:
    FakeEvent(FakeKeyEventPoster& poster, std::uint16_t keyCode, bool keyDown)
        : m_poster(poster)
        , value{keyCode, keyDown, poster.heldFlags} {
        ++m_poster.liveObjects;
    }
    ~FakeEvent() override {
        --m_poster.liveObjects;
        m_poster.calls << QStringLiteral("release ") + describe(value.keyCode, value.keyDown);
    }

private:
    FakeKeyEventPoster& m_poster;

public:
    FakeKeyEventPoster::PostedEvent value;
};

} // namespace

std::unique_ptr<KeyEventPoster::Source> FakeKeyEventPoster::createSource() {
    calls << QStringLiteral("createSource");
    if (failSource) {
        return nullptr;
    }
    return std::make_unique<FakeSource>(*this);
}

std::unique_ptr<KeyEventPoster::Event>
FakeKeyEventPoster::createKeyboardEvent(Source& /*source*/, std::uint16_t keyCode, bool keyDown) {
    calls << QStringLiteral("createKeyboardEvent ") + describe(keyCode, keyDown);
    if (keyDown ? failKeyDown : failKeyUp) {
        return nullptr;
    }
    return std::make_unique<FakeEvent>(*this, keyCode, keyDown);
}

void FakeKeyEventPoster::setFlags(Event& event, std::uint64_t flags) {
    auto& fake = static_cast<FakeEvent&>(event);
    fake.value.flags = flags;
    calls << QStringLiteral("setFlags %1 0x%2")
                 .arg(describe(fake.value.keyCode, fake.value.keyDown))
                 .arg(flags, 0, 16);
}

void FakeKeyEventPoster::post(Event& event) {
    const auto& fake = static_cast<FakeEvent&>(event);
    posted.push_back(fake.value);
    calls << QStringLiteral("post ") + describe(fake.value.keyCode, fake.value.keyDown);
}

} // namespace aimset
