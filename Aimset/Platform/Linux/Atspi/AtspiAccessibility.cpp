#include "AtspiAccessibility.h"

#include "Platform/Qt/HelperPrograms.h"
#include "Runtime/Log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <QTimer>

#include <map>
#include <utility>

namespace aimset {

namespace {

const QString kTag = QStringLiteral("[Accessibility] ");
const QString kBusService = QStringLiteral("org.a11y.Bus");
const QString kBusPath = QStringLiteral("/org/a11y/bus");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kStatus = QStringLiteral("org.a11y.Status");
const QString kIsEnabled = QStringLiteral("IsEnabled");
// One call on the session bus, in milliseconds.
constexpr int kBusTimeout = 500;

// One element as the reader printed it.
class DumpedElement final : public AccessibleElement {
public:
    explicit DumpedElement(QJsonObject object)
        : m_object(std::move(object)) {}

    std::optional<QString> role() const override { return text(QStringLiteral("role")); }
    std::optional<QString> value() const override { return text(QStringLiteral("text")); }
    std::optional<QString> title() const override { return text(QStringLiteral("name")); }
    std::optional<QString> description() const override {
        return text(QStringLiteral("description"));
    }
    std::optional<std::vector<std::shared_ptr<const AccessibleElement>>> children() const override {
        const QJsonValue children = m_object.value(QStringLiteral("children"));
        if (!children.isArray()) {
            return std::nullopt;
        }
        std::vector<std::shared_ptr<const AccessibleElement>> list;
        for (const QJsonValue& child : children.toArray()) {
            if (child.isObject()) {
                list.push_back(std::make_shared<DumpedElement>(child.toObject()));
            }
        }
        return list;
    }

private:
    std::optional<QString> text(const QString& key) const {
        const QJsonValue value = m_object.value(key);
        return value.isString() ? std::optional(value.toString()) : std::nullopt;
    }

    QJsonObject m_object;
};

} // namespace

// The D-Bus connection, the process's session bus or a named one, and what
// is known of whether the accessibility bus is enabled. Every question to the
// bus is asynchronous; the launcher announces every change
// (PropertiesChanged), so once an answer is in, a poll costs nothing.
class AtspiAccessibility::Bus : public QObject {
    Q_OBJECT

public:
    explicit Bus(const QString& address)
        : m_name(address.isEmpty() ? QString()
                                   : QStringLiteral("aimset-accessibility-%1")
                                         .arg(reinterpret_cast<quintptr>(this))) {
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

    // What is known now. Asks again in the background when nothing is, when
    // changes are not announced to us, or while the bus is off: a change
    // announced before our subscription took hold is then still heard.
    bool enabled() {
        if (!m_enabled || !*m_enabled || !m_watched) {
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
            new QDBusPendingCallWatcher(connection().asyncCall(message, kBusTimeout), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [handle = std::move(handle)](QDBusPendingCallWatcher* answered) {
                    answered->deleteLater();
                    handle(answered->reply());
                });
    }

    QString m_name;
    bool m_watched = false;
    bool m_asking = false;
    std::optional<bool> m_enabled;
    QString m_lastError;
};

// The readers of windows, on their own thread (see the class). Each read runs
// aimset-atspi-dump under the deadline, parses its output and hands the
// outcome to deliver.
struct AtspiAccessibility::ReadOutcome {
    std::optional<WindowDump> dump;
    // Why the window could not be read; empty when it was, or had none.
    QString failure;
};

class AtspiAccessibility::Readers : public QObject {
public:
    using Deliver = std::function<void(quint64 id, ReadOutcome outcome)>;

    Readers(Options options, Deliver deliver)
        : m_options(std::move(options))
        , m_deliver(std::move(deliver)) {}

    // On the readers' thread.
    void start(quint64 id, std::int32_t pid) {
        const QString program =
            QDir(m_options.programDirectory).filePath(QString::fromLatin1(programName));
        QStringList arguments{
            QStringLiteral("--call-timeout"), QString::number(m_options.deadline.count()),
            QStringLiteral("--max-depth"),    QString::number(m_options.walkDepth),
            QStringLiteral("--max-text"),     QString::number(m_options.keptTextLength)};
        if (m_options.readWholeWindow) {
            arguments << QStringLiteral("--full");
        }
        arguments << QString::number(pid);

        Read& read = m_reads[id];
        read.process = new QProcess(this);
        QProcess& reader = *read.process;
        if (!m_options.busAddress.isEmpty()) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_options.busAddress);
            reader.setProcessEnvironment(environment);
        }
        reader.setProcessChannelMode(QProcess::SeparateChannels);
        reader.setStandardErrorFile(QProcess::nullDevice());
        connect(&reader, &QProcess::readyReadStandardOutput, this, [this, id] {
            const auto found = m_reads.find(id);
            if (found == m_reads.end()) {
                return;
            }
            found->second.output += found->second.process->readAllStandardOutput();
            if (found->second.output.size() > maxOutputBytes) {
                fail(
                    id,
                    QString::fromLatin1(programName) +
                        QStringLiteral(" printed more than %1 bytes; stopped").arg(maxOutputBytes));
            }
        });
        connect(&reader, &QProcess::finished, this,
                [this, id](int exitCode, QProcess::ExitStatus status) {
                    finished(id, exitCode, status != QProcess::NormalExit);
                });
        connect(&reader, &QProcess::errorOccurred, this,
                [this, id, program](QProcess::ProcessError error) {
                    const auto found = m_reads.find(id);
                    if (found == m_reads.end() || error != QProcess::FailedToStart) {
                        return;
                    }
                    fail(id, QStringLiteral("Could not start ") + program + QStringLiteral(": ") +
                                 found->second.process->errorString());
                });
        // Bounded by the deadline, not by the target application. A coarse
        // timer may fire 5 % late, after the reader's own call timeout.
        QTimer::singleShot(m_options.deadline, Qt::PreciseTimer, &reader, [this, id, pid] {
            fail(id, QStringLiteral("Reading the window of process ") + QString::number(pid) +
                         QStringLiteral(" took longer than ") +
                         QString::number(m_options.deadline.count()) +
                         QStringLiteral(" ms; stopped"));
        });
        reader.start(program, arguments, QIODevice::ReadOnly);
    }

