#include "HttpServer.h"

#include "CheckService.h"
#include "Runtime/Log.h"

#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThreadPool>
#include <QTimer>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

namespace aimset::checkd {

namespace {

using Clock = std::chrono::steady_clock;

constexpr qint64 kReadChunk = 16 * 1024;
// Input still arriving after an error answer is read and dropped for a
// moment, so the client sees the answer instead of a reset.
constexpr auto kLingerTime = std::chrono::milliseconds(500);
constexpr qint64 kLingerBytes = 256 * 1024;
constexpr int kMaxChunkLineBytes = 1024;

bool isTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return std::strchr("!#$%&'*+-.^_`|~", c) != nullptr && c != '\0';
}

bool isToken(const QByteArray& text) {
    if (text.isEmpty()) {
        return false;
    }
    for (const char c : text) {
        if (!isTokenChar(c)) {
            return false;
        }
    }
    return true;
}

bool isFieldValue(const QByteArray& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7f) {
            return false;
        }
    }
    return true;
}

bool isVisibleAscii(const QByteArray& text) {
    for (const char c : text) {
        if (c <= 0x20 || c >= 0x7f) {
            return false;
        }
    }
    return true;
}

QByteArray trimmedField(const QByteArray& value) {
    qsizetype begin = 0;
    qsizetype end = value.size();
    while (begin < end && (value[begin] == ' ' || value[begin] == '\t')) {
        ++begin;
    }
    while (end > begin && (value[end - 1] == ' ' || value[end - 1] == '\t')) {
        --end;
    }
    return value.mid(begin, end - begin);
}

// Decimal digits only, as Content-Length must be; -1 when it is not.
qint64 parseLength(const QByteArray& value) {
    std::uint64_t length = 0;
    const char* const last = value.constData() + value.size();
    const auto [end, error] = std::from_chars(value.constData(), last, length);
    if (value.size() > 15 || error != std::errc() || end != last) {
        return -1;
    }
    return static_cast<qint64>(length);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = static_cast<char>(c | 0x20);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// Compares in time that does not depend on where the texts differ.
bool sameSecret(const QByteArray& a, const QByteArray& b) {
    unsigned char difference = a.size() == b.size() ? 0 : 1;
    const qsizetype n = std::max(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char x = i < a.size() ? a[i] : '\0';
        const char y = i < b.size() ? b[i] : '\0';
        difference |= static_cast<unsigned char>(x ^ y);
    }
    return difference == 0;
}

const char* reasonPhrase(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 417:
        return "Expectation Failed";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Error";
    }
}

// Bytes as the access log may show them: printable ASCII, the rest escaped,
// at most 80 characters.
QString printable(const QByteArray& bytes) {
    if (bytes.isEmpty()) {
        return QStringLiteral("-");
    }
    QString out;
    for (const char c : bytes.left(80)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7f) {
            out.append(QLatin1Char(c));
        } else {
            out.append(QStringLiteral("%") +
                       QString::number(byte, 16).rightJustified(2, QLatin1Char('0')).toUpper());
        }
    }
    if (bytes.size() > 80) {
        out.append(QStringLiteral("…"));
    }
    return out;
}

// Judged answers come back to the I/O thread through this; the listener
// takes its address away before it goes.
struct Mailbox {
    std::mutex mutex;
    QObject* receiver = nullptr;
};

struct Connection {
    enum class Phase { idle, head, body, judging, writing, closing };
    enum class Chunk { size, data, dataEnd, trailer };

    quint64 id = 0;
    QTcpSocket* socket = nullptr;
    Phase phase = Phase::idle;
    Clock::time_point deadline;
    Clock::time_point since; // when the current phase began
    Clock::time_point requestStart;
    QByteArray input; // read but not yet parsed

    // The request being read.
    QByteArray method;
    QByteArray path;
    int headBytes = 0;
    int headerLines = 0;
    bool requestLineRead = false;
    bool http10 = false;
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case
    bool chunked = false;
    Chunk chunk = Chunk::size;
    qint64 remaining = 0;
    QByteArray body;

    bool keepAlive = true;
    bool headOnly = false;
    bool closeAfterWrite = false;
    qint64 lingerBytes = 0;

