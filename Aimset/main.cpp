// The composition root: the Linux X11 desktop, the components and the window.

#include "Monitoring/AlignmentChecker.h"
#include "Platform/Linux/Atspi/AtspiAccessibility.h"
#include "Platform/Linux/LinuxAppLists.h"
#include "Platform/Linux/Secrets/LibsecretSecretStore.h"
#include "Platform/Linux/Speech/PocketSphinxRecognizer.h"
#include "Platform/Linux/X11FrontTabCloser.h"
#include "Platform/Linux/X11PanelDecorations.h"
#include "Platform/Linux/X11VoiceChord.h"
#include "Platform/Linux/X11Workspace.h"
#include "Platform/Linux/XcbConnection.h"
#include "Platform/Linux/XdgAutostart.h"
#include "Platform/Qt/CheckServiceLauncher.h"
#include "Platform/Qt/QtHttpClient.h"
#include "Platform/Qt/QtPanelHost.h"
#include "Platform/Qt/QtUserDefaults.h"
#include "Runtime/Log.h"
#include "Runtime/QtMainLoop.h"
#include "Session/ContentView.h"
#include "Views/ViewUrl.h"

#include <QDirIterator>
#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTextStream>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

using namespace aimset;

namespace {

int refuse(const char* why) {
    std::fprintf(stderr, "Aimset: %s\n", why);
    return 1;
}

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here: the main loop does the rest.
    [[maybe_unused]] const auto written = write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop, so everything is taken down in
// order (the alignment service this app started included).
void quitOnTerminationSignals(QObject* context) {
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

// The app's icon in the sizes built into it, for its windows (the window
// manager's switcher and task list show it).
QIcon appIcon() {
    QIcon icon;
    QDirIterator sizes(QStringLiteral(":/icons/hicolor"), {QStringLiteral("aimset.png")},
                       QDir::Files, QDirIterator::Subdirectories);
    while (sizes.hasNext()) {
        icon.addFile(sizes.next());
    }
    return icon;
}

} // namespace

int main(int argc, char** argv) {
    // Commands that need no desktop (start at login) are answered first,
    // without DISPLAY, and the app does not start.
    bool verbose = false;
    {
        QCoreApplication commandLine(argc, argv);
        verbose = QCoreApplication::arguments().contains(QStringLiteral("--verbose"));
        XdgAutostart autostart;
        QTextStream out(stdout);
        QTextStream err(stderr);
        if (const auto status =
                runAutostartCommand(QCoreApplication::arguments(), autostart, out, err)) {
            return *status;
        }
    }
    // The desktop backend is X11; under Wayland that means XWayland.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        return refuse("needs an X11 desktop, and DISPLAY is not set (under Wayland, enable "
                      "XWayland).");
    }
    // Asked before Qt connects, which would abort without a word of ours.
    if (!XcbConnection::open()) {
        return refuse("cannot reach the X server named by DISPLAY.");
    }
    // The views are flat shapes, text and fades: Qt Quick's software
    // renderer draws them at a third of the memory of an OpenGL context (and
    // without a GPU, of Mesa's). QT_QUICK_BACKEND still chooses another.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    }
    // Started at login, standard output lands in the desktop's journal: window
    // titles and page text, and the lines of every poll, only when asked for.
    applyLogVerbosity(verbose);
    QGuiApplication app(argc, argv);
    QGuiApplication::setOrganizationName(QStringLiteral("Aimset"));
    QGuiApplication::setApplicationName(QStringLiteral("Aimset"));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kLinuxOwnAppID));
    QGuiApplication::setWindowIcon(appIcon());
    quitOnTerminationSignals(&app);

    auto workspace = X11Workspace::create(DesktopEntries::load(
        QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)));
    auto frontTab = X11FrontTabCloser::create();
    auto voiceChord = X11VoiceChord::create();
    auto decorations = X11PanelDecorations::create();
    if (!workspace || !frontTab || !voiceChord || !decorations) {
        return refuse("cannot reach the X server named by DISPLAY.");
    }

    QtMainLoop loop;
    QtHttpClient http;
    QtPanelHost panels;
    panels.setWindowHooks([&decorations](QWindow& window) { decorations->beforeShow(window); },
                          [&decorations](QWindow& window) { decorations->afterShow(window); });
    panels.setTranslucencyProbe([&decorations] { return decorations->isCompositing(); });
    QtUserDefaults defaults;
    AtspiAccessibility accessibility;
    LibsecretSecretStore secrets;
    PocketSphinxRecognizer speech;

    ContentView view(Desktop{loop,
                             *workspace,
                             accessibility,
                             http,
                             panels,
                             *frontTab,
                             *voiceChord,
                             secrets,
                             defaults,
                             speech,
                             linuxAppLists(),
                             checkServiceURL(),
                             {}});

    // With no service configured, the app's own, installed with it: the
    // checks go to it (with its token) only while it runs.
    CheckServiceLauncher service(loop, CheckServiceLauncher::Options{});
    service.onServiceChanged = [&view](const QUrl& url, const QByteArray& token) {
        view.checker().setService(url, token);
    };
    service.start();

    XdgAutostart startAtLogin;
    QQmlApplicationEngine engine;
    engine.addImportPath(QString::fromLatin1(viewsImportPath));
    engine.setInitialProperties(
        {{QStringLiteral("view"), QVariant::fromValue(&view)},
         {QStringLiteral("startAtLogin"), QVariant::fromValue(&startAtLogin)}});
    engine.load(viewUrl(QStringLiteral("AimsetApp")));
    if (engine.rootObjects().isEmpty()) {
        return refuse("could not load its window.");
    }
    return QGuiApplication::exec();
}
