#pragma once

#include "Platform/HttpClient.h"

#include <QJsonObject>

#include <vector>

namespace aimset {

// Records every request; the test answers them, in any order, when it likes.
class FakeHttpClient final : public HttpClient {
public:
    struct Call {
        HttpRequest request;
        Completion completion;
        bool answered = false;

        // The body parsed as a JSON object (empty when it is not one).
        QJsonObject json() const;
    };

    void send(const HttpRequest& request, Completion completion) override;

    std::vector<Call> calls;

    std::size_t pendingCount() const;
    // Answers call index with status and body.
    void respond(std::size_t index, int status, const QByteArray& body);
    void respondJson(std::size_t index, const QJsonObject& object);
    // Fails call index as a transport error with the given description.
    void fail(std::size_t index, const QString& description);
    // Index of the oldest unanswered call; throws when there is none.
    std::size_t nextPending() const;

private:
    void answer(std::size_t index, const HttpResponse& response);
};

} // namespace aimset
