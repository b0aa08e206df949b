#include "HelpPages.h"

#include "Runtime/Observable.h"

namespace aimset {

namespace {

using ms = MainLoop::Duration;
constexpr ms characterEvery{50};
constexpr ms spokenCharacterEvery{45};
constexpr ms hitNextAfter{5000};
constexpr int countdownStart = 15;

QVariantMap defaults() {
    return {{QStringLiteral("typingText"), QString()},
            {QStringLiteral("typingOpacity"), 1.0},
            {QStringLiteral("ghostRisen"), false},
            {QStringLiteral("helpCountdownValue"), countdownStart},
            {QStringLiteral("showHitNext"), false},
            {QStringLiteral("page3TypingText"), QString()},
            {QStringLiteral("showPage3Expansion"), false},
            {QStringLiteral("page4SliderValue"), 0.0},
            {QStringLiteral("showPage4ProgressInfo"), false},
            {QStringLiteral("page5OptionPressed"), false},
            {QStringLiteral("page5MPressed"), false},
            {QStringLiteral("page5ShowPanel"), false},
            {QStringLiteral("page5Transcript"), QString()},
            {QStringLiteral("page5ShowClosing"), false}};
}

// Page 0, one example: typed, held 1.5 s, faded, and 0.4 s later the next.
Timeline::Table typingTable(const QString& example) {
    Timeline::Table table;
    const ms typed =
        Timeline::typing(table, QStringLiteral("typingText"), example, ms{0}, characterEvery);
    const ms faded = typed + characterEvery + ms{1500};
    table.push_back({faded, QStringLiteral("typingOpacity"), 0.0});
    table.push_back({faded + ms{400}, {}, {}});
    return table;
}

// Page 1: the hint 5 s after each arrival or step; the ghost floats while
// stage 0 shows, the countdown runs down to 1 every 0.6 s in stage 2.
Timeline::Table outcomesTable(int stage) {
    Timeline::Table table{{hitNextAfter, QStringLiteral("showHitNext"), true}};
    if (stage == 0) {
        const ms cycle{1600 + 1800};
        table.push_back({ms{0}, QStringLiteral("ghostRisen"), true, cycle});
        table.push_back({ms{1600}, QStringLiteral("ghostRisen"), false, cycle});
    } else if (stage == 2) {
        Timeline::countdown(table, QStringLiteral("helpCountdownValue"), countdownStart, 1, ms{0},
                            ms{600});
    }
    return table;
}

// Page 2: the aimset typed, its widening 3 s after.
Timeline::Table learningTable() {
    Timeline::Table table;
    const ms typed =
        Timeline::typing(table, QStringLiteral("page3TypingText"),
                         QStringLiteral("Research for YouTube video"), ms{0}, characterEvery);
    table.push_back(
        {typed + characterEvery + ms{3000}, QStringLiteral("showPage3Expansion"), true});
    return table;
}

// Page 3: the slider steps to "2h" every 0.5 s; 5 s later the progress note.
Timeline::Table goalTable() {
    return {{ms{500}, QStringLiteral("page4SliderValue"), 1.0},
            {ms{1000}, QStringLiteral("page4SliderValue"), 2.0},
            {ms{1500}, QStringLiteral("page4SliderValue"), 3.0},
            {ms{2000}, QStringLiteral("page4SliderValue"), 4.0},
            {ms{7000}, QStringLiteral("showPage4ProgressInfo"), true}};
}

// Page 4: the chord goes down, the sentence is spoken, the chord comes up.
Timeline::Table voiceTable() {
    Timeline::Table table{{ms{400}, QStringLiteral("page5OptionPressed"), true},
                          {ms{550}, QStringLiteral("page5MPressed"), true},
                          {ms{850}, QStringLiteral("page5ShowPanel"), true}};
    const ms spoken =
        Timeline::typing(table, QStringLiteral("page5Transcript"),
                         QStringLiteral("Actually, I need to book a doctor's appointment first."),
                         ms{1250}, spokenCharacterEvery);
    const ms mUp = spoken + spokenCharacterEvery;
    table.push_back({mUp, QStringLiteral("page5MPressed"), false});
    table.push_back({mUp + ms{100}, QStringLiteral("page5OptionPressed"), false});
    table.push_back({mUp + ms{300}, QStringLiteral("page5ShowPanel"), false});
    table.push_back({mUp + ms{700}, QStringLiteral("page5ShowClosing"), true});
    return table;
}

const QStringList typingExamples{QStringLiteral("Study for biology exam"),
                                 QStringLiteral("Work on my coding project"),
                                 QStringLiteral("Book flights to Japan"),
                                 QStringLiteral("Research for my essay on climate change")};

// Each page's demonstration (page 1: its stage's).
Timeline::Table pageTable(int page, int stage, int exampleIndex) {
    switch (page) {
    case 0:
        return typingTable(typingExamples.at(exampleIndex % typingExamples.size()));
    case 1:
        return outcomesTable(stage);
    case 2:
        return learningTable();
    case 3:
        return goalTable();
    default:
        return voiceTable();
    }
}

} // namespace

HelpPages::HelpPages(MainLoop& loop, QObject* parent)
    : QObject(parent)
    , m_demo(loop, defaults()) {
    connect(&m_demo, &Timeline::stateChanged, this, &HelpPages::demoChanged);
    connect(&m_demo, &Timeline::finished, this, &HelpPages::nextExample);
}

// Reopening starts at page 0, with the first example and page 1's intro.
void HelpPages::setOpen(bool open) {
    m_isOpen = open;
    if (open) {
        playDemo();
        return;
    }
    m_demo.stop();
    m_typingExampleIndex = 0;
    goTo(0, -1);
}

void HelpPages::closeHelp() {
    setOpen(false);
    emit closed();
}

void HelpPages::navigateHelp(int direction) {
    if (!m_isOpen || direction == 0) {
        return;
    }
    if (direction > 0) {
        if (m_helpPage == 1 && m_helpStage < 2) {
            goTo(1, m_helpStage + 1);
        } else if (m_helpPage < pageCount - 1) {
            goTo(m_helpPage + 1, -1);
        }
    } else if (m_helpPage == 1 && m_helpStage >= 0) {
        goTo(1, m_helpStage - 1);
    } else if (m_helpPage > 0) {
        // Page 0 has no back arrow; its demonstration keeps running.
        goTo(m_helpPage - 1, -1);
    }
}

void HelpPages::goTo(int page, int stage) {
    assignIfChanged(this, m_helpPage, page, &HelpPages::helpPageChanged);
    assignIfChanged(this, m_helpStage, stage, &HelpPages::helpStageChanged);
    if (m_isOpen) {
        playDemo();
    }
}

void HelpPages::playDemo() {
    m_demo.play(pageTable(m_helpPage, m_helpStage, m_typingExampleIndex));
}

// Page 0 types its examples in turn for as long as it shows.
void HelpPages::nextExample() {
    if (m_isOpen && m_helpPage == 0) {
        ++m_typingExampleIndex;
        playDemo();
    }
}

} // namespace aimset
