#include "LibsecretSecretStore.h"

#include "Runtime/Log.h"

#include <libsecret/secret.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace aimset {

const char* const LibsecretSecretStore::schemaName = "com.aimset.GenericPassword";

namespace {

const SecretSchema& schema() {
    static const SecretSchema instance = [] {
        SecretSchema s{};
        s.name = LibsecretSecretStore::schemaName;
        // Items are found by service and account whoever made them, like
        // keychain generic passwords (secret-tool's own items included).
        s.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        s.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return instance;
}

// Owns one reference of a GObject (or a value with its own free function).
template <auto release> struct Release {
    template <typename T> void operator()(T* p) const { release(p); }
};
template <typename T, auto release> using Owned = std::unique_ptr<T, Release<release>>;

void freeItemList(GList* list) {
    g_list_free_full(list, g_object_unref);
}

using OwnedService = Owned<SecretService, g_object_unref>;
using OwnedCollection = Owned<SecretCollection, g_object_unref>;
using OwnedItem = Owned<SecretItem, g_object_unref>;
using OwnedItems = Owned<GList, freeItemList>;
using OwnedValue = Owned<SecretValue, secret_value_unref>;
using OwnedAttributes = Owned<GHashTable, g_hash_table_unref>;
using OwnedCancellable = Owned<GCancellable, g_object_unref>;
using OwnedError = Owned<GError, g_error_free>;

QString describe(const GError* error) {
    return error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
}

OwnedAttributes attributesOf(const SecretItemKey& key) {
    const QByteArray service = key.service.toUtf8();
    const QByteArray account = key.account.toUtf8();
    return OwnedAttributes(secret_attributes_build(&schema(), "service", service.constData(),
                                                   "account", account.constData(), nullptr));
}

OwnedValue valueOf(const QByteArray& data) {
    return OwnedValue(secret_value_new(data.constData(), data.size(), "text/plain"));
}

} // namespace

// The one thread that talks to the Secret Service. libsecret's blocking calls
// run a private main context of their own, so this thread needs no loop; the
// connection it keeps is dropped after any failure, so a keyring that was
// restarted or started late is found again on the next call.
class LibsecretSecretStore::Worker {
public:
    Worker()
        : m_thread([this] { loop(); }) {}

    ~Worker() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
            // Whatever is left answers "cancelled" at once.
            if (m_cancellable) {
                g_cancellable_cancel(m_cancellable);
            }
            for (const auto& job : m_jobs) {
                g_cancellable_cancel(job.cancellable.get());
            }
        }
        m_wake.notify_one();
        m_thread.join();
    }

    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    struct Job {
        std::function<void(Worker&)> work;
        OwnedCancellable cancellable;
    };

    void enqueue(std::function<void(Worker&)> work, GCancellable* cancellable) {
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back({std::move(work), OwnedCancellable(static_cast<GCancellable*>(
                                                   g_object_ref(cancellable)))});
        }
        m_wake.notify_one();
    }

    // --- On the worker thread only ---

    // The service and its default keyring, unlocked; empty with the reason
    // otherwise. Never unlocks: that would ask the user for a password.
    OwnedCollection defaultKeyring(QString& why) {
        GCancellable* cancellable = m_cancellable;
        GError* rawError = nullptr;
        if (!m_service) {
            // The shared session connection would end the whole app when
            // the bus goes away; a lost keyring must not.
            GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, cancellable, &rawError);
            if (!bus) {
                OwnedError error(rawError);
                why = describe(error.get());
                return {};
            }
            g_dbus_connection_set_exit_on_close(bus, FALSE);
            m_service.reset(secret_service_open_sync(secret_service_get_type(), nullptr,
                                                     SECRET_SERVICE_OPEN_SESSION, cancellable,
                                                     &rawError));
            // Held until the service holds it, so the setting stays.
            g_object_unref(bus);
            if (!m_service) {
                OwnedError error(rawError);
                why = describe(error.get());
                return {};
            }
        }
        OwnedCollection collection(
            secret_collection_for_alias_sync(m_service.get(), SECRET_COLLECTION_DEFAULT,
                                             SECRET_COLLECTION_NONE, cancellable, &rawError));
        OwnedError error(rawError);
        if (error) {
            why = describe(error.get());
            return {};
        }
        if (!collection) {
            why = QStringLiteral("there is no default keyring");
            return {};
        }
        if (secret_collection_get_locked(collection.get())) {
            why = QStringLiteral("the default keyring is locked");
            return {};
        }
        return collection;
    }

    // Every item with the key, locked ones included; empty with the reason
    // when the search itself failed.
    std::optional<OwnedItems> itemsOf(const SecretItemKey& key, bool loadSecrets, Outcome& result);

    std::optional<OwnedItems> search(const SecretItemKey& key, bool loadSecrets, QString& why) {
        const OwnedAttributes attributes = attributesOf(key);
        const int flags = SECRET_SEARCH_ALL | (loadSecrets ? SECRET_SEARCH_LOAD_SECRETS : 0);
        GError* rawError = nullptr;
        OwnedItems items(secret_service_search_sync(m_service.get(), &schema(), attributes.get(),
                                                    static_cast<SecretSearchFlags>(flags),
                                                    m_cancellable, &rawError));
        OwnedError error(rawError);
        if (error) {
            why = describe(error.get());
            return std::nullopt;
        }
        return items;
    }

    // Cancelled when the caller stops waiting.
    GCancellable* cancellable() const { return m_cancellable; }

    void dropConnection() { m_service.reset(); }

