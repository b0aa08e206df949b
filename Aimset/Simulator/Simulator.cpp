#include "Simulator.h"

#include "Interventions/UsageStore.h"
#include "Runtime/Log.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <vector>

namespace aimset {

ScenarioError::ScenarioError(int line, const QString& message)
    : std::runtime_error(message.toStdString())
    , m_line(line)
    , m_message(message) {}

namespace {

using Duration = MainLoop::Duration;

// An element of a scripted window: exactly the attributes the scenario gave.
class ScriptedElement final : public AccessibleElement {
public:
    std::optional<QString> role() const override { return roleText; }
    std::optional<QString> value() const override { return valueText; }
    std::optional<QString> title() const override { return titleText; }
    std::optional<QString> description() const override { return descriptionText; }
    std::optional<std::vector<std::shared_ptr<const AccessibleElement>>> children() const override {
        return childElements;
    }

    std::optional<QString> roleText;
    std::optional<QString> valueText;
    std::optional<QString> titleText;
    std::optional<QString> descriptionText;
    std::optional<std::vector<std::shared_ptr<const AccessibleElement>>> childElements;
};

const QStringList& stepKinds() {
    static const QStringList kinds{
        QStringLiteral("defaults"),   QStringLiteral("keychain"),
        QStringLiteral("frontmost"),  QStringLiteral("title"),
        QStringLiteral("windowText"), QStringLiteral("trusted"),
        QStringLiteral("service"),    QStringLiteral("chord"),
        QStringLiteral("speech"),     QStringLiteral("permissions"),
        QStringLiteral("recognizer"), QStringLiteral("audioStartFails"),
        QStringLiteral("type"),       QStringLiteral("goal"),
        QStringLiteral("press"),      QStringLiteral("snapshot"),
        QStringLiteral("sleep"),
    };
    return kinds;
}

// Reads members of one step's object, failing with a message that names the line.
class Reader {
public:
    // Far beyond any session (which ends by itself after three hours), and
    // short enough that moving the clock there always finishes.
    static constexpr double maxSeconds = 1.0e6;

    Reader(int line, QString where)
        : m_line(line)
        , m_where(std::move(where)) {}

    [[noreturn]] void fail(const QString& message) const {
        throw ScenarioError(m_line, m_where + QStringLiteral(": ") + message);
    }

    QJsonObject object(const QJsonValue& value) const {
        if (!value.isObject()) {
            fail(QStringLiteral("expected an object"));
        }
        return value.toObject();
    }
    void onlyMembers(const QJsonObject& object, const QStringList& allowed) const {
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!allowed.contains(it.key())) {
                fail(QStringLiteral("unknown member \"%1\"").arg(it.key()));
            }
        }
    }
    QString string(const QJsonObject& object, const QString& key) const {
        const QJsonValue value = object.value(key);
        if (!value.isString()) {
            fail(QStringLiteral("\"%1\" must be a string").arg(key));
        }
        return value.toString();
    }
    // Missing or null reads as none.
    std::optional<QString> optionalString(const QJsonObject& object, const QString& key) const {
        const QJsonValue value = object.value(key);
        if (value.isUndefined() || value.isNull()) {
            return std::nullopt;
        }
        if (!value.isString()) {
            fail(QStringLiteral("\"%1\" must be a string or null").arg(key));
        }
        return value.toString();
    }
    qint64 integer(const QJsonValue& value, const QString& name) const {
        const double number = value.toDouble();
        if (!value.isDouble() || std::floor(number) != number || std::abs(number) > 9.0e15) {
            fail(QStringLiteral("\"%1\" must be a whole number").arg(name));
        }
        return static_cast<qint64>(number);
    }
    bool boolean(const QJsonValue& value, const QString& name) const {
        if (!value.isBool()) {
            fail(QStringLiteral("\"%1\" must be true or false").arg(name));
        }
        return value.toBool();
    }
    Duration seconds(const QJsonValue& value, const QString& name) const {
        const double number = value.toDouble();
        if (!value.isDouble() || !std::isfinite(number) || number < 0 || number > maxSeconds) {
            fail(QStringLiteral("\"%1\" must be a number of seconds from 0 to 1000000").arg(name));
        }
        return Duration(std::llround(number * 1000.0));
    }

