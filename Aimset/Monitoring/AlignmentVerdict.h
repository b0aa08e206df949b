#pragma once

#include <QString>

namespace aimset {

// The alignment service's three-way answer about a window. A failed check
// is not a verdict: operations that can fail return an empty optional.
struct AlignmentVerdict {
    enum class Kind { aligned, unclear, misaligned };

    Kind kind = Kind::aligned;
    QString question; // unclear only
    QString reason;   // unclear and misaligned

    static AlignmentVerdict aligned() { return {Kind::aligned, {}, {}}; }
    static AlignmentVerdict unclear(QString question, QString reason) {
        return {Kind::unclear, std::move(question), std::move(reason)};
    }
    static AlignmentVerdict misaligned(QString reason) {
        return {Kind::misaligned, {}, std::move(reason)};
    }

    bool operator==(const AlignmentVerdict&) const = default;
};

} // namespace aimset
