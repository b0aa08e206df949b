#include "CommandLine.h"

namespace aimset::checkd {

QString usageText() {
    return QStringLiteral(
        "Usage: aimset-checkd [options]\n"
        "Serves POST /check for Aimset.\n"
        "\n"
        "  --listen ADDRESS     address to listen on (default 127.0.0.1; plain HTTP only on\n"
        "                       loopback)\n"
        "  --port N             port (default 48620; 0 picks a free one)\n"
        "  --cert FILE          TLS certificate (PEM); with --key serves HTTPS\n"
        "  --key FILE           TLS private key (PEM)\n"
        "  --threads N          judging threads (default 64)\n"
        "  --judge NAME         offline (default), llm, or auto (offline first, the\n"
        "                       configured model only for what it finds unclear;\n"
        "                       without --llm-url, auto is offline)\n"
        "  --llm-url URL        OpenAI-compatible base URL, e.g. http://127.0.0.1:8080/v1\n"
        "                       (or AIMSET_LLM_URL)\n"
        "  --llm-model NAME     model name (or AIMSET_LLM_MODEL)\n"
        "                       the API key is read from AIMSET_LLM_API_KEY\n"
        "  --evaluate FILE      judge labelled cases (JSON lines) and print a summary\n"
        "  --evidence FILE      print the offline judge's evidence for each labelled case's\n"
        "                       checks, to fit its weights and window-word score\n"
        "                       (tools/fit-judge-weights.py, tools/fit-window-words.py)\n"
        "  --knowledge DIR      read the offline judge's knowledge files from DIR\n"
        "  --help               this text\n"
        "With AIMSET_CHECKD_TOKEN set, every request must carry\n"
        "\"Authorization: Bearer <token>\" (others get 401).\n");
}

bool parseOptions(const QStringList& arguments, Options* options, QString* error) {
    options->languageModel.baseUrl = qEnvironmentVariable("AIMSET_LLM_URL");
    options->languageModel.model = qEnvironmentVariable("AIMSET_LLM_MODEL");
    options->languageModel.apiKey = qEnvironmentVariable("AIMSET_LLM_API_KEY");
    // From the environment, which only our own user can read, never from
    // the command line, which every user can.
    options->server.token = qgetenv("AIMSET_CHECKD_TOKEN");

    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& name = arguments.at(i);
        if (name == QStringLiteral("--help") || name == QStringLiteral("-h")) {
            options->showHelp = true;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            *error = name.startsWith(QStringLiteral("--"))
                         ? QStringLiteral("missing value after ") + name
                         : QStringLiteral("unknown argument: ") + name;
            return false;
        }
        const QString value = arguments.at(++i);
        if (name == QStringLiteral("--listen")) {
            options->server.host = value;
        } else if (name == QStringLiteral("--port") || name == QStringLiteral("--threads")) {
            bool ok = false;
            const int number = value.toInt(&ok);
            const bool isPort = name == QStringLiteral("--port");
            if (!ok || number < (isPort ? 0 : 1) || number > (isPort ? 65535 : 1024)) {
                *error = QStringLiteral("bad value for ") + name + QStringLiteral(": ") + value;
                return false;
            }
            (isPort ? options->server.port : options->server.threads) = number;
        } else if (name == QStringLiteral("--cert")) {
            options->server.certificateFile = value;
        } else if (name == QStringLiteral("--key")) {
            options->server.keyFile = value;
        } else if (name == QStringLiteral("--judge")) {
            if (value != QStringLiteral("offline") && value != QStringLiteral("llm") &&
                value != QStringLiteral("auto")) {
                *error = QStringLiteral("unknown judge: ") + value +
                         QStringLiteral(" (use offline, llm or auto)");
                return false;
            }
            options->judge = value;
        } else if (name == QStringLiteral("--llm-url")) {
            options->languageModel.baseUrl = value;
        } else if (name == QStringLiteral("--llm-model")) {
            options->languageModel.model = value;
        } else if (name == QStringLiteral("--evaluate")) {
            options->evaluateFile = value;
        } else if (name == QStringLiteral("--evidence")) {
            options->evidenceFile = value;
        } else if (name == QStringLiteral("--knowledge")) {
            options->knowledgeDirectory = value;
        } else {
            *error = QStringLiteral("unknown option: ") + name;
            return false;
        }
    }
    if (options->judge == QStringLiteral("llm") && options->languageModel.baseUrl.isEmpty()) {
        *error = QStringLiteral("the llm judge needs --llm-url or AIMSET_LLM_URL");
        return false;
    }
    return true;
}

} // namespace aimset::checkd
