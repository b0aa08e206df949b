#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <mutex>

namespace aimset {

class SecretStore;

// The user's two usage counters, kept across launches as one secret-store
// item each ("completedSessions", "totalInterventions") holding the count as
// decimal text. Holds nothing of its own but the per-counter locks; every
// operation may run on any thread, and a missing or unreadable counter is 0.
// The store may take seconds to answer (a keyring daemon that hangs), so the
// app calls these off the main thread only. Nothing is ever deleted: a read
// that fails is not a missing counter.
class UsageStore {
public:
    static const QString service;
    static const QString completedSessionsKey;
    static const QString totalInterventionsKey;

    explicit UsageStore(SecretStore& secrets);

    std::int64_t readCount(const QString& key);
    // Adds the item, or replaces its data when it exists.
    void writeCount(const QString& key, std::int64_t value);
    // One step with respect to other increments of the same key, so two
    // increments close together both count. Stays at the largest value
    // rather than wrapping to a negative count.
    void incrementCount(const QString& key);

private:
    std::mutex& lockFor(const QString& key);

    SecretStore& m_secrets;
    std::mutex m_locksMutex;
    // Map nodes stay put, so a lock handed out stays valid.
    std::map<QString, std::mutex> m_locks;
};

} // namespace aimset
