// Hostile clients against a real aimset-checkd process on loopback: slow
// and idle connections beside a well-behaved client, header and body floods,
// and fuzzed requests. Prints what the well-behaved client saw and the
// service's resident memory; every loop is bounded.
//
//   checkd-abuse [--program PATH] [--fuzz N] [--variant N]

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

const std::string kToken = "abuse-test-token-5b1f";
const std::string kTitleBody =
    R"({"aimset":"Finish the quarterly report","context":"LibreOffice Calc - q3.ods","mode":"title"})";

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int openConnection(int port, bool nonBlocking) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    if (nonBlocking) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    return fd;
}

std::string request(const std::string& body, bool withToken = true) {
    std::string out =
        "POST /check HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n";
    if (withToken) {
        out += "Authorization: Bearer " + kToken + "\r\n";
    }
    return out + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The status of a complete answer in `in`; 0 while incomplete.
int completeStatus(const std::string& in) {
    const size_t headEnd = in.find("\r\n\r\n");
    if (headEnd == std::string::npos || in.compare(0, 9, "HTTP/1.1 ") != 0) {
        return 0;
    }
    size_t length = 0;
    const size_t at = in.find("Content-Length: ");
    if (at != std::string::npos && at < headEnd) {
        length = std::strtoul(in.c_str() + at + 16, nullptr, 10);
    }
    if (in.size() < headEnd + 4 + length) {
        return 0;
    }
    const int status = std::atoi(in.c_str() + 9);
    return status == 100 ? 0 : status;
}

// One exchange on a fresh blocking connection; the status, or -1.
int exchange(int port, const std::string& bytes, std::chrono::milliseconds limit,
             double* milliseconds = nullptr) {
    const auto start = Clock::now();
    const int fd = openConnection(port, false);
    if (fd < 0) {
        return -1;
    }
    timeval timeout{};
    timeout.tv_sec = static_cast<time_t>(limit.count() / 1000);
    timeout.tv_usec = static_cast<suseconds_t>((limit.count() % 1000) * 1000);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    int status = -1;
    if (::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
        static_cast<ssize_t>(bytes.size())) {
        std::string in;
        char buffer[4096];
        while (Clock::now() - start < limit) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                break;
            }
            in.append(buffer, static_cast<size_t>(n));
            if (const int s = completeStatus(in)) {
                status = s;
                break;
            }
        }
    }
    ::close(fd);
    if (milliseconds) {
        *milliseconds = msSince(start);
    }
    return status;
}

double residentMB(qint64 pid, const char* field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(key.size()).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return -1;
}

bool alive(QProcess& service) {
    return service.state() == QProcess::Running;
}