    std::shared_ptr<const AccessibleElement> element(const QJsonValue& value, int depth) const {
        if (depth > 200) {
            fail(QStringLiteral("the element tree is nested too deeply"));
        }
        const QJsonObject object = this->object(value);
        onlyMembers(object,
                    {QStringLiteral("role"), QStringLiteral("value"), QStringLiteral("title"),
                     QStringLiteral("description"), QStringLiteral("children")});
        auto element = std::make_shared<ScriptedElement>();
        element->roleText = optionalString(object, QStringLiteral("role"));
        element->titleText = optionalString(object, QStringLiteral("title"));
        element->descriptionText = optionalString(object, QStringLiteral("description"));
        // A value that is not a string is a value that is not text (a slider's number).
        const QJsonValue elementValue = object.value(QStringLiteral("value"));
        if (elementValue.isString()) {
            element->valueText = elementValue.toString();
        }
        const QJsonValue children = object.value(QStringLiteral("children"));
        if (!children.isUndefined() && !children.isNull()) {
            if (!children.isArray()) {
                fail(QStringLiteral("\"children\" must be a list of elements"));
            }
            element->childElements.emplace();
            for (const QJsonValue& child : children.toArray()) {
                element->childElements->push_back(this->element(child, depth + 1));
            }
        }
        return element;
    }

private:
    int m_line;
    QString m_where;
};

} // namespace

// ---- running ----------------------------------------------------------------------------------

Simulator::Simulator(SimulatorOutput output, Options options)
    : m_output(std::move(output))
    , m_options(options)
    , m_http(m_desktop.loop, [this](const QString& line) { emitLine(line); })
    , m_panels(m_desktop.panels, m_screen, [this](const QString& line) { emitLine(line); })
    , m_frontTab(m_desktop.frontTab, [this](const QString& line) { emitLine(line); }) {
    m_desktop.speech.accessAnswer = SpeechAvailability::available;
    m_previousSink = setLogSink([this](const QString& line) { emitLine(line); });
}

Simulator::~Simulator() {
    // The app goes first, while its last words (if any) still reach the sink;
    // before it, the window that draws it.
    m_screen.closeMainWindow();
    m_view.reset();
    setLogSink(std::move(m_previousSink));
}

