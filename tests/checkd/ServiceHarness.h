#pragma once

#include "CheckService.h"
#include "HttpServer.h"
#include "OfflineJudge.h"

#include "support/SpinUntil.h"

#include <QUrl>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace aimset::checkd::test {

// A real service on a free loopback port for the length of a test.
class RunningService {
public:
    explicit RunningService(Judge& judge, ServerOptions options = {})
        : service(judge) {
        options.port = 0;
        server = std::make_unique<HttpServer>(service, options);
        QString error;
        bound = server->bind(&error);
        EXPECT_TRUE(bound) << error.toStdString();
        if (bound) {
            server->start();
        }
    }
    ~RunningService() { server.reset(); }

    QUrl url() const { return QUrl(server->url()); }
    int port() const { return server->port(); }

    CheckService service;
    std::unique_ptr<HttpServer> server;
    bool bound = false;
};

using aimset::test::spinUntil;

} // namespace aimset::checkd::test
