#pragma once

#include <QString>

#include <variant>

namespace aimset::checkd {

// The answer of text mode, in the words the app reads.
struct TextVerdict {
    QString verdict; // "ALIGNED", "UNCLEAR" or "MISALIGNED"
    QString reason;
    QString question; // a yes/no question, for UNCLEAR only
};

// A judge could not give an answer (its model failed or talked nonsense);
// the message is for the service's log, never for the window's text.
struct JudgeFailure {
    QString message;
};

template <typename T> using Judged = std::variant<T, JudgeFailure>;

// Decides whether a window fits an aimset. Called from many threads at once.
class Judge {
public:
    virtual ~Judge() = default;

    virtual QString name() const = 0;
    // context: application name, " - ", window title.
    virtual Judged<bool> judgeTitle(const QString& aimset, const QString& context) = 0;
    virtual Judged<TextVerdict> judgeText(const QString& aimset, const QString& text) = 0;
    // A short phrase naming what the window shows, to widen the aimset with.
    virtual Judged<QString> expand(const QString& aimset, const QString& windowTitle) = 0;
};

} // namespace aimset::checkd
