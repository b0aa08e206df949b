// The composition root: the Linux desktop (X11, or GNOME under Wayland), the
// components and the window.

#include "Monitoring/AlignmentChecker.h"
#include "Platform/Gnome/GnomeShell.h"
#include "Platform/KeyNames.h"
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
    // glibc's signal() restarts interrupted calls and keeps the handler.
    std::signal(SIGTERM, onTerminationSignal);
    std::signal(SIGINT, onTerminationSignal);
}

// The icon of the app's windows in the sizes built into it.
QIcon appIcon() {
    QIcon icon;
    QDirIterator sizes(QStringLiteral(":/icons/hicolor"), {QStringLiteral("aimset.png")},
                       QDir::Files, QDirIterator::Subdirectories);
    while (sizes.hasNext()) {
        icon.addFile(sizes.next());
    }
    return icon;
}

// Under Wayland only the shell knows the windows: on GNOME, Aimset's shell
// extension speaks for it. Ubuntu names its desktop "ubuntu:GNOME".
bool isGnomeOnWayland() {
    return qgetenv("XDG_SESSION_TYPE") == "wayland" &&
           QString::fromLocal8Bit(qgetenv("XDG_CURRENT_DESKTOP"))
               .split(QLatin1Char(':'))
               .contains(QStringLiteral("GNOME"), Qt::CaseInsensitive);
}

// The desktop's windows, keys and panels, whichever backend serves them.
struct Backend {
    std::shared_ptr<Workspace> workspace;
    std::shared_ptr<FrontTabCloser> frontTab;
    std::shared_ptr<VoiceChord> voiceChord;
    std::unique_ptr<X11PanelDecorations> decorations;
    std::shared_ptr<DesktopExtension> extension;
};

Backend gnomeBackend(QtPanelHost& panels) {
    const auto shell = std::make_shared<GnomeShell>();
    KeyNames::desktop().keySynthesis = QStringLiteral("GNOME Shell");
    panels.beforeShow = [](QWindow& window) { window.setTitle(GnomeShell::panelWindowTitle); };
    // GNOME Shell always composites.
    panels.isTranslucent = [] { return true; };
    shell->start();
    return {shell, shell, shell, nullptr, shell};
}

// Null members when the X server cannot be reached.
Backend x11Backend(QtPanelHost& panels) {
    Backend backend{openOnX<X11Workspace>(DesktopEntries::load(
                        QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))),
                    openOnX<X11FrontTabCloser>(), openOnX<X11VoiceChord>(),
                    openOnX<X11PanelDecorations>(), nullptr};
    if (X11PanelDecorations* decorations = backend.decorations.get()) {
        panels.beforeShow = [decorations](QWindow& window) { decorations->beforeShow(window); };
        panels.afterShow = [decorations](QWindow& window) { decorations->afterShow(window); };
        panels.isTranslucent = [decorations] { return decorations->isCompositing(); };
    }
    return backend;
}

} // namespace

int main(int argc, char** argv) {
    // Commands that need no desktop (start at login) are answered first.
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
    // On GNOME under Wayland, Qt runs natively. Elsewhere the desktop backend
    // is X11; under another Wayland desktop that means XWayland.
    const bool gnome = isGnomeOnWayland();
    if (!gnome) {
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
    }
    // The views are flat shapes, text and fades: the software renderer draws
    // them at a third of the memory of an OpenGL context.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    }
    // Started at login, standard output lands in the journal: window titles,
    // page text and every poll only when asked for.
    applyLogVerbosity(verbose);
    QGuiApplication app(argc, argv);
    QGuiApplication::setOrganizationName(QStringLiteral("Aimset"));
    QGuiApplication::setApplicationName(QStringLiteral("Aimset"));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kLinuxOwnAppID));
    QGuiApplication::setWindowIcon(appIcon());
    quitOnTerminationSignals(&app);

    QtPanelHost panels;
    const Backend desktop = gnome ? gnomeBackend(panels) : x11Backend(panels);
    if (!desktop.workspace || !desktop.frontTab || !desktop.voiceChord ||
        (!gnome && !desktop.decorations)) {
        return refuse("cannot reach the X server named by DISPLAY.");
    }

    QtMainLoop loop;
    QtHttpClient http;
    QtUserDefaults defaults;
    AtspiAccessibility accessibility;
    LibsecretSecretStore secrets;
    PocketSphinxRecognizer speech;

    ContentView view(Desktop{loop,
                             *desktop.workspace,
                             accessibility,
                             http,
                             panels,
                             *desktop.frontTab,
                             *desktop.voiceChord,
                             secrets,
                             defaults,
                             speech,
                             linuxAppLists(),
                             checkServiceURL(),
                             {}});

    view.onboarding()->setDesktopExtension(desktop.extension.get());

    // With no service configured, checks go to the app's own while it runs.
    CheckServiceLauncher service(loop);
    QObject::connect(&service, &CheckServiceLauncher::serviceChanged, &view,
                     [&view](const QUrl& url, const QByteArray& token) {
                         view.checker().setService(url, token);
                     });
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
