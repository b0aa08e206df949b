#include "AlignmentChecker.h"

#include "Platform/Accessibility.h"
#include "Platform/HttpClient.h"
#include "Runtime/Log.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QPointer>
#include <QTextBoundaryFinder>

namespace aimset {

namespace {

template <typename Answer>
std::function<void(Answer)> within(QObject* context, std::function<void(Answer)> completion) {
    if (!context) {
        return completion;
    }
    return [guard = QPointer<QObject>(context), completion = std::move(completion)](Answer answer) {
        if (guard) {
            completion(std::move(answer));
        }
    };
}

bool isLoopbackHost(const QString& host) {
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// Password managers, whose windows are never read.
const QStringList kPasswordManagerIDs{
    QStringLiteral("com.1password.1password"), QStringLiteral("com.agilebits.onepassword7"),
    QStringLiteral("com.lastpass.LastPass"),   QStringLiteral("com.bitwarden.desktop"),
    QStringLiteral("org.keepassxc.keepassxc"), QStringLiteral("com.dashlane.Dashlane"),
    QStringLiteral("com.enpass.Enpass"),       QStringLiteral("com.apple.Passwords"),
};

} // namespace

QUrl checkServiceURL() {
    const QByteArray configured = qgetenv("AIMSET_CHECK_URL");
    if (configured.isEmpty()) {
        return {};
    }
    const QUrl url(QString::fromUtf8(configured), QUrl::StrictMode);
    const bool secure = url.scheme() == QStringLiteral("https");
    const bool plainLoopback = url.scheme() == QStringLiteral("http") && isLoopbackHost(url.host());
    if (!url.isValid() || url.host().isEmpty() || !(secure || plainLoopback)) {
        // Window titles must not travel in the clear: refuse rather than send.
        Log(QStringLiteral(
                "[AlignmentChecker] Ignoring AIMSET_CHECK_URL (needs https, or http on a "
                "loopback address): ") +
            QString::fromUtf8(configured));
        return {};
    }
    return url;
}

// One kind of request: it sends the aimset and one more field, and its
// answer is an object whose `member` has the type `isType` checks; anything
// else is logged and reads as no answer.
struct AlignmentChecker::Mode {
    QString name;
    QString contextKey;
    std::chrono::milliseconds timeout;
    QString requestFailedLine;
    QString statusLine;
    QString parseLine;
    QString member;
    bool (QJsonValue::*isType)() const;
};

AlignmentChecker::AlignmentChecker(HttpClient& http, Accessibility& accessibility, QUrl serviceURL,
                                   QStringList extraSensitiveBundleIDs, CheckTimeouts timeouts)
    : m_http(http)
    , m_accessibility(accessibility)
    , m_serviceURL(std::move(serviceURL))
    , m_sensitiveBundleIDs(kPasswordManagerIDs + extraSensitiveBundleIDs)
    , m_timeouts(timeouts) {}

void AlignmentChecker::setService(QUrl serviceURL, QByteArray token) {
    m_serviceURL = std::move(serviceURL);
    m_token = std::move(token);
}

template <typename Answer>
void AlignmentChecker::exchange(const Mode& mode, const QString& aimset, const QString& context,
                                QObject* guard, std::function<void(std::optional<Answer>)> finish,
                                Answer (*read)(const QJsonObject&)) {
    finish = within(guard, std::move(finish));
    if (!m_serviceURL.isValid() || m_serviceURL.isEmpty()) {
        finish(std::nullopt);
        return;
    }
    HttpRequest request;
    request.url = m_serviceURL;
    request.headers = {{"Content-Type", "application/json"}};
    if (!m_token.isEmpty()) {
        request.headers.append({"Authorization", "Bearer " + m_token});
    }
    const QJsonObject body{{QStringLiteral("aimset"), aimset},
                           {mode.contextKey, context},
                           {QStringLiteral("mode"), mode.name}};
    request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    request.timeout = mode.timeout;

    m_http.send(request, [mode, read, finish = std::move(finish)](const HttpResponse& response) {
        const auto fail = [&finish](const QString& line) {
            Log(line);
            finish(std::nullopt);
        };
        if (response.error) {
            return fail(mode.requestFailedLine + *response.error);
        }
        if (response.status != 200) {
            return fail(mode.statusLine + QString::number(response.status));
        }
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(response.body, &parseError);
        if (parseError.error != QJsonParseError::NoError) {
            return fail(mode.requestFailedLine + parseError.errorString());
        }
        if (!document.isObject() || !(document.object().value(mode.member).*mode.isType)()) {
            return fail(mode.parseLine);
        }
        finish(read(document.object()));
    });
}

void AlignmentChecker::checkTitle(const QString& aimset, const QString& appName,
                                  const QString& windowTitle,
                                  std::function<void(std::optional<bool>)> completion,
                                  QObject* context) {
    const Mode mode{QStringLiteral("title"),
                    QStringLiteral("context"),
                    m_timeouts.title,
                    QStringLiteral("[AlignmentChecker] Request failed: "),
                    QStringLiteral("[AlignmentChecker] Proxy error: status "),
                    QStringLiteral("[AlignmentChecker] Failed to parse proxy response"),
                    QStringLiteral("aligned"),
                    &QJsonValue::isBool};
    exchange<bool>(
        mode, aimset, appName + QStringLiteral(" - ") + windowTitle, context, std::move(completion),
        [](const QJsonObject& answer) { return answer.value(QStringLiteral("aligned")).toBool(); });
}

void AlignmentChecker::checkText(const QString& aimset, const QString& text,
                                 std::function<void(std::optional<AlignmentVerdict>)> completion,
                                 QObject* context) {
    const Mode mode{QStringLiteral("text"),
                    QStringLiteral("context"),
                    m_timeouts.text,
                    QStringLiteral("[AlignmentChecker] Text check request failed: "),
                    QStringLiteral("[AlignmentChecker] Text check proxy error: status "),
                    QStringLiteral("[AlignmentChecker] Failed to parse text check proxy response"),
                    QStringLiteral("verdict"),
                    &QJsonValue::isString};
    exchange<AlignmentVerdict>(
        mode, aimset, text, context, std::move(completion), [](const QJsonObject& answer) {
            const QString verdict = answer.value(QStringLiteral("verdict")).toString();
            // Missing or mistyped optional members read as empty.
            const QString question = answer.value(QStringLiteral("question")).toString();
            const QString reason = answer.value(QStringLiteral("reason")).toString();
            LogDebug(QStringLiteral("[AlignmentChecker] Three-tier verdict: ") + verdict +
                     QStringLiteral(" | reason: ") + reason);
            const QString upper = verdict.toUpper();
            if (upper == QStringLiteral("UNCLEAR")) {
                return AlignmentVerdict::unclear(question, reason);
            } else if (upper == QStringLiteral("MISALIGNED")) {
                return AlignmentVerdict::misaligned(reason);
            }
            return AlignmentVerdict::aligned();
        });
}

void AlignmentChecker::expandAimset(const QString& aimset, const QString& windowTitle,
                                    std::function<void(std::optional<QString>)> completion,
                                    QObject* context) {
    const Mode mode{QStringLiteral("expand"),
                    QStringLiteral("windowTitle"),
                    m_timeouts.expand,
                    QStringLiteral("[AlignmentChecker] Aimset expansion request failed: "),
                    QStringLiteral("[AlignmentChecker] Aimset expansion proxy error: status "),
                    QStringLiteral("[AlignmentChecker] Failed to parse aimset expansion response"),
                    QStringLiteral("expansion"),
                    &QJsonValue::isString};
    exchange<QString>(
        mode, aimset, windowTitle, context, std::move(completion), [](const QJsonObject& answer) {
            const QString expansion = answer.value(QStringLiteral("expansion")).toString();
            LogDebug(QStringLiteral("[AlignmentChecker] Aimset expanded to: ") + expansion);
            return expansion;
        });
}

void AlignmentChecker::extractWindowText(std::int32_t pid, const QString& bundleID,
                                         std::function<void(std::optional<QString>)> completion,
                                         QObject* context) {
    completion = within(context, std::move(completion));
    if (m_sensitiveBundleIDs.contains(bundleID)) {
        Log(QStringLiteral("[AlignmentChecker] Skipping text extraction for sensitive app: ") +
            bundleID);
        completion(QString());
        return;
    }
    if (!m_accessibility.isProcessTrusted()) {
        completion(std::nullopt);
        return;
    }
    m_accessibility.readFocusedWindow(
        pid, [completion = std::move(completion)](std::shared_ptr<const AccessibleElement> window) {
            if (!window) {
                completion(std::nullopt);
                return;
            }
            completion(windowText(*window));
        });
}

QString AlignmentChecker::windowText(const AccessibleElement& window) {
    QStringList parts;
    collectText(window, parts, 0, maxWalkDepth);
    return truncateGraphemes(parts.join(QLatin1Char(' ')), maxTextLength);
}

void AlignmentChecker::collectText(const AccessibleElement& element, QStringList& parts, int depth,
                                   int maxDepth) {
    if (depth >= maxDepth || element.role() == kPasswordRole) {
        return;
    }
    for (const auto& read : {element.value(), element.title(), element.description()}) {
        if (read && !read->isEmpty()) {
            parts.append(*read);
        }
    }
    if (const auto children = element.children()) {
        for (const auto& child : *children) {
            if (child) {
                collectText(*child, parts, depth + 1, maxDepth);
            }
        }
    }
}

QString truncateGraphemes(const QString& text, int maxLength) {
    // Every grapheme is at least one UTF-16 unit, so shorter text cannot be over.
    if (text.size() <= maxLength) {
        return text;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1) {
        ++count;
        if (count == maxLength) {
            const qsizetype cut = finder.position();
            return cut < text.size() ? text.left(cut) : text;
        }
    }
    return text;
}

} // namespace aimset