// 300 idle and 64 dripping connections held open (reopened when the service
// cuts them), while a well-behaved client asks every 100 ms.
bool slowClients(int port, qint64 pid) {
    constexpr int idleCount = 300;
    constexpr int dripCount = 64;
    constexpr auto runFor = 12s;
    struct Held {
        int fd = -1;
        bool drip = false;
        Clock::time_point nextDrip;
        int lines = 0;
    };
    std::vector<Held> held(idleCount + dripCount);
    int reopened = -static_cast<int>(held.size());
    const auto open = [&](Held& h) {
        if (h.fd >= 0) {
            ::close(h.fd);
        }
        h.fd = openConnection(port, true);
        ++reopened;
        h.lines = 0;
        if (h.drip && h.fd >= 0) {
            const std::string line = "POST /check HTTP/1.1\r\n";
            [[maybe_unused]] auto sent = ::send(h.fd, line.data(), line.size(), MSG_NOSIGNAL);
            h.nextDrip = Clock::now() + 2s;
        }
    };
    for (size_t i = 0; i < held.size(); ++i) {
        held[i].drip = i >= idleCount;
        open(held[i]);
    }

    std::vector<double> latencies;
    int failures = 0;
    const auto start = Clock::now();
    auto nextCheck = start;
    while (Clock::now() - start < runFor) {
        std::vector<pollfd> fds;
        for (const Held& h : held) {
            fds.push_back({h.fd, POLLIN, 0});
        }
        ::poll(fds.data(), fds.size(), 10);
        for (size_t i = 0; i < held.size(); ++i) {
            Held& h = held[i];
            if (h.fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buffer[1024];
                const ssize_t n = h.fd < 0 ? 0 : ::recv(h.fd, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    open(h); // cut by the service: the pressure stays on
                }
            }
            if (h.drip && h.fd >= 0 && Clock::now() >= h.nextDrip) {
                const std::string line = "X-Drip-" + std::to_string(h.lines++) + ": 1\r\n";
                [[maybe_unused]] auto sent = ::send(h.fd, line.data(), line.size(), MSG_NOSIGNAL);
                h.nextDrip = Clock::now() + 2s;
            }
        }
        if (Clock::now() >= nextCheck) {
            nextCheck += 100ms;
            double ms = 0;
            const int status = exchange(port, request(kTitleBody), 5s, &ms);
            if (status == 200) {
                latencies.push_back(ms);
            } else {
                ++failures;
            }
        }
    }
    int stillOpen = 0;
    for (Held& h : held) {
        stillOpen += h.fd >= 0 ? 1 : 0;
        if (h.fd >= 0) {
            ::close(h.fd);
        }
    }
    std::sort(latencies.begin(), latencies.end());
    const auto over =
        std::count_if(latencies.begin(), latencies.end(), [](double ms) { return ms > 1000; });
    const double p50 = latencies.empty() ? 0 : latencies[latencies.size() / 2];
    const double worst = latencies.empty() ? 0 : latencies.back();
    std::printf("slow clients: %d idle + %d dripping held for 12 s (%d reopened after the "
                "service cut them, %d open at the end); well-behaved client: %zu/%zu "
                "answered, p50 %.2f ms, max %.2f ms, %ld over 1 s; RSS %.1f MB\n",
                idleCount, dripCount, reopened, stillOpen, latencies.size(),
                latencies.size() + static_cast<size_t>(failures), p50, worst,
                static_cast<long>(over), residentMB(pid, "VmRSS"));
    return failures == 0 && over == 0;
}

// Writes `total` bytes made of `piece` after `head` until the service stops
// reading; reports what it answered and the resident memory it reached.
bool flood(int port, qint64 pid, const char* name, const std::string& head,
           const std::string& piece, long long total, int expectStatus) {
    const int fd = openConnection(port, false);
    if (fd < 0) {
        std::printf("%s: cannot connect\n", name);
        return false;
    }
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const auto start = Clock::now();
    long long sent = 0;
    bool refused = false;
    double peak = residentMB(pid, "VmRSS");
    std::string batch;
    while (batch.size() < 256 * 1024) {
        batch += piece;
    }
    if (::send(fd, head.data(), head.size(), MSG_NOSIGNAL) < 0) {
        refused = true;
    }
    int rounds = 0;
    while (!refused && sent < total && Clock::now() - start < 30s) {
        const size_t want = static_cast<size_t>(
            std::min<long long>(static_cast<long long>(batch.size()), total - sent));
        const ssize_t n = ::send(fd, batch.data(), want, MSG_NOSIGNAL);
        if (n <= 0) {
            refused = true;
            break;
        }
        sent += n;
        if (++rounds % 8 == 0) {
            peak = std::max(peak, residentMB(pid, "VmRSS"));
        }
    }
    std::string in;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        in.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    peak = std::max(peak, residentMB(pid, "VmRSS"));
    const int status = completeStatus(in);
    std::printf("%s: %lld of %lld bytes (%lld pieces) written before the service stopped "
                "reading; answer %s; RSS peak %.1f MB\n",
                name, sent, total, sent / static_cast<long long>(piece.size()),
                status ? std::to_string(status).c_str() : "none (connection reset)", peak);
    return refused && (status == 0 || status == expectStatus) && peak < 100;
}

