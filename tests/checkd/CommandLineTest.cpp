#include "CommandLine.h"
#include "support/QtPrinters.h"
#include "support/SpinUntil.h"

#include <gtest/gtest.h>

using namespace aimset::checkd;
using namespace Qt::StringLiterals;

namespace {

// By default the offline judge serves the app's port; the model's settings
// come from the environment unless an option says otherwise.
TEST(CommandLineTest, DefaultsTheEnvironmentAndOptions) {
    const aimset::test::ScopedEnvironment url("AIMSET_LLM_URL", std::nullopt),
        model("AIMSET_LLM_MODEL", std::nullopt), key("AIMSET_LLM_API_KEY", std::nullopt);
    Options options;
    QString error;
    const auto parse = [&](QStringList arguments) {
        arguments.prepend(u"aimset-checkd"_s);
        options = Options{};
        return parseOptions(arguments, &options, &error);
    };
    ASSERT_TRUE(parse({}));
    EXPECT_EQ(options.server.host, u"127.0.0.1"_s);
    EXPECT_EQ(options.server.port, 48620);
    EXPECT_EQ(options.judge, u"offline"_s);
    EXPECT_TRUE(options.evaluateFile.isEmpty());
    ASSERT_TRUE(parse({u"--port"_s, u"65535"_s, u"--threads"_s, u"1024"_s}));
    qputenv("AIMSET_LLM_URL", "http://127.0.0.1:8080/v1");
    qputenv("AIMSET_LLM_MODEL", "env-model");
    qputenv("AIMSET_LLM_API_KEY", "sk-env");
    ASSERT_TRUE(parse({u"--judge"_s, u"llm"_s, u"--llm-model"_s, u"flag-model"_s}))
        << error.toStdString();
    EXPECT_EQ(options.languageModel.baseUrl, u"http://127.0.0.1:8080/v1"_s);
    EXPECT_EQ(options.languageModel.model, u"flag-model"_s);
    EXPECT_EQ(options.languageModel.apiKey, u"sk-env"_s);
}

} // namespace
