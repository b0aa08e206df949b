// Load on the offline judge over loopback HTTP: many clients, each on a
// kept-alive connection, for a fixed time. Prints throughput and latency
// percentiles, and the judge's own time per check without HTTP.

#include "CheckService.h"
#include "HttpServer.h"
#include "OfflineJudge.h"
#include "Runtime/Log.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace aimset;
using namespace aimset::checkd;
using Clock = std::chrono::steady_clock;

namespace {

struct Sample {
    const char* aimset;
    const char* context;
    const char* mode;
};

const Sample kSamples[] = {
    {"Finish the quarterly report", "LibreOffice Calc - q3_revenue_by_region.ods", "title"},
    {"Finish the quarterly report", "Google Chrome - (3) Home / X - Google Chrome", "title"},
    {"Study for my biology exam", "Firefox - Photosynthesis - Wikipedia — Mozilla Firefox",
     "title"},
    {"Fix the login bug", "Visual Studio Code - session.ts - webapp", "title"},
    {"Study for my biology exam",
     "Chapter 9 review. The light-dependent reactions of photosynthesis take place in the "
     "thylakoid membrane; the Calvin cycle fixes carbon in the stroma. Quiz yourself on the "
     "inputs and outputs of each stage, then compare with cellular respiration.",
     "text"},
    {"Finish the quarterly report",
     "For you Following What is happening?! Trending in sports: transfer news, highlights and "
     "memes. Show 35 posts. Who to follow. Subscribe to Premium.",
     "text"},
};

double percentile(std::vector<double>& sorted, double p) {
    if (sorted.empty()) {
        return 0;
    }
    const size_t index = std::min(sorted.size() - 1, static_cast<size_t>(p * sorted.size()));
    return sorted[index];
}

std::string bodyOf(const Sample& sample) {
    const QJsonObject body{{QStringLiteral("aimset"), QString::fromUtf8(sample.aimset)},
                           {QStringLiteral("context"), QString::fromUtf8(sample.context)},
                           {QStringLiteral("mode"), QString::fromUtf8(sample.mode)}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString();
}

int argument(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return std::max(1, std::atoi(argv[i + 1]));
        }
    }
    return fallback;
}

void judgeAlone(OfflineJudge& judge) {
    for (const char* mode : {"title", "text"}) {
        constexpr int rounds = 20000;
        int done = 0;
        const auto start = Clock::now();
        for (int i = 0; i < rounds; ++i) {
            for (const Sample& sample : kSamples) {
                if (std::strcmp(sample.mode, mode) != 0) {
                    continue;
                }
                if (std::strcmp(mode, "title") == 0) {
                    (void)judge.judgeTitle(QString::fromUtf8(sample.aimset),
                                           QString::fromUtf8(sample.context));
                } else {
                    (void)judge.judgeText(QString::fromUtf8(sample.aimset),
                                          QString::fromUtf8(sample.context));
                }
                ++done;
            }
        }
        const double micros =
            std::chrono::duration<double, std::micro>(Clock::now() - start).count() / done;
        std::printf("judge alone, %s mode: %.1f us per check (%d checks)\n", mode, micros, done);
    }
}

// VmHWM of /proc/self/status: the most memory this process ever held.
std::string peakResidentMemory() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) {
        return "unknown";
    }
    char line[256];
    std::string found = "unknown";
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0) {
            found = line + 6;
            found.erase(0, found.find_first_not_of(" \t"));
            found.erase(found.find_last_not_of(" \n") + 1);
        }
    }
    std::fclose(status);
    return found;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int clients = argument(argc, argv, "--clients", 32);
    const int seconds = argument(argc, argv, "--seconds", 5);

    // The access log goes where the service's would in use: written and
    // flushed line by line, here into /dev/null instead of the terminal.
    std::FILE* devNull = std::fopen("/dev/null", "w");
    setLogSink([devNull](const QString& line) {
        const QByteArray bytes = line.toUtf8() + '\n';
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), devNull);
        std::fflush(devNull);
    });

    // Start-up: reading the knowledge files and building the judge's index.
    const auto loading = Clock::now();
    OfflineJudge judge;
    std::printf("start-up: knowledge loaded and judge built in %.1f ms\n",
                std::chrono::duration<double, std::milli>(Clock::now() - loading).count());
    judgeAlone(judge);

    CheckService service(judge);
    ServerOptions options;
    options.port = 0;
    options.threads = std::max(64, clients);
    HttpServer server(service, options);
    QString error;
    if (!server.bind(&error)) {
        std::fprintf(stderr, "cannot start the service: %s\n", error.toUtf8().constData());
        return 1;
    }
    server.start();

    std::vector<std::string> bodies;
    for (const Sample& sample : kSamples) {
        bodies.push_back(bodyOf(sample));
    }
    std::atomic<bool> go{false};
    std::atomic<long> failures{0};
    std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
    std::vector<std::thread> threads;
    const auto deadline = [&] { return Clock::now() + std::chrono::seconds(seconds); };
    Clock::time_point end;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", server.port());
            client.set_keep_alive(true);
            client.set_tcp_nodelay(true);
            client.set_read_timeout(5, 0);
            auto& mine = latencies[static_cast<size_t>(c)];
            mine.reserve(200000);
            while (!go.load()) {
                std::this_thread::yield();
            }
            size_t next = static_cast<size_t>(c);
            while (Clock::now() < end) {
                const std::string& body = bodies[next++ % bodies.size()];
                const auto start = Clock::now();
                const auto result = client.Post("/check", body, "application/json");
                const auto stop = Clock::now();
                if (!result || result->status != 200) {
                    ++failures;
                    continue;
                }
                mine.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
            }
        });
    }
    const auto start = Clock::now();
    end = deadline();
    go = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    server.stop();

    std::vector<double> all;
    for (const auto& mine : latencies) {
        all.insert(all.end(), mine.begin(), mine.end());
    }
    std::sort(all.begin(), all.end());
    std::printf("loopback HTTP, %d clients, %.1f s: %zu checks, %.0f checks/s, p50 %.3f ms, "
                "p99 %.3f ms, max %.3f ms, failures %ld\n",
                clients, elapsed, all.size(), static_cast<double>(all.size()) / elapsed,
                percentile(all, 0.50), percentile(all, 0.99), all.empty() ? 0.0 : all.back(),
                failures.load());
    std::printf("resident memory: peak %s\n", peakResidentMemory().c_str());
    setLogSink({});
    std::fclose(devNull);
    return 0;
}