QString Simulator::formatTime(Duration time) {
    const qint64 ms = time.count();
    return QStringLiteral("%1.%2").arg(ms / 1000).arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

void Simulator::emitLine(const QString& text) {
    if (m_ended) {
        return; // taking the app down afterwards is not part of the scenario
    }
    if (m_options.timestamps) {
        m_output(formatTime(m_desktop.loop.now()) + QLatin1Char(' ') + text);
    } else {
        m_output(text);
    }
}

void Simulator::run(const QByteArray& scenario) {
    std::vector<Step> steps;
    std::optional<Duration> lastAt;
    bool seenOtherStep = false;
    const QList<QByteArray> lines = scenario.split('\n');
    for (int index = 0; index < lines.size(); ++index) {
        const QByteArray text = lines[index].trimmed();
        if (text.isEmpty() || text.startsWith("//")) {
            continue;
        }
        Step step = parseStep(index + 1, text, lastAt);
        if (step.isSetup) {
            if (seenOtherStep) {
                throw ScenarioError(step.line,
                                    QStringLiteral("setup steps (defaults, keychain) must come "
                                                   "before every other step"));
            }
            if (step.at && step.at->count() != 0) {
                throw ScenarioError(step.line,
                                    QStringLiteral("setup steps happen before the launch at 0"));
            }
        } else {
            seenOtherStep = true;
        }
        steps.push_back(std::move(step));
    }

    VirtualMainLoop& loop = m_desktop.loop;
    for (const Step& step : steps) {
        if (!step.isSetup && !m_view) {
            launch();
        }
        loop.advanceTo(step.at.value_or(loop.now()));
        if (step.apply) {
            step.apply();
        }
        if (m_view) {
            m_screen.settle();
        }
    }
    if (!m_view) {
        launch();
    }
    loop.runPending();
    emitLine(QStringLiteral("# end at ") + formatTime(loop.now()));
    m_ended = true;
}

void Simulator::launch() {
    Desktop desktop = m_desktop.desktop();
    Desktop scripted{desktop.loop,
                     desktop.workspace,
                     desktop.accessibility,
                     m_http,
                     m_panels,
                     m_frontTab,
                     desktop.voiceChord,
                     desktop.secrets,
                     desktop.defaults,
                     desktop.speech,
                     desktop.appLists,
                     desktop.checkServiceURL,
                     desktop.runInBackground};
    m_view = std::make_unique<ContentView>(std::move(scripted));
    // The window comes on screen; its views start what shows (the onboarding
    // or the launch modal).
    m_screen.showMainWindow(*m_view);
}

// ---- parsing ----------------------------------------------------------------------------------

Simulator::Step Simulator::parseStep(int line, const QByteArray& text,
                                     std::optional<Duration>& lastAt) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        throw ScenarioError(line, QStringLiteral("not valid JSON: ") + error.errorString());
    }
    if (!document.isObject()) {
        throw ScenarioError(line, QStringLiteral("a step must be a JSON object"));
    }
    const QJsonObject object = document.object();
    Step step;
    step.line = line;

    QString kind;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() == QStringLiteral("at")) {
            continue;
        }
        if (it.key() == QStringLiteral("field") && object.contains(QStringLiteral("press"))) {
            continue;
        }
        if (!stepKinds().contains(it.key())) {
            throw ScenarioError(line, QStringLiteral("unknown step \"%1\"").arg(it.key()));
        }
        if (!kind.isEmpty()) {
            throw ScenarioError(
                line,
                QStringLiteral("one step per line, found \"%1\" and \"%2\"").arg(kind, it.key()));
        }
        kind = it.key();
    }

    if (object.contains(QStringLiteral("at"))) {
        const Duration at = Reader(line, QStringLiteral("at"))
                                .seconds(object.value(QStringLiteral("at")), QStringLiteral("at"));
        if (lastAt && at < *lastAt) {
            throw ScenarioError(line,
                                QStringLiteral("\"at\" %1 is earlier than the step before (%2)")
                                    .arg(formatTime(at), formatTime(*lastAt)));
        }
        step.at = at;
        lastAt = at;
    }
    if (kind.isEmpty()) {
        if (!step.at) {
            throw ScenarioError(line, QStringLiteral("empty step"));
        }
        return step; // only advances the clock
    }
    step.apply = parseAction(line, kind, object.value(kind), object, step.isSetup);
    return step;
}

