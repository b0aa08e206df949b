#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace aimset::checkd {

// What a kind of place usually is when the aimset does not ask for it.
enum class Leaning {
    work,       // office, development, mail: a tool of some work
    reference,  // encyclopedias, dictionaries: looking anything up may serve the work
    neutral,    // browsers, file managers: says nothing by itself
    mixed,      // video sites, forums, music: work or play, the page decides
    leisure,    // games, feeds, streaming, shopping: play unless the aimset asks for it
    background, // a music player playing a track
    messages,   // chat: the people and the subject decide, never play by itself
    forum,      // forums, communities: a thread on the aimset's subject, else play
    errand,     // shops, trips, jobs, homes: what some aimsets need, play for the others
};

// What the offline judge knows about the world, read from plain text files
// kept with the sources (checkd/data/knowledge). Each file is made of
// "[section]" headers followed by comma-separated phrases; "#" starts a
// comment line.
struct Knowledge {
    struct Category {
        QString name; // "game", "video", "office", ...
        Leaning leaning = Leaning::neutral;
        QStringList places; // apps and sites as they appear in window titles
    };
    struct Topic {
        QString name;
        bool broad = false;  // a wide field ("programming"): its words relate less
        bool play = false;   // about play itself (a game, a show): signs of play weigh less
        QStringList intends; // categories that serve an aimset of this topic
        QStringList words;   // in English, German, Spanish and French
    };
    struct Cue {
        QString kind;        // said in reasons: "memes", "highlights", ...
        bool leisure = true; // false: a sign of learning ("tutorial", "lecture")
        QStringList phrases;
        // News, releases, events, careers or rankings of a field
        // ("release notes", "keynote", "salaries"): not the field's work.
        bool news = false;
        bool aimOnly = false; // a news sign only in an aimset ("upgrade to")
    };

    QStringList stopwords; // say nothing about a topic ("finish", "my", "für")
    QStringList generic;   // too common to relate two things alone ("guide", "best")
    struct Language {
        QString name; // as the topic of learning it is named ("spanish")
        QStringList words;
    };
    QList<Language> languages; // the most common words of each
    QList<Category> categories;
    QList<Topic> topics;
    QList<Cue> cues;
    // Words that papers and magazines are named by ("Times", "Zeitung"):
    // a site part built on one is a place of news the knowledge need not list.
    QStringList mastheads;

    // How much each piece of evidence (named in evidenceNames()) counts
    // toward "aligned" in the offline judge's score, fitted on labelled
    // cases; a name left out counts nothing. Where the judge's rules do not
    // find a window aligned, a score at or above alignedFrom is aligned,
    // one below closedBelow (with a sign of play) misaligned, anything
    // between a question to the user. Without weights the rules decide.
    struct Weights {
        QList<double> byEvidence;
        double bias = 0;
        double alignedFrom = 0;
        double closedBelow = 0;
    };
    std::optional<Weights> weights;

    // How telling the first words of a window are of a distraction, whatever
    // the aimset, fitted on labelled windows (window-words.txt): the bias
    // plus the weights of its words and pairs of neighbouring words, over
    // the square root of how many it has. Without it nothing is scored.
    struct WindowWords {
        // By the hash of the term ("word" or "word word", in UTF-8), in order.
        std::vector<std::pair<quint64, float>> weights;
        double bias = 0;
        double askedFrom = 0;  // a window kept for shared words is asked about from here up
        double closedFrom = 0; // one that nothing links to the aimset is closed from here up
        int words = 0;         // how many of the first words count
        // How likely a check is of a distraction (a logit), from the judge's
        // evidence (by evidenceNames()) and this score: a title or page that
        // nothing links to the aimset, less likely than its "kept below", is
        // kept, and so is a page asked about for the little it shares at a
        // place of play, less likely than "shared kept below" (without it,
        // never). Without them (likelyByEvidence empty) such windows are asked about.
        QList<double> likelyByEvidence;
        double likelyBias = 0;
        double likelyScore = 0;
        double titleKeptBelow = 0;
        double textKeptBelow = 0;
        double sharedKeptBelow = -std::numeric_limits<double>::infinity();
        // A window kept for words it shares is asked about from this
        // likelihood up, as from the score's "asked from" (without it, never).
        double askedFromLikely = std::numeric_limits<double>::infinity();
        // And one that nothing links to the aimset is closed from this
        // likelihood up, as from the score's "closed from" (without it, never).
        double closedFromLikely = std::numeric_limits<double>::infinity();
        // At a place of work and play (a video site) from this one up, where
        // the file sets it: there the words tell less.
        double mixedClosedFromLikely = std::numeric_limits<double>::infinity();
        // Any page still asked about is closed from this likelihood up,
        // whatever the rules asked for (without it, never).
        double questionClosedFromLikely = std::numeric_limits<double>::infinity();
        QList<QStringList> ignored; // phrases left out (a browser's own name)
        // Kinds of place never told as a sign (those of a neutral leaning,
        // set on loading): a browser or a search page says nothing by itself,
        // whatever its weight.
        QStringList quietKinds;
        static quint64 hashOf(QByteArrayView utf8);
        // The words of a window's start that count, lower-cased.
        QStringList firstWords(const QString& text) const;
        // The window's terms as the score reads them.
        QStringList termsOf(const QString& text) const;
        // Its score, with terms of what the window is for the aimset ("@shopping")
        // beside its words; *telling, if given, gets the two words, pairs or kinds
        // of place (not quiet ones) that count most toward it.
        double score(const QString& text, const QStringList& context = {},
                     QStringList* telling = nullptr) const;
    };
    std::optional<WindowWords> windowWords;

    // The phrases' terms as the build reduced them (OfflineJudge::reduceKnowledge),
    // where the program carries them; a judge uses them only if they are of
    // exactly these phrases, and reduces the phrases itself otherwise.
    QByteArray reducedTerms;

    // The evidence the offline judge weighs, in the order of Weights::byEvidence.
    static const QStringList& evidenceNames();

    // The files words.txt, places.txt, topics.txt, cues.txt and weights.txt of a directory
    // (a resource path works too), and window-words.txt where it has one. On a malformed file
    // returns nothing and says which file and line is wrong and why.
    static std::optional<Knowledge> load(const QString& directory, QString* error);

    // The knowledge shipped inside the program, read anew on each call: a
    // judge keeps what it needs, so the text need not stay in memory. With
    // it come the reduced terms, where the program was built with them.
    static Knowledge builtIn();
};

} // namespace aimset::checkd
