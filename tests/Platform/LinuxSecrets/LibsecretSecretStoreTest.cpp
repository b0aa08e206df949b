// Runs against a real GNOME Keyring on a private session bus, in the state
// each suite names.

#include "Platform/Linux/Secrets/LibsecretSecretStore.h"
#include "support/LogCapture.h"
#include "support/SpinUntil.h"
#include "support/a11y/A11ySession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Status = SecretStore::Status;

namespace {

const QString unavailable = u"[Keychain] Secret Service unavailable \u2014 "_s;

enum class Keyring { unlocked, locked, absent, none };

// A session bus of the test's own, without a display (so no password dialog
// can ever show) and starting nothing on demand, with GNOME Keyring on it in
// the given state; the keyring keeps its files in a temporary folder. The
// adapter keeps the first bus it reached, so each test runs in a process of
// its own, as CTest runs them.
bool busStarted = false;

template <Keyring state> struct OnKeyring : ::testing::Test {
    QTemporaryDir dir;
    std::unique_ptr<test::A11ySession> bus;
    test::LineProcess daemon;
    test::LogCapture log;
    LibsecretSecretStore store;

    void SetUp() override {
        if (std::exchange(busStarted, true)) {
            GTEST_SKIP() << "a bus was started before in this process: run one test alone";
        }
        bus = test::A11ySession::start(test::A11ySession::Launcher::none);
        ASSERT_TRUE(bus);
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus->address().toUtf8());
        for (const char* name : {"XDG_DATA_HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"}) {
            qputenv(name, dir.path().toUtf8());
        }
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        if (state == Keyring::none) {
            return;
        }
        // An empty password never creates the login keyring.
        const QByteArray password = state == Keyring::absent ? "" : "keyring-test-password";
        daemon.launch(u"gnome-keyring-daemon"_s,
                      QStringList{u"--foreground"_s, u"--components=secrets"_s}
                          << (password.isEmpty() ? QStringList() : QStringList{u"--unlock"_s}));
        daemon.write(password);
        daemon.waitForBytesWritten();
        daemon.closeWriteChannel();
        ASSERT_TRUE(test::run(u"gdbus"_s, {u"wait"_s, u"--session"_s, u"--timeout=10"_s,
                                           u"org.freedesktop.secrets"_s}));
        if (state == Keyring::locked) {
            ASSERT_TRUE(test::run(u"gdbus"_s,
                                  {u"call"_s, u"--session"_s, u"--dest=org.freedesktop.secrets"_s,
                                   u"--object-path=/org/freedesktop/secrets"_s,
                                   u"--method=org.freedesktop.Secret.Service.Lock"_s,
                                   u"@ao ['/org/freedesktop/secrets/collection/login']"_s}));
        }
    }

    // Every operation fails at once (what the usage counters make of that is
    // their own tests'); one line says why.
    void expectEveryOperationFails(const QString& why) {
        const SecretItemKey key{u"com.aimset.test"_s, u"counter"_s};
        EXPECT_EQ(store.find(key, true).status, Status::failure);
        EXPECT_EQ(store.add(key, "1"), Status::failure);
        EXPECT_EQ(store.update(key, "1"), Status::failure);
        EXPECT_EQ(log.lines(), QStringList{unavailable + why});
    }
};

// secret-tool, the user's own view of the keyring: the secret, if it found one.
std::optional<QByteArray> lookup(const SecretItemKey& key) {
    return test::run(u"secret-tool"_s,
                     {u"lookup"_s, u"service"_s, key.service, u"account"_s, key.account});
}

using KeyringSecretStoreTest = OnKeyring<Keyring::unlocked>;

// Items differ by service and account; bytes, an empty secret included, are
// kept as they are; an item the user stored with secret-tool is the same item.
TEST_F(KeyringSecretStoreTest, AddFindUpdateWithTheKeychainsStatuses) {
    const SecretItemKey a{u"com.aimset.test"_s, u"first"_s}, b{u"com.aimset.test"_s, u"second"_s},
        c{u"com.aimset.test.elsewhere"_s, u"first"_s};
    const QByteArray binary("\x00\xff\xfe-7\x00", 6);
    EXPECT_EQ(store.find(a, true).status, Status::itemNotFound);
    EXPECT_EQ(store.update(a, "1"), Status::itemNotFound);

    EXPECT_EQ(store.add(a, binary), Status::success);
    ASSERT_TRUE(test::run(
        u"secret-tool"_s,
        {u"store"_s, u"--label=by hand"_s, u"service"_s, b.service, u"account"_s, b.account},
        "41"));
    EXPECT_EQ(store.add(c, ""), Status::success);
    // A second item with the same key is refused and the first stays.
    EXPECT_EQ(store.add(b, "1"), Status::failure);
    EXPECT_EQ(store.find(b, true).data, QByteArray("41"));
    EXPECT_EQ(store.find(a, true).data, binary);
    EXPECT_EQ(store.find(c, true).data, QByteArray(""));
    // Without asking for data, none comes back.
    const auto attributesOnly = store.find(a, false);
    EXPECT_EQ(attributesOnly.status, Status::success);
    EXPECT_EQ(attributesOnly.data, std::nullopt);

    EXPECT_EQ(store.update(a, "13"), Status::success);
    EXPECT_EQ(lookup(a), QByteArray("13"));
    // A refused duplicate is not the keyring failing: nothing to report.
    EXPECT_EQ(log.lines(), QStringList());
}

