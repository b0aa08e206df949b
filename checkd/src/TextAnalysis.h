#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace aimset::checkd {

// Words of a text reduced to comparable terms: case-folded, accents dropped,
// Latin words stemmed (so "reports" meets "report"), runs of Chinese or
// Japanese characters cut into overlapping pairs since they have no spaces.
QStringList analyzeTerms(const QString& text);

// The terms of a text in order, plus a fast membership test and the whole
// sequence as one space-padded string for phrase look-ups (" pull request ").
struct TermBag {
    QStringList sequence;
    QSet<QString> terms;
    QString joined;

    explicit TermBag(const QString& text);
    bool contains(const QString& term) const { return terms.contains(term); }
    // A phrase given as analysed terms joined by single spaces.
    bool containsPhrase(const QString& phrase) const;
    // The same, with the phrase already padded by one space on each side.
    bool containsPadded(const QString& phrase, const QString& padded) const;
};

// The analysed form of a phrase: its terms joined by single spaces.
QString analyzePhrase(const QString& phrase);

} // namespace aimset::checkd
