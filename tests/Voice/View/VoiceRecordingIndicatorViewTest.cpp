#include "Views/ViewUrl.h"
#include "Voice/VoiceAimsetManager.h"

#include "Platform/Fake/FakeAudioEngine.h"
#include "Platform/Fake/FakePanelHost.h"
#include "Platform/Fake/FakeSpeechService.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

#include <gtest/gtest.h>

#include <memory>

using namespace aimset;

namespace {

// Collects the QML engine's warnings, so a binding error fails the test.
QStringList qmlWarnings;

void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg) {
        qmlWarnings << message;
    }
}

struct VoiceRecordingIndicatorViewTest : ::testing::Test {
    VirtualMainLoop loop;
    FakeSpeechService speech;
    FakeAudioEngine audio;
    FakePanelHost panels;
    test::LogCapture log;
    VoiceAimsetManager manager{loop, speech, audio, panels};
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> card;

    void SetUp() override {
        qmlWarnings.clear();
        qInstallMessageHandler(collectWarnings);
        QQmlComponent component(&engine, viewUrl(QStringLiteral("VoiceRecordingIndicatorView")));
        ASSERT_EQ(component.status(), QQmlComponent::Ready)
            << component.errorString().toStdString();
        QObject* created = component.createWithInitialProperties(
            {{QStringLiteral("manager"), QVariant::fromValue<QObject*>(&manager)}});
        card.reset(qobject_cast<QQuickItem*>(created));
        ASSERT_TRUE(card);
        card->setParentItem(window.contentItem());
        // What lies behind the panel; the card's rounded corners let it through.
        window.setColor(Qt::white);
        fitWindow();
        window.show();
    }

    void TearDown() override {
        card.reset();
        qInstallMessageHandler(nullptr);
        EXPECT_TRUE(qmlWarnings.isEmpty()) << qmlWarnings.join(u'\n').toStdString();
    }

    // The panel host sizes the panel to the card's own size.
    void fitWindow() {
        card->setSize(QSizeF(card->implicitWidth(), card->implicitHeight()));
        window.resize(card->size().toSize());
    }