TEST_F(KeyringSecretStoreTest, AFrozenKeyringCostsAtMostTheBoundAndIsFoundAgain) {
    const SecretItemKey key{u"com.aimset.test.frozen"_s, u"counter"_s};
    LibsecretSecretStore bounded(std::chrono::milliseconds(500));
    ASSERT_EQ(bounded.add(key, "5"), Status::success);
    ASSERT_EQ(::kill(static_cast<pid_t>(daemon.processId()), SIGSTOP), 0);
    QElapsedTimer clock;
    clock.start();
    const Status found = bounded.find(key, true).status;
    const Status updated = bounded.update(key, "6");
    const auto elapsed = clock.elapsed();
    ::kill(static_cast<pid_t>(daemon.processId()), SIGCONT);
    EXPECT_EQ(found, Status::failure);
    EXPECT_EQ(updated, Status::failure);
    EXPECT_LT(elapsed, 5000) << "D-Bus alone would wait 25 s for each call";

    // Failing until the keyring answered again; reported once.
    EXPECT_EQ(log.take(), QStringList{unavailable + u"no answer within 500 ms"_s});
    EXPECT_EQ(bounded.find(key, true).data, QByteArray("5"));
}

// The keyring out of reach, in each of the ways it can be.
using LockedKeyringSecretStoreTest = OnKeyring<Keyring::locked>;
TEST_F(LockedKeyringSecretStoreTest, EveryOperationFailsWithoutAskingForThePassword) {
    // Every request to unlock a keyring or to prompt the user on the session
    // bus, as dbus-monitor prints them.
    test::LineProcess monitor;
    monitor.launch(u"dbus-monitor"_s,
                   {u"--session"_s, u"type='method_call',member='Unlock'"_s,
                    u"type='method_call',interface='org.freedesktop.Secret.Prompt'"_s,
                    u"type='method_call',member='Ping'"_s});
    const auto seen = [&](const QString& text) {
        return test::spinUntil([&] { return !monitor.printed.filter(text).isEmpty(); }, 5s);
    };
    ASSERT_TRUE(seen(u"member=NameLost"_s)); // it watches once it gave up its own name
    expectEveryOperationFails(u"the default keyring is locked"_s);
    // All is seen once a ping sent now has reached it. Nothing asked to unlock
    // the keyring, so no password dialog could show.
    QProcess::execute(u"dbus-send"_s,
                      {u"--session"_s, u"--print-reply"_s, u"--dest=org.freedesktop.secrets"_s,
                       u"/org/freedesktop/secrets"_s, u"org.freedesktop.DBus.Peer.Ping"_s});
    ASSERT_TRUE(seen(u"member=Ping"_s));
    const QString calls = monitor.printed.join(u'\n');
    EXPECT_FALSE(calls.contains(u"member=Unlock"_s) ||
                 calls.contains(u"interface=org.freedesktop.Secret.Prompt"_s))
        << calls.toStdString();
}

using AbsentKeyringSecretStoreTest = OnKeyring<Keyring::absent>;
TEST_F(AbsentKeyringSecretStoreTest, NothingIsStoredAndNoKeyringIsCreated) {
    expectEveryOperationFails(u"there is no default keyring"_s);
    const QDir keyrings(dir.filePath(u"keyrings"_s));
    EXPECT_EQ(keyrings.entryList(QDir::Files), QStringList());
}

using NoSecretServiceTest = OnKeyring<Keyring::none>;
TEST_F(NoSecretServiceTest, EveryOperationFailsWithOneLine) {
    expectEveryOperationFails(
        u"The name org.freedesktop.secrets was not provided by any .service files"_s);
}

// The session bus going away under a working keyring.
using LostSessionBusTest = OnKeyring<Keyring::unlocked>;
TEST_F(LostSessionBusTest, IsAFailureNotTheEndOfTheApp) {
    const SecretItemKey key{u"com.aimset.test.lost"_s, u"counter"_s};
    ASSERT_EQ(store.add(key, "1"), Status::success);
    bus.reset();
    // The connection notices the loss a moment later.
    test::spinUntil([&] { return store.find(key, false).status == Status::failure; }, 5000ms);
    expectEveryOperationFails(u"The connection is closed"_s);
}

} // namespace
