#pragma once

#include "HttpServer.h"

#include <QString>
#include <QStringList>

namespace aimset::checkd {

struct LanguageModelSettings {
    QString baseUrl; // e.g. http://127.0.0.1:8080/v1
    QString model;
    QString apiKey; // from the environment only; never logged
};

struct Options {
    ServerOptions server;
    QString judge = QStringLiteral("offline");
    LanguageModelSettings languageModel;
    QString evaluateFile;
    QString evidenceFile;
    QString knowledgeDirectory; // empty: the knowledge built into the program
    bool showHelp = false;
};

// Reads the command line (arguments[0] is the program) and the environment
// (AIMSET_LLM_URL, AIMSET_LLM_MODEL, AIMSET_LLM_API_KEY, AIMSET_CHECKD_TOKEN). On a mistake
// returns false and says what is wrong.
bool parseOptions(const QStringList& arguments, Options* options, QString* error);

QString usageText();

} // namespace aimset::checkd
