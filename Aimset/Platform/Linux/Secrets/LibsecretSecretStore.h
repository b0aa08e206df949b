#pragma once

#include "Platform/SecretStore.h"

#include <chrono>
#include <functional>
#include <mutex>

struct _SecretService;

namespace aimset {

// Generic-password items in the desktop's Secret Service (GNOME Keyring,
// KWallet, KeePassXC) through libsecret, in the default keyring, identified by
// the attributes "service" and "account" alone (as secret-tool finds them).
// Calls run one at a time, each on a thread of its own, cancelled and failed
// after the given bound. Never asks for a password: a locked or missing
// keyring or item, no Secret Service or no answer in time is a failure,
// logged once until the store works again.
class LibsecretSecretStore final : public SecretStore {
public:
    explicit LibsecretSecretStore(std::chrono::milliseconds bound = std::chrono::seconds(3));
    ~LibsecretSecretStore() override;

    FindResult find(const SecretItemKey& key, bool wantData) override;
    // Refused (failure) when an item with this key exists already, as a
    // keychain refuses a duplicate.
    Status add(const SecretItemKey& key, const QByteArray& data) override;
    Status update(const SecretItemKey& key, const QByteArray& data) override;

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
