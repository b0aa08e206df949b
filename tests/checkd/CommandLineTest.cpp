#include "CommandLine.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset::checkd;

namespace {

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        qunsetenv("AIMSET_LLM_URL");
        qunsetenv("AIMSET_LLM_MODEL");
        qunsetenv("AIMSET_LLM_API_KEY");
    }
    void TearDown() override { SetUp(); }

    bool parse(QStringList arguments) {
        arguments.prepend(QStringLiteral("aimset-checkd"));
        options = Options{};
        error.clear();
        return parseOptions(arguments, &options, &error);
    }

    Options options;
    QString error;
};

TEST_F(CommandLineTest, DefaultsServeTheOfflineJudgeOnTheAppsPort) {
    ASSERT_TRUE(parse({}));
    EXPECT_EQ(options.server.host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(options.server.port, 48620);
    EXPECT_EQ(options.judge, QStringLiteral("offline"));
    EXPECT_TRUE(options.evaluateFile.isEmpty());
}

TEST_F(CommandLineTest, ModelSettingsComeFromTheEnvironmentAndOptionsWin) {
    qputenv("AIMSET_LLM_URL", "http://127.0.0.1:8080/v1");
    qputenv("AIMSET_LLM_MODEL", "env-model");
    qputenv("AIMSET_LLM_API_KEY", "sk-env");
    ASSERT_TRUE(parse({QStringLiteral("--judge"), QStringLiteral("llm"),
                       QStringLiteral("--llm-model"), QStringLiteral("flag-model")}))
        << error.toStdString();
    EXPECT_EQ(options.languageModel.baseUrl, QStringLiteral("http://127.0.0.1:8080/v1"));
    EXPECT_EQ(options.languageModel.model, QStringLiteral("flag-model"));
    EXPECT_EQ(options.languageModel.apiKey, QStringLiteral("sk-env"));
}

TEST_F(CommandLineTest, MistakesAreNamed) {
    EXPECT_FALSE(parse({QStringLiteral("--judge"), QStringLiteral("llm")}));
    EXPECT_EQ(error, QStringLiteral("the llm judge needs --llm-url or AIMSET_LLM_URL"));
    EXPECT_FALSE(parse({QStringLiteral("--port"), QStringLiteral("70000")}));
    EXPECT_EQ(error, QStringLiteral("bad value for --port: 70000"));
    EXPECT_FALSE(parse({QStringLiteral("--threads"), QStringLiteral("0")}));
    EXPECT_EQ(error, QStringLiteral("bad value for --threads: 0"));
    EXPECT_FALSE(parse({QStringLiteral("--listen")}));
    EXPECT_EQ(error, QStringLiteral("missing value after --listen"));
    EXPECT_FALSE(parse({QStringLiteral("--colour"), QStringLiteral("blue")}));
    EXPECT_EQ(error, QStringLiteral("unknown option: --colour"));
}

} // namespace
