// aimset-sim: runs the app over the simulated desktop, driven by a scenario
// of JSON Lines, and prints what it logs and what it does to the desktop.

#include "Simulator/Simulator.h"

#include <QFile>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

namespace {

void printLine(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

int usage() {
    std::fputs("usage: aimset-sim [--timestamps] FILE   (FILE - reads standard input)\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    // The app's views are made but never drawn, nor shown on any display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    // Qt asks for the runtime folder on start, and warns without one.
    std::optional<QTemporaryDir> runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.emplace().isValid()) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime->path()));
    }
    QGuiApplication app(argc, argv);
    aimset::Simulator::Options options;
    QString path;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (const QString& argument : arguments) {
        if (argument == QStringLiteral("--timestamps")) {
            options.timestamps = true;
        } else if (argument == QStringLiteral("-h") || argument == QStringLiteral("--help")) {
            usage();
            return 0;
        } else if (path.isEmpty() &&
                   (argument == QStringLiteral("-") || !argument.startsWith(QLatin1Char('-')))) {
            path = argument;
        } else {
            return usage();
        }
    }
    if (path.isEmpty()) {
        return usage();
    }

    QFile file;
    const bool opened = path == QStringLiteral("-")
                            ? file.open(stdin, QIODevice::ReadOnly)
                            : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        std::fprintf(stderr, "aimset-sim: cannot read %s: %s\n", qUtf8Printable(path),
                     qUtf8Printable(file.errorString()));
        return 2;
    }
    const QByteArray scenario = file.readAll();

    const QString name = path == QStringLiteral("-") ? QStringLiteral("<stdin>") : path;
    try {
        aimset::Simulator simulator(printLine, options);
        simulator.run(scenario);
    } catch (const aimset::ScenarioError& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "aimset-sim: %s:%d: %s\n", qUtf8Printable(name), error.line(),
                     qUtf8Printable(error.message()));
        return 2;
    }
    std::fflush(stdout);
    return 0;
}
