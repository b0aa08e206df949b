#include "LibsecretSecretStore.h"

#include "Runtime/Log.h"

#include <libsecret/secret.h>

#include <future>
#include <utility>

namespace aimset {

namespace {

const SecretSchema kSchema = [] {
    SecretSchema s{};
    // Recorded on the items this store creates.
    s.name = "com.aimset.GenericPassword";
    // Items are found by service and account whoever made them, like
    // keychain generic passwords (secret-tool's own items included).
    s.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
    s.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
    s.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
    return s;
}();

template <typename T, auto release>
using Owned = std::unique_ptr<T, decltype([](T* p) { release(p); })>;
using OwnedCollection = Owned<SecretCollection, g_object_unref>;
using OwnedItems = Owned<GList, [](GList* list) { g_list_free_full(list, g_object_unref); }>;
using OwnedValue = Owned<SecretValue, secret_value_unref>;

Owned<GHashTable, g_hash_table_unref> attributesOf(const SecretItemKey& key) {
    // The table keeps copies of the strings.
    return Owned<GHashTable, g_hash_table_unref>(
        secret_attributes_build(&kSchema, "service", key.service.toUtf8().constData(), "account",
                                key.account.toUtf8().constData(), nullptr));
}

OwnedValue valueOf(const QByteArray& data) {
    return OwnedValue(secret_value_new(data.constData(), data.size(), "text/plain"));
}

SecretItem* itemAt(const GList* node) {
    return static_cast<SecretItem*>(node->data);
}

} // namespace

// One call to the Secret Service, on a thread of its own.
struct LibsecretSecretStore::Call {
    GCancellable* cancellable;
    SecretService*& service;
    FindResult result;
    // Why the keyring cannot be used; empty when a working keyring refused
    // (an add of an existing item).
    QString failure;

    void fail(QString why) {
        result.status = Status::failure;
        failure = std::move(why);
    }
    // Takes the error.
    void fail(GError* error) {
        fail(error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error"));
        g_clear_error(&error);
    }

    // The default keyring, unlocked; never unlocks it, as that would ask
    // the user for a password.
    OwnedCollection defaultKeyring() {
        GError* error = nullptr;
        if (!service) {
            // The shared session connection would end the whole app when
            // the bus goes away; a lost keyring must not.
            GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, cancellable, &error);
            if (bus) {
                g_dbus_connection_set_exit_on_close(bus, FALSE);
                service =
                    secret_service_open_sync(secret_service_get_type(), nullptr,
                                             SECRET_SERVICE_OPEN_SESSION, cancellable, &error);
                g_object_unref(bus);
            }
            if (!service) {
                fail(error);
                return nullptr;
            }
        }
        OwnedCollection keyring(secret_collection_for_alias_sync(
            service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, cancellable, &error));
        if (error) {
            fail(error);
        } else if (!keyring) {
            fail(QStringLiteral("there is no default keyring"));
        } else if (secret_collection_get_locked(keyring.get())) {
            fail(QStringLiteral("the default keyring is locked"));
        } else {
            return keyring;
        }
        return nullptr;
    }