// Mutations of valid requests; each on its own connection, 64 at a time.
bool fuzz(int port, qint64 pid, int count, unsigned variant) {
    std::mt19937 random(variant);
    const auto pick = [&](size_t n) { return n == 0 ? size_t{0} : random() % n; };
    const std::string text =
        R"({"aimset":"Write the grant","context":"Budget for the river survey","mode":"text"})";
    const std::vector<std::string> samples = {
        request(kTitleBody),
        request(text),
        request(R"({"aimset":"a","windowTitle":"b","mode":"expand"})"),
        "POST /check HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + kToken +
            "\r\nTransfer-Encoding: chunked\r\n\r\n10\r\n" + kTitleBody.substr(0, 16) + "\r\n" +
            std::to_string(0) + "\r\n\r\n",
        "POST /check HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + kToken +
            "\r\nExpect: 100-continue\r\nContent-Length: " + std::to_string(kTitleBody.size()) +
            "\r\n\r\n" + kTitleBody,
        "GET /check?x=1 HTTP/1.0\r\n\r\n",
        request(kTitleBody) + request(text),
    };
    const auto mutate = [&](std::string s) {
        if (random() % 20 == 0) {
            std::string noise(pick(2000), '\0');
            for (char& c : noise) {
                c = static_cast<char>(random());
            }
            return noise;
        }
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const size_t at = pick(s.size() + 1);
            switch (random() % 10) {
            case 0:
                if (!s.empty()) {
                    s[std::min(at, s.size() - 1)] = static_cast<char>(random());
                }
                break;
            case 1:
                s.insert(at, std::string(1 + pick(16), static_cast<char>(random())));
                break;
            case 2:
                s.erase(at, pick(32));
                break;
            case 3:
                s.resize(at);
                break;
            case 4: {
                const size_t lineEnd = s.find("\r\n", at);
                const size_t lineStart = s.rfind("\r\n", at);
                if (lineEnd != std::string::npos && lineStart != std::string::npos &&
                    lineStart < lineEnd) {
                    s.insert(lineEnd, s.substr(lineStart, lineEnd - lineStart));
                }
                break;
            }
            case 5:
                s.insert(std::min(s.find("\r\n") + 2, s.size()),
                         "Content-Length: " + std::to_string(random() % 100000) + "\r\n");
                break;
            case 6:
                s.insert(std::min(s.find("\r\n") + 2, s.size()), "Transfer-Encoding: chunked\r\n");
                break;
            case 7:
                s.insert(std::min(s.find("\r\n") + 2, s.size()),
                         "X-Long: " + std::string(pick(12000), 'v') + "\r\n");
                break;
            case 8: {
                const size_t crlf = s.find("\r\n", at);
                if (crlf != std::string::npos) {
                    s.erase(crlf, 1);
                }
                break;
            }
            default:
                s.insert(at, "\r\n");
                break;
            }
        }
        return s;
    };

    struct Flight {
        int fd = -1;
        std::string out;
        size_t sent = 0;
        std::string in;
        Clock::time_point start;
    };
    std::map<int, int> statuses; // status (0: closed without an answer, -1: we gave up)
    std::vector<Flight> flights(64);
    int started = 0;
    int finished = 0;
    const auto begin = Clock::now();
    while (finished < count && Clock::now() - begin < 300s) {
        for (Flight& f : flights) {
            if (f.fd < 0 && started < count) {
                f = Flight{};
                f.out = mutate(samples[pick(samples.size())]);
                f.fd = openConnection(port, true);
                f.start = Clock::now();
                ++started;
                if (f.fd < 0) {
                    ++statuses[-2];
                    ++finished;
                }
            }
        }
        std::vector<pollfd> fds;
        for (const Flight& f : flights) {
            fds.push_back(
                {f.fd, static_cast<short>(POLLIN | (f.sent < f.out.size() ? POLLOUT : 0)), 0});
        }
        ::poll(fds.data(), fds.size(), 10);
        for (size_t i = 0; i < flights.size(); ++i) {
            Flight& f = flights[i];
            if (f.fd < 0) {
                continue;
            }
            if (f.sent < f.out.size()) {
                const ssize_t n =
                    ::send(f.fd, f.out.data() + f.sent, f.out.size() - f.sent, MSG_NOSIGNAL);
                if (n > 0) {
                    f.sent += static_cast<size_t>(n);
                }
            }
            char buffer[4096];
            ssize_t n = 0;
            bool closed = false;
            while ((n = ::recv(f.fd, buffer, sizeof buffer, 0)) > 0) {
                f.in.append(buffer, static_cast<size_t>(n));
            }
            closed = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
            const int status = completeStatus(f.in);
            const bool gaveUp = Clock::now() - f.start > 1500ms;
            if (status || closed || gaveUp) {
                ++statuses[status ? status : (closed ? 0 : -1)];
                ::close(f.fd);
                f.fd = -1;
                ++finished;
            }
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    std::string histogram;
    for (const auto& [status, n] : statuses) {
        histogram += " " +
                     (status == 0    ? std::string("closed")
                      : status == -1 ? std::string("still-waiting")
                      : status == -2 ? std::string("no-connection")
                                     : std::to_string(status)) +
                     "=" + std::to_string(n);
    }
    std::this_thread::sleep_for(1500ms); // connections left waiting run into their deadline
    double ms = 0;
    const int after = exchange(port, request(kTitleBody), 1s, &ms);
    const double rss = residentMB(pid, "VmRSS");
    std::printf("fuzz: %d mutated requests in %.1f s (variant %u):%s; then a good request: status "
                "%d in %.2f ms; RSS %.1f MB (peak %.1f MB)\n",
                finished, seconds, variant, histogram.c_str(), after, ms, rss,
                residentMB(pid, "VmHWM"));
    return finished == count && after == 200 && rss < 50;
}

QString argument(const QStringList& arguments, const QString& name, const QString& fallback) {
    const qsizetype at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : fallback;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString program =
        argument(arguments, QStringLiteral("--program"), QStringLiteral(AIMSET_CHECKD_PATH));
    const int fuzzCount =
        argument(arguments, QStringLiteral("--fuzz"), QStringLiteral("20000")).toInt();
    const unsigned variant =
        argument(arguments, QStringLiteral("--variant"), QStringLiteral("16")).toUInt();

    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 65536);
        setrlimit(RLIMIT_NOFILE, &limit);
    }

    // The access log goes to a file: a pipe nobody reads would stall it.
    QTemporaryDir directory;
    const QString logPath = directory.filePath(QStringLiteral("checkd.log"));
    QProcess service;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("AIMSET_CHECKD_TOKEN"), QString::fromStdString(kToken));
    service.setProcessEnvironment(environment);
    service.setStandardOutputFile(logPath);
    service.start(program, {QStringLiteral("--port"), QStringLiteral("0")});
    int port = 0;
    for (int i = 0; i < 500 && port == 0 && service.waitForStarted(); ++i) {
        QFile log(logPath);
        if (log.open(QIODevice::ReadOnly)) {
            const QByteArray first = log.readLine();
            const qsizetype at = first.indexOf("127.0.0.1:");
            if (at >= 0) {
                port = first.mid(at + 10).split('/').first().toInt();
            }
        }
        std::this_thread::sleep_for(10ms);
    }
    if (port == 0) {
        std::fprintf(stderr, "checkd-abuse: %s did not start\n", qPrintable(program));
        return 1;
    }
    const qint64 pid = service.processId();
    std::printf("aimset-checkd pid %lld on port %d: RSS %.1f MB at start\n",
                static_cast<long long>(pid), port, residentMB(pid, "VmRSS"));

    bool met = slowClients(port, pid);
    met &= alive(service);
    const std::string floodHead =
        "POST /check HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + kToken + "\r\n";
    met &= flood(port, pid, "header flood (1,000,000 lines)", floodHead, "X-Flood: 1\r\n",
                 1000000LL * 12, 431);
    met &= flood(port, pid, "chunked body flood (200 MB)",
                 floodHead + "Transfer-Encoding: chunked\r\n\r\n",
                 "10000\r\n" + std::string(0x10000, 'x') + "\r\n", 200LL << 20, 400);
    met &= flood(port, pid, "declared body flood (200 MB)",
                 floodHead + "Content-Length: 209715200\r\n\r\n", std::string(4096, 'x'),
                 200LL << 20, 400);
    met &= alive(service);
    met &= fuzz(port, pid, fuzzCount, variant);
    met &= alive(service);
    std::printf("service %s; goals %s\n", alive(service) ? "still running" : "DIED",
                met ? "met" : "MISSED");
    service.terminate();
    service.waitForFinished(5000);
    return met ? 0 : 1;
}
