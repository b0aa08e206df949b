#include "AtspiAccessibility.h"

#include "Runtime/Log.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

#include <algorithm>

namespace aimset {

namespace {

const QString kTag = QStringLiteral("[Accessibility] ");
const QString kBusService = QStringLiteral("org.a11y.Bus");
const QString kBusPath = QStringLiteral("/org/a11y/bus");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kStatus = QStringLiteral("org.a11y.Status");
const QString kIsEnabled = QStringLiteral("IsEnabled");

// One element as the reader printed it; immutable once built.
class DumpedElement final : public AccessibleElement {
public:
    std::optional<QString> role() const override { return m_role; }
    std::optional<QString> value() const override { return m_value; }
    std::optional<QString> title() const override { return m_title; }
    std::optional<QString> description() const override { return m_description; }
    std::optional<std::vector<std::shared_ptr<const AccessibleElement>>> children() const override {
        return m_children;
    }

    static std::shared_ptr<const AccessibleElement> fromJson(const QJsonObject& object) {
        auto element = std::make_shared<DumpedElement>();
        const auto text = [&object](const QString& key) -> std::optional<QString> {
            const QJsonValue value = object.value(key);
            return value.isString() ? std::optional(value.toString()) : std::nullopt;
        };
        if (const auto role = text(QStringLiteral("role"))) {
            element->m_role = roleFromAtspi(*role);
        }
        element->m_value = text(QStringLiteral("text"));
        element->m_title = text(QStringLiteral("name"));
        element->m_description = text(QStringLiteral("description"));
        const QJsonValue children = object.value(QStringLiteral("children"));
        if (children.isArray()) {
            std::vector<std::shared_ptr<const AccessibleElement>> list;
            for (const QJsonValue& child : children.toArray()) {
                if (child.isObject()) {
                    list.push_back(fromJson(child.toObject()));
                }
            }
            element->m_children = std::move(list);
        }
        return element;
    }

private:
    std::optional<QString> m_role;
    std::optional<QString> m_value;
    std::optional<QString> m_title;
    std::optional<QString> m_description;
    std::optional<std::vector<std::shared_ptr<const AccessibleElement>>> m_children;
};

} // namespace

// The D-Bus connection, the process's session bus or a named one, and what
// is known of whether the accessibility bus is enabled. Every question to the
// bus is asynchronous; the launcher announces every change
// (PropertiesChanged), so once an answer is in, a poll costs nothing.
class AtspiAccessibility::Bus : public QObject {
    Q_OBJECT

public:
    Bus(const QString& address, std::chrono::milliseconds timeout)
        : m_name(
              address.isEmpty()
                  ? QString()
                  : QStringLiteral("aimset-accessibility-%1").arg(reinterpret_cast<quintptr>(this)))
        , m_timeout(static_cast<int>(timeout.count())) {
        if (!m_name.isEmpty()) {
            QDBusConnection::connectToBus(address, m_name);
        }
        QDBusConnection bus = connection();
        m_watched =
            bus.isConnected() &&
            bus.connect(kBusService, kBusPath, kProperties, QStringLiteral("PropertiesChanged"),
                        this, SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
        // A launcher that goes or comes back forgets what was known.
        auto* watcher = new QDBusServiceWatcher(kBusService, bus,
                                                QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
            m_enabled.reset();
            refresh();
        });
        refresh();
    }
    ~Bus() override {
        if (!m_name.isEmpty()) {
            QDBusConnection::disconnectFromBus(m_name);
        }
    }
    QDBusConnection connection() const {
        return m_name.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(m_name);
    }

    // What is known now; asks again in the background when nothing is, or
    // when changes are not announced to us.
    bool enabled() {
        if (!m_enabled || !m_watched) {
            refresh();
        }
        return m_enabled.value_or(false);
    }

