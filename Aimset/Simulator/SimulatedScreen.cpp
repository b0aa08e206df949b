#include "SimulatedScreen.h"

#include "Session/ContentView.h"
#include "Views/ViewUrl.h"

#include <QAnimationDriver>
#include <QCoreApplication>
#include <QMetaMethod>
#include <QQmlComponent>
#include <QTextDocumentFragment>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace aimset {

// Qt Quick's animations on a clock of their own that leaps ten seconds when
// the screen settles, several times the longest the views play: every fade,
// slide and spring is then at its end, whatever the virtual time, and no
// animation waits for real time to pass. (A spring steps through every 16 ms
// of a leap, so a longer one costs.)
class SettlingAnimations final : public QAnimationDriver {
public:
    SettlingAnimations() { install(); }
    ~SettlingAnimations() override { uninstall(); }

    qint64 elapsed() const override { return m_elapsed; }
    void leap() {
        m_elapsed += 10'000;
        advance();
    }

private:
    qint64 m_elapsed = 0;
};

namespace {

constexpr QSize mainWindowSize{720, 560};

// Children in the order they are drawn, back to front.
QList<QQuickItem*> drawingOrder(const QQuickItem* item) {
    QList<QQuickItem*> children = item->childItems();
    std::stable_sort(children.begin(), children.end(),
                     [](const QQuickItem* a, const QQuickItem* b) { return a->z() < b->z(); });
    return children;
}

bool shown(const QQuickItem* item) {
    return item->isVisible() && item->opacity() > 0;
}

// Whether a child of the window is drawn over the whole of it.
bool covers(const QQuickItem* child, const QQuickItem* window) {
    return child->x() <= 0 && child->y() <= 0 && child->width() >= window->width() &&
           child->height() >= window->height();
}

bool isText(const QQuickItem* item) {
    return item->inherits("QQuickText") || item->inherits("QQuickTextInput");
}

// What a text item shows, without the markup of a styled text.
QString shownText(const QQuickItem* item) {
    const QString text = item->property("text").toString();
    const QVariant format = item->property("textFormat");
    if (format.isValid() && format.toInt() != Qt::PlainText && Qt::mightBeRichText(text)) {
        return QTextDocumentFragment::fromHtml(text).toPlainText();
    }
    return text;
}

// Visits every shown item under item, itself first, depth first in drawing
// order; a hidden or fully transparent item hides all it holds. A visit
// that returns true ends the walk.
template <typename Visit> bool walkShown(QQuickItem* item, const Visit& visit) {
    if (!shown(item)) {
        return false;
    }
    if (visit(item)) {
        return true;
    }
    const QList<QQuickItem*> children = drawingOrder(item);
    return std::any_of(children.begin(), children.end(),
                       [&visit](QQuickItem* child) { return walkShown(child, visit); });
}

void collectTexts(QQuickItem* item, QStringList& texts) {
    walkShown(item, [&texts](QQuickItem* each) {
        if (isText(each)) {
            texts << shownText(each);
        }
        return false;
    });
}

// Lays out what positioners (columns, rows) place, inner ones first.
void polish(QQuickItem* item) {
    for (QQuickItem* child : item->childItems()) {
        polish(child);
    }
    item->ensurePolished();
}

// Where a piece of the window starts for a reader: the top of its first
// shown text.
std::optional<qreal> firstTextTop(QQuickItem* item) {
    std::optional<qreal> top;
    walkShown(item, [&top](QQuickItem* each) {
        if (isText(each)) {
            top = each->mapToScene(QPointF()).y();
        }
        return top.has_value();
    });
    return top;
}

// The main window's texts. Its children drawn over the whole window are
// layers, read back to front; the smaller pieces drawn on a layer (the "?"
// button at the top edge) are read with it, the layer's pieces top to bottom.
void collectWindowTexts(QQuickItem* root, QStringList& texts) {
    polish(root);
    std::vector<std::vector<QQuickItem*>> layers(1);
    for (QQuickItem* child : drawingOrder(root)) {
        if (!shown(child)) {
            continue;
        }
        if (covers(child, root) &&
            std::any_of(layers.back().begin(), layers.back().end(),
                        [root](const QQuickItem* piece) { return covers(piece, root); })) {
            layers.emplace_back();
        }
        layers.back().push_back(child);
    }
    for (std::vector<QQuickItem*>& pieces : layers) {
        std::stable_sort(pieces.begin(), pieces.end(), [](QQuickItem* a, QQuickItem* b) {
            return firstTextTop(a).value_or(0) < firstTextTop(b).value_or(0);
        });
        for (QQuickItem* piece : pieces) {
            collectTexts(piece, texts);
        }
    }
}

// A button's label: the symbol it draws, its text, or the text it holds.
QString labelOf(const QQuickItem* button) {
    for (const char* name : {"symbol", "text"}) {
        const QVariant label = button->property(name);
        if (label.typeId() == QMetaType::QString) {
            return label.toString();
        }
    }
    for (const QQuickItem* child : button->childItems()) {
        if (isText(child)) {
            return shownText(child);
        }
    }
    return {};
}

void collectMouseAreas(QQuickItem* item, QList<QQuickItem*>& areas) {
    walkShown(item, [&areas](QQuickItem* each) {
        if (each->inherits("QQuickMouseArea") && each->isEnabled()) {
            areas << each;
        }
        return false;
    });
}

QQuickItem* findShown(QQuickItem* item, const QString& objectName) {
    QQuickItem* found = nullptr;
    walkShown(item, [&found, &objectName](QQuickItem* each) {
        found = each->objectName() == objectName ? each : nullptr;
        return found != nullptr;
    });
    return found;
}

// A click as the mouse area reports it; the views' handlers never read the event.
void click(QQuickItem* mouseArea) {
    const QMetaObject* meta = mouseArea->metaObject();
    const QMetaMethod clicked = meta->method(
        meta->indexOfSignal(QMetaObject::normalizedSignature("clicked(QQuickMouseEvent*)")));
    void* noEvent = nullptr;
    clicked.invoke(mouseArea, Qt::DirectConnection,
                   QGenericArgument("QQuickMouseEvent*", &noEvent));
}

std::unique_ptr<QQuickItem> makeView(QQmlEngine& engine, const QString& name,
                                     const QVariantMap& properties) {
    QQmlComponent component(&engine, viewUrl(name));
    std::unique_ptr<QObject> made;
    if (component.isReady()) {
        made.reset(component.createWithInitialProperties(properties));
    }
    auto* item = qobject_cast<QQuickItem*>(made.get());
    if (!item) {
        std::fprintf(stderr, "aimset-sim: cannot make the view %s: %s\n", qUtf8Printable(name),
                     qUtf8Printable(component.errorString()));
        return nullptr;
    }
    made.release();
    return std::unique_ptr<QQuickItem>(item);
}

} // namespace

