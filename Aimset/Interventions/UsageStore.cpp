#include "UsageStore.h"

#include "Platform/SecretStore.h"

#include <charconv>
#include <optional>

namespace aimset {

const QString UsageStore::service = QStringLiteral("com.aimset.usage");
const QString UsageStore::completedSessionsKey = QStringLiteral("completedSessions");
const QString UsageStore::totalInterventionsKey = QStringLiteral("totalInterventions");

UsageStore::UsageStore(SecretStore& secrets)
    : m_secrets(secrets) {}

namespace {

// Strict decimal: an optional "+" or "-", then only ASCII digits, in the
// signed 64-bit range; anything else (spaces, empty, not UTF-8) is empty.
std::optional<std::int64_t> decode(const QByteArray& data) {
    const char* first = data.constData();
    const char* const last = first + data.size();
    // from_chars takes a "-" but no "+": step over one that a digit follows.
    if (last - first > 1 && *first == '+' && first[1] != '-') {
        ++first;
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::int64_t UsageStore::readCount(const QString& key) {
    const auto found = m_secrets.find({service, key}, true);
    if (found.status != SecretStore::Status::success || !found.data) {
        return 0;
    }
    return decode(*found.data).value_or(0);
}

void UsageStore::writeCount(const QString& key, std::int64_t value) {
    const SecretItemKey item{service, key};
    const QByteArray data = QByteArray::number(static_cast<qlonglong>(value));
    // Any failed lookup, not only a missing item, leads to an add.
    if (m_secrets.find(item, false).status != SecretStore::Status::success) {
        m_secrets.add(item, data);
    } else {
        m_secrets.update(item, data);
    }
}

void UsageStore::incrementCount(const QString& key) {
    std::lock_guard lock(lockFor(key));
    const std::int64_t current = readCount(key);
    if (current == std::numeric_limits<std::int64_t>::max()) {
        // Already at the ceiling; a wrap would turn the count negative.
        return;
    }
    writeCount(key, current + 1);
}

std::mutex& UsageStore::lockFor(const QString& key) {
    std::lock_guard lock(m_locksMutex);
    return m_locks[key];
}

} // namespace aimset
