#include "AtspiAccessibility.h"

#include "Platform/Qt/HelperPrograms.h"
#include "Runtime/Log.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

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

// The D-Bus connection, the process's session bus or a named one. It also
// remembers whether the accessibility bus is enabled: the launcher announces
// every change (PropertiesChanged), so a poll need not ask each time.
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
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this] { m_enabled.reset(); });
    }
    ~Bus() override {
        if (!m_name.isEmpty()) {
            QDBusConnection::disconnectFromBus(m_name);
        }
    }
    QDBusConnection connection() const {
        return m_name.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(m_name);
    }

    std::optional<bool> knownEnabled() const { return m_enabled; }
    void learnEnabled(bool enabled) {
        if (m_watched) {
            m_enabled = enabled;
        }
    }

private slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated) {
        if (interface != kStatus) {
            return;
        }
        if (changed.contains(kIsEnabled)) {
            learnEnabled(changed.value(kIsEnabled).toBool());
        } else if (invalidated.contains(kIsEnabled)) {
            m_enabled.reset();
        }
    }

private:
    QString m_name;
    bool m_watched = false;
    std::optional<bool> m_enabled;
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
}

AtspiAccessibility::~AtspiAccessibility() = default;

bool AtspiAccessibility::isProcessTrusted() {
    if (const auto known = m_bus->knownEnabled()) {
        return *known;
    }
    QDBusMessage get =
        QDBusMessage::createMethodCall(kBusService, kBusPath, kProperties, QStringLiteral("Get"));
    get << kStatus << kIsEnabled;
    const QDBusMessage reply =
        m_bus->connection().call(get, QDBus::Block, static_cast<int>(m_options.busTimeout.count()));
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1) {
        m_lastBusError.clear();
        const bool enabled =
            reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
        m_bus->learnEnabled(enabled);
        return enabled;
    }
    // Polled often: say it once per kind of failure.
    const QString error =
        reply.errorMessage().isEmpty() ? QStringLiteral("unexpected reply") : reply.errorMessage();
    if (error != m_lastBusError) {
        m_lastBusError = error;
        Log(kTag + QStringLiteral("Cannot read whether the accessibility bus is enabled: ") +
            error);
    }
    return false;
}

void AtspiAccessibility::requestTrustWithPrompt() {
    if (!m_options.persistCommand.isEmpty() &&
        !QProcess::startDetached(m_options.persistCommand.constFirst(),
                                 m_options.persistCommand.mid(1))) {
        Log(kTag + QStringLiteral("Could not run ") + m_options.persistCommand.constFirst() +
            QStringLiteral(" to keep accessibility enabled"));
    }
    QDBusMessage set =
        QDBusMessage::createMethodCall(kBusService, kBusPath, kProperties, QStringLiteral("Set"));
    set << kStatus << kIsEnabled << QVariant::fromValue(QDBusVariant(true));
    const QDBusMessage reply =
        m_bus->connection().call(set, QDBus::Block, static_cast<int>(m_options.busTimeout.count()));
    if (reply.type() == QDBusMessage::ReplyMessage) {
        m_bus->learnEnabled(true);
        Log(kTag + QStringLiteral("Accessibility bus enabled"));
    } else {
        Log(kTag + QStringLiteral("Could not enable the accessibility bus: ") +
            reply.errorMessage());
    }
}

void AtspiAccessibility::readFocusedWindow(std::int32_t processIdentifier,
                                           WindowCompletion completion) {
    QTimer::singleShot(0, [completion = std::move(completion),
                           window = focusedWindow(processIdentifier)] { completion(window); });
}

std::shared_ptr<const AccessibleElement>
AtspiAccessibility::focusedWindow(std::int32_t processIdentifier) {
    m_lastRead.reset();
    if (processIdentifier <= 0) {
        return nullptr;
    }
    QElapsedTimer elapsed;
    elapsed.start();
    const auto remaining = [&] {
        return std::max<qint64>(0, m_options.deadline.count() - elapsed.elapsed());
    };
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

    QProcess reader;
    if (!m_options.busAddress.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_options.busAddress);
        reader.setProcessEnvironment(environment);
    }
    reader.setProcessChannelMode(QProcess::SeparateChannels);
    reader.setStandardErrorFile(QProcess::nullDevice());
    reader.start(program, arguments, QIODevice::ReadOnly);
    if (!reader.waitForStarted(static_cast<int>(remaining()))) {
        Log(kTag + QStringLiteral("Could not start ") + program + QStringLiteral(": ") +
            reader.errorString());
        return nullptr;
    }
    // Bounded by the deadline, not by the target application.
    if (!reader.waitForFinished(static_cast<int>(std::max<qint64>(1, remaining())))) {
        reader.kill();
        reader.waitForFinished(1000);
        Log(kTag + QStringLiteral("Reading the window of process ") +
            QString::number(processIdentifier) + QStringLiteral(" took longer than ") +
            QString::number(m_options.deadline.count()) + QStringLiteral(" ms; stopped"));
        return nullptr;
    }
    if (reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0) {
        Log(kTag + QString::fromLatin1(programName) + QStringLiteral(" failed (exit code ") +
            QString::number(reader.exitCode()) + QLatin1Char(')'));
        return nullptr;
    }
    QString error;
    const auto dump = parseWindowDump(reader.readAllStandardOutput(), &error);
    if (!dump) {
        Log(kTag + QStringLiteral("Unreadable output of ") + QString::fromLatin1(programName) +
            QStringLiteral(": ") + error);
        return nullptr;
    }
    m_lastRead = dump->figures;
    return dump->window;
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