SimulatedScreen::SimulatedScreen()
    : m_animations(std::make_unique<SettlingAnimations>()) {
    m_engine.addImportPath(QString::fromLatin1(viewsImportPath));
}

SimulatedScreen::~SimulatedScreen() {
    closeMainWindow();
    for (const QPointer<QQuickItem>& panel : m_panels) {
        delete panel.data();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void SimulatedScreen::showMainWindow(ContentView& view) {
    m_main = makeView(m_engine, QStringLiteral("ContentView"),
                      {{QStringLiteral("view"), QVariant::fromValue(&view)}});
    if (m_main) {
        m_window.resize(mainWindowSize);
        m_main->setSize(mainWindowSize);
        m_main->setParentItem(m_window.contentItem());
    }
    settle();
}

void SimulatedScreen::closeMainWindow() {
    m_main.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QQuickItem* SimulatedScreen::openPanel(const QString& view, QObject* model, QSize size) {
    std::unique_ptr<QQuickItem> panel =
        makeView(m_engine, view, {{QStringLiteral("manager"), QVariant::fromValue(model)}});
    if (!panel) {
        return nullptr;
    }
    if (size.isValid()) {
        panel->setSize(size);
    }
    m_panels.emplace_back(panel.get());
    return panel.release();
}

void SimulatedScreen::closePanel(QQuickItem* panel) {
    std::erase(m_panels, panel);
    // Later: a panel is often taken away from inside one of its own handlers.
    if (panel) {
        panel->setVisible(false);
        panel->deleteLater();
    }
}

void SimulatedScreen::settle() {
    // Animations start from posted calls; the views they end in unloading
    // go by deferred deletion, which sets off more.
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
        m_animations->leap();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

QStringList SimulatedScreen::texts() {
    settle();
    QStringList texts;
    if (m_main) {
        collectWindowTexts(m_main.get(), texts);
    }
    for (const QPointer<QQuickItem>& panel : m_panels) {
        if (panel) {
            collectTexts(panel, texts);
        }
    }
    // A text of nothing but blanks shows nothing.
    texts.removeIf([](const QString& text) { return text.trimmed().isEmpty(); });
    return texts;
}

// Shown, enabled, and in the main window not under a layer drawn over the
// whole of it (the help card's scrim takes every click there).
bool SimulatedScreen::reachable(QQuickItem* item) const {
    if (!item || !shown(item) || !item->isEnabled()) {
        return false;
    }
    if (!m_main || !m_main->isAncestorOf(item)) {
        return true;
    }
    const QList<QQuickItem*> layers = drawingOrder(m_main.get());
    auto layer = std::find_if(layers.begin(), layers.end(), [item](const QQuickItem* each) {
        return each == item || each->isAncestorOf(item);
    });
    return std::none_of(layer + 1, layers.end(), [this](const QQuickItem* above) {
        return shown(above) && covers(above, m_main.get());
    });
}

bool SimulatedScreen::press(const QString& label) {
    settle();
    QList<QQuickItem*> areas;
    if (m_main) {
        collectMouseAreas(m_main.get(), areas);
    }
    for (const QPointer<QQuickItem>& panel : m_panels) {
        if (panel) {
            collectMouseAreas(panel, areas);
        }
    }
    for (QQuickItem* area : std::as_const(areas)) {
        QQuickItem* button = area->parentItem();
        if (button && labelOf(button) == label && reachable(area)) {
            click(area);
            settle();
            return true;
        }
    }
    return false;
}

QQuickItem* SimulatedScreen::control(const QString& objectName) {
    settle();
    QQuickItem* found = m_main ? findShown(m_main.get(), objectName) : nullptr;
    return reachable(found) ? found : nullptr;
}

} // namespace aimset
