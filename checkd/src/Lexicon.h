#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace aimset::checkd {

// What the offline judge knows about the world, as plain phrases; they are
// analysed (stemmed, folded) once when first used.
struct DistractionEntry {
    QString phrase;
    QString kind;  // said in reasons: "streaming", "social media", ...
    double weight; // 1 for a named site or app, less for a word that only hints
};

struct Lexicon {
    // Words that say nothing about the topic of an aimset ("finish", "my").
    QStringList stopwords;
    // Groups of words that belong to one field of work; an aimset that
    // names one member is served by windows naming the others.
    QList<QStringList> topics;
    // Sites, apps and words that mark leisure when the aimset does not name them.
    QList<DistractionEntry> distractions;
    // Places that serve work and play alike; without any link to the aimset
    // they lean towards play.
    QStringList leisureLeaning;
    // Apps that play in the background (music); closing them helps nobody.
    QStringList background;
    // Browsers: a page in one is a chosen destination, not a work tool.
    QStringList browsers;
    // Sites that serve work of any kind (reference, documents, search).
    QStringList workSites;
    // Window title parts that name a leisure site by themselves ("X").
    QList<DistractionEntry> siteSegments;
    // Browser and app names that trail window titles.
    QStringList titleSuffixes;

    static const Lexicon& builtIn();
};

} // namespace aimset::checkd