    void resetRequest() {
        method.clear();
        path.clear();
        headBytes = 0;
        headerLines = 0;
        requestLineRead = false;
        http10 = false;
        headers.clear();
        chunked = false;
        chunk = Chunk::size;
        remaining = 0;
        body.clear();
        headOnly = false;
    }

    QList<QByteArray> values(const QByteArray& name) const {
        QList<QByteArray> out;
        for (const auto& [key, value] : headers) {
            if (key == name) {
                out.append(value);
            }
        }
        return out;
    }
};

// What a parse step ended with.
enum class Step { needMore, progressed, done };

struct Failure {
    int status;
    QString message;
};

} // namespace

struct HttpServer::Impl {
    CheckService& service;
    ServerOptions options;
    bool tls = false;
    // Only for HTTPS: making one loads the TLS backend and OpenSSL.
    std::optional<QSslConfiguration> sslConfiguration;
    bool sslValid = true;
    int listenFd = -1;

    std::mutex mutex;
    std::condition_variable runningChanged;
    QEventLoop* loop = nullptr;
    bool stopRequested = false;
    bool finished = false;

    Impl(CheckService& s, ServerOptions o)
        : service(s)
        , options(std::move(o)) {}
};

namespace {

class Listener final : public QTcpServer {
public:
    Listener(HttpServer::Impl& impl)
        : m_impl(impl)
        , m_options(impl.options)
        , m_mailbox(std::make_shared<Mailbox>()) {
        m_mailbox->receiver = this;
        m_pool.setMaxThreadCount(std::max(1, m_options.threads));
        m_sweep.setInterval(100);
        connect(&m_sweep, &QTimer::timeout, this, [this] { sweep(); });
    }

    ~Listener() override {
        {
            std::lock_guard lock(m_mailbox->mutex);
            m_mailbox->receiver = nullptr;
        }
        for (auto& [id, connection] : m_connections) {
            connection.socket->disconnect(this);
            connection.socket->abort();
            delete connection.socket;
        }
        m_connections.clear();
        // Judging still under way only finds the mailbox empty.
        m_pool.waitForDone();
    }

protected:
    void incomingConnection(qintptr descriptor) override {
        if (static_cast<int>(m_connections.size()) >= std::max(1, m_options.maxConnections) &&
            !evictOne()) {
            ::close(static_cast<int>(descriptor));
            return;
        }
        QTcpSocket* socket = m_impl.tls ? new QSslSocket(this) : new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            ::close(static_cast<int>(descriptor));
            return;
        }
        // Qt stops reading from the kernel once this much waits unparsed.
        socket->setReadBufferSize(kReadChunk);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        const quint64 id = ++m_nextId;
        Connection& connection = m_connections[id];
        connection.id = id;
        connection.socket = socket;
        enterPhase(connection, Connection::Phase::idle);

