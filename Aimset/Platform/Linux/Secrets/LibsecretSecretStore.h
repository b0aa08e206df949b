#pragma once

#include "Platform/SecretStore.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace aimset {

// Generic-password items in the desktop's Secret Service (GNOME Keyring,
// KWallet, KeePassXC) through libsecret. An item is identified by the
// attributes "service" and "account" alone, so
//   secret-tool lookup service com.aimset.usage account totalInterventions
// prints what the app stored. New items go to the default keyring.
//
// Every call runs on one worker thread of the store and the caller waits for
// at most the given bound, whatever thread it is on; a call still running
// then is cancelled and counts as a failure. The store never asks for a
// password: a locked or missing default keyring, a locked item, no Secret
// Service at all or no answer in time are failures, logged once until the
// store works again.
class LibsecretSecretStore final : public SecretStore {
public:
    static constexpr std::chrono::milliseconds defaultBound{3000};

    explicit LibsecretSecretStore(std::chrono::milliseconds bound = defaultBound);
    ~LibsecretSecretStore() override;
    LibsecretSecretStore(const LibsecretSecretStore&) = delete;
    LibsecretSecretStore& operator=(const LibsecretSecretStore&) = delete;

    FindResult find(const SecretItemKey& key, bool wantData) override;
    // Refused (failure) when an item with this key exists already, as a
    // keychain refuses a duplicate.
    Status add(const SecretItemKey& key, const QByteArray& data) override;
    Status update(const SecretItemKey& key, const QByteArray& data) override;
    Status remove(const SecretItemKey& key) override;

    // The schema name recorded on items this store creates.
    static const char* const schemaName;

private:
    class Worker;
    struct Outcome {
        Status status = Status::failure;
        std::optional<QByteArray> data;
        // Why the keyring cannot be used; empty when a working keyring
        // refused (an add of an existing item).
        QString failure;
    };
    // Runs work on the worker thread and waits for it within the bound.
    Outcome run(std::function<Outcome(Worker&)> work);
    // What update and remove do to each item of a key.
    struct ItemChange;
    Status changeEvery(const SecretItemKey& key, const ItemChange& change);

    std::chrono::milliseconds m_bound;
    std::unique_ptr<Worker> m_worker;
    // Set while failing, so an unusable keyring costs one log line, not one
    // per call.
    std::atomic<bool> m_failing{false};
};

} // namespace aimset
