#include "SimulatorPorts.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace aimset {

// ---- the alignment service ---------------------------------------------------------------------

ScriptedHttpClient::ScriptedHttpClient(MainLoop& loop, SimulatorOutput output)
    : m_loop(loop)
    , m_output(std::move(output)) {}

const ServiceRule* ScriptedHttpClient::ruleFor(const QString& mode, const QString& subject) const {
    for (auto rule = m_rules.crbegin(); rule != m_rules.crend(); ++rule) {
        if (rule->mode == mode && (!rule->contains || subject.contains(*rule->contains))) {
            return &*rule;
        }
    }
    return nullptr;
}

void ScriptedHttpClient::send(const HttpRequest& request, Completion completion) {
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    const QString mode = body.value(QStringLiteral("mode")).toString();
    m_output(QStringLiteral("# http ") + mode + QLatin1Char(' ') + QString::fromUtf8(request.body));

    const QString subject = mode == QStringLiteral("expand")
                                ? body.value(QStringLiteral("windowTitle")).toString()
                                : body.value(QStringLiteral("context")).toString();
    HttpResponse response;
    MainLoop::Duration delay{0};
    if (const ServiceRule* rule = ruleFor(mode, subject)) {
        delay = rule->delay;
        if (rule->failure) {
            response.error = *rule->failure;
        } else {
            response.status = rule->status;
            response.body = rule->body;
        }
        if (delay > request.timeout) {
            delay = request.timeout;
            response = HttpResponse{};
            response.error = timedOutDescription;
        }
    } else {
        response.error = noAnswerDescription;
    }
    // Always answered later on the loop, never inside send().
    m_loop.postAfter(delay,
                     [completion = std::move(completion), response] { completion(response); });
}

// ---- panels ------------------------------------------------------------------------------------

namespace {

class PrintingPanel final : public FloatingPanel {
public:
    PrintingPanel(std::unique_ptr<FloatingPanel> inner, QString kind, SimulatedScreen& screen,
                  QQuickItem* view, SimulatorOutput output)
        : m_inner(std::move(inner))
        , m_kind(std::move(kind))
        , m_screen(screen)
        , m_view(view)
        , m_output(std::move(output)) {}
    ~PrintingPanel() override {
        m_inner.reset();
        m_screen.closePanel(m_view);
        m_output(QStringLiteral("# panel hide ") + m_kind);
    }

private:
    std::unique_ptr<FloatingPanel> m_inner;
    QString m_kind;
    SimulatedScreen& m_screen;
    QPointer<QQuickItem> m_view;
    SimulatorOutput m_output;
};

// The recording indicator sizes itself; its panel starts at this content size.
constexpr QSize voicePanelSize{300, 120};

} // namespace

PrintingPanelHost::PrintingPanelHost(FakePanelHost& fake, SimulatedScreen& screen,
                                     SimulatorOutput output)
    : m_fake(fake)
    , m_screen(screen)
    , m_output(std::move(output)) {}

QString PrintingPanelHost::kindOf(const QString& view) {
    if (view == QStringLiteral("ClarifyingQuestionView")) {
        return QStringLiteral("question");
    }
    if (view == QStringLiteral("MisalignedCountdownView")) {
        return QStringLiteral("countdown");
    }
    if (view == QStringLiteral("VoiceRecordingIndicatorView")) {
        return QStringLiteral("voice");
    }
    return view;
}

std::unique_ptr<FloatingPanel> PrintingPanelHost::presentPanel(const PanelRequest& request) {
    const QString kind = kindOf(request.view);
    const QSize size = request.size.isValid() ? request.size : voicePanelSize;
    m_output(
        QStringLiteral("# panel show %1 %2x%3").arg(kind).arg(size.width()).arg(size.height()));
    QQuickItem* view = m_screen.openPanel(request.view, request.model, request.size);
    return std::make_unique<PrintingPanel>(m_fake.presentPanel(request), kind, m_screen, view,
                                           m_output);
}

// ---- keyboard ----------------------------------------------------------------------------------

PrintingFrontTab::PrintingFrontTab(FakeFrontTabCloser& fake, SimulatorOutput output)
    : m_fake(fake)
    , m_output(std::move(output)) {}

FrontTabCloser::Result PrintingFrontTab::closeFrontTab() {
    const Result result = m_fake.closeFrontTab();
    if (result == Result::sent) {
        m_output(QStringLiteral("# key 13 down 0x100000"));
        m_output(QStringLiteral("# key 13 up 0x100000"));
    }
    return result;
}

} // namespace aimset
