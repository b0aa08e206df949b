#pragma once

#include "AlignmentVerdict.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class QObject;

namespace aimset {

class Accessibility;
class AccessibleElement;
class HttpClient;

// The alignment service the user chose: AIMSET_CHECK_URL when set and safe,
// else empty (the app then starts its own and hands it over with setService).
QUrl checkServiceURL();

// How long each kind of check may take, start to finish.
struct CheckTimeouts {
    std::chrono::milliseconds title{10000};
    std::chrono::milliseconds text{15000};
    std::chrono::milliseconds expand{10000};
};

// Client of the alignment service, plus the reading of a window's visible
// text that the text check sends. Keeps no state between calls; results
// arrive on the main thread through the completion.
class AlignmentChecker {
public:
    static constexpr int maxTextLength = 4000;
    static constexpr int maxWalkDepth = 15;

    AlignmentChecker(HttpClient& http, Accessibility& accessibility, QUrl serviceURL,
                     QStringList extraSensitiveBundleIDs = {}, CheckTimeouts timeouts = {});

    // Where the checks go from now on, with the token they carry ("Authorization:
    // Bearer"; none when empty). An empty URL sends nothing: checks fail.
    void setService(QUrl serviceURL, QByteArray token);

    // Each completion runs only while its context (if one is given) lives:
    // an answer may come after the one who asked has gone.
    void checkTitle(const QString& aimset, const QString& appName, const QString& windowTitle,
                    std::function<void(std::optional<bool>)> completion,
                    QObject* context = nullptr);
    void checkText(const QString& aimset, const QString& text,
                   std::function<void(std::optional<AlignmentVerdict>)> completion,
                   QObject* context = nullptr);
    void expandAimset(const QString& aimset, const QString& windowTitle,
                      std::function<void(std::optional<QString>)> completion,
                      QObject* context = nullptr);

    // Reads the visible text of the focused window of a process, at most
    // maxTextLength characters. The completion gets the text (empty when the
    // window shows none, or belongs to a password manager), or nothing when
    // the window cannot be read at all. It may run before this call returns.
    void extractWindowText(std::int32_t pid, const QString& bundleID,
                           std::function<void(std::optional<QString>)> completion,
                           QObject* context = nullptr);

    // The text the check sends for one window's tree.
    static QString windowText(const AccessibleElement& window);

    static void collectText(const AccessibleElement& element, QStringList& parts, int depth,
                            int maxDepth);

private:
    struct Mode;
    // One request; `read` makes the completion's value of an answer of the right shape.
    template <typename Answer>
    void exchange(const Mode& mode, const QString& aimset, const QString& context, QObject* guard,
                  std::function<void(std::optional<Answer>)> finish,
                  Answer (*read)(const QJsonObject&));

    HttpClient& m_http;
    Accessibility& m_accessibility;
    QUrl m_serviceURL;
    QByteArray m_token;
    const QStringList m_sensitiveBundleIDs;
    CheckTimeouts m_timeouts;
};

// Cuts text to its first maxLength user-perceived characters.
QString truncateGraphemes(const QString& text, int maxLength);

} // namespace aimset