std::function<void()> Simulator::parseAction(int line, const QString& kind, const QJsonValue& value,
                                             const QJsonObject& object, bool& isSetup) {
    const Reader reader(line, kind);
    SimulatedDesktop& desk = m_desktop;

    if (kind == QStringLiteral("defaults")) {
        isSetup = true;
        const QJsonObject flags = reader.object(value);
        QHash<QString, bool> values;
        for (auto it = flags.begin(); it != flags.end(); ++it) {
            values.insert(it.key(), reader.boolean(it.value(), it.key()));
        }
        return [&desk, values] {
            for (auto it = values.cbegin(); it != values.cend(); ++it) {
                desk.defaults.values.insert(it.key(), it.value());
            }
        };
    }
    if (kind == QStringLiteral("keychain")) {
        isSetup = true;
        const QJsonObject items = reader.object(value);
        std::vector<std::pair<QString, std::optional<QString>>> changes;
        for (auto it = items.begin(); it != items.end(); ++it) {
            changes.emplace_back(it.key(), reader.optionalString(items, it.key()));
        }
        return [&desk, changes] {
            for (const auto& [account, data] : changes) {
                if (data) {
                    desk.secrets.put(UsageStore::service, account,
                                     FakeSecretStore::Item{data->toUtf8()});
                } else {
                    desk.secrets.remove(SecretItemKey{UsageStore::service, account});
                }
            }
            desk.secrets.clearCalls();
        };
    }
    if (kind == QStringLiteral("frontmost")) {
        if (value.isNull()) {
            return [&desk] { desk.workspace.frontmost.reset(); };
        }
        const QJsonObject app = reader.object(value);
        reader.onlyMembers(app, {QStringLiteral("name"), QStringLiteral("bundle"),
                                 QStringLiteral("pid"), QStringLiteral("title")});
        RunningApplication running;
        running.localizedName = reader.optionalString(app, QStringLiteral("name"));
        running.bundleIdentifier = reader.optionalString(app, QStringLiteral("bundle"));
        const qint64 pid = reader.integer(app.value(QStringLiteral("pid")), QStringLiteral("pid"));
        if (pid < INT32_MIN || pid > INT32_MAX) {
            reader.fail(QStringLiteral("\"pid\" is out of range"));
        }
        running.processIdentifier = static_cast<std::int32_t>(pid);
        const std::optional<QString> title = reader.optionalString(app, QStringLiteral("title"));
        return [&desk, running, title] {
            const bool activates =
                !desk.workspace.frontmost ||
                desk.workspace.frontmost->processIdentifier != running.processIdentifier;
            desk.workspace.frontmost = running;
            if (title) {
                desk.workspace.titles.insert(running.processIdentifier, *title);
            } else {
                desk.workspace.titles.remove(running.processIdentifier);
            }
            if (activates) {
                desk.workspace.notifyActivation(running);
            }
        };
    }
    if (kind == QStringLiteral("title")) {
        std::optional<QString> title;
        if (!value.isNull()) {
            if (!value.isString()) {
                reader.fail(QStringLiteral("expected a string or null"));
            }
            title = value.toString();
        }
        return [&desk, title, line] {
            if (!desk.workspace.frontmost) {
                throw ScenarioError(line,
                                    QStringLiteral("title: there is no frontmost application"));
            }
            const std::int32_t pid = desk.workspace.frontmost->processIdentifier;
            if (title) {
                desk.workspace.titles.insert(pid, *title);
            } else {
                desk.workspace.titles.remove(pid);
            }
        };
    }
    if (kind == QStringLiteral("windowText")) {
        const QJsonObject window = reader.object(value);
        reader.onlyMembers(window, {QStringLiteral("pid"), QStringLiteral("tree")});
        const qint64 pid =
            reader.integer(window.value(QStringLiteral("pid")), QStringLiteral("pid"));
        if (pid < INT32_MIN || pid > INT32_MAX) {
            reader.fail(QStringLiteral("\"pid\" is out of range"));
        }
        std::shared_ptr<const AccessibleElement> tree;
        const QJsonValue treeValue = window.value(QStringLiteral("tree"));
        if (!treeValue.isUndefined() && !treeValue.isNull()) {
            tree = reader.element(treeValue, 0);
        }
        return [&desk, pid = static_cast<std::int32_t>(pid), tree] {
            if (tree) {
                desk.accessibility.windows.insert(pid, tree);
            } else {
                desk.accessibility.windows.remove(pid);
            }
        };
    }
    if (kind == QStringLiteral("trusted")) {
        const bool trusted = reader.boolean(value, kind);
        return [&desk, trusted] { desk.accessibility.trusted = trusted; };
    }
    if (kind == QStringLiteral("service")) {
        const QJsonObject rule = reader.object(value);
        reader.onlyMembers(rule, {QStringLiteral("mode"), QStringLiteral("contains"),
                                  QStringLiteral("status"), QStringLiteral("body"),
                                  QStringLiteral("delay"), QStringLiteral("fail")});
        ServiceRule parsed;
        parsed.mode = reader.string(rule, QStringLiteral("mode"));
        if (parsed.mode != QStringLiteral("title") && parsed.mode != QStringLiteral("text") &&
            parsed.mode != QStringLiteral("expand")) {
            reader.fail(QStringLiteral("\"mode\" must be \"title\", \"text\" or \"expand\""));
        }
        parsed.contains = reader.optionalString(rule, QStringLiteral("contains"));
        if (rule.contains(QStringLiteral("status"))) {
            const qint64 status =
                reader.integer(rule.value(QStringLiteral("status")), QStringLiteral("status"));
            if (status < -1 || status > 999) {
                reader.fail(QStringLiteral("\"status\" is out of range"));
            }
            parsed.status = static_cast<int>(status);
        }
        const QJsonValue body = rule.value(QStringLiteral("body"));
        if (body.isString()) {
            parsed.body = body.toString().toUtf8();
        } else if (body.isObject()) {
            parsed.body = QJsonDocument(body.toObject()).toJson(QJsonDocument::Compact);
        } else if (body.isArray()) {
            parsed.body = QJsonDocument(body.toArray()).toJson(QJsonDocument::Compact);
        } else if (!body.isUndefined()) {
            // A bare scalar: wrap it in an array to serialise it, then unwrap.
            QByteArray wrapped = QJsonDocument(QJsonArray{body}).toJson(QJsonDocument::Compact);
            parsed.body = wrapped.mid(1, wrapped.size() - 2);
        }
        if (rule.contains(QStringLiteral("delay"))) {
            parsed.delay =
                reader.seconds(rule.value(QStringLiteral("delay")), QStringLiteral("delay"));
        }
        parsed.failure = reader.optionalString(rule, QStringLiteral("fail"));
        return [this, parsed] { m_http.addRule(parsed); };
    }
    if (kind == QStringLiteral("chord")) {
        const QString change = value.toString();
        if (change == QStringLiteral("down")) {
            return [&desk] { desk.voiceChord.press(); };
        }
        if (change != QStringLiteral("up")) {
            reader.fail(QStringLiteral("must be \"down\" or \"up\""));
        }
        return [&desk] { desk.voiceChord.release(); };
    }
    if (kind == QStringLiteral("speech")) {
        const QJsonObject speech = reader.object(value);
        reader.onlyMembers(speech, {QStringLiteral("partial"), QStringLiteral("error")});
        if (speech.size() != 1) {
            reader.fail(QStringLiteral("give either \"partial\" or \"error\""));
        }
        const bool isPartial = speech.contains(QStringLiteral("partial"));
        const QString text =
            reader.string(speech, isPartial ? QStringLiteral("partial") : QStringLiteral("error"));
        return [&desk, this, isPartial, text] {
            if (!(isPartial ? desk.speech.hear(text) : desk.speech.fail(text))) {
                emitLine(QStringLiteral("# no recognition task is running"));
            }
        };
    }
    if (kind == QStringLiteral("permissions")) {
        const QJsonObject permissions = reader.object(value);
        reader.onlyMembers(permissions, {QStringLiteral("speech"), QStringLiteral("microphone")});
        std::optional<int> speech;
        std::optional<bool> microphone;
        if (permissions.contains(QStringLiteral("speech"))) {
            const qint64 status = reader.integer(permissions.value(QStringLiteral("speech")),
                                                 QStringLiteral("speech"));
            if (status < 0 || status > 3) {
                reader.fail(QStringLiteral("\"speech\" must be a status from 0 to 3"));
            }
            speech = static_cast<int>(status);
        }
        if (permissions.contains(QStringLiteral("microphone"))) {
            microphone = reader.boolean(permissions.value(QStringLiteral("microphone")),
                                        QStringLiteral("microphone"));
        }
        return [&desk, this, speech, microphone] {
            m_speechStatus = speech.value_or(m_speechStatus);
            m_microphoneGranted = microphone.value_or(m_microphoneGranted);
            static constexpr SpeechAvailability refused[] = {SpeechAvailability::notDetermined,
                                                             SpeechAvailability::denied,
                                                             SpeechAvailability::noModel};
            desk.speech.accessAnswer = m_speechStatus < 3    ? refused[m_speechStatus]
                                       : m_microphoneGranted ? SpeechAvailability::available
                                                             : SpeechAvailability::noMicrophone;
        };
    }
    if (kind == QStringLiteral("recognizer")) {
        const bool present = reader.boolean(value, kind);
        return [&desk, present] { desk.speech.modelMissing = !present; };
    }
    if (kind == QStringLiteral("audioStartFails")) {
        if (!value.isString()) {
            reader.fail(QStringLiteral("expected the failure's description"));
        }
        const QString description = value.toString();
        return [&desk, description] { desk.speech.startFailure = description; };
    }
    if (kind == QStringLiteral("type")) {
        const QJsonObject typing = reader.object(value);
        reader.onlyMembers(typing, {QStringLiteral("field"), QStringLiteral("text")});
        const QString field = reader.string(typing, QStringLiteral("field"));
        if (field != QStringLiteral("aimset") && field != QStringLiteral("newAimset")) {
            reader.fail(QStringLiteral("\"field\" must be \"aimset\" or \"newAimset\""));
        }
        const QString text = reader.string(typing, QStringLiteral("text"));
        return [this, field, text] { type(field, text); };
    }
    if (kind == QStringLiteral("goal")) {
        const qint64 index = reader.integer(value, kind);
        if (index < 0 || index >= LaunchModal::goalLabels().size()) {
            reader.fail(QStringLiteral("the goal index must be 0 to %1")
                            .arg(LaunchModal::goalLabels().size() - 1));
        }
        return [this, index] { setGoal(static_cast<int>(index)); };
    }
    if (kind == QStringLiteral("press")) {
        if (!value.isString()) {
            reader.fail(QStringLiteral("expected the label of a button"));
        }
        const QString label = value.toString();
        if (label == QStringLiteral("Return")) {
            const QString field = Reader(line, QStringLiteral("press Return"))
                                      .string(object, QStringLiteral("field"));
            if (field != QStringLiteral("aimset") && field != QStringLiteral("newAimset")) {
                reader.fail(QStringLiteral("\"field\" must be \"aimset\" or \"newAimset\""));
            }
            return [this, field] { pressReturn(field); };
        }
        if (object.contains(QStringLiteral("field"))) {
            reader.fail(QStringLiteral("\"field\" goes only with \"Return\""));
        }
        return [this, label] { press(label); };
    }
    if (kind == QStringLiteral("sleep")) {
        const Duration duration = reader.seconds(value, kind);
        return [this, duration] {
            emitLine(QStringLiteral("# sleep ") + formatTime(duration));
            m_desktop.loop.suspend(duration);
        };
    }
    if (kind == QStringLiteral("snapshot")) {
        if (value != QJsonValue(true)) {
            reader.fail(QStringLiteral("expected true"));
        }
        return [this] { snapshot(); };
    }
    throw ScenarioError(line, QStringLiteral("unknown step \"%1\"").arg(kind));
}