    // On the readers' thread, before it ends: every reader is killed.
    void stopAll() {
        for (auto& [id, read] : m_reads) {
            read.process->disconnect(this);
            read.process->kill();
            read.process->waitForFinished(1000);
        }
        m_reads.clear();
    }

private:
    struct Read {
        QProcess* process = nullptr;
        QByteArray output;
    };

    void finished(quint64 id, int exitCode, bool crashed) {
        const auto found = m_reads.find(id);
        if (found == m_reads.end()) {
            return;
        }
        if (crashed || exitCode != 0) {
            fail(id, QString::fromLatin1(programName) + QStringLiteral(" failed (exit code ") +
                         QString::number(exitCode) + QLatin1Char(')'));
            return;
        }
        found->second.output += found->second.process->readAllStandardOutput();
        QString error;
        const auto dump = parseWindowDump(found->second.output, &error);
        if (!dump) {
            fail(id, QStringLiteral("Unreadable output of ") + QString::fromLatin1(programName) +
                         QStringLiteral(": ") + error);
            return;
        }
        finish(id, {dump, {}});
    }

    void fail(quint64 id, const QString& why) { finish(id, {std::nullopt, why}); }

    // Hands the outcome over once and lets the reader go: killed if still
    // running, and reaped once it has died, without waiting for it here.
    void finish(quint64 id, ReadOutcome outcome) {
        const auto found = m_reads.find(id);
        if (found == m_reads.end()) {
            return;
        }
        const Read read = found->second;
        m_reads.erase(found);
        read.process->disconnect(this);
        if (read.process->state() == QProcess::NotRunning) {
            read.process->deleteLater();
        } else {
            connect(read.process, &QProcess::finished, read.process, &QObject::deleteLater);
            read.process->kill();
        }
        m_deliver(id, std::move(outcome));
    }

    const Options m_options;
    const Deliver m_deliver;
    std::map<quint64, Read> m_reads;
};

AtspiAccessibility::AtspiAccessibility()
    : AtspiAccessibility(Options{}) {}

AtspiAccessibility::AtspiAccessibility(Options options)
    : m_options(std::move(options))
    , m_bus(std::make_unique<Bus>(m_options.busAddress)) {
    if (m_options.programDirectory.isEmpty()) {
        m_options.programDirectory =
            QFileInfo(helperProgramPath(QString::fromLatin1(programName))).path();
    }
    // Outcomes come back to the bus object, which lives on this thread.
    Bus* home = m_bus.get();
    m_readers = new Readers(m_options, [this, home](quint64 id, ReadOutcome outcome) {
        QMetaObject::invokeMethod(
            home, [this, id, outcome = std::move(outcome)]() mutable { complete(id, outcome); },
            Qt::QueuedConnection);
    });
    m_readerThread = std::make_unique<QThread>();
    m_readerThread->setObjectName(QStringLiteral("aimset-window-readers"));
    m_readers->moveToThread(m_readerThread.get());
    m_readerThread->start();
}

AtspiAccessibility::~AtspiAccessibility() {
    // The readers go on their own thread, which owns their processes and timers.
    Readers* readers = std::exchange(m_readers, nullptr);
    QMetaObject::invokeMethod(
        readers,
        [readers] {
            readers->stopAll();
            delete readers;
        },
        Qt::BlockingQueuedConnection);
    m_readerThread->quit();
    m_readerThread->wait();
    // Every read still waiting answers null now, as promised.
    auto pending = std::move(m_pending);
    m_pending.clear();
    for (auto& [id, completion] : pending) {
        completion(nullptr);
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
    const quint64 id = ++m_lastReadId;
    m_pending.emplace(id, std::move(completion));
    Readers* readers = m_readers;
    QMetaObject::invokeMethod(
        readers, [readers, id, processIdentifier] { readers->start(id, processIdentifier); },
        Qt::QueuedConnection);
}

void AtspiAccessibility::complete(quint64 id, const ReadOutcome& outcome) {
    const auto found = m_pending.find(id);
    if (found == m_pending.end()) {
        return;
    }
    const WindowCompletion completion = std::move(found->second);
    m_pending.erase(found);
    if (!outcome.failure.isEmpty()) {
        Log(kTag + outcome.failure);
    }
    if (outcome.dump) {
        m_lastRead = outcome.dump->figures;
    }
    completion(outcome.dump ? outcome.dump->window : nullptr);
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
        dump.window = std::make_shared<DumpedElement>(window.toObject());
    }
    return dump;
}

} // namespace aimset

#include "AtspiAccessibility.moc"