        connect(socket, &QTcpSocket::readyRead, this, [this, id] { readFrom(id); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, id] { written(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { drop(id); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, id] { drop(id); });
        if (m_impl.tls) {
            auto* secure = static_cast<QSslSocket*>(socket);
            secure->setSslConfiguration(*m_impl.sslConfiguration);
            connect(secure, &QSslSocket::encryptedBytesWritten, this, [this, id] { written(id); });
            secure->startServerEncryption();
        }
        if (!m_sweep.isActive()) {
            m_sweep.start();
        }
    }

public:
    // A judged answer, back on this thread.
    void answer(quint64 id, const Reply& reply) {
        const auto found = m_connections.find(id);
        if (found == m_connections.end() || found->second.phase != Connection::Phase::judging) {
            return;
        }
        respond(found->second, reply);
    }

private:
    void enterPhase(Connection& c, Connection::Phase phase) {
        const auto now = Clock::now();
        c.phase = phase;
        c.since = now;
        switch (phase) {
        case Connection::Phase::idle:
            c.deadline = now + m_options.idleTimeout;
            break;
        case Connection::Phase::head:
            c.requestStart = now;
            c.deadline = now + m_options.requestTimeout;
            break;
        case Connection::Phase::body:
            break; // still the request's deadline
        case Connection::Phase::judging:
            c.deadline = Clock::time_point::max();
            break;
        case Connection::Phase::writing:
            c.deadline = now + m_options.writeTimeout;
            break;
        case Connection::Phase::closing:
            c.deadline = now + kLingerTime;
            break;
        }
    }

    // Makes room at the connection limit: the connection that has waited
    // longest without being answered goes.
    bool evictOne() {
        Connection* oldest = nullptr;
        for (auto& [id, c] : m_connections) {
            if (c.phase == Connection::Phase::judging || c.phase == Connection::Phase::writing) {
                continue;
            }
            if (!oldest || c.since < oldest->since) {
                oldest = &c;
            }
        }
        if (!oldest) {
            return false;
        }
        drop(oldest->id);
        return true;
    }

    void drop(quint64 id) {
        const auto found = m_connections.find(id);
        if (found == m_connections.end()) {
            return;
        }
        QTcpSocket* socket = found->second.socket;
        m_connections.erase(found);
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
        if (m_connections.empty()) {
            m_sweep.stop();
        }
    }

    void sweep() {
        const auto now = Clock::now();
        QList<quint64> expired;
        for (const auto& [id, c] : m_connections) {
            if (c.deadline <= now) {
                expired.append(id);
            }
        }
        for (const quint64 id : expired) {
            const auto found = m_connections.find(id);
            if (found == m_connections.end()) {
                continue;
            }
            Connection& c = found->second;
            if (c.phase == Connection::Phase::head || c.phase == Connection::Phase::body) {
                fail(c, {408, QStringLiteral("request took too long")});
            } else {
                drop(id); // silent, slow to take its answer, or done lingering
            }
        }
    }

    void readFrom(quint64 id) {
        const auto found = m_connections.find(id);
        if (found == m_connections.end()) {
            return;
        }
        Connection& c = found->second;
        if (c.phase == Connection::Phase::closing) {
            const QByteArray dropped = c.socket->read(kReadChunk);
            c.lingerBytes += dropped.size();
            if (c.lingerBytes > kLingerBytes) {
                drop(id);
            }
            return;
        }
        parse(c);
    }

    // Reads and parses until the request is complete, more input is needed,
    // or the request failed. Input is not read while an answer is pending,
    // so a client gets one answer at a time and cannot queue up work.
    void parse(Connection& c) {
        const quint64 id = c.id;
        while (c.phase == Connection::Phase::idle || c.phase == Connection::Phase::head ||
               c.phase == Connection::Phase::body) {
            if (c.input.size() < kReadChunk && c.socket->bytesAvailable() > 0) {
                c.input.append(c.socket->read(kReadChunk - c.input.size()));
            }
            if (c.input.isEmpty()) {
                return;
            }
            if (c.phase == Connection::Phase::idle) {
                enterPhase(c, Connection::Phase::head);
            }
            std::optional<Failure> failure;
            const Step step =
                c.phase == Connection::Phase::head ? parseHead(c, failure) : parseBody(c, failure);
            if (failure) {
                fail(c, *failure);
                return;
            }
            if (step == Step::done) {
                dispatch(c);
                return;
            }
            if (step == Step::needMore && c.input.size() >= kReadChunk) {
                // Cannot happen with line limits below the read size; a
                // guard, so that no setting can make this loop spin.
                fail(c, {431, QStringLiteral("request head too large")});
                return;
            }
            if (step == Step::needMore && c.socket->bytesAvailable() == 0) {
                return;
            }
            if (m_connections.find(id) == m_connections.end()) {
                return;
            }
        }
    }

    // One line of the head, without its line end; nullopt when incomplete.
    std::optional<QByteArray> takeLine(Connection& c, int maxLine, std::optional<Failure>& failure,
                                       bool countsToHead) {
        const qsizetype end = c.input.indexOf('\n');
        if (end < 0) {
            if (c.input.size() > maxLine) {
                failure = Failure{431, QStringLiteral("header line too long")};
            }
            return std::nullopt;
        }
        if (end > maxLine) {
            failure = Failure{431, QStringLiteral("header line too long")};
            return std::nullopt;
        }
        QByteArray line = c.input.left(end);
        c.input.remove(0, end + 1);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (countsToHead) {
            c.headBytes += static_cast<int>(end + 1);
            if (c.headBytes > m_options.maxHeaderBytes) {
                failure = Failure{431, QStringLiteral("request head too large")};
                return std::nullopt;
            }
        }
        return line;
    }

    Step parseHead(Connection& c, std::optional<Failure>& failure) {
        const auto line = takeLine(c, m_options.maxHeaderLineBytes, failure, true);
        if (!line) {
            return Step::needMore;
        }
        if (!c.requestLineRead) {
            if (line->isEmpty()) {
                return Step::progressed; // a stray line end between requests
            }
            const QList<QByteArray> parts = line->split(' ');
            if (parts.size() != 3 || !isToken(parts[0]) || !parts[1].startsWith('/') ||
                !isVisibleAscii(parts[1])) {
                failure = Failure{400, QStringLiteral("malformed request line")};
                return Step::progressed;
            }
            c.method = parts[0];
            const qsizetype query = parts[1].indexOf('?');
            c.path = query < 0 ? parts[1] : parts[1].left(query);
            if (parts[2] == "HTTP/1.1") {
                c.http10 = false;
            } else if (parts[2] == "HTTP/1.0") {
                c.http10 = true;
            } else {
                failure = parts[2].startsWith("HTTP/")
                              ? Failure{505, QStringLiteral("use HTTP/1.1")}
                              : Failure{400, QStringLiteral("malformed request line")};
                return Step::progressed;
            }
            c.requestLineRead = true;
            return Step::progressed;
        }
        if (!line->isEmpty()) {
            if (++c.headerLines > m_options.maxHeaderLines) {
                failure = Failure{431, QStringLiteral("too many header lines")};
                return Step::progressed;
            }
            const qsizetype colon = line->indexOf(':');
            const QByteArray name = colon < 0 ? QByteArray() : line->left(colon);
            const QByteArray value = colon < 0 ? QByteArray() : trimmedField(line->mid(colon + 1));
            // Folded lines and names with spaces are how requests get smuggled.
            if (!isToken(name) || !isFieldValue(value)) {
                failure = Failure{400, QStringLiteral("malformed header line")};
                return Step::progressed;
            }
            c.headers.append({name.toLower(), value});
            return Step::progressed;
        }
        return endOfHead(c, failure);
    }

    Step endOfHead(Connection& c, std::optional<Failure>& failure) {
        const QList<QByteArray> connectionValues = c.values("connection");
        const auto says = [&](const char* word) {
            for (const QByteArray& value : connectionValues) {
                for (const QByteArray& item : value.split(',')) {
                    if (trimmedField(item).compare(word, Qt::CaseInsensitive) == 0) {
                        return true;
                    }
                }
            }
            return false;
        };
        c.keepAlive = c.http10 ? says("keep-alive") : !says("close");
        c.headOnly = c.method == "HEAD";

        if (!m_options.token.isEmpty()) {
            const QList<QByteArray> credentials = c.values("authorization");
            const QByteArray prefix = "bearer ";
            const bool authorised = credentials.size() == 1 &&
                                    credentials[0].left(prefix.size()).toLower() == prefix &&
                                    sameSecret(credentials[0].mid(prefix.size()), m_options.token);
            if (!authorised) {
                failure = Failure{401, QStringLiteral("missing or wrong token")};
                return Step::progressed;
            }
        }

        const QList<QByteArray> lengths = c.values("content-length");
        const QList<QByteArray> encodings = c.values("transfer-encoding");
        qint64 length = 0;
        for (qsizetype i = 0; i < lengths.size(); ++i) {
            const qint64 parsed = parseLength(lengths[i]);
            if (parsed < 0 || (i > 0 && parsed != length)) {
                failure = Failure{400, QStringLiteral("conflicting or malformed Content-Length")};
                return Step::progressed;
            }
            length = parsed;
        }
        if (!encodings.isEmpty()) {
            if (!lengths.isEmpty()) {
                failure = Failure{400, QStringLiteral("both Content-Length and Transfer-Encoding")};
                return Step::progressed;
            }
            if (encodings.size() != 1 ||
                encodings[0].compare("chunked", Qt::CaseInsensitive) != 0) {
                failure = Failure{501, QStringLiteral("only chunked transfer encoding is known")};
                return Step::progressed;
            }
            c.chunked = true;
        }
        if (length > CheckService::maxBodyBytes) {
            failure = Failure{400, QStringLiteral("body larger than 65536 bytes")};
            return Step::progressed;
        }
        const bool hasBody = c.chunked || length > 0;
        const QList<QByteArray> expectations = c.values("expect");
        if (!expectations.isEmpty()) {
            if (expectations.size() != 1 ||
                expectations[0].compare("100-continue", Qt::CaseInsensitive) != 0) {
                failure = Failure{417, QStringLiteral("unknown expectation")};
                return Step::progressed;
            }
            if (hasBody && !c.http10) {
                c.socket->write("HTTP/1.1 100 Continue\r\n\r\n");
            }
        }
        c.remaining = length;
        if (!hasBody) {
            return Step::done;
        }
        enterPhase(c, Connection::Phase::body);
        return Step::progressed;
    }

    Step parseBody(Connection& c, std::optional<Failure>& failure) {
        if (!c.chunked) {
            const qint64 take = std::min<qint64>(c.remaining, c.input.size());
            c.body.append(c.input.left(take));
            c.input.remove(0, take);
            c.remaining -= take;
            return c.remaining == 0 ? Step::done : Step::needMore;
        }
        switch (c.chunk) {
        case Connection::Chunk::size: {
            const auto line = takeLine(c, kMaxChunkLineBytes, failure, false);
            if (!line) {
                if (failure) {
                    failure = Failure{400, QStringLiteral("malformed chunk")};
                }
                return Step::needMore;
            }
            qsizetype digits = 0;
            qint64 size = 0;
            while (digits < line->size() && digits <= 8) {
                const int value = hexValue(line->at(digits));
                if (value < 0) {
                    break;
                }
                size = size * 16 + value;
                ++digits;
            }
            const QByteArray rest = line->mid(digits);
            if (digits == 0 || digits > 8 ||
                !(rest.isEmpty() || rest.startsWith(';') || rest.startsWith(' ') ||
                  rest.startsWith('\t'))) {
                failure = Failure{400, QStringLiteral("malformed chunk")};
                return Step::progressed;
            }
            if (size == 0) {
                c.chunk = Connection::Chunk::trailer;
                return Step::progressed;
            }
            if (c.body.size() + size > CheckService::maxBodyBytes) {
                failure = Failure{400, QStringLiteral("body larger than 65536 bytes")};
                return Step::progressed;
            }
            c.remaining = size;
            c.chunk = Connection::Chunk::data;
            return Step::progressed;
        }
        case Connection::Chunk::data: {
            const qint64 take = std::min<qint64>(c.remaining, c.input.size());
            c.body.append(c.input.left(take));
            c.input.remove(0, take);
            c.remaining -= take;
            if (c.remaining > 0) {
                return Step::needMore;
            }
            c.chunk = Connection::Chunk::dataEnd;
            return Step::progressed;
        }
        case Connection::Chunk::dataEnd: {
            const auto line = takeLine(c, 2, failure, false);
            if (failure || (line && !line->isEmpty())) {
                failure = Failure{400, QStringLiteral("malformed chunk")};
                return Step::progressed;
            }
            if (!line) {
                return Step::needMore;
            }
            c.chunk = Connection::Chunk::size;
            return Step::progressed;
        }
        case Connection::Chunk::trailer: {
            const auto line = takeLine(c, m_options.maxHeaderLineBytes, failure, true);
            if (!line) {
                return Step::needMore;
            }
            if (line->isEmpty()) {
                return Step::done;
            }
            if (++c.headerLines > m_options.maxHeaderLines) {
                failure = Failure{431, QStringLiteral("too many header lines")};
            }
            return Step::progressed;
        }
        }
        return Step::needMore;
    }

    void dispatch(Connection& c) {
        enterPhase(c, Connection::Phase::judging);
        std::shared_ptr<Mailbox> mailbox = m_mailbox;
        CheckService& service = m_impl.service;
        m_pool.start([mailbox, &service, id = c.id, method = c.method, path = c.path,
                      body = std::move(c.body)] {
            Reply reply;
            try {
                reply = service.handle(method, path, body);
            } catch (...) {
                reply = CheckService::error(500, QStringLiteral("internal error"));
            }
            std::lock_guard lock(mailbox->mutex);
            if (auto* receiver = static_cast<Listener*>(mailbox->receiver)) {
                QMetaObject::invokeMethod(
                    receiver, [receiver, id, reply] { receiver->answer(id, reply); },
                    Qt::QueuedConnection);
            }
        });
        c.body.clear();
    }

    void fail(Connection& c, const Failure& failure) {
        respond(c, CheckService::error(failure.status, failure.message));
    }

    void respond(Connection& c, const Reply& reply) {
        const bool ok = reply.status >= 200 && reply.status < 300;
        c.closeAfterWrite = !ok || !c.keepAlive;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' +
                          reasonPhrase(reply.status) +
                          "\r\nContent-Type: application/json\r\nContent-Length: " +
                          QByteArray::number(reply.body.size()) + "\r\n";
        if (reply.status == 401) {
            head += "WWW-Authenticate: Bearer\r\n";
        } else if (reply.status == 405) {
            head += "Allow: POST\r\n";
        }
        head += c.closeAfterWrite ? "Connection: close\r\n\r\n" : "\r\n";
        c.socket->write(c.headOnly ? head : head + reply.body);

        const double milliseconds =
            c.phase == Connection::Phase::idle
                ? 0.0
                : std::chrono::duration<double, std::milli>(Clock::now() - c.requestStart).count();
        Log(QStringLiteral("[checkd] ") + printable(c.method) + QLatin1Char(' ') +
            printable(c.path) + QStringLiteral(" mode=") +
            (reply.mode.isEmpty() ? QStringLiteral("-") : reply.mode) + QStringLiteral(" status=") +
            QString::number(reply.status) + QStringLiteral(" ms=") +
            QString::number(milliseconds, 'f', 2));
        c.resetRequest();
        enterPhase(c, Connection::Phase::writing);
        written(c.id);
    }

    void written(quint64 id) {
        const auto found = m_connections.find(id);
        if (found == m_connections.end()) {
            return;
        }
        Connection& c = found->second;
        if (c.phase != Connection::Phase::writing || c.socket->bytesToWrite() > 0) {
            return;
        }
        if (m_impl.tls && static_cast<QSslSocket*>(c.socket)->encryptedBytesToWrite() > 0) {
            return;
        }
        if (c.closeAfterWrite) {
            // Our side is finished; what the client still sends is read and
            // dropped for a moment so that it reads the answer, not a reset.
            enterPhase(c, Connection::Phase::closing);
            c.input.clear();
            c.lingerBytes = 0;
            if (m_impl.tls) {
                // TLS says goodbye itself once its buffers are out.
                c.socket->disconnectFromHost();
                return;
            }
            ::shutdown(static_cast<int>(c.socket->socketDescriptor()), SHUT_WR);
            readFrom(id);
            return;
        }
        enterPhase(c, Connection::Phase::idle);
        // A request sent right behind the last one is already waiting.
        if (!c.input.isEmpty() || c.socket->bytesAvailable() > 0) {
            parse(c);
        }
    }

    HttpServer::Impl& m_impl;
    const ServerOptions& m_options;
    std::shared_ptr<Mailbox> m_mailbox;
    QThreadPool m_pool;
    QTimer m_sweep;
    std::map<quint64, Connection> m_connections;
    quint64 m_nextId = 0;
};

std::optional<QSslKey> readKey(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray pem = file.readAll();
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        QSslKey key(pem, algorithm);
        if (!key.isNull()) {
            return key;
        }
    }
    return std::nullopt;
}

} // namespace

