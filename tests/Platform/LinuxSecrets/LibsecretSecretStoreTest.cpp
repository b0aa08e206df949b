// Runs against a real GNOME Keyring on a private bus: with-keyring.sh starts
// it in the state each suite names (see CMakeLists.txt).

#include "Platform/Linux/Secrets/LibsecretSecretStore.h"
#include "Interventions/UsageStore.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>
#include <vector>

using namespace aimset;
using namespace Qt::StringLiterals;
using Status = SecretStore::Status;

namespace {

const QString unavailable = u"[Keychain] Secret Service unavailable \u2014 "_s;

struct ToolResult {
    int exitCode = -1;
    QByteArray output;
};

// secret-tool, the user's own view of the keyring.
ToolResult secretTool(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess tool;
    tool.start(u"secret-tool"_s, arguments);
    if (!tool.waitForStarted(5000)) {
        return {};
    }
    tool.write(input);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(10000)) {
        tool.kill();
        tool.waitForFinished();
        return {};
    }
    return {tool.exitCode(), tool.readAllStandardOutput()};
}

ToolResult lookup(const QString& service, const QString& account) {
    return secretTool({u"lookup"_s, u"service"_s, service, u"account"_s, account});
}

// The keyring daemon's pid, from with-keyring.sh.
pid_t keyringPid() {
    return static_cast<pid_t>(qEnvironmentVariableIntValue("AIMSET_TEST_KEYRING_PID"));
}

// ---- GNOME Keyring, unlocked -------------------------------------------------------------------

class KeyringSecretStoreTest : public ::testing::Test {
protected:
    test::LogCapture log;
    LibsecretSecretStore store;
};

TEST_F(KeyringSecretStoreTest, AddFindUpdateRemoveWithTheKeychainsStatuses) {
    const SecretItemKey key{u"com.aimset.test.roundtrip"_s, u"counter"_s};

    EXPECT_EQ(store.find(key, true).status, Status::itemNotFound);
    EXPECT_EQ(store.update(key, "1"), Status::itemNotFound);
    EXPECT_EQ(store.remove(key), Status::itemNotFound);

    EXPECT_EQ(store.add(key, "12"), Status::success);
    const auto found = store.find(key, true);
    EXPECT_EQ(found.status, Status::success);
    EXPECT_EQ(found.data, QByteArray("12"));
    // Without asking for data, none comes back.
    const auto attributesOnly = store.find(key, false);
    EXPECT_EQ(attributesOnly.status, Status::success);
    EXPECT_FALSE(attributesOnly.data.has_value());
    const ToolResult shown = lookup(key.service, key.account);
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.output, QByteArray("12"));

    // A second item with the same key is refused and the first stays.
    EXPECT_EQ(store.add(key, "99"), Status::failure);
    EXPECT_EQ(store.find(key, true).data, QByteArray("12"));

    EXPECT_EQ(store.update(key, "13"), Status::success);
    EXPECT_EQ(store.find(key, true).data, QByteArray("13"));
    EXPECT_EQ(lookup(key.service, key.account).output, QByteArray("13"));

    EXPECT_EQ(store.remove(key), Status::success);
    EXPECT_EQ(store.find(key, true).status, Status::itemNotFound);
    EXPECT_EQ(lookup(key.service, key.account).exitCode, 1);

    // A refused duplicate is not the keyring failing: nothing to report.
    EXPECT_EQ(log.lines(), QStringList());
}

TEST_F(KeyringSecretStoreTest, KeysStayApartAndDataIsKeptByteForByte) {
    const SecretItemKey a{u"com.aimset.test.apart"_s, u"first"_s};
    const SecretItemKey b{u"com.aimset.test.apart"_s, u"second"_s};
    const SecretItemKey c{u"com.aimset.test.elsewhere"_s, u"first"_s};
    const QByteArray binary("\x00\xff\xfe-7\x00", 6);

    ASSERT_EQ(store.add(a, binary), Status::success);
    ASSERT_EQ(store.add(b, "2"), Status::success);
    EXPECT_EQ(store.find(c, true).status, Status::itemNotFound);
    EXPECT_EQ(store.find(a, true).data, binary);

    EXPECT_EQ(store.remove(a), Status::success);
    EXPECT_EQ(store.find(b, true).data, QByteArray("2"));
    EXPECT_EQ(store.remove(b), Status::success);

    // An empty secret is still data.
    ASSERT_EQ(store.add(c, ""), Status::success);
    EXPECT_EQ(store.find(c, true).data, QByteArray(""));
    EXPECT_EQ(store.remove(c), Status::success);
}