    void enable() {
        QDBusMessage set = QDBusMessage::createMethodCall(kBusService, kBusPath, kProperties,
                                                          QStringLiteral("Set"));
        set << kStatus << kIsEnabled << QVariant::fromValue(QDBusVariant(true));
        whenAnswered(set, [this](const QDBusMessage& reply) {
            if (reply.type() == QDBusMessage::ReplyMessage) {
                m_enabled = true;
                Log(kTag + QStringLiteral("Accessibility bus enabled"));
            } else {
                Log(kTag + QStringLiteral("Could not enable the accessibility bus: ") +
                    reply.errorMessage());
            }
        });
    }

private slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated) {
        if (interface != kStatus) {
            return;
        }
        if (changed.contains(kIsEnabled)) {
            m_enabled = changed.value(kIsEnabled).toBool();
        } else if (invalidated.contains(kIsEnabled)) {
            m_enabled.reset();
            refresh();
        }
    }

private:
    // One question in flight at a time.
    void refresh() {
        if (m_asking) {
            return;
        }
        m_asking = true;
        QDBusMessage get = QDBusMessage::createMethodCall(kBusService, kBusPath, kProperties,
                                                          QStringLiteral("Get"));
        get << kStatus << kIsEnabled;
        whenAnswered(get, [this](const QDBusMessage& reply) {
            m_asking = false;
            if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1) {
                m_lastError.clear();
                m_enabled = reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
                return;
            }
            // Asked again at every poll while it fails: say it once per kind.
            const QString error = reply.errorMessage().isEmpty()
                                      ? QStringLiteral("unexpected reply")
                                      : reply.errorMessage();
            if (error != m_lastError) {
                m_lastError = error;
                Log(kTag +
                    QStringLiteral("Cannot read whether the accessibility bus is enabled: ") +
                    error);
            }
        });
    }

    void whenAnswered(const QDBusMessage& message,
                      std::function<void(const QDBusMessage&)> handle) {
        auto* watcher =
            new QDBusPendingCallWatcher(connection().asyncCall(message, m_timeout), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [handle = std::move(handle)](QDBusPendingCallWatcher* answered) {
                    answered->deleteLater();
                    handle(answered->reply());
                });
    }

    QString m_name;
    int m_timeout;
    bool m_watched = false;
    bool m_asking = false;
    std::optional<bool> m_enabled;
    QString m_lastError;
};

// One window read in flight: the reader process, its deadline and its output.
struct AtspiAccessibility::Read {
    std::int32_t pid = 0;
    WindowCompletion completion;
    // Deleted later, never from inside their own signals.
    QProcess* process = nullptr;
    QTimer* deadline = nullptr;
    QByteArray output;
};

AtspiAccessibility::AtspiAccessibility()
    : AtspiAccessibility(Options{}) {}

AtspiAccessibility::AtspiAccessibility(Options options)
    : m_options(std::move(options))
    , m_bus(std::make_unique<Bus>(m_options.busAddress, m_options.busTimeout)) {
    if (m_options.programDirectory.isEmpty()) {
        m_options.programDirectory = QCoreApplication::applicationDirPath();
    }
}

AtspiAccessibility::~AtspiAccessibility() {
    // Every read still waiting answers null now, as promised, and its reader goes.
    while (!m_reads.empty()) {
        finishRead(m_reads.back(), nullptr);
    }
}

bool AtspiAccessibility::isProcessTrusted() {
    return m_bus->enabled();
}

void AtspiAccessibility::requestTrustWithPrompt() {
    if (!m_options.persistCommand.isEmpty() &&
        !QProcess::startDetached(m_options.persistCommand.constFirst(),
                                 m_options.persistCommand.mid(1))) {
        Log(kTag + QStringLiteral("Could not run ") + m_options.persistCommand.constFirst() +
            QStringLiteral(" to keep accessibility enabled"));
    }
    m_bus->enable();
}

