#include "Interventions/UsageStore.h"

#include "Platform/Fake/FakeSecretStore.h"
#include "Platform/Fake/FakeUserDefaults.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>

using namespace aimset;
using namespace Qt::StringLiterals;

namespace {

const QString kTotal = u"totalInterventions"_s;
const QString kSessions = u"completedSessions"_s;
const QString kMigrated =
    u"[Keychain] Migration complete \u2014 items recreated with kSecAttrAccessible"_s;

struct UsageStoreTest : ::testing::Test {
    test::LogCapture log;
    FakeSecretStore secrets;
    FakeUserDefaults defaults;
    UsageStore store{secrets, defaults};

    void putData(const QString& key, const QByteArray& data,
                 SecretAccessibility access = SecretAccessibility::afterFirstUnlock) {
        secrets.put(u"com.aimset.usage"_s, key, {data, access, true});
    }
    std::optional<FakeSecretStore::Item> item(const QString& key) const {
        return secrets.item(u"com.aimset.usage"_s, key);
    }
};

TEST_F(UsageStoreTest, ReadsOnlyStrictDecimalText) {
    const std::pair<QByteArray, std::int64_t> cases[] = {
        {"12", 12},
        {"+7", 7},
        {"-3", -3},
        {"007", 7},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {"9223372036854775808", 0},
        {"-9223372036854775809", 0},
        {"99999999999999999999", 0},
        {"7 ", 0},
        {" 7", 0},
        {"", 0},
        {"+", 0},
        {"-", 0},
        {"+-7", 0},
        {"1e3", 0},
        {"0x10", 0},
        {"3.0", 0},
        {QByteArray("7\0", 2), 0},
        {"\xEF\xBB\xBF"
         "7",
         0},             // a byte-order mark is not a digit
        {"\xff\xfe", 0}, // not UTF-8
        {"\xd9\xa3", 0}, // a non-ASCII digit
    };
    for (const auto& [data, expected] : cases) {
        putData(kTotal, data);
        EXPECT_EQ(store.readCount(kTotal), expected) << data.toHex().constData();
    }
}

TEST_F(UsageStoreTest, UnreadableItemsCountAsZero) {
    EXPECT_EQ(store.readCount(kTotal), 0);
    secrets.put(u"com.aimset.usage"_s, kTotal, {"5", {}, false});
    EXPECT_EQ(store.readCount(kTotal), 0);
    putData(kTotal, "5");
    secrets.failWith = SecretStore::Status::failure;
    EXPECT_EQ(store.readCount(kTotal), 0);
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(UsageStoreTest, WritesAddOrUpdateTheItem) {
    store.incrementCount(kTotal);
    EXPECT_EQ(item(kTotal)->data, "1");
    EXPECT_EQ(item(kTotal)->accessibility, SecretAccessibility::afterFirstUnlock);
    store.incrementCount(kTotal);
    store.writeCount(kSessions, -12);
    EXPECT_EQ(secrets.calls(),
              (QStringList{u"find com.aimset.usage/totalInterventions data"_s,
                           u"find com.aimset.usage/totalInterventions attributes"_s,
                           u"add com.aimset.usage/totalInterventions \"1\" afterFirstUnlock"_s,
                           u"find com.aimset.usage/totalInterventions data"_s,
                           u"find com.aimset.usage/totalInterventions attributes"_s,
                           u"update com.aimset.usage/totalInterventions \"2\""_s,
                           u"find com.aimset.usage/completedSessions attributes"_s,
                           u"add com.aimset.usage/completedSessions \"-12\" afterFirstUnlock"_s}));
    EXPECT_EQ(item(kSessions)->data, "-12");

    // Garbage is replaced with a valid count by the next increment.
    putData(kTotal, "lots");
    store.incrementCount(kTotal);
    EXPECT_EQ(item(kTotal)->data, "1");

    store.deleteItem(kTotal);
    EXPECT_FALSE(item(kTotal));
    EXPECT_EQ(secrets.calls().last(), u"remove com.aimset.usage/totalInterventions"_s);
}

TEST_F(UsageStoreTest, AFailedLookupLeadsToAnAdd) {
    putData(kTotal, "4");
    secrets.failWith = SecretStore::Status::failure;
    secrets.clearCalls();
    store.writeCount(kTotal, 9);
    EXPECT_EQ(secrets.calls(),
              (QStringList{u"find com.aimset.usage/totalInterventions attributes"_s,
                           u"add com.aimset.usage/totalInterventions \"9\" afterFirstUnlock"_s}));
}

TEST_F(UsageStoreTest, IncrementStaysAtTheLargestCount) {
    putData(kTotal, "9223372036854775806");
    store.incrementCount(kTotal);
    EXPECT_EQ(store.readCount(kTotal), std::numeric_limits<std::int64_t>::max());
    store.incrementCount(kTotal);
    EXPECT_EQ(store.readCount(kTotal), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(item(kTotal)->data, "9223372036854775807");

    putData(kTotal, "-1");
    store.incrementCount(kTotal);
    EXPECT_EQ(item(kTotal)->data, "0");
}

TEST_F(UsageStoreTest, ConcurrentIncrementsOfOneKeyAllCount) {
    auto incrementMany = [this] {
        for (int i = 0; i < 1000; ++i) {
            store.incrementCount(kTotal);
        }
    };
    std::thread first(incrementMany);
    std::thread second(incrementMany);
    // Another counter incremented alongside must not disturb either.
    std::thread other([this] {
        for (int i = 0; i < 500; ++i) {
            store.incrementCount(kSessions);
        }
    });
    first.join();
    second.join();
    other.join();
    EXPECT_EQ(store.readCount(kTotal), 2000);
    EXPECT_EQ(store.readCount(kSessions), 500);
}

TEST_F(UsageStoreTest, MigrationRecreatesNonZeroCountersOnce) {
    putData(kSessions, "5", SecretAccessibility::whenUnlocked);
    putData(kTotal, "0", SecretAccessibility::whenUnlocked);

    store.migrateIfNeeded();
    EXPECT_EQ(secrets.calls(),
              (QStringList{u"find com.aimset.usage/completedSessions data"_s,
                           u"remove com.aimset.usage/completedSessions"_s,
                           u"find com.aimset.usage/completedSessions attributes"_s,
                           u"add com.aimset.usage/completedSessions \"5\" afterFirstUnlock"_s,
                           u"find com.aimset.usage/totalInterventions data"_s,
                           u"remove com.aimset.usage/totalInterventions"_s}));
    EXPECT_EQ(item(kSessions)->accessibility, SecretAccessibility::afterFirstUnlock);
    EXPECT_EQ(item(kSessions)->data, "5");
    EXPECT_FALSE(item(kTotal));
    EXPECT_EQ(defaults.calls, QStringList{u"setBool keychain_migrated_v1 true"_s});
    EXPECT_EQ(log.take(), QStringList{kMigrated});

    // A later launch finds the flag and touches nothing.
    secrets.clearCalls();
    UsageStore nextLaunch(secrets, defaults);
    nextLaunch.migrateIfNeeded();
    EXPECT_TRUE(secrets.calls().isEmpty());
    EXPECT_EQ(defaults.calls.size(), 1);
    EXPECT_TRUE(log.take().isEmpty());
}

TEST_F(UsageStoreTest, MigrationWithNoItemsStillSetsTheFlag) {
    store.migrateIfNeeded();
    EXPECT_FALSE(item(kSessions));
    EXPECT_FALSE(item(kTotal));
    EXPECT_TRUE(defaults.boolForKey(u"keychain_migrated_v1"_s));
    EXPECT_EQ(log.take(), QStringList{kMigrated});
}

} // namespace