TEST_F(KeyringSecretStoreTest, ItemsTheUserStoredWithSecretToolAreTheSameItems) {
    const SecretItemKey key{u"com.aimset.test.bytool"_s, u"counter"_s};
    ASSERT_EQ(secretTool({u"store"_s, u"--label=by hand"_s, u"service"_s, key.service, u"account"_s,
                          key.account},
                         "41")
                  .exitCode,
              0);

    EXPECT_EQ(store.find(key, true).data, QByteArray("41"));
    EXPECT_EQ(store.add(key, "1"), Status::failure);
    EXPECT_EQ(store.update(key, "42"), Status::success);
    EXPECT_EQ(lookup(key.service, key.account).output, QByteArray("42"));
    EXPECT_EQ(store.remove(key), Status::success);
    EXPECT_EQ(lookup(key.service, key.account).exitCode, 1);
}

TEST_F(KeyringSecretStoreTest, UsageCountersCountEveryIncrementFromManyThreads) {
    UsageStore usage(store);
    const SecretItemKey counter{UsageStore::service, UsageStore::totalInterventionsKey};
    store.remove(counter);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&usage] {
            for (int i = 0; i < 5; ++i) {
                usage.incrementCount(UsageStore::totalInterventionsKey);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }

    EXPECT_EQ(usage.readCount(UsageStore::totalInterventionsKey), 20);
    EXPECT_EQ(lookup(u"com.aimset.usage"_s, u"totalInterventions"_s).output, QByteArray("20"));
    store.remove(counter);
    EXPECT_EQ(log.lines(), QStringList());
}

// Resumes the keyring daemon however the test ends.
struct Resume {
    pid_t pid;
    ~Resume() { ::kill(pid, SIGCONT); }
};

TEST_F(KeyringSecretStoreTest, AFrozenKeyringCostsAtMostTheBoundAndIsFoundAgain) {
    const SecretItemKey key{u"com.aimset.test.frozen"_s, u"counter"_s};
    LibsecretSecretStore bounded(std::chrono::milliseconds(500));
    ASSERT_EQ(bounded.add(key, "5"), Status::success);
    const pid_t pid = keyringPid();
    ASSERT_GT(pid, 0);

    {
        ASSERT_EQ(::kill(pid, SIGSTOP), 0);
        Resume resume{pid};
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(bounded.find(key, true).status, Status::failure);
        EXPECT_EQ(bounded.update(key, "6"), Status::failure);
        // D-Bus alone would wait 25 s for each call.
        EXPECT_LT(clock.elapsed(), 5000);
    }

    // Still failing until the keyring answers again; reported once.
    EXPECT_EQ(log.take(), QStringList{unavailable + u"no answer within 500 ms"_s});
    const auto found = bounded.find(key, true);
    EXPECT_EQ(found.status, Status::success);
    EXPECT_EQ(found.data, QByteArray("5"));
    EXPECT_EQ(bounded.remove(key), Status::success);
}

// ---- GNOME Keyring with its login keyring locked -----------------------------------------------

// Every request to unlock a keyring or to prompt the user on the session bus,
// as dbus-monitor prints them.
class UnlockWatch {
public:
    UnlockWatch() {
        m_monitor.start(u"dbus-monitor"_s,
                        {u"--session"_s, u"type='method_call',member='Unlock'"_s,
                         u"type='method_call',interface='org.freedesktop.Secret.Prompt'"_s,
                         u"type='method_call',member='Ping'"_s});
        // It watches once it has given up its own name.
        m_watching = readUntil("member=NameLost");
    }
    ~UnlockWatch() {
        m_monitor.kill();
        m_monitor.waitForFinished();
    }
    bool isWatching() const { return m_watching; }
    // What it saw, once a ping to the keyring sent now has reached it.
    QByteArray seen() {
        QProcess::execute(u"dbus-send"_s,
                          {u"--session"_s, u"--print-reply"_s, u"--dest=org.freedesktop.secrets"_s,
                           u"/org/freedesktop/secrets"_s, u"org.freedesktop.DBus.Peer.Ping"_s});
        readUntil("member=Ping");
        return m_output;
    }

private:
    bool readUntil(const QByteArray& text) {
        while (!m_output.contains(text) && m_monitor.waitForReadyRead(5000)) {
            m_output += m_monitor.readAllStandardOutput();
        }
        return m_output.contains(text);
    }
    QProcess m_monitor;
    QByteArray m_output;
    bool m_watching = false;
};

