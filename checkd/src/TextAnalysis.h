#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace aimset::checkd {

// Words of a text reduced to comparable terms: case-folded, accents dropped,
// Latin words stemmed (so "reports" meets "report"), runs of Chinese or
// Japanese characters cut into overlapping pairs since they have no spaces.
QStringList analyzeTerms(const QString& text);

// The terms of a text in order, plus a fast membership test.
struct TermBag {
    QStringList sequence;
    QSet<QString> terms;

    explicit TermBag(const QString& text);
    bool contains(const QString& term) const { return terms.contains(term); }
};

} // namespace aimset::checkd
