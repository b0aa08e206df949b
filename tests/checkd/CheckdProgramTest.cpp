#include "support/QtPrinters.h"
#include "support/SelfSignedCertificate.h"
#include "support/SpinUntil.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <httplib.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kProgram = QStringLiteral(AIMSET_CHECKD_PATH);

TEST(CheckdProgramTest, EvaluatePrintsMissesConfusionAndOneSummaryLine) {
    QTemporaryDir dir;
    const QString cases = dir.filePath(u"cases.jsonl"_s);
    aimset::test::writeFile(
        cases,
        R"({"id":"c1","aimset":"Write the wetland grant","app":"LibreOffice Writer","title":"wetland grant.odt","text":"","label":"aligned"})"
        "\n"
        R"({"id":"c3","aimset":"Write the wetland grant","app":"LibreOffice Writer","title":"wetland birds.odt","text":"","label":"distracting","category":"birding"})"
        "\n");
    const auto printed = aimset::test::run(kProgram, {u"--evaluate"_s, cases});
    ASSERT_TRUE(printed);
    EXPECT_EQ(
        QString::fromUtf8(*printed).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
        (QStringList{
            u"miss c3 label=distracting ended=aligned aimset=\"Write the wetland grant\" window=\"LibreOffice Writer - wetland birds.odt\""_s,
            u"category=birding n=1 aligned: kept=0 asked=0 closed=0 | distracting: kept=1 asked=0 closed=0"_s,
            u"category=office n=1 aligned: kept=1 asked=0 closed=0 | distracting: kept=0 asked=0 closed=0"_s,
            u"accuracy=0.500 wrongly_closed=0.000 missed=1.000 asked=0.000 n=2"_s}));

    // The evidence of each check the app makes, for fitting the weights.
    const auto evidence = aimset::test::run(kProgram, {u"--evidence"_s, cases});
    ASSERT_TRUE(evidence);
    const QStringList rows = QString::fromUtf8(*evidence).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 5);
    EXPECT_TRUE(rows.at(0).startsWith(u"id\tlabel\tcheck\tcontext\tpage\tdirect\t"_s))
        << rows.at(0).toStdString();
    // What the window is, alone and for each of the aimset's fields.
    const QStringList context = rows.at(1).section(u'\t', 3, 3).split(u'|');
    EXPECT_TRUE(context.contains(u"@office"_s) &&
                context.contains(u"topic:grant writing @office"_s))
        << rows.at(1).toStdString();
    const QString starts[] = {u"c1\taligned\ttitle\t"_s, u"c1\taligned\ttext\t"_s,
                              u"c3\tdistracting\ttitle\t"_s, u"c3\tdistracting\ttext\t"_s};
    for (qsizetype i = 1; i < rows.size(); ++i) {
        EXPECT_TRUE(rows.at(i).startsWith(starts[i - 1])) << rows.at(i).toStdString();
        EXPECT_EQ(rows.at(i).count(u'\t'), rows.at(0).count(u'\t')) << rows.at(i).toStdString();
    }
}

// Every mistake is named on standard error.
TEST(CheckdProgramTest, RefusesBadOptionsAndPlainHttpOffLoopback) {
    const aimset::test::ScopedEnvironment noModel("AIMSET_LLM_URL", std::nullopt);
    const std::tuple<QString, int, QString> cases[] = {
        {u"--judge llm"_s, 2,
         u"aimset-checkd: the llm judge needs --llm-url or AIMSET_LLM_URL\n"_s},
        {u"--port 65536"_s, 2, u"aimset-checkd: bad value for --port: 65536\n"_s},
        {u"--port -1"_s, 2, u"aimset-checkd: bad value for --port: -1\n"_s},
        {u"--threads 0"_s, 2, u"aimset-checkd: bad value for --threads: 0\n"_s},
        {u"--threads 1025"_s, 2, u"aimset-checkd: bad value for --threads: 1025\n"_s},
        {u"--listen"_s, 2, u"aimset-checkd: missing value after --listen\n"_s},
        {u"--colour blue"_s, 2, u"aimset-checkd: unknown option: --colour\n"_s},
        {u"--judge psychic"_s, 2,
         u"aimset-checkd: unknown judge: psychic (use offline, llm or auto)\n"_s},
        {u"--listen 0.0.0.0 --port 0"_s, 1,
         u"aimset-checkd: plain HTTP is served on a loopback address only; give a certificate and key to listen on 0.0.0.0\n"_s},
        {u"--knowledge /nonexistent"_s, 2, u"aimset-checkd: words.txt: cannot read: "_s},
        {u"--evaluate /nonexistent/cases.jsonl"_s, 2,
         u"aimset-checkd: cannot read /nonexistent/"_s},
    };
    for (const auto& [arguments, exitCode, errorStart] : cases) {
        QProcess process;
        process.start(kProgram, arguments.split(u' '));
        ASSERT_TRUE(process.waitForFinished(20000));
        const QString error = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), exitCode) << error.toStdString();
        EXPECT_TRUE(error.startsWith(errorStart)) << error.toStdString();
    }
}

TEST(CheckdProgramTest, ServesHttpsWithACertificateAndStopsOnTerm) {
    const aimset::test::SelfSignedCertificate tls;
    ASSERT_FALSE(tls.certificate.isNull());

    aimset::test::LineProcess service;
    service.launch(
        kProgram, {u"--port"_s, u"0"_s, u"--cert"_s, tls.certificatePath, u"--key"_s, tls.keyPath});
    ASSERT_TRUE(aimset::test::spinUntil([&] { return !service.printed.isEmpty(); }));
    static const QRegularExpression listening(
        u"^\\[checkd\\] Listening on https://127.0.0.1:(\\d+)/check \\(judge: offline\\)$"_s);
    const QRegularExpressionMatch match = listening.match(service.printed.first());
    ASSERT_TRUE(match.hasMatch()) << service.printed.first().toStdString();
    const int port = match.captured(1).toInt();

    httplib::SSLClient client("127.0.0.1", port);
    client.enable_server_certificate_verification(false); // self-signed for the test
    const auto result = client.Post(
        "/check",
        R"({"aimset":"Write the wetland grant","context":"Writer - grant.odt","mode":"title"})",
        "application/json");
    ASSERT_TRUE(result) << httplib::to_string(result.error());
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->body, R"({"aligned":true})");

    service.terminate();
    ASSERT_TRUE(service.waitForFinished(10000));
    EXPECT_EQ(service.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(service.exitCode(), 0);
    EXPECT_TRUE(
        service.printed.join(u'\n').contains(u"[checkd] POST /check mode=title status=200 ms="_s));
    EXPECT_EQ(service.printed.last(), u"[checkd] Stopped"_s);
}

} // namespace
