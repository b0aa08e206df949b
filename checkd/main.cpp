#include "AutoJudge.h"
#include "CheckService.h"
#include "CommandLine.h"
#include "Evaluation.h"
#include "HttpServer.h"
#include "LanguageModelJudge.h"
#include "OfflineJudge.h"
#include "Runtime/Log.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>

using namespace aimset;
using namespace aimset::checkd;

namespace {

void printError(const QString& message) {
    std::fprintf(stderr, "aimset-checkd: %s\n", message.toLocal8Bit().constData());
}

// A model is asked only when the user configured one: a listener found on
// a model server's usual port could belong to anyone on the machine.
std::unique_ptr<Judge> makeJudge(const Options& options, Knowledge knowledge) {
    if (options.judge == QStringLiteral("llm")) {
        return std::make_unique<LanguageModelJudge>(options.languageModel);
    }
    if (options.judge == QStringLiteral("auto")) {
        std::unique_ptr<Judge> model;
        if (!options.languageModel.baseUrl.isEmpty()) {
            model = std::make_unique<LanguageModelJudge>(options.languageModel);
        }
        return std::make_unique<AutoJudge>(std::make_unique<OfflineJudge>(std::move(knowledge)),
                                           std::move(model));
    }
    return std::make_unique<OfflineJudge>(std::move(knowledge));
}

std::optional<QByteArray> readCases(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("cannot read ") + fileName + QStringLiteral(": ") +
                   file.errorString());
        return std::nullopt;
    }
    return file.readAll();
}

int evaluate(const Options& options, Judge& judge, const Knowledge& knowledge) {
    const std::optional<QByteArray> cases = readCases(options.evaluateFile);
    if (!cases) {
        return 2;
    }
    const CheckService service(judge);
    // A case without a category is given the kind of window the offline judge
    // sees; the judge being measured serves when it is that judge, and another
    // is built, once, only when it is not.
    const auto* offline = dynamic_cast<const OfflineJudge*>(&judge);
    std::optional<OfflineJudge> own;
    const EvaluationResult result = evaluateCases(
        service, *cases, [](const QString& miss) { Log(miss); },
        [](const QString& problem) { printError(problem); },
        [&](const QString& window) {
            if (!offline) {
                offline = &own.emplace(knowledge);
            }
            return offline->categoryOf(window);
        });
    for (const QString& line : result.confusionLines()) {
        Log(line);
    }
    Log(result.summaryLine());
    return 0;
}

// One tab-separated line per check the app makes of each labelled case: its
// id, label, check ("title" or "text"), the terms of what the window is for
// the aimset that the window-word score weighs ("|" between them) and the
// evidence the offline judge weighs; no evidence where a rule decides alone
// (it asks).
int printEvidence(const Options& options, const Knowledge& knowledge) {
    const std::optional<QByteArray> cases = readCases(options.evidenceFile);
    if (!cases) {
        return 2;
    }
    const OfflineJudge judge(knowledge);
    const auto print = [](const QStringList& fields) {
        std::printf("%s\n", fields.join(QLatin1Char('\t')).toUtf8().constData());
    };
    print(QStringList{QStringLiteral("id"), QStringLiteral("label"), QStringLiteral("check"),
                      QStringLiteral("context")} +
          Knowledge::evidenceNames());
    for (const QByteArray& line : cases->split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        const QString aimset = object.value(QStringLiteral("aimset")).toString();
        const QString label = object.value(QStringLiteral("label")).toString();
        if (aimset.isEmpty() || label.isEmpty()) {
            continue;
        }
        const CaseWindow window = caseWindow(object.value(QStringLiteral("app")).toString(),
                                             object.value(QStringLiteral("title")).toString(),
                                             object.value(QStringLiteral("text")));
        const auto row = [&](const QString& check, const QString& seen, bool text) {
            QStringList context;
            const QList<double> evidence = judge.evidence(aimset, seen, text, &context);
            QStringList fields{object.value(QStringLiteral("id")).toString(), label, check,
                               context.join(QLatin1Char('|'))};
            for (const double value : evidence) {
                fields.append(QString::number(value, 'g', 6));
            }
            print(fields);
        };
        row(QStringLiteral("title"), window.title, false);
        if (window.text) {
            row(QStringLiteral("text"), *window.text, true);
        }
    }
    return 0;
}

// Each open connection is a descriptor; the usual soft limit of 1024 would
// cap the connections below what the server is built to hold.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 65536);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    Options options;
    QString error;
    if (!parseOptions(arguments, &options, &error)) {
        printError(error);
        std::fputs(usageText().toUtf8().constData(), stderr);
        return 2;
    }
    if (options.showHelp) {
        std::fputs(usageText().toUtf8().constData(), stdout);
        return 0;
    }
    std::optional<Knowledge> knowledge = options.knowledgeDirectory.isEmpty()
                                             ? Knowledge::builtIn()
                                             : Knowledge::load(options.knowledgeDirectory, &error);
    if (!knowledge) {
        printError(error);
        return 2;
    }
    if (!options.evaluateFile.isEmpty()) {
        return evaluate(options, *makeJudge(options, *knowledge), *knowledge);
    }
    if (!options.evidenceFile.isEmpty()) {
        return printEvidence(options, *knowledge);
    }
    // Termination stopSignals are taken by a thread of their own, which stops
    // the server; every other thread keeps them blocked: the workers, and the
    // judge's own, which may outlive its building.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Serving needs only what the judge keeps: it gets the one copy of the
    // knowledge, and lets the text go once it is built.
    const std::unique_ptr<Judge> judge = makeJudge(options, std::move(*knowledge));
    knowledge.reset();

    raiseDescriptorLimit();
    // The server's event loop needs an application object; it is created
    // after the stop signals are blocked so that Qt's threads inherit that.
    QCoreApplication application(argc, argv);
    CheckService service(*judge);
    HttpServer server(service, options.server);
    if (!server.bind(&error)) {
        printError(error);
        return 1;
    }
    static std::atomic<bool> stopLogged{false};
    const auto logStopped = [] {
        if (!stopLogged.exchange(true)) {
            Log(QStringLiteral("[checkd] Stopped"));
        }
    };
    std::thread signalWatcher([&server, stopSignals, logStopped] {
        int received = 0;
        sigwait(&stopSignals, &received);
        server.stop();
        // Idle kept-alive connections would hold their workers for seconds;
        // whoever asked us to stop should not have to wait for them.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        logStopped();
        std::_Exit(0);
    });
    signalWatcher.detach();
    Log(QStringLiteral("[checkd] Listening on ") + server.url() + QStringLiteral(" (judge: ") +
        judge->name() + QLatin1Char(')'));
    server.run();
    logStopped();
    return 0;
}