void AtspiAccessibility::readFocusedWindow(std::int32_t processIdentifier,
                                           WindowCompletion completion) {
    if (processIdentifier <= 0) {
        QMetaObject::invokeMethod(
            m_bus.get(), [completion = std::move(completion)] { completion(nullptr); },
            Qt::QueuedConnection);
        return;
    }
    const QString program =
        QDir(m_options.programDirectory).filePath(QString::fromLatin1(programName));
    QStringList arguments{
        QStringLiteral("--call-timeout"), QString::number(m_options.deadline.count()),
        QStringLiteral("--max-depth"),    QString::number(m_options.walkDepth),
        QStringLiteral("--max-text"),     QString::number(m_options.keptTextLength)};
    if (m_options.readWholeWindow) {
        arguments << QStringLiteral("--full");
    }
    arguments << QString::number(processIdentifier);

    auto started = std::make_shared<Read>();
    started->pid = processIdentifier;
    started->completion = std::move(completion);
    started->process = new QProcess;
    started->deadline = new QTimer;
    m_reads.push_back(started);
    QProcess& reader = *started->process;
    const std::weak_ptr<Read> weak = started;

    if (!m_options.busAddress.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_options.busAddress);
        reader.setProcessEnvironment(environment);
    }
    reader.setProcessChannelMode(QProcess::SeparateChannels);
    reader.setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(&reader, &QProcess::readyReadStandardOutput, m_bus.get(), [this, weak] {
        const auto read = weak.lock();
        if (!read) {
            return;
        }
        read->output += read->process->readAllStandardOutput();
        if (read->output.size() > maxOutputBytes) {
            Log(kTag + QString::fromLatin1(programName) +
                QStringLiteral(" printed more than %1 bytes; stopped").arg(maxOutputBytes));
            finishRead(read, nullptr);
        }
    });
    QObject::connect(&reader, &QProcess::finished, m_bus.get(),
                     [this, weak](int exitCode, QProcess::ExitStatus status) {
                         if (const auto read = weak.lock()) {
                             readerFinished(read, exitCode, status != QProcess::NormalExit);
                         }
                     });
    // Queued: the answer never comes before this call has returned.
    QObject::connect(
        &reader, &QProcess::errorOccurred, m_bus.get(),
        [this, weak, program](QProcess::ProcessError error) {
            const auto read = weak.lock();
            if (!read || error != QProcess::FailedToStart) {
                return;
            }
            Log(kTag + QStringLiteral("Could not start ") + program + QStringLiteral(": ") +
                read->process->errorString());
            finishRead(read, nullptr);
        },
        Qt::QueuedConnection);
    // Bounded by the deadline, not by the target application.
    started->deadline->setSingleShot(true);
    // A coarse timer may fire 5 % late, after the reader's own call timeout.
    started->deadline->setTimerType(Qt::PreciseTimer);
    QObject::connect(started->deadline, &QTimer::timeout, m_bus.get(), [this, weak] {
        const auto read = weak.lock();
        if (!read) {
            return;
        }
        Log(kTag + QStringLiteral("Reading the window of process ") + QString::number(read->pid) +
            QStringLiteral(" took longer than ") + QString::number(m_options.deadline.count()) +
            QStringLiteral(" ms; stopped"));
        finishRead(read, nullptr);
    });
    started->deadline->start(m_options.deadline);
    reader.start(program, arguments, QIODevice::ReadOnly);
}

void AtspiAccessibility::readerFinished(const std::shared_ptr<Read>& read, int exitCode,
                                        bool crashed) {
    if (crashed || exitCode != 0) {
        Log(kTag + QString::fromLatin1(programName) + QStringLiteral(" failed (exit code ") +
            QString::number(exitCode) + QLatin1Char(')'));
        finishRead(read, nullptr);
        return;
    }
    read->output += read->process->readAllStandardOutput();
    QString error;
    const auto dump = parseWindowDump(read->output, &error);
    if (!dump) {
        Log(kTag + QStringLiteral("Unreadable output of ") + QString::fromLatin1(programName) +
            QStringLiteral(": ") + error);
        finishRead(read, nullptr);
        return;
    }
    m_lastRead = dump->figures;
    finishRead(read, dump->window);
}

