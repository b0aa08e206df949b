#include "Interventions/UsageStore.h"

#include "Platform/Fake/FakeSecretStore.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>
#include <vector>

using namespace aimset;
using namespace Qt::StringLiterals;

namespace {

const QString kTotal = u"totalInterventions"_s;
const QString kSessions = u"completedSessions"_s;

struct UsageStoreTest : ::testing::Test {
    test::LogCapture log;
    FakeSecretStore secrets;
    UsageStore store{secrets};
};

TEST_F(UsageStoreTest, ReadsOnlyStrictDecimalText) {
    const std::pair<QByteArray, std::int64_t> cases[] = {
        {"+7", 7},
        {"-3", -3},
        {"007", 7},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {"9223372036854775808", 0},
        {"-9223372036854775809", 0},
        {"7 ", 0},
        {" 7", 0},
        {"+-7", 0},
        {"1e3", 0},
        {QByteArray("7\0", 2), 0},
        {"\xEF\xBB\xBF\x37", 0}, // a byte-order mark, then 7
        {"\xff\xfe", 0},         // not UTF-8
        {"\xd9\xa3", 0},         // a non-ASCII digit
    };
    for (const auto& [data, expected] : cases) {
        secrets.put(UsageStore::service, kTotal, {data});
        EXPECT_EQ(store.readCount(kTotal), expected) << data.toHex().constData();
    }
}

// Incremented from each stored state: what cannot be read counts as 0, the
// item is added when missing and updated when present, and the largest count
// stays where it is.
TEST(UsageStoreIncrementTest, CountsOnFromEachStoredState) {
    const std::pair<std::optional<FakeSecretStore::Item>, QByteArray> cases[] = {
        {std::nullopt, "1"},
        {FakeSecretStore::Item{"1"}, "2"},
        {FakeSecretStore::Item{"lots"}, "1"},
        {FakeSecretStore::Item{"5", false}, "1"},
        {FakeSecretStore::Item{"-1"}, "0"},
        {FakeSecretStore::Item{"9223372036854775806"}, "9223372036854775807"},
        {FakeSecretStore::Item{"9223372036854775807"}, "9223372036854775807"},
    };
    for (const auto& [stored, expected] : cases) {
        FakeSecretStore secrets;
        UsageStore store(secrets);
        if (stored) {
            secrets.put(UsageStore::service, kTotal, *stored);
        }
        store.incrementCount(kTotal);
        EXPECT_EQ(secrets.item(UsageStore::service, kTotal)->data, expected)
            << expected.constData();
    }
}

// A locked keyring reads as 0, and a write then adds the item.
TEST_F(UsageStoreTest, AFailingStoreCountsZeroAndWritesByAdding) {
    secrets.put(UsageStore::service, kTotal, {"5"});
    secrets.failWith = SecretStore::Status::failure;
    EXPECT_EQ(store.readCount(kTotal), 0);
    secrets.clearCalls();
    store.writeCount(kTotal, -12);
    EXPECT_EQ(secrets.calls(),
              (QStringList{u"find com.aimset.usage/totalInterventions attributes"_s,
                           u"add com.aimset.usage/totalInterventions \"-12\""_s}));
    EXPECT_TRUE(log.lines().isEmpty());
}

// Two threads count one key while a third counts another alongside.
TEST_F(UsageStoreTest, ConcurrentIncrementsOfOneKeyAllCount) {
    std::vector<std::thread> threads;
    for (const auto& [key, times] : {std::pair{kTotal, 1000}, {kTotal, 1000}, {kSessions, 500}}) {
        threads.emplace_back([this, key, times] {
            for (int i = 0; i < times; ++i) {
                store.incrementCount(key);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(store.readCount(kTotal), 2000);
    EXPECT_EQ(store.readCount(kSessions), 500);
}

} // namespace