bool isLoopbackAddress(const QString& host) {
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

HttpServer::HttpServer(CheckService& service, ServerOptions options)
    : m_impl(std::make_unique<Impl>(service, std::move(options))) {
    const ServerOptions& o = m_impl->options;
    m_impl->tls = !o.certificateFile.isEmpty() || !o.keyFile.isEmpty();
    if (!o.certificateFile.isEmpty() && !o.keyFile.isEmpty()) {
        const QList<QSslCertificate> chain = QSslCertificate::fromPath(o.certificateFile);
        const std::optional<QSslKey> key = readKey(o.keyFile);
        m_impl->sslValid = QSslSocket::supportsSsl() && !chain.isEmpty() && key.has_value();
        if (m_impl->sslValid) {
            QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
            configuration.setLocalCertificateChain(chain);
            configuration.setPrivateKey(*key);
            configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
            m_impl->sslConfiguration = configuration;
        }
    }
}

HttpServer::~HttpServer() {
    stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_impl->listenFd >= 0) {
        ::close(m_impl->listenFd);
    }
}

bool HttpServer::bind(QString* error) {
    const ServerOptions& o = m_impl->options;
    if (m_impl->tls && (o.certificateFile.isEmpty() || o.keyFile.isEmpty())) {
        *error = QStringLiteral("HTTPS needs both a certificate and a key");
        return false;
    }
    if (!m_impl->tls && !isLoopbackAddress(o.host)) {
        *error = QStringLiteral("plain HTTP is served on a loopback address only; give a "
                                "certificate and key to listen on ") +
                 o.host;
        return false;
    }
    if (!m_impl->sslValid) {
        *error = QStringLiteral("cannot load the certificate or key");
        return false;
    }
    const QString cannot = QStringLiteral("cannot listen on ") + o.host + QLatin1Char(':') +
                           QString::number(o.port) + QStringLiteral(" (in use or not allowed)");
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray portText = QByteArray::number(o.port);
    if (::getaddrinfo(o.host.toUtf8().constData(), portText.constData(), &hints, &found) != 0) {
        *error = cannot;
        return false;
    }
    int fd = -1;
    for (addrinfo* candidate = found; candidate && fd < 0; candidate = candidate->ai_next) {
        fd = ::socket(candidate->ai_family, candidate->ai_socktype | SOCK_CLOEXEC,
                      candidate->ai_protocol);
        if (fd < 0) {
            continue;
        }
        const int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd, candidate->ai_addr, candidate->ai_addrlen) != 0 ||
            ::listen(fd, SOMAXCONN) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0) {
        *error = cannot;
        return false;
    }
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port =
        ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                            : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    m_impl->listenFd = fd;
    return true;
}