// Answers the read once and lets its reader go: killed if still running, and
// reaped by Qt once it has died, without waiting for it here.
void AtspiAccessibility::finishRead(const std::shared_ptr<Read>& read,
                                    std::shared_ptr<const AccessibleElement> window) {
    const auto found = std::find(m_reads.begin(), m_reads.end(), read);
    if (found == m_reads.end()) {
        return;
    }
    m_reads.erase(found);
    read->deadline->stop();
    read->deadline->deleteLater();
    QProcess* process = read->process;
    process->disconnect(m_bus.get());
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
    } else {
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        process->kill();
    }
    const WindowCompletion completion = std::move(read->completion);
    completion(std::move(window));
}

std::optional<WindowDump> parseWindowDump(const QByteArray& json, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    const QJsonObject root = document.object();
    const QJsonValue window = root.value(QStringLiteral("window"));
    if (parseError.error != QJsonParseError::NoError || !document.isObject() ||
        !(window.isObject() || window.isNull())) {
        if (error) {
            *error = parseError.error != QJsonParseError::NoError
                         ? parseError.errorString()
                         : QStringLiteral("no window member");
        }
        return std::nullopt;
    }
    WindowDump dump;
    dump.figures.calls = root.value(QStringLiteral("calls")).toInteger();
    dump.figures.stoppedEarly = root.value(QStringLiteral("stoppedEarly")).toBool();
    if (window.isObject()) {
        dump.window = DumpedElement::fromJson(window.toObject());
    }
    return dump;
}

QString roleFromAtspi(const QString& atspiRole) {
    static const QHash<QString, QString> roles{
        {QStringLiteral("password text"), kSecureTextFieldRole},
        {QStringLiteral("frame"), QStringLiteral("AXWindow")},
        {QStringLiteral("window"), QStringLiteral("AXWindow")},
        {QStringLiteral("dialog"), QStringLiteral("AXWindow")},
        {QStringLiteral("alert"), QStringLiteral("AXWindow")},
        {QStringLiteral("filler"), QStringLiteral("AXGroup")},
        {QStringLiteral("panel"), QStringLiteral("AXGroup")},
        {QStringLiteral("section"), QStringLiteral("AXGroup")},
        {QStringLiteral("form"), QStringLiteral("AXGroup")},
        {QStringLiteral("push button"), QStringLiteral("AXButton")},
        {QStringLiteral("toggle button"), QStringLiteral("AXCheckBox")},
        {QStringLiteral("check box"), QStringLiteral("AXCheckBox")},
        {QStringLiteral("radio button"), QStringLiteral("AXRadioButton")},
        {QStringLiteral("entry"), QStringLiteral("AXTextField")},
        {QStringLiteral("text"), QStringLiteral("AXTextArea")},
        {QStringLiteral("label"), QStringLiteral("AXStaticText")},
        {QStringLiteral("static"), QStringLiteral("AXStaticText")},
        {QStringLiteral("paragraph"), QStringLiteral("AXStaticText")},
        {QStringLiteral("heading"), QStringLiteral("AXHeading")},
        {QStringLiteral("link"), QStringLiteral("AXLink")},
        {QStringLiteral("image"), QStringLiteral("AXImage")},
        {QStringLiteral("list"), QStringLiteral("AXList")},
        {QStringLiteral("list item"), QStringLiteral("AXGroup")},
        {QStringLiteral("table"), QStringLiteral("AXTable")},
        {QStringLiteral("menu bar"), QStringLiteral("AXMenuBar")},
        {QStringLiteral("menu"), QStringLiteral("AXMenu")},
        {QStringLiteral("menu item"), QStringLiteral("AXMenuItem")},
        {QStringLiteral("tool bar"), QStringLiteral("AXToolbar")},
        {QStringLiteral("scroll pane"), QStringLiteral("AXScrollArea")},
        {QStringLiteral("document web"), QStringLiteral("AXWebArea")},
        {QStringLiteral("document frame"), QStringLiteral("AXWebArea")},
    };
    return roles.value(atspiRole, QStringLiteral("AXUnknown"));
}

} // namespace aimset

#include "AtspiAccessibility.moc"
