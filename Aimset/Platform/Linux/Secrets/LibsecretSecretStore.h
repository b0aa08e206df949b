#pragma once

#include "Platform/SecretStore.h"

#include <chrono>
#include <functional>
#include <mutex>

struct _SecretService;

namespace aimset {

// Generic-password items in the desktop's Secret Service (GNOME Keyring,
// KWallet, KeePassXC) through libsecret. An item is identified by the
// attributes "service" and "account" alone, so
//   secret-tool lookup service com.aimset.usage account totalInterventions
// prints what the app stored. New items go to the default keyring.
//
// Calls run one at a time, each on a thread of its own, and the caller waits
// for at most the given bound (after any call before it); a call still
// running then is cancelled and counts as a failure. The store never asks
// for a password: a locked or missing default keyring, a locked item, no
// Secret Service at all or no answer in time are failures, logged once until
// the store works again.
class LibsecretSecretStore final : public SecretStore {
public:
    explicit LibsecretSecretStore(std::chrono::milliseconds bound = std::chrono::seconds(3));
    ~LibsecretSecretStore() override;

    FindResult find(const SecretItemKey& key, bool wantData) override;
    // Refused (failure) when an item with this key exists already, as a
    // keychain refuses a duplicate.
    Status add(const SecretItemKey& key, const QByteArray& data) override;
    Status update(const SecretItemKey& key, const QByteArray& data) override;
    Status remove(const SecretItemKey& key) override;

private:
    struct Call;
    FindResult run(const std::function<void(Call&)>& work);

    const std::chrono::milliseconds m_bound;
    std::mutex m_mutex;
    // The connection, kept between calls and dropped after any failure.
    _SecretService* m_service = nullptr;
    bool m_failing = false;
};

} // namespace aimset