TEST(LockedKeyringSecretStoreTest, EveryOperationFailsWithoutAskingForThePassword) {
    test::LogCapture log;
    UnlockWatch watch;
    ASSERT_TRUE(watch.isWatching());
    LibsecretSecretStore store;
    const SecretItemKey key{u"com.aimset.usage"_s, u"totalInterventions"_s};

    EXPECT_EQ(store.find(key, true).status, Status::failure);
    EXPECT_EQ(store.add(key, "1"), Status::failure);
    EXPECT_EQ(store.update(key, "1"), Status::failure);
    EXPECT_EQ(store.remove(key), Status::failure);

    UsageStore usage(store);
    usage.incrementCount(UsageStore::totalInterventionsKey);
    EXPECT_EQ(usage.readCount(UsageStore::totalInterventionsKey), 0);

    EXPECT_EQ(log.lines(), QStringList{unavailable + u"the default keyring is locked"_s});
    // Nothing asked to unlock the keyring, so no password dialog could show.
    const QByteArray seen = watch.seen();
    EXPECT_FALSE(seen.contains("member=Unlock")) << seen.toStdString();
    EXPECT_FALSE(seen.contains("interface=org.freedesktop.Secret.Prompt")) << seen.toStdString();
}

// ---- GNOME Keyring before any keyring exists ---------------------------------------------------

TEST(AbsentKeyringSecretStoreTest, NothingIsStoredAndNoKeyringIsCreated) {
    test::LogCapture log;
    LibsecretSecretStore store;
    const SecretItemKey key{u"com.aimset.usage"_s, u"completedSessions"_s};

    EXPECT_EQ(store.add(key, "1"), Status::failure);
    EXPECT_EQ(store.find(key, true).status, Status::failure);

    EXPECT_EQ(log.lines(), QStringList{unavailable + u"there is no default keyring"_s});
    const QDir keyrings(qEnvironmentVariable("XDG_DATA_HOME") + u"/keyrings"_s);
    EXPECT_EQ(keyrings.entryList(QDir::Files), QStringList());
}

// ---- No Secret Service on the bus --------------------------------------------------------------

TEST(NoSecretServiceTest, CountersReadZeroAndTheAppRunsOnWithOneLine) {
    test::LogCapture log;
    LibsecretSecretStore store;
    UsageStore usage(store);

    usage.incrementCount(UsageStore::completedSessionsKey);
    usage.incrementCount(UsageStore::completedSessionsKey);

    EXPECT_EQ(usage.readCount(UsageStore::completedSessionsKey), 0);
    EXPECT_EQ(store.find({u"com.aimset.usage"_s, u"completedSessions"_s}, true).status,
              Status::failure);
    EXPECT_EQ(log.lines(),
              (QStringList{unavailable + u"The name org.freedesktop.secrets was not provided by "
                                         u"any .service files"_s}));
}

// ---- The session bus going away under a working keyring -----------------------------------------

TEST(LostSessionBusTest, IsAFailureNotTheEndOfTheApp) {
    test::LogCapture log;
    LibsecretSecretStore store;
    const SecretItemKey key{u"com.aimset.usage"_s, u"completedSessions"_s};
    ASSERT_EQ(store.add(key, "1"), Status::success);

    QProcess ask;
    ask.start(u"dbus-send"_s,
              {u"--session"_s, u"--print-reply=literal"_s, u"--dest=org.freedesktop.DBus"_s,
               u"/org/freedesktop/DBus"_s, u"org.freedesktop.DBus.GetConnectionUnixProcessID"_s,
               u"string:org.freedesktop.DBus"_s});
    ASSERT_TRUE(ask.waitForFinished(10000));
    const QList<QByteArray> words = ask.readAllStandardOutput().simplified().split(' ');
    const pid_t bus = static_cast<pid_t>(words.last().toInt());
    ASSERT_GT(bus, 0);
    ASSERT_EQ(::kill(bus, SIGTERM), 0);

    // The connection notices the loss a moment later.
    Status status = Status::success;
    for (int attempt = 0; attempt < 100 && status != Status::failure; ++attempt) {
        status = store.find(key, true).status;
        if (status != Status::failure) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    EXPECT_EQ(status, Status::failure);
    EXPECT_EQ(store.update(key, "2"), Status::failure);
    EXPECT_EQ(log.lines(), QStringList{unavailable + u"The connection is closed"_s});
}

TEST(NoSessionBusTest, EveryOperationFailsAtOnce) {
    test::LogCapture log;
    LibsecretSecretStore store;
    const SecretItemKey key{u"com.aimset.usage"_s, u"completedSessions"_s};

    EXPECT_EQ(store.find(key, true).status, Status::failure);
    EXPECT_EQ(store.add(key, "1"), Status::failure);
    EXPECT_EQ(store.update(key, "1"), Status::failure);
    EXPECT_EQ(store.remove(key), Status::failure);

    EXPECT_EQ(log.lines(),
              QStringList{unavailable + u"Could not connect: No such file or directory"_s});
}

} // namespace