private:
    void loop() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
                if (m_jobs.empty()) {
                    return;
                }
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
                m_cancellable = job.cancellable.get();
            }
            job.work(*this);
            std::lock_guard lock(m_mutex);
            m_cancellable = nullptr;
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stopping = false;
    OwnedService m_service;
    // The running job's; written under the mutex, read freely on this thread.
    GCancellable* m_cancellable = nullptr;
    std::thread m_thread;
};

LibsecretSecretStore::LibsecretSecretStore(std::chrono::milliseconds bound)
    : m_bound(bound)
    , m_worker(std::make_unique<Worker>()) {}

LibsecretSecretStore::~LibsecretSecretStore() = default;

LibsecretSecretStore::Outcome LibsecretSecretStore::run(std::function<Outcome(Worker&)> work) {
    auto promise = std::make_shared<std::promise<Outcome>>();
    std::future<Outcome> answer = promise->get_future();
    const OwnedCancellable cancellable(g_cancellable_new());
    m_worker->enqueue(
        [promise, work = std::move(work)](Worker& worker) {
            Outcome outcome;
            if (g_cancellable_is_cancelled(worker.cancellable())) {
                outcome.failure = QStringLiteral("cancelled");
            } else {
                outcome = work(worker);
            }
            if (!outcome.failure.isEmpty()) {
                worker.dropConnection();
            }
            promise->set_value(std::move(outcome));
        },
        cancellable.get());

    Outcome outcome;
    if (answer.wait_for(m_bound) == std::future_status::ready) {
        outcome = answer.get();
    } else {
        // The worker gives up on its own soon after; nobody waits for it.
        g_cancellable_cancel(cancellable.get());
        outcome.failure = QStringLiteral("no answer within %1 ms").arg(m_bound.count());
    }

    if (outcome.status != Status::failure) {
        m_failing = false;
    } else if (!outcome.failure.isEmpty() && !m_failing.exchange(true)) {
        Log(QStringLiteral("[Keychain] Secret Service unavailable \u2014 ") + outcome.failure);
    }
    return outcome;
}

namespace {

// A failure the user should hear about: the keyring cannot be used.
LibsecretSecretStore::Status unusable(QString& failure, const QString& why) {
    failure = why;
    return SecretStore::Status::failure;
}

SecretItem* itemAt(const GList* node) {
    return static_cast<SecretItem*>(node->data);
}

} // namespace

// The key's items on a usable keyring; none, with the outcome saying so, when
// the keyring cannot be used or holds no such item.
std::optional<OwnedItems> LibsecretSecretStore::Worker::itemsOf(const SecretItemKey& key,
                                                                bool loadSecrets, Outcome& result) {
    QString why;
    const OwnedCollection keyring = defaultKeyring(why);
    auto items = keyring ? search(key, loadSecrets, why) : std::nullopt;
    if (!items) {
        result.status = unusable(result.failure, why);
        return std::nullopt;
    }
    if (!items->get()) {
        result.status = Status::itemNotFound;
        return std::nullopt;
    }
    return items;
}

