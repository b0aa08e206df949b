#include "FakePanelHost.h"

namespace aimset {

namespace {

class FakePanel final : public FloatingPanel {
public:
    FakePanel(FakePanelHost& host, QString view)
        : m_host(host)
        , m_view(std::move(view)) {}
    ~FakePanel() override {
        --m_host.panelsOnScreen;
        m_host.record(QStringLiteral("orderOut ") + m_view);
    }

private:
    FakePanelHost& m_host;
    QString m_view;
};

QString placementName(PanelPlacement placement) {
    return placement == PanelPlacement::centred ? QStringLiteral("centred")
                                                : QStringLiteral("topCentre");
}

} // namespace

void FakePanelHost::record(const QString& call) {
    calls << call;
    if (journal) {
        *journal << QStringLiteral("panel.") + call;
    }
}

std::unique_ptr<FloatingPanel> FakePanelHost::presentPanel(const PanelRequest& request) {
    lastRequest = request;
    ++panelsOnScreen;
    record(QStringLiteral("present %1 %2x%3 %4")
               .arg(request.view)
               .arg(request.size.width())
               .arg(request.size.height())
               .arg(placementName(request.placement)));
    return std::make_unique<FakePanel>(*this, request.view);
}

} // namespace aimset
