#pragma once

#include "Platform/FrontTabCloser.h"

namespace aimset {

// Answers every request with `result` and counts the requests.
class FakeFrontTabCloser final : public FrontTabCloser {
public:
    Result closeFrontTab() override {
        ++requests;
        return result;
    }

    Result result = Result::sent;
    int requests = 0;
};

} // namespace aimset
