#include "UsageStore.h"

#include "Platform/SecretStore.h"

#include <QStringDecoder>

#include <limits>

namespace aimset {

const QString UsageStore::service = QStringLiteral("com.aimset.usage");
const QString UsageStore::completedSessionsKey = QStringLiteral("completedSessions");
const QString UsageStore::totalInterventionsKey = QStringLiteral("totalInterventions");

UsageStore::UsageStore(SecretStore& secrets)
    : m_secrets(secrets) {}

QByteArray UsageStore::encode(std::int64_t value) {
    return QByteArray::number(static_cast<qlonglong>(value));
}

std::optional<std::int64_t> UsageStore::decode(const QByteArray& data) {
    // A byte-order mark stays a character, so it fails the digit check.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = utf8.decode(data);
    if (utf8.hasError() || text.isEmpty()) {
        return std::nullopt;
    }
    qsizetype i = 0;
    bool negative = false;
    if (text[0] == QLatin1Char('+') || text[0] == QLatin1Char('-')) {
        negative = text[0] == QLatin1Char('-');
        i = 1;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    // Accumulate towards the negative side, whose range is one larger, so the
    // smallest value parses too.
    constexpr std::int64_t min = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        const int digit = c - u'0';
        if (value < (min + digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == min) {
            return std::nullopt;
        }
        value = -value;
    }
    return value;
}

std::int64_t UsageStore::readCount(const QString& key) {
    const auto found = m_secrets.find({service, key}, true);
    if (found.status != SecretStore::Status::success || !found.data) {
        return 0;
    }
    return decode(*found.data).value_or(0);
}

void UsageStore::writeCount(const QString& key, std::int64_t value) {
    const SecretItemKey item{service, key};
    const QByteArray data = encode(value);
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
    auto& slot = m_locks[key];
    if (!slot) {
        slot = std::make_unique<std::mutex>();
    }
    return *slot;
}

} // namespace aimset
