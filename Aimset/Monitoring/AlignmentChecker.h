#pragma once

#include "AlignmentVerdict.h"

#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace aimset {

class Accessibility;
class AccessibleElement;
class HttpClient;

// The alignment service's address: AIMSET_CHECK_URL when set, else the
// built-in default.
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
    using Timeouts = CheckTimeouts;

    static constexpr int maxTextLength = 4000;
    static constexpr int maxWalkDepth = 15;

    AlignmentChecker(HttpClient& http, Accessibility& accessibility, QUrl serviceURL,
                     QStringList extraSensitiveBundleIDs = {}, Timeouts timeouts = {});

    void checkTitle(const QString& aimset, const QString& appName, const QString& windowTitle,
                    std::function<void(std::optional<bool>)> completion);
    void checkText(const QString& aimset, const QString& text,
                   std::function<void(std::optional<AlignmentVerdict>)> completion);
    void expandAimset(const QString& aimset, const QString& windowTitle,
                      std::function<void(std::optional<QString>)> completion);

    // The visible text of the focused window of a process, at most
    // maxTextLength characters; empty when nothing could or may be read.
    // The completion runs once on the main thread: at once when the window
    // may not be read, else when the read is done.
    void extractWindowText(std::int32_t pid, const QString& bundleID,
                           std::function<void(const QString& text)> completion);

    static void collectText(const AccessibleElement& element, QStringList& parts, int depth,
                            int maxDepth);

    // Password managers, whose windows are never read.
    static const QSet<QString>& sensitiveBundleIDs();

private:
    struct Mode;
    void exchange(const Mode& mode, const QJsonObject& body,
                  std::function<void(std::optional<QJsonObject>)> finish);

    HttpClient& m_http;
    Accessibility& m_accessibility;
    QUrl m_serviceURL;
    QSet<QString> m_extraSensitiveBundleIDs;
    Timeouts m_timeouts;
};

// Cuts text to its first maxLength user-perceived characters.
QString truncateGraphemes(const QString& text, int maxLength);

} // namespace aimset
