#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

namespace aimset::checkd {

// Words of a text reduced to comparable terms: case-folded, accents dropped,
// Latin words stemmed (so "reports" meets "report"), runs of Chinese or
// Japanese characters cut into overlapping pairs since they have no spaces.
QStringList analyzeTerms(const QString& text);

// What analysis learnt of the words it met: each case-folded word's term.
// Forgotten whenever it grows past limit words (0: never).
struct WordMemory {
    QHash<QString, QString> known;
    qsizetype limit = 0;
};

// The same, remembering words in memory: many texts that share their words
// (the knowledge, at start-up) reduce each distinct word once.
QStringList analyzeTerms(const QString& text, WordMemory& memory);

// The terms of a text in order, plus a fast membership test.
struct TermBag {
    QStringList sequence;
    QSet<QString> terms;

    explicit TermBag(const QString& text);
    bool contains(const QString& term) const { return terms.contains(term); }
};

} // namespace aimset::checkd
