#include "QtPanelHost.h"

#include "Runtime/Log.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QtMath>

namespace aimset {

namespace {

constexpr int topCentreMargin = 20;

class QtFloatingPanel final : public FloatingPanel {
public:
    explicit QtFloatingPanel(QQuickView* view)
        : m_view(view) {}
    ~QtFloatingPanel() override {
        orderOut();
        // Later, not now: the panel is often taken away from inside one of
        // its own button handlers, which still run on the window.
        if (m_view) {
            m_view->deleteLater();
        }
    }
    void orderOut() override {
        if (m_view) {
            m_view->hide();
        }
    }

private:
    QPointer<QQuickView> m_view;
};

QScreen* screenInUse() {
    if (QScreen* screen = QGuiApplication::screenAt(QCursor::pos())) {
        return screen;
    }
    return QGuiApplication::primaryScreen();
}

} // namespace

const QUrl QtPanelHost::defaultViewsBase(QStringLiteral("qrc:/qt/qml/Aimset/Views/"));

QtPanelHost::QtPanelHost(QUrl viewsBase)
    : m_viewsBase(std::move(viewsBase))
    , m_engine(std::make_unique<QQmlEngine>()) {}

QtPanelHost::~QtPanelHost() {
    for (const QPointer<QQuickView>& view : std::as_const(m_views)) {
        delete view.data();
    }
}

void QtPanelHost::setWindowHooks(WindowHook beforeShow, WindowHook afterShow) {
    m_beforeShow = std::move(beforeShow);
    m_afterShow = std::move(afterShow);
}

QRect QtPanelHost::placement(const QRect& available, QSize size, PanelPlacement placement) {
    const int x = available.x() + (available.width() - size.width()) / 2;
    if (placement == PanelPlacement::topCentre) {
        return {QPoint(x, available.y() + topCentreMargin), size};
    }
    // The desktop's usual centred spot sits a little above the middle.
    const int y = available.y() + (available.height() - size.height()) * 2 / 5;
    return {QPoint(x, y), size};
}

std::unique_ptr<FloatingPanel> QtPanelHost::presentPanel(const PanelRequest& request) {
    auto view = std::make_unique<QQuickView>(m_engine.get(), nullptr);
    view->setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::WindowDoesNotAcceptFocus);
    // Opaque black behind the card: the card looks the same with or without
    // a compositor, and its rounded corners fade into the black.
    view->setColor(Qt::black);
    view->setResizeMode(QQuickView::SizeRootObjectToView);
    view->setInitialProperties({{QStringLiteral("manager"), QVariant::fromValue(request.model)}});
    const QUrl source = m_viewsBase.resolved(QUrl(request.view + QStringLiteral(".qml")));
    view->setSource(source);
    if (view->status() != QQuickView::Ready || !view->rootObject()) {
        QStringList errors;
        for (const QQmlError& error : view->errors()) {
            errors << error.toString();
        }
        Log(QStringLiteral("[Panel] Could not load view ") + request.view + QStringLiteral(": ") +
            errors.join(QStringLiteral("; ")));
        return nullptr;
    }

    // Never smaller than the view needs: a clipped card looks broken (the
    // desktop's fonts may run taller than the size was planned for).
    auto* root = qobject_cast<QQuickItem*>(view->rootObject());
    if (root) {
        // Positioners work out their size only when polished; do it now so
        // the window opens at its final size instead of growing after.
        const auto items = root->findChildren<QQuickItem*>();
        for (auto it = items.rbegin(); it != items.rend(); ++it) {
            (*it)->ensurePolished();
        }
        root->ensurePolished();
    }
    const QSize needed = root ? QSize(qCeil(root->implicitWidth()), qCeil(root->implicitHeight()))
                              : view->initialSize();
    const QSize size = request.size.isEmpty() ? needed : request.size.expandedTo(needed);
    QScreen* screen = screenInUse();
    view->setScreen(screen);
    const QRect available = screen ? screen->availableGeometry() : QRect();
    const PanelPlacement where = request.placement;
    auto place = [view = view.get(), available, where](QSize panelSize) {
        // Fixed size: the user cannot resize it, and it has no frame to drag.
        view->setMinimumSize(panelSize);
        view->setMaximumSize(panelSize);
        view->setGeometry(placement(available, panelSize, where));
        if (auto* item = qobject_cast<QQuickItem*>(view->rootObject())) {
            item->setSize(panelSize);
        }
    };
    place(size);
    if (root) {
        // Content that grows while shown (a line that appears, a line that
        // widens) grows the panel rather than being cut off.
        const auto grow = [view = view.get(), root, place] {
            const QSize grown = view->size().expandedTo(
                QSize(qCeil(root->implicitWidth()), qCeil(root->implicitHeight())));
            if (grown != view->size()) {
                place(grown);
            }
        };
        QObject::connect(root, &QQuickItem::implicitHeightChanged, view.get(), grow);
        QObject::connect(root, &QQuickItem::implicitWidthChanged, view.get(), grow);
    }
    if (m_beforeShow) {
        view->create();
        m_beforeShow(*view);
    }
    view->show();
    if (m_afterShow) {
        m_afterShow(*view);
    }
    m_views.removeAll(nullptr);
    m_views << view.get();
    return std::make_unique<QtFloatingPanel>(view.release());
}

} // namespace aimset
