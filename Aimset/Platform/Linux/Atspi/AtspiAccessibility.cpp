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
const QString kProgram = QStringLiteral("aimset-atspi-dump");
// More output than any window's tree: a reader that prints this much is broken.
constexpr qint64 kMaxOutputBytes = 32 * 1024 * 1024;

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
            list.push_back(std::make_shared<DumpedElement>(child.toObject()));
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

// What is known of whether the accessibility bus is enabled, over a D-Bus
// connection of its own. The launcher announces every change, so once an
// answer is in, a poll costs nothing.
class AtspiAccessibility::Bus : public QObject {
    Q_OBJECT

public:
    explicit Bus(const QString& address)
        : m_name(QStringLiteral("aimset-accessibility-%1").arg(reinterpret_cast<quintptr>(this)))
        , m_bus(address.isEmpty()
                    ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_name)
                    : QDBusConnection::connectToBus(address, m_name)) {
        // Without a connection nothing is ever known, so every poll asks.
        m_bus.connect(kBusService, kBusPath, kProperties, QStringLiteral("PropertiesChanged"),
                      {kStatus}, {}, this,
                      SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
        // A launcher that goes or comes back forgets what was known.
        auto* watcher = new QDBusServiceWatcher(kBusService, m_bus,
                                                QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &Bus::forget);
        refresh();
    }
    ~Bus() override { QDBusConnection::disconnectFromBus(m_name); }

    // Asks again in the background when nothing is known, or while the bus
    // is off: a change announced before our subscription took hold is heard.
    bool enabled() {
        if (!m_enabled || !*m_enabled) {
            refresh();
        }
        return m_enabled.value_or(false);
    }

    void enable() {
        const QVariant on = QVariant::fromValue(QDBusVariant(true));
        call(QStringLiteral("Set"), {kStatus, kIsEnabled, on}, [this](const QDBusMessage& reply) {
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
    void propertiesChanged(const QString&, const QVariantMap& changed,
                           const QStringList& invalidated) {
        if (changed.contains(kIsEnabled)) {
            m_enabled = changed.value(kIsEnabled).toBool();
        } else if (invalidated.contains(kIsEnabled)) {
            forget();
        }
    }

private:
    void forget() {
        m_enabled.reset();
        refresh();
    }

    // One question in flight at a time.
    void refresh() {
        if (m_asking) {
            return;
        }
        m_asking = true;
        call(QStringLiteral("Get"), {kStatus, kIsEnabled}, [this](const QDBusMessage& reply) {
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
            if (std::exchange(m_lastError, error) != error) {
                Log(kTag +
                    QStringLiteral("Cannot read whether the accessibility bus is enabled: ") +
                    error);
            }
        });
    }

    void call(const QString& method, const QVariantList& arguments,
              std::function<void(const QDBusMessage&)> handle) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(kBusService, kBusPath, kProperties, method);
        message.setArguments(arguments);
        auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, kBusTimeout), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [handle = std::move(handle)](QDBusPendingCallWatcher* answered) {
                    answered->deleteLater();
                    handle(answered->reply());
                });
    }

    QString m_name;
    QDBusConnection m_bus;
    bool m_asking = false;
    std::optional<bool> m_enabled;
    QString m_lastError;
};

// The readers of windows, on their own thread: each hands the window, or
// why there is none, to deliver.
class AtspiAccessibility::Readers : public QObject {
public:
    using Deliver = std::function<void(quint64 id, std::shared_ptr<const AccessibleElement> window,
                                       QString failure)>;

    Readers(Options options, Deliver deliver)
        : m_options(std::move(options))
        , m_deliver(std::move(deliver)) {}