// ---- what a person does, on the app's own views -----------------------------------------------

namespace {

QString fieldName(const QString& field) {
    return field + QStringLiteral("Field");
}

} // namespace

void Simulator::notOnScreen(const QString& what) {
    emitLine(QStringLiteral("# not on screen: ") + what);
}

void Simulator::press(const QString& label) {
    if (!m_screen.press(label)) {
        notOnScreen(label);
    }
}

void Simulator::pressReturn(const QString& field) {
    if (QQuickItem* box = m_screen.control(fieldName(field))) {
        QMetaObject::invokeMethod(box, "accepted");
        m_screen.settle();
    } else {
        notOnScreen(field);
    }
}

void Simulator::type(const QString& field, const QString& text) {
    if (QQuickItem* box = m_screen.control(fieldName(field))) {
        box->setProperty("text", text);
        m_screen.settle();
    } else {
        notOnScreen(field);
    }
}

void Simulator::setGoal(int index) {
    if (QQuickItem* slider = m_screen.control(QStringLiteral("goalSlider"))) {
        slider->setProperty("value", index);
        QMetaObject::invokeMethod(slider, "moved");
        m_screen.settle();
    } else {
        notOnScreen(QStringLiteral("goal"));
    }
}

void Simulator::snapshot() {
    for (const QString& text : m_screen.texts()) {
        // One line per text: a text with line breaks stays on its output line.
        QString flat = text;
        flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
        emitLine(QStringLiteral("# screen: ") + flat);
    }
}

} // namespace aimset