    // Every item with the key, locked ones included; nothing when the search
    // failed.
    std::optional<OwnedItems> search(const SecretItemKey& key, bool loadSecrets) {
        const int flags = SECRET_SEARCH_ALL | (loadSecrets ? SECRET_SEARCH_LOAD_SECRETS : 0);
        GError* error = nullptr;
        OwnedItems found(secret_service_search_sync(service, &kSchema, attributesOf(key).get(),
                                                    static_cast<SecretSearchFlags>(flags),
                                                    cancellable, &error));
        if (error) {
            fail(error);
            return std::nullopt;
        }
        result.status = found ? Status::success : Status::itemNotFound;
        return found;
    }
};

LibsecretSecretStore::LibsecretSecretStore(std::chrono::milliseconds bound)
    : m_bound(bound) {}

LibsecretSecretStore::~LibsecretSecretStore() {
    if (m_service) {
        g_object_unref(m_service);
    }
}

SecretStore::FindResult LibsecretSecretStore::run(const std::function<void(Call&)>& work) {
    // A thread of its own bounds the wait whatever thread asks; cancelling
    // ends the call at once.
    std::lock_guard lock(m_mutex);
    const Owned<GCancellable, g_object_unref> cancellable(g_cancellable_new());
    Call call{cancellable.get(), m_service, {}, {}};
    auto done = std::async(std::launch::async, [&] { work(call); });
    if (done.wait_for(m_bound) != std::future_status::ready) {
        g_cancellable_cancel(cancellable.get());
        done.wait();
        call.fail(QStringLiteral("no answer within %1 ms").arg(m_bound.count()));
    }
    if (!call.failure.isEmpty() && m_service) {
        // A keyring that was restarted or started late is found again next time.
        g_object_unref(std::exchange(m_service, nullptr));
    }
    // An unusable keyring costs one log line, not one per call.
    if (call.result.status != Status::failure) {
        m_failing = false;
    } else if (!call.failure.isEmpty() && !std::exchange(m_failing, true)) {
        Log(QStringLiteral("[Keychain] Secret Service unavailable \u2014 ") + call.failure);
    }
    return std::move(call.result);
}

SecretStore::FindResult LibsecretSecretStore::find(const SecretItemKey& key, bool wantData) {
    return run([&](Call& call) {
        const auto found = call.defaultKeyring() ? call.search(key, wantData) : std::nullopt;
        for (const GList* node = found ? found->get() : nullptr; node; node = node->next) {
            if (secret_item_get_locked(itemAt(node))) {
                continue;
            }
            const OwnedValue value(wantData ? secret_item_get_secret(itemAt(node)) : nullptr);
            if (value) {
                gsize length = 0;
                const gchar* bytes = secret_value_get(value.get(), &length);
                call.result.data = QByteArray(bytes, static_cast<qsizetype>(length));
            }
            return;
        }
        if (found && *found) {
            call.fail(QStringLiteral("the item is locked"));
        }
    });
}

SecretStore::Status LibsecretSecretStore::add(const SecretItemKey& key, const QByteArray& data) {
    return run([&](Call& call) {
               const OwnedCollection keyring = call.defaultKeyring();
               const auto existing = keyring ? call.search(key, false) : std::nullopt;
               if (!existing || *existing) {
                   // A duplicate is refused, but the keyring itself is fine.
                   call.result.status = Status::failure;
                   return;
               }
               const QByteArray label = (key.service + QLatin1Char(' ') + key.account).toUtf8();
               GError* error = nullptr;
               const Owned<SecretItem, g_object_unref> created(secret_item_create_sync(
                   keyring.get(), &kSchema, attributesOf(key).get(), label.constData(),
                   valueOf(data).get(), SECRET_ITEM_CREATE_NONE, call.cancellable, &error));
               if (created) {
                   call.result.status = Status::success;
               } else {
                   call.fail(error);
               }
           })
        .status;
}

// Every item of the key in turn; a locked item or a failed change makes the
// keyring unusable for this call.
SecretStore::Status LibsecretSecretStore::update(const SecretItemKey& key, const QByteArray& data) {
    return run([&](Call& call) {
               const auto found = call.defaultKeyring() ? call.search(key, false) : std::nullopt;
               for (const GList* node = found ? found->get() : nullptr; node; node = node->next) {
                   GError* error = nullptr;
                   if (secret_item_get_locked(itemAt(node))) {
                       return call.fail(QStringLiteral("the item is locked"));
                   }
                   if (!secret_item_set_secret_sync(itemAt(node), valueOf(data).get(),
                                                    call.cancellable, &error)) {
                       return call.fail(error);
                   }
               }
           })
        .status;
}

} // namespace aimset
