#pragma once

#include "Platform/FrontTabCloser.h"

#include <QStringList>

namespace aimset {

// Answers every request with `result` and counts the requests.
class FakeFrontTabCloser final : public FrontTabCloser {
public:
    Result closeFrontTab() override {
        ++requests;
        if (journal) {
            *journal << QStringLiteral("keys.closeFrontTab");
        }
        return result;
    }

    Result result = Result::sent;
    int requests = 0;
    // When set, also receives "keys.closeFrontTab" for every request.
    QStringList* journal = nullptr;
};

} // namespace aimset
