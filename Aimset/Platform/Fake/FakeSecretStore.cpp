#include "FakeSecretStore.h"

#include <thread>

namespace aimset {

namespace {

QString name(const SecretItemKey& key) {
    return key.service + QLatin1Char('/') + key.account;
}

QString quoted(const QByteArray& data) {
    return QLatin1Char('"') + QString::fromLatin1(data) + QLatin1Char('"');
}

} // namespace

SecretStore::FindResult FakeSecretStore::find(const SecretItemKey& key, bool wantData) {
    std::unique_lock lock(m_mutex);
    m_calls << QStringLiteral("find ") + name(key) +
                   (wantData ? QStringLiteral(" data") : QStringLiteral(" attributes"));
    if (failWith) {
        return {*failWith, std::nullopt};
    }
    const auto it = m_items.find({key.service, key.account});
    if (it == m_items.end()) {
        return {Status::itemNotFound, std::nullopt};
    }
    FindResult result{Status::success, std::nullopt};
    if (wantData && it->second.holdsData) {
        result.data = it->second.data;
    }
    lock.unlock();
    // A real store answers over IPC; give other threads a chance to run
    // between a read and the write that follows it.
    std::this_thread::yield();
    return result;
}

SecretStore::Status FakeSecretStore::add(const SecretItemKey& key, const QByteArray& data) {
    std::lock_guard lock(m_mutex);
    m_calls << QStringLiteral("add ") + name(key) + QLatin1Char(' ') + quoted(data);
    if (failWith) {
        return *failWith;
    }
    const auto [it, inserted] = m_items.try_emplace({key.service, key.account});
    if (!inserted) {
        // Like a keychain: a duplicate is refused.
        return Status::failure;
    }
    it->second = Item{data, true};
    return Status::success;
}

SecretStore::Status FakeSecretStore::update(const SecretItemKey& key, const QByteArray& data) {
    std::lock_guard lock(m_mutex);
    m_calls << QStringLiteral("update ") + name(key) + QLatin1Char(' ') + quoted(data);
    if (failWith) {
        return *failWith;
    }
    const auto it = m_items.find({key.service, key.account});
    if (it == m_items.end()) {
        return Status::itemNotFound;
    }
    it->second.data = data;
    it->second.holdsData = true;
    return Status::success;
}

SecretStore::Status FakeSecretStore::remove(const SecretItemKey& key) {
    std::lock_guard lock(m_mutex);
    m_calls << QStringLiteral("remove ") + name(key);
    if (failWith) {
        return *failWith;
    }
    return m_items.erase({key.service, key.account}) > 0 ? Status::success : Status::itemNotFound;
}

void FakeSecretStore::put(const QString& service, const QString& account, Item item) {
    std::lock_guard lock(m_mutex);
    m_items[{service, account}] = std::move(item);
}

std::optional<FakeSecretStore::Item> FakeSecretStore::item(const QString& service,
                                                           const QString& account) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_items.find({service, account});
    if (it == m_items.end()) {
        return std::nullopt;
    }
    return it->second;
}

QStringList FakeSecretStore::calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

void FakeSecretStore::clearCalls() {
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

} // namespace aimset