QString HttpServer::url() const {
    QString host = m_impl->options.host;
    if (host.contains(QLatin1Char(':'))) {
        host = QLatin1Char('[') + host + QLatin1Char(']');
    }
    return (m_impl->tls ? QStringLiteral("https://") : QStringLiteral("http://")) + host +
           QLatin1Char(':') + QString::number(m_port) + QStringLiteral("/check");
}

void HttpServer::run() {
    if (m_impl->listenFd < 0) {
        return;
    }
    QEventLoop loop;
    {
        Listener listener(*m_impl);
        // The listener owns the socket from here on.
        const bool listening = listener.setSocketDescriptor(m_impl->listenFd);
        m_impl->listenFd = -1;
        {
            std::lock_guard lock(m_impl->mutex);
            if (listening && !m_impl->stopRequested) {
                m_impl->loop = &loop;
            }
        }
        m_impl->runningChanged.notify_all();
        bool serving = false;
        {
            std::lock_guard lock(m_impl->mutex);
            serving = m_impl->loop != nullptr;
        }
        if (serving) {
            loop.exec();
        }
        std::lock_guard lock(m_impl->mutex);
        m_impl->loop = nullptr;
    }
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->finished = true;
    }
    m_impl->runningChanged.notify_all();
}

void HttpServer::start() {
    m_thread = std::thread([this] { run(); });
    // stop() only takes effect on a running loop, so do not return before it runs.
    std::unique_lock lock(m_impl->mutex);
    m_impl->runningChanged.wait_for(lock, std::chrono::seconds(2),
                                    [this] { return m_impl->loop || m_impl->finished; });
}

void HttpServer::stop() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->stopRequested = true;
    if (m_impl->loop) {
        QMetaObject::invokeMethod(m_impl->loop, &QEventLoop::quit, Qt::QueuedConnection);
    }
}

} // namespace aimset::checkd
