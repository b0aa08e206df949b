#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstring>

namespace aimset::checkd {

// FNV-1a, one value at a time: the same in every process and build, unlike
// Qt's seeded hashes, so what the build or a file stores the program can
// look up or check.
constexpr quint64 kFnvOffset = 14695981039346656037ULL;
constexpr quint64 fnvMix(quint64 hash, quint64 value) {
    return (hash ^ value) * 1099511628211ULL;
}

// Words of a text reduced to comparable terms: case-folded, accents dropped,
// Latin words stemmed (so "reports" meets "report"), runs of Chinese or
// Japanese characters cut into overlapping pairs since they have no spaces.
QStringList analyzeTerms(const QString& text);

// A word or term as the key of a hash table. With this Qt, on processors with
// VAES, hashing a string of under eight characters costs about 100 ns and
// slows the vector code that runs after any string hash; terms are short and
// looked up by the thousand, so these keys go four characters at a time
// through Qt's (seeded) integer hash instead.
struct TermKey {
    QString text;
    TermKey(const QString& term) // implicit: tables are asked with plain strings
        : text(term) {}
    // Equal terms are equal code units; comparing them as bytes spares a
    // library call per lookup.
    friend bool operator==(const TermKey& a, const TermKey& b) noexcept {
        return a.text.size() == b.text.size() &&
               std::memcmp(a.text.constData(), b.text.constData(),
                           static_cast<size_t>(a.text.size()) * sizeof(QChar)) == 0;
    }
};
size_t qHash(const TermKey& key, size_t seed) noexcept;

template <typename T> using TermHash = QHash<TermKey, T>;
using TermSet = QSet<TermKey>;

// What analysis learnt of the words it met: each case-folded word's term.
// Forgotten whenever it grows past limit words (0: never).
struct WordMemory {
    TermHash<QString> known;
    qsizetype limit = 0;
};

// The same, remembering words in memory: many texts that share their words
// (the knowledge, at start-up) reduce each distinct word once.
QStringList analyzeTerms(const QString& text, WordMemory& memory);

// A term as the stemmer of another language reduces it ("warmepumpen" and
// "warmepump" become one in German); language is a Snowball algorithm's
// name. Unknown languages leave the term as it is.
QString formIn(const QString& term, const char* language);

// The terms of a text in order, each distinct one once in the order the
// text first gives it (so that what a reading finds first does not hang on
// a hash's seed), plus a fast membership test.
struct TermBag {
    QStringList sequence;
    QStringList distinct;
    QSet<QString> terms;

    explicit TermBag(const QString& text);
    bool contains(const QString& term) const { return terms.contains(term); }
};

} // namespace aimset::checkd
