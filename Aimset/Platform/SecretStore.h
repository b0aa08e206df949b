#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace aimset {

// Identifies one generic-password item of the user's secret store.
struct SecretItemKey {
    QString service;
    QString account;
};

// The user's secure store of small secrets (keychain, Secret Service). Every
// operation may be called from any thread and answers synchronously, which
// can take seconds when the store hangs: never call it on the main thread.
class SecretStore {
public:
    enum class Status {
        success,
        itemNotFound,
        // Locked, denied, unavailable or otherwise broken.
        failure,
    };

    struct FindResult {
        Status status = Status::failure;
        // Present only when data was asked for and the item holds data.
        std::optional<QByteArray> data;
    };

    virtual ~SecretStore() = default;

    // Looks the item up, returning its data when wantData is set.
    virtual FindResult find(const SecretItemKey& key, bool wantData) = 0;
    virtual Status add(const SecretItemKey& key, const QByteArray& data) = 0;
    // Replaces the data of the existing items with this key.
    virtual Status update(const SecretItemKey& key, const QByteArray& data) = 0;
};

} // namespace aimset
