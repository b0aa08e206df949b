#pragma once

#include "Platform/SecretStore.h"

#include <QStringList>

#include <map>
#include <mutex>
#include <optional>

namespace aimset {

// An in-memory secret store, safe to use from several threads. Records calls
// as lines such as "find com.aimset.usage/totalInterventions data",
// "add com.aimset.usage/totalInterventions \"1\"",
// "update com.aimset.usage/totalInterventions \"2\"" and
// "remove com.aimset.usage/totalInterventions".
class FakeSecretStore final : public SecretStore {
public:
    struct Item {
        QByteArray data;
        // An item whose content is not data at all (the store answers with
        // no data for it).
        bool holdsData = true;
    };

    FindResult find(const SecretItemKey& key, bool wantData) override;
    Status add(const SecretItemKey& key, const QByteArray& data) override;
    Status update(const SecretItemKey& key, const QByteArray& data) override;
    // Not a port operation (the app never deletes): scenarios arrange with it.
    Status remove(const SecretItemKey& key);

    // Arranging and inspecting the store (thread-safe).
    void put(const QString& service, const QString& account, Item item);
    std::optional<Item> item(const QString& service, const QString& account) const;
    QStringList calls() const;
    void clearCalls();

    // When set, every operation fails with this status (a locked keyring).
    std::optional<Status> failWith;

private:
    mutable std::mutex m_mutex;
    std::map<std::pair<QString, QString>, Item> m_items;
    QStringList m_calls;
};

} // namespace aimset
