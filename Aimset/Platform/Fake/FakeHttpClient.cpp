#include "FakeHttpClient.h"

#include <QJsonDocument>

#include <stdexcept>

namespace aimset {

QJsonObject FakeHttpClient::Call::json() const {
    return QJsonDocument::fromJson(request.body).object();
}

void FakeHttpClient::send(const HttpRequest& request, Completion completion) {
    calls.push_back(Call{request, std::move(completion), false});
}

std::size_t FakeHttpClient::pendingCount() const {
    std::size_t count = 0;
    for (const Call& call : calls) {
        count += call.answered ? 0 : 1;
    }
    return count;
}

std::size_t FakeHttpClient::nextPending() const {
    for (std::size_t index = 0; index < calls.size(); ++index) {
        if (!calls[index].answered) {
            return index;
        }
    }
    throw std::logic_error("FakeHttpClient: no request is waiting for an answer");
}

void FakeHttpClient::answer(std::size_t index, const HttpResponse& response) {
    Call& call = calls.at(index);
    if (call.answered) {
        throw std::logic_error("FakeHttpClient: request answered twice");
    }
    call.answered = true;
    // Copy first: the completion may send new requests and grow the vector.
    Completion completion = call.completion;
    completion(response);
}

void FakeHttpClient::respond(std::size_t index, int status, const QByteArray& body) {
    HttpResponse response;
    response.status = status;
    response.body = body;
    answer(index, response);
}

void FakeHttpClient::respondJson(std::size_t index, const QJsonObject& object) {
    respond(index, 200, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void FakeHttpClient::fail(std::size_t index, const QString& description) {
    HttpResponse response;
    response.error = description;
    answer(index, response);
}

} // namespace aimset
