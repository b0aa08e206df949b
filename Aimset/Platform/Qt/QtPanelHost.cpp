#include "QtPanelHost.h"

#include "Runtime/Log.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QQmlComponent>
#include <QQuickPaintedItem>
#include <QRegion>
#include <QScreen>
#include <QSurfaceFormat>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <ranges>

namespace aimset {

namespace {

constexpr int topCentreMargin = 20;
// The corner radius of the views' cards, which an opaque window is cut to.
constexpr int cardRadius = 12;
// The shadow a translucent panel casts: how far it spreads around the card
// and how far it falls below it.
constexpr int shadowSpread = 18;
constexpr int shadowDrop = 6;

// A soft shadow: faint rounded rectangles growing outwards from the card,
// painted once (shader effects need a GPU).
class CardShadow final : public QQuickPaintedItem {
public:
    explicit CardShadow(QQuickItem* parent)
        : QQuickPaintedItem(parent) {}
    void paint(QPainter* painter) override {
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(0, 0, 0, 7));
        const QRectF card =
            boundingRect().adjusted(shadowSpread, shadowSpread, -shadowSpread, -shadowSpread);
        for (int grow = shadowSpread; grow >= 0; --grow) {
            const QRectF layer = card.adjusted(-grow, -grow, grow, grow);
            painter->drawRoundedRect(layer, cardRadius + grow, cardRadius + grow);
        }
    }
};

class QtFloatingPanel final : public FloatingPanel {
public:
    explicit QtFloatingPanel(PanelWindow* window)
        : m_window(window) {}
    ~QtFloatingPanel() override {
        // Deleted later, not now: the panel is often taken away from inside
        // one of its own button handlers, which still run on the window.
        if (m_window) {
            m_window->hide();
            m_window->deleteLater();
        }
    }

private:
    QPointer<PanelWindow> m_window;
};

// A rounded rectangle as whole pixels: those at least half inside it.
QRegion roundedRegion(QSize size, int radius) {
    const int r = std::max(0, std::min({radius, size.width() / 2, size.height() / 2}));
    QRegion region(0, r, size.width(), size.height() - 2 * r);
    for (int row = 0; row < r; ++row) {
        // The first pixel of the row whose centre lies inside the corner's circle.
        const double fromCentre = r - (row + 0.5);
        const int inset = static_cast<int>(
            std::ceil(r - std::sqrt(double(r) * r - fromCentre * fromCentre) - 0.5));
        region += QRect(inset, row, size.width() - 2 * inset, 1);
        region += QRect(inset, size.height() - 1 - row, size.width() - 2 * inset, 1);
    }
    return region;
}

} // namespace

PanelWindow::PanelWindow(QQuickItem* view, bool translucent)
    : m_view(view) {
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
             Qt::WindowDoesNotAcceptFocus | Qt::BypassWindowManagerHint);
    if (translucent) {
        QSurfaceFormat format = requestedFormat();
        format.setAlphaBufferSize(8);
        setFormat(format);
        setColor(Qt::transparent);
        m_shadow = new CardShadow(contentItem());
    } else {
        // Behind the card's anti-aliased edge, where the window's shape
        // leaves a pixel of it.
        setColor(Qt::black);
    }
    view->setParent(this);
    view->setParentItem(contentItem());
}

PanelWindow::~PanelWindow() {
    // Before the scene they belong to goes.
    delete m_view.data();
    delete m_shadow.data();
}

QMargins PanelWindow::shadowMargins() const {
    return isTranslucent() ? QMargins(shadowSpread, shadowSpread - shadowDrop, shadowSpread,
                                      shadowSpread + shadowDrop)
                           : QMargins();
}

void PanelWindow::setCardSize(QSize card) {
    const QMargins margins = shadowMargins();
    m_view->setPosition(QPointF(margins.left(), margins.top()));
    m_view->setSize(card);
    if (isTranslucent()) {
        m_shadow->setSize(card.grownBy(margins));
        m_shadow->update();
    } else {
        // Without a compositor a window cannot be see-through: it is cut to
        // the card, so no square shows around the rounded corners.
        setMask(roundedRegion(card, cardRadius));
    }
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
    QQmlComponent component(&m_engine, QUrl(QStringLiteral("qrc:/qt/qml/Aimset/Views/") +
                                            request.view + QStringLiteral(".qml")));
    std::unique_ptr<QObject> created;
    if (component.isReady()) {
        created.reset(component.createWithInitialProperties(
            {{QStringLiteral("manager"), QVariant::fromValue(request.model)}}));
    }
    auto* root = qobject_cast<QQuickItem*>(created.get());
    if (!root) {
        QStringList errors;
        std::ranges::transform(component.errors(), std::back_inserter(errors),
                               &QQmlError::toString);
        Log(QStringLiteral("[Panel] Could not load view ") + request.view + QStringLiteral(": ") +
            (errors.isEmpty() ? QStringLiteral("not a visual item")
                              : errors.join(QStringLiteral("; "))));
        return nullptr;
    }
    created.release();
    const bool translucent = isTranslucent && isTranslucent();
    auto window = std::make_unique<PanelWindow>(root, translucent);

    // Never smaller than the view needs (the desktop's fonts may run taller
    // than planned). Positioners size themselves when polished: done now,
    // the window opens at its final size.
    std::ranges::for_each(root->findChildren<QQuickItem*>() | std::views::reverse,
                          &QQuickItem::ensurePolished);
    root->ensurePolished();
    const auto needed = [root] {
        return QSize(qCeil(root->implicitWidth()), qCeil(root->implicitHeight()));
    };
    const QSize size = request.size.isEmpty() ? needed() : request.size.expandedTo(needed());
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    screen = screen ? screen : QGuiApplication::primaryScreen();
    window->setScreen(screen);
    const QRect available = screen ? screen->availableGeometry() : QRect();
    auto place = [window = window.get(), available, where = request.placement](QSize card) {
        const QMargins margins = window->shadowMargins();
        // Fixed size: the user cannot resize it, and it has no frame to drag.
        const QSize whole = card.grownBy(margins);
        window->setMinimumSize(whole);
        window->setMaximumSize(whole);
        window->setGeometry(placement(available, card, where).marginsAdded(margins));
        window->setCardSize(card);
    };
    place(size);
    // Content that grows while shown grows the panel rather than being cut off.
    const auto grow = [window = window.get(), needed, place] {
        const QSize grown = window->cardSize().expandedTo(needed());
        if (grown != window->cardSize()) {
            place(grown);
        }
    };
    QObject::connect(root, &QQuickItem::implicitHeightChanged, window.get(), grow);
    QObject::connect(root, &QQuickItem::implicitWidthChanged, window.get(), grow);
    if (beforeShow) {
        window->create();
        beforeShow(*window);
    }
    window->show();
    if (afterShow) {
        afterShow(*window);
    }
    static_cast<QObject*>(window.get())->setParent(&m_windows);
    return std::make_unique<QtFloatingPanel>(window.release());
}

} // namespace aimset