SecretStore::FindResult LibsecretSecretStore::find(const SecretItemKey& key, bool wantData) {
    Outcome outcome = run([key, wantData](Worker& worker) {
        Outcome result;
        const auto items = worker.itemsOf(key, wantData, result);
        if (!items) {
            return result;
        }
        for (const GList* node = items->get(); node; node = node->next) {
            SecretItem* item = itemAt(node);
            if (secret_item_get_locked(item)) {
                continue;
            }
            result.status = Status::success;
            if (wantData) {
                const OwnedValue value(secret_item_get_secret(item));
                if (value) {
                    gsize length = 0;
                    const gchar* bytes = secret_value_get(value.get(), &length);
                    result.data = QByteArray(bytes, static_cast<qsizetype>(length));
                }
            }
            return result;
        }
        result.status = unusable(result.failure, QStringLiteral("the item is locked"));
        return result;
    });
    return {outcome.status, std::move(outcome.data)};
}

SecretStore::Status LibsecretSecretStore::add(const SecretItemKey& key, const QByteArray& data) {
    return run([key, data](Worker& worker) {
               Outcome result;
               QString why;
               const OwnedCollection keyring = worker.defaultKeyring(why);
               const auto existing = keyring ? worker.search(key, false, why) : std::nullopt;
               if (!existing) {
                   result.status = unusable(result.failure, why);
                   return result;
               }
               if (existing->get()) {
                   // A duplicate: refused, but the keyring itself is fine.
                   result.status = Status::failure;
                   return result;
               }
               const OwnedAttributes attributes = attributesOf(key);
               const OwnedValue value = valueOf(data);
               const QByteArray label = (key.service + QLatin1Char(' ') + key.account).toUtf8();
               GError* rawError = nullptr;
               const OwnedItem created(secret_item_create_sync(
                   keyring.get(), &schema(), attributes.get(), label.constData(), value.get(),
                   SECRET_ITEM_CREATE_NONE, worker.cancellable(), &rawError));
               const OwnedError error(rawError);
               result.status =
                   created ? Status::success : unusable(result.failure, describe(error.get()));
               return result;
           })
        .status;
}

struct LibsecretSecretStore::ItemChange {
    std::function<bool(SecretItem*, GCancellable*, GError**)> apply;
};

SecretStore::Status LibsecretSecretStore::update(const SecretItemKey& key, const QByteArray& data) {
    return changeEvery(key, {[data](SecretItem* item, GCancellable* cancellable, GError** error) {
                           const OwnedValue value = valueOf(data);
                           return secret_item_set_secret_sync(item, value.get(), cancellable,
                                                              error) != FALSE;
                       }});
}

SecretStore::Status LibsecretSecretStore::remove(const SecretItemKey& key) {
    return changeEvery(key, {[](SecretItem* item, GCancellable* cancellable, GError** error) {
                           return secret_item_delete_sync(item, cancellable, error) != FALSE;
                       }});
}

// Every item of the key, changed in turn; a locked item or a failed change
// makes the keyring unusable for this call.
SecretStore::Status LibsecretSecretStore::changeEvery(const SecretItemKey& key,
                                                      const ItemChange& change) {
    return run([key, change](Worker& worker) {
               Outcome result;
               const auto items = worker.itemsOf(key, false, result);
               if (!items) {
                   return result;
               }
               for (const GList* node = items->get(); node; node = node->next) {
                   if (secret_item_get_locked(itemAt(node))) {
                       result.status =
                           unusable(result.failure, QStringLiteral("the item is locked"));
                       return result;
                   }
                   GError* rawError = nullptr;
                   if (!change.apply(itemAt(node), worker.cancellable(), &rawError)) {
                       const OwnedError error(rawError);
                       result.status = unusable(result.failure, describe(error.get()));
                       return result;
                   }
               }
               result.status = Status::success;
               return result;
           })
        .status;
}

} // namespace aimset
