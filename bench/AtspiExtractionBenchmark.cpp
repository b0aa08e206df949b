// Prints what reading the window text of a long Chromium page costs through
// AT-SPI: the whole walk against the walk that stops once the kept text is
// known. Run it on a desktop: bash scripts/with-desktop.sh aimset-atspi-benchmark
#include "Monitoring/AlignmentChecker.h"
#include "Platform/Fake/FakeHttpClient.h"
#include "Platform/Linux/Atspi/AtspiAccessibility.h"
#include "support/SpinUntil.h"
#include "support/a11y/A11ySession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdio>

using namespace aimset;

namespace {

constexpr int kParagraphs = 2000;
constexpr int kRounds = 3;

AtspiAccessibility::Options optionsOn(const test::A11ySession& session, bool whole) {
    AtspiAccessibility::Options options;
    options.programDirectory = QStringLiteral(AIMSET_ATSPI_DUMP_DIR);
    options.busAddress = session.address();
    // A text limit nothing reaches: the whole window is read.
    options.keptTextLength = whole ? 1000000000 : AlignmentChecker::maxTextLength;
    options.deadline = std::chrono::seconds(60);
    return options;
}

int countElements(const AccessibleElement& element) {
    int count = 1;
    for (const auto& child :
         element.children().value_or(std::vector<std::shared_ptr<const AccessibleElement>>{})) {
        count += countElements(*child);
    }
    return count;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fputs("run it on a desktop: bash scripts/with-desktop.sh aimset-atspi-benchmark\n",
                   stderr);
        return 2;
    }
    const auto session = test::A11ySession::start(test::A11ySession::Launcher::enabled);
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (!session || chromium.isEmpty()) {
        std::fputs("needs at-spi2-core, dbus and chromium\n", stderr);
        return 1;
    }
    QTemporaryDir dir;
    QString body;
    for (int i = 1; i <= kParagraphs; ++i) {
        body += QStringLiteral("<p>Paragraph %1 of the long page: notes on the quarterly budget "
                               "and the plans for the next release.</p>")
                    .arg(i);
    }
    const QString path = dir.filePath(QStringLiteral("long.html"));
    QFile page(path);
    if (!page.open(QIODevice::WriteOnly)) {
        return 1;
    }
    page.write(QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Long "
                              "page</title></head><body>%1</body></html>")
                   .arg(body)
                   .toUtf8());
    page.close();
    test::TestApp browser(*session, chromium,
                          test::chromiumArguments(dir.filePath(QStringLiteral("profile")),
                                                  QUrl::fromLocalFile(path).toString()));

    AtspiAccessibility whole(optionsOn(*session, true));
    AtspiAccessibility early(optionsOn(*session, false));
    const QString last = QStringLiteral("Paragraph %1 of").arg(kParagraphs);
    int elements = 0;
    const bool loaded = test::spinUntil(
        [&] {
            const auto tree = test::readWindow(whole, browser.pid());
            QStringList parts;
            if (tree) {
                AlignmentChecker::collectText(*tree, parts, 0, AlignmentChecker::maxWalkDepth);
                elements = countElements(*tree);
            }
            return parts.join(QLatin1Char(' ')).contains(last);
        },
        std::chrono::seconds(90));
    if (!loaded) {
        std::fputs("the page did not show up in the accessibility tree\n", stderr);
        return 1;
    }
    std::printf("page: %d paragraphs, %d elements in the window's tree\n", kParagraphs, elements);

    FakeHttpClient http;
    for (int round = 1; round <= kRounds; ++round) {
        for (auto* accessibility : {&whole, &early}) {
            AlignmentChecker checker(http, *accessibility,
                                     QUrl(QStringLiteral("http://127.0.0.1:9/check")));
            QElapsedTimer elapsed;
            elapsed.start();
            std::optional<QString> read;
            checker.extractWindowText(
                browser.pid(), QStringLiteral("x"),
                [&read](std::optional<QString> text) { read = text.value_or(QString()); });
            while (!read) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            }
            const qint64 ms = elapsed.elapsed();
            const QString text = *read;
            // What the walk took in, read once more outside the timing.
            const auto tree = test::readWindow(*accessibility, browser.pid());
            std::printf("round %d %-11s %5lld ms  %6d elements read  %4lld characters kept\n",
                        round, accessibility == &whole ? "whole walk" : "early stop",
                        static_cast<long long>(ms), tree ? countElements(*tree) : 0,
                        static_cast<long long>(text.size()));
            std::fflush(stdout);
        }
    }
    return 0;
}