    QQuickItem* item(const char* name) const {
        auto* found = card->findChild<QQuickItem*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QString text(const char* name) const { return item(name)->property("text").toString(); }
    QColor color(const char* name) const { return item(name)->property("color").value<QColor>(); }
    QFont font(const char* name) const { return item(name)->property("font").value<QFont>(); }
    // Top-left corner of a child in the card's coordinates.
    QPointF position(const char* name) const {
        return item(name)->mapToItem(card.get(), QPointF(0, 0));
    }

    void hear(const QString& words) {
        if (!manager.isListening()) {
            manager.startListening();
        }
        speech.latestTask().deliverResult(words);
        loop.runPending();
        settle();
    }

    // Lets the column lay out its children again, as the next frame does.
    void settle() { render(); }

    // Lays out, fits the window to the card's new size, and draws it.
    QImage render() {
        fitWindow();
        window.grabWindow();
        fitWindow();
        return window.grabWindow();
    }
};

// Keeps a rendering for a person to look at when AIMSET_SCREENSHOT_DIR is set.
void saveForReview(const QImage& image, const char* state) {
    if (const QString dir = qEnvironmentVariable("AIMSET_SCREENSHOT_DIR"); !dir.isEmpty()) {
        image.save(dir + QStringLiteral("/VoiceRecordingIndicatorView-") + QLatin1String(state) +
                   QStringLiteral(".png"));
    }
}

void expectColor(const QColor& actual, const QColor& expected, const char* what) {
    EXPECT_EQ(actual.rgba(), expected.rgba())
        << what << ": " << actual.name(QColor::HexArgb).toStdString() << " vs "
        << expected.name(QColor::HexArgb).toStdString();
}

TEST_F(VoiceRecordingIndicatorViewTest, BeforeAnyWordsOnlyTheListeningRowAndTheHintShow) {
    EXPECT_EQ(text("listeningLabel"), QStringLiteral("Listening..."));
    EXPECT_EQ(text("hintLabel"), QStringLiteral("Release Option+M to set aimset"));
    EXPECT_FALSE(item("transcriptionLabel")->isVisible());
    saveForReview(render(), "Listening");

    // Padding of 24 beside and 16 above and below; 8 between the row and the hint.
    EXPECT_EQ(position("content"), QPointF(24, 16));
    const QQuickItem* content = item("content");
    EXPECT_DOUBLE_EQ(card->implicitWidth(), content->implicitWidth() + 48);
    EXPECT_DOUBLE_EQ(card->implicitHeight(), content->implicitHeight() + 32);
    const QQuickItem* row = item("listeningRow");
    EXPECT_DOUBLE_EQ(position("hintLabel").y(), position("listeningRow").y() + row->height() + 8);
    EXPECT_DOUBLE_EQ(card->implicitHeight(),
                     16 + row->height() + 8 + item("hintLabel")->height() + 16);

    // Both lines are centred in the card.
    for (const char* name : {"listeningRow", "hintLabel"}) {
        const QQuickItem* line = item(name);
        EXPECT_NEAR(position(name).x() + line->width() / 2, card->width() / 2, 0.5) << name;
    }
}

TEST_F(VoiceRecordingIndicatorViewTest, CardDotAndTextsHaveTheirSizesWeightsAndColours) {
    EXPECT_DOUBLE_EQ(card->property("radius").toDouble(), 12);
    expectColor(card->property("color").value<QColor>(), QColor::fromRgbF(0, 0, 0, 0.95f), "card");
    QObject* border = card->property("border").value<QObject*>();
    ASSERT_NE(border, nullptr);
    expectColor(border->property("color").value<QColor>(), QColor::fromRgbF(1, 1, 1, 0.1f),
                "stroke");
    EXPECT_DOUBLE_EQ(border->property("width").toDouble(), 1);

    const QQuickItem* dot = item("redDot");
    EXPECT_EQ(dot->size(), QSizeF(8, 8));
    EXPECT_DOUBLE_EQ(dot->property("radius").toDouble(), 4);
    EXPECT_EQ(color("redDot").red(), 255);
    // The dot sits left of the label, 8 apart, both centred on one line.
    EXPECT_DOUBLE_EQ(position("listeningLabel").x(), position("redDot").x() + 8 + 8);
    EXPECT_NEAR(position("redDot").y() + 4,
                position("listeningLabel").y() + item("listeningLabel")->height() / 2, 0.5);

    EXPECT_EQ(font("listeningLabel").pixelSize(), 14);
    EXPECT_EQ(font("listeningLabel").weight(), QFont::Medium);
    expectColor(color("listeningLabel"), QColor::fromRgbF(1, 1, 1, 0.8f), "listening");
    EXPECT_EQ(font("transcriptionLabel").pixelSize(), 16);
    EXPECT_EQ(font("transcriptionLabel").weight(), QFont::Normal);
    expectColor(color("transcriptionLabel"), QColor::fromRgbF(1, 1, 1, 0.7f), "transcription");
    EXPECT_EQ(font("hintLabel").pixelSize(), 12);
    expectColor(color("hintLabel"), QColor::fromRgbF(1, 1, 1, 0.4f), "hint");
}

TEST_F(VoiceRecordingIndicatorViewTest, FirstPartialResultAddsTheTranscriptionLineBetween) {
    const qreal heightBefore = card->implicitHeight();
    hear(QStringLiteral("finish the quarterly report"));

    const QQuickItem* label = item("transcriptionLabel");
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(text("transcriptionLabel"), QStringLiteral("finish the quarterly report"));
    EXPECT_EQ(label->property("horizontalAlignment").toInt(), Qt::AlignHCenter);
    EXPECT_EQ(label->property("lineCount").toInt(), 1);
    const qreal rowBottom = position("listeningRow").y() + item("listeningRow")->height();
    EXPECT_DOUBLE_EQ(position("transcriptionLabel").y(), rowBottom + 8);
    EXPECT_DOUBLE_EQ(position("hintLabel").y(),
                     position("transcriptionLabel").y() + label->height() + 8);
    EXPECT_DOUBLE_EQ(card->implicitHeight(), heightBefore + label->height() + 8);
    EXPECT_NEAR(position("transcriptionLabel").x() + label->width() / 2, card->width() / 2, 0.5);

    // Each new result replaces the line at once; the release takes it away.
    hear(QStringLiteral("write the summary"));
    EXPECT_EQ(text("transcriptionLabel"), QStringLiteral("write the summary"));
    manager.stopListening();
    settle();
    EXPECT_FALSE(item("transcriptionLabel")->isVisible());
    EXPECT_DOUBLE_EQ(card->implicitHeight(), heightBefore);
}

TEST_F(VoiceRecordingIndicatorViewTest, ALongTranscriptionShowsTwoLinesAtMost) {
    hear(QStringLiteral("finish the quarterly report for the finance team and then send it to "
                        "everyone on the distribution list before the end of the afternoon"));
    const QQuickItem* label = item("transcriptionLabel");
    EXPECT_EQ(label->property("lineCount").toInt(), 2);
    EXPECT_TRUE(label->property("truncated").toBool());
    EXPECT_LE(label->width(), 300 - 48);
    EXPECT_LE(card->implicitWidth(), 300);
    saveForReview(render(), "LongTranscription");
    const qreal twoLines = label->height();
    hear(QStringLiteral("short"));
    EXPECT_LT(item("transcriptionLabel")->height(), twoLines);
}

TEST_F(VoiceRecordingIndicatorViewTest, RendersADarkRoundedCardWithARedDot) {
    hear(QStringLiteral("finish the quarterly report"));
    const QImage image = render();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), card->size().toSize() * window.devicePixelRatio());
    saveForReview(image, "WithTranscription");

    const QPointF dotCentre = position("redDot") + QPointF(4, 4);
    const QColor dot = image.pixelColor(dotCentre.toPoint());
    EXPECT_GT(dot.red(), 200);
    EXPECT_LT(dot.green(), 100);
    // Inside the card, away from any text: nearly black.
    const QColor inside = image.pixelColor(6, static_cast<int>(card->height() / 2));
    EXPECT_LT(inside.value(), 30);
    // The very corner lies outside the 12-point rounding.
    EXPECT_GT(image.pixelColor(0, 0).value(), 200);
    EXPECT_GT(image.pixelColor(image.width() - 1, image.height() - 1).value(), 200);
    // Some light pixels where the words are drawn.
    int light = 0;
    const QRectF words =
        item("transcriptionLabel")
            ->mapRectToItem(card.get(), item("transcriptionLabel")->boundingRect());
    const QRect area = words.toRect();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            light += image.pixelColor(x, y).value() > 120 ? 1 : 0;
        }
    }
    EXPECT_GT(light, 50);
}

} // namespace

namespace {

TEST(ViewsModuleTest, TheIndicatorIsAlsoATypeOfTheViewsModule) {
    QQmlEngine engine;
    engine.addImportPath(QLatin1String(aimset::viewsImportPath));
    QQmlComponent component(&engine);
    component.setData("import Aimset.Views\nVoiceRecordingIndicatorView {}\n", QUrl());
    ASSERT_EQ(component.status(), QQmlComponent::Ready) << component.errorString().toStdString();
    std::unique_ptr<QObject> view(component.create());
    ASSERT_TRUE(view);
    EXPECT_EQ(view->objectName(), QStringLiteral("card"));
    // Without a manager it shows an empty recording, not an error.
    EXPECT_EQ(view->property("transcription").toString(), QString());
}

} // namespace