    // On the readers' thread.
    void start(quint64 id, std::int32_t pid) {
        const QString program = QDir(m_options.programDirectory).filePath(kProgram);
        auto* reader = new QProcess(this);
        auto* deadline = new QTimer(reader);
        // Hands the outcome over once and lets the reader go: killed if still
        // running, and reaped once it has died, without waiting for it here.
        const auto finish = [this, id, reader, deadline](
                                std::shared_ptr<const AccessibleElement> window, QString failure) {
            deadline->stop();
            reader->disconnect(this);
            if (reader->state() == QProcess::NotRunning) {
                reader->deleteLater();
            } else {
                connect(reader, &QProcess::finished, reader, &QObject::deleteLater);
                reader->kill();
            }
            m_deliver(id, std::move(window), std::move(failure));
        };
        if (!m_options.busAddress.isEmpty()) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_options.busAddress);
            reader->setProcessEnvironment(environment);
        }
        reader->setStandardErrorFile(QProcess::nullDevice());
        connect(reader, &QProcess::readyReadStandardOutput, this, [reader, finish] {
            if (reader->bytesAvailable() > kMaxOutputBytes) {
                finish(nullptr, kProgram + QStringLiteral(" printed more than %1 bytes; stopped")
                                               .arg(kMaxOutputBytes));
            }
        });
        connect(reader, &QProcess::finished, this,
                [reader, finish](int exitCode, QProcess::ExitStatus status) {
                    if (status != QProcess::NormalExit || exitCode != 0) {
                        finish(nullptr,
                               kProgram + QStringLiteral(" failed (exit code %1)").arg(exitCode));
                        return;
                    }
                    QString error;
                    const auto window = parseWindowDump(reader->readAllStandardOutput(), error);
                    finish(window.value_or(nullptr),
                           window ? QString()
                                  : QStringLiteral("Unreadable output of ") + kProgram +
                                        QStringLiteral(": ") + error);
                });
        connect(reader, &QProcess::errorOccurred, this,
                [reader, finish, program](QProcess::ProcessError error) {
                    if (error == QProcess::FailedToStart) {
                        finish(nullptr, QStringLiteral("Could not start ") + program +
                                            QStringLiteral(": ") + reader->errorString());
                    }
                });
        // Bounded by the deadline, not by the target application. A coarse
        // timer may fire 5 % late, after the reader's own call timeout.
        deadline->setSingleShot(true);
        deadline->setTimerType(Qt::PreciseTimer);
        connect(deadline, &QTimer::timeout, this, [this, pid, finish] {
            finish(nullptr, QStringLiteral(
                                "Reading the window of process %1 took longer than %2 ms; stopped")
                                .arg(pid)
                                .arg(m_options.deadline.count()));
        });
        deadline->start(m_options.deadline);
        reader->start(program,
                      {QString::number(pid), QString::number(m_options.walkDepth),
                       QString::number(m_options.keptTextLength),
                       QString::number(m_options.deadline.count())},
                      QIODevice::ReadOnly);
    }

    // On the readers' thread, as it ends: every reader is killed.
    ~Readers() override {
        for (QProcess* reader : findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
            reader->disconnect(this);
            reader->kill();
            reader->waitForFinished(1000);
        }
    }

private:
    const Options m_options;
    const Deliver m_deliver;
};

AtspiAccessibility::AtspiAccessibility()
    : AtspiAccessibility(Options{}) {}

AtspiAccessibility::AtspiAccessibility(Options options)
    : m_options(std::move(options))
    , m_bus(std::make_unique<Bus>(m_options.busAddress)) {
    if (m_options.programDirectory.isEmpty()) {
        m_options.programDirectory = QFileInfo(helperProgramPath(kProgram)).path();
    }
    // Outcomes come back to the bus object, which lives on this thread.
    Bus* home = m_bus.get();
    m_readers = new Readers(m_options, [this, home](quint64 id, auto window, QString failure) {
        const auto complete = [this, id, window, failure] {
            auto pending = m_pending.extract(id);
            if (!pending) {
                return;
            }
            if (!failure.isEmpty()) {
                Log(kTag + failure);
            }
            pending.mapped()(window);
        };
        QMetaObject::invokeMethod(home, complete, Qt::QueuedConnection);
    });
    m_readerThread = std::make_unique<QThread>();
    m_readerThread->setObjectName(QStringLiteral("aimset-window-readers"));
    m_readers->moveToThread(m_readerThread.get());
    QObject::connect(m_readerThread.get(), &QThread::finished, m_readers, &QObject::deleteLater);
    m_readerThread->start();
}

AtspiAccessibility::~AtspiAccessibility() {
    // The readers go on their own thread, which owns their processes and timers.
    m_readerThread->quit();
    m_readerThread->wait();
    // Every read still waiting answers null now, as promised.
    for (auto& [id, completion] : std::exchange(m_pending, {})) {
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
    QMetaObject::invokeMethod(
        m_readers,
        [readers = m_readers, id, processIdentifier] { readers->start(id, processIdentifier); },
        Qt::QueuedConnection);
}

std::optional<std::shared_ptr<const AccessibleElement>> parseWindowDump(const QByteArray& json,
                                                                        QString& error) {
    // Output that is no JSON object has no window member either.
    QJsonParseError parseError;
    const QJsonValue window =
        QJsonDocument::fromJson(json, &parseError).object().value(QStringLiteral("window"));
    if (!window.isObject() && !window.isNull()) {
        error = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                             : QStringLiteral("no window member");
        return std::nullopt;
    }
    if (window.isNull()) {
        return nullptr;
    }
    return std::make_shared<DumpedElement>(window.toObject());
}

} // namespace aimset

#include "AtspiAccessibility.moc"
