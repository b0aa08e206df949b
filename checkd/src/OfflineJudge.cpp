#include "OfflineJudge.h"

#include "Specifics.h"
#include "TextAnalysis.h"

#include <QDataStream>
#include <QHash>
#include <QIODevice>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace aimset::checkd {

namespace {

// How much each kind of evidence counts. An aimset word found in the window
// counts fully; a word of the aimset's field less, and a pile of them is
// capped, since a long page names many things in passing.
constexpr double kRelatedWeight = 0.6;
constexpr double kRelatedGenericWeight = 0.3;
constexpr double kRelatedCap = 1.8;
constexpr double kStemWeight = 0.6;
constexpr double kNumberWeight = 0.35;
constexpr double kWeakTermWeight = 0.5; // generic words and site names in an aimset
constexpr double kFragmentWeight = 0.4; // a word of an aimset's phrase, alone
constexpr double kMixedPlace = 0.5;
constexpr double kLeisurePlace = 1.0;
constexpr double kCue = 1.0;
constexpr double kStrongRelated = 1.5;   // more than one word of the aimset or its field
constexpr qsizetype kTitleLength = 120;  // the longest text read as "app - title" alone
constexpr qsizetype kLongestTitle = 400; // the longest text whose parts may name a place

enum class Role : quint8 { place, topic, cue };

using Kind = Specific::Kind;

QString quoted(const QString& text) {
    return QStringLiteral("\u201C") + text + QStringLiteral("\u201D");
}

// The words that told the window-word score of play: " (holiday, song)".
QString signsOf(const QStringList& telling) {
    return QStringLiteral(" (") + telling.join(QStringLiteral(", ")) + QLatin1Char(')');
}

// Why a window those words close is closed, when it shares nothing named.
QString playUnrelatedTo(const QString& aimset, const QStringList& telling) {
    return QStringLiteral("Looks like a distraction") + signsOf(telling) +
           QStringLiteral(", unrelated to ") + quoted(aimset);
}

// The first few things found, each once ("acme/inventory-api" gives three terms).
QString mentioned(const QStringList& matched, qsizetype most) {
    QStringList distinct;
    for (const QString& item : matched) {
        if (distinct.size() < most && !distinct.contains(item, Qt::CaseInsensitive)) {
            distinct.append(item);
        }
    }
    return distinct.join(QStringLiteral(", "));
}

// Whether a title says it shows how something is done, step by step.
bool showsHowTo(const QString& named) {
    static const QRegularExpression form(
        QStringLiteral("\\b(how to|tutorial|step by step|for beginners|walkthrough|cómo|come si "
                       "fa|wie man|anleitung|lernen|para principiantes|para iniciantes|pour "
                       "débutants|für anfänger|diy|tutoriel|tuto|comment faire|pas à pas|paso a "
                       "paso|schritt für schritt|für einsteiger)\\b"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    return form.match(named).hasMatch();
}

// A how-to video on a full word of the aimset or of its field ("Cómo
// etiquetar cajas para una mudanza" to a move) shows how its work is done:
// kept, not asked about. Talks, shows and clips on that word stay asked about.
OfflineJudge::Decision taught(OfflineJudge::Decision asked, const auto& weighing) {
    const auto& r = weighing.reading;
    // On a video site an explainer, a set of exercises, tips, a subject in so
    // many minutes or steps, and a title that asks how teach as a how-to does
    // ("Comment animer un comité de pilotage"); one that asks why tells a story.
    static const QRegularExpression explains(
        QStringLiteral(
            "\\b(explained|erklärt|expliqué|expliquée|expliqués|expliquées|explicado|"
            "explicada|explicados|explicadas|spiegato|spiegata|spiegati|exercises|"
            "exercices|ejercicios|esercizi|übungen|richtig|mode d'emploi|tips|tipps|"
            "astuces|consejos|dicas|consigli|step-by-step|how (?:an? |the )?[\\w-]+ "
            "works|(?:in|en) \\d+ (?:steps|étapes|pasos|schritten|minutes|minutos|"
            "minuten|minuti))\\b|(?:^|[-\u2013\u2014|:] )(?:comment|como|come|how|wie) "),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    if (asked.verdict != OfflineJudge::Verdict::unclear ||
        r.leisureKind != QStringLiteral("video") || r.matched.isEmpty() ||
        (r.strongTies == 0 && r.related == 0) ||
        !(showsHowTo(weighing.named) || explains.match(weighing.named).hasMatch())) {
        return asked;
    }
    return {OfflineJudge::Verdict::aligned, QStringLiteral("Mentions ") + mentioned(r.matched, 3)};
}

// Each piece of evidence times its weight (in the order of evidenceNames()).
double weighed(const QList<double>& weights, const QList<double>& evidence) {
    double sum = 0;
    for (qsizetype i = 0; i < evidence.size() && i < weights.size(); ++i) {
        sum += weights.at(i) * evidence.at(i);
    }
    return sum;
}

// Kinds of places named after one work, a game or a show, not a site.
const QStringList kTitledKinds = {QStringLiteral("game"), QStringLiteral("shows")};

bool isNumber(const QString& term) {
    return std::all_of(term.begin(), term.end(), [](QChar c) { return c.isDigit(); });
}

bool isApostrophe(QChar c) {
    return c == QLatin1Char('\'') || c == QChar(0x2019);
}

// Analysis drops single letters, so "t-online" would be found as "online"
// and "r language" as "language": such phrases are left out. One between
// two words ("rozmowa o pracę", "ferie e permessi") or elided before one
// ("chasse d'eau") goes from windows alike, and what is left still reads as
// the phrase, unless a single word is left ("l'art", "l'express").
bool losesALetter(const QString& phrase, qsizetype words) {
    // Every phrase of the knowledge passes here: a letter inside a word is
    // passed over on the first tests.
    for (qsizetype i = 0; i < phrase.size(); ++i) {
        if (!phrase.at(i).isLetter() || (i > 0 && phrase.at(i - 1).isLetterOrNumber()) ||
            (i + 1 < phrase.size() && phrase.at(i + 1).isLetterOrNumber())) {
            continue;
        }
        const bool joined = i + 2 < phrase.size() && phrase.at(i + 1) == QLatin1Char('-') &&
                            phrase.at(i + 2).isLetter();
        const bool afterApostrophe = i > 0 && isApostrophe(phrase.at(i - 1));
        const bool between = i > 1 && i + 2 < phrase.size() &&
                             phrase.at(i - 1) == QLatin1Char(' ') &&
                             phrase.at(i + 1) == QLatin1Char(' ');
        const bool elided = words > 1 && i + 2 < phrase.size() && isApostrophe(phrase.at(i + 1)) &&
                            phrase.at(i + 2).isLetter();
        if (!joined && !afterApostrophe && !between && !elided) {
            return true;
        }
    }
    return false;
}

// The analysed terms of a list of phrases end to end: one array for the
// list, not one for each phrase, as all of the knowledge's are held at once.
struct AnalysedList {
    QStringList terms;
    QList<int> ends; // where each phrase's terms end
    std::span<const QString> at(qsizetype phrase) const {
        const int from = phrase == 0 ? 0 : ends.at(phrase - 1);
        return {terms.constData() + from, static_cast<size_t>(ends.at(phrase) - from)};
    }
};

// The phrases the index is built from, list by list: each topic's words,
// each category's names of places (a place's several names one by one),
// then each cue's phrases (none for signs of news, found as written).
QList<QStringList> phraseLists(const Knowledge& knowledge) {
    QList<QStringList> lists;
    lists.reserve(knowledge.topics.size() + knowledge.categories.size() + knowledge.cues.size());
    for (const Knowledge::Topic& topic : knowledge.topics) {
        lists.append(topic.words);
    }
    for (const Knowledge::Category& category : knowledge.categories) {
        QStringList names;
        for (const QString& place : category.places) {
            // Most places have one name: it is shared, not cut out anew.
            if (!place.contains(QLatin1Char('='))) {
                names.append(place.trimmed());
                continue;
            }
            for (const QString& name : place.split(QLatin1Char('='))) {
                names.append(name.trimmed());
            }
        }
        lists.append(names);
    }
    for (const Knowledge::Cue& cue : knowledge.cues) {
        lists.append(cue.news ? QStringList() : cue.phrases);
    }
    return lists;
}

// Each phrase analysed once. That is most of building the index, so the
// lists are shared among the cores, each worker with its own memory of the
// words it reduced (the caller's for the first).
QList<AnalysedList> analyseLists(const QList<QStringList>& lists, WordMemory& words) {
    QList<AnalysedList> analysedLists(lists.size());
    AnalysedList* const analysed = analysedLists.data();
    const qsizetype workers = std::clamp<qsizetype>(std::thread::hardware_concurrency(), 1, 4);
    const auto analyse = [&lists, analysed, workers](qsizetype first, WordMemory& memory) {
        for (qsizetype l = first; l < lists.size(); l += workers) {
            AnalysedList& list = analysed[l];
            list.terms.reserve(lists.at(l).size());
            list.ends.reserve(lists.at(l).size());
            for (const QString& word : lists.at(l)) {
                list.terms.append(analyzeTerms(word, memory));
                list.ends.append(static_cast<int>(list.terms.size()));
            }
            // Phrases of several words grew it past their count.
            list.terms.squeeze();
        }
    };
    std::vector<std::thread> helpers;
    for (qsizetype w = 1; w < workers; ++w) {
        helpers.emplace_back([&analyse, w] {
            WordMemory own;
            analyse(w, own);
        });
    }
    analyse(0, words);
    for (std::thread& helper : helpers) {
        helper.join();
    }
    return analysedLists;
}

// Reduced terms stored by the build are used only for the very phrases
// they were reduced from, in the same lists.
constexpr quint32 kReducedMagic = 0x41524454; // "ARDT"
constexpr quint32 kReducedVersion = 1;

// FNV-1a over the lists' sizes and characters, the same in the build's
// process and the program's.
quint64 fingerprintOf(const QList<QStringList>& lists) {
    quint64 hash = kFnvOffset;
    const auto mix = [&hash](quint64 value) { hash = fnvMix(hash, value); };
    mix(static_cast<quint64>(lists.size()));
    for (const QStringList& list : lists) {
        mix(static_cast<quint64>(list.size()));
        for (const QString& phrase : list) {
            mix(static_cast<quint64>(phrase.size()));
            for (const QChar c : phrase) {
                mix(c.unicode());
            }
        }
    }
    return hash;
}

// The lists' terms as a build stored them, or nothing when they are not
// there, not whole or not of these phrases.
std::optional<QList<AnalysedList>> readReduced(const QByteArray& data,
                                               const QList<QStringList>& lists) {
    if (data.isEmpty()) {
        return std::nullopt;
    }
    QDataStream in(data);
    in.setVersion(QDataStream::Qt_6_0);
    in.setByteOrder(QDataStream::LittleEndian);
    quint32 magic = 0;
    quint32 version = 0;
    quint64 fingerprint = 0;
    QStringList distinct;
    in >> magic >> version >> fingerprint;
    if (magic != kReducedMagic || version != kReducedVersion ||
        fingerprint != fingerprintOf(lists)) {
        return std::nullopt;
    }
    in >> distinct;
    QList<AnalysedList> analysedLists(lists.size());
    QList<quint32> indices;
    for (qsizetype l = 0; l < lists.size() && in.status() == QDataStream::Ok; ++l) {
        AnalysedList& list = analysedLists[l];
        in >> list.ends >> indices;
        const bool whole = list.ends.size() == lists.at(l).size() &&
                           (list.ends.isEmpty() ||
                            (list.ends.first() >= 0 && list.ends.last() == indices.size())) &&
                           std::is_sorted(list.ends.begin(), list.ends.end());
        if (!whole) {
            return std::nullopt;
        }
        list.terms.reserve(indices.size());
        for (const quint32 index : std::as_const(indices)) {
            if (index >= static_cast<quint32>(distinct.size())) {
                return std::nullopt;
            }
            list.terms.append(distinct.at(index));
        }
    }
    if (in.status() != QDataStream::Ok || !in.atEnd()) {
        return std::nullopt;
    }
    return analysedLists;
}

} // namespace

// The knowledge, analysed once: every phrase under its first term, so that
// one pass over a window's terms finds every place, topic word and cue.
// Tens of thousands of phrases stay in memory for the service's life, so
// they are kept in a few flat arrays rather than a list apiece.
struct OfflineJudge::Index {
    struct Entry {
        int restAt;    // its terms after the first, in restTerms
        int restCount; // how many
        int ref;       // category, topic or cue number
        int id;        // the phrase's own number, to count distinct phrases
        int text;      // the same for every phrase with the same analysed words
        Role role;
        bool generic;
        bool broad;
    };
    struct Range {
        int begin = 0; // in entries
        int count = 0;
    };
    // The phrases as written, by id, end to end in one string.
    struct Phrases {
        QString text;
        QList<int> ends;
        void append(const QString& phrase) {
            text += phrase;
            ends.append(static_cast<int>(text.size()));
        }
        qsizetype size() const { return ends.size(); }
        QString at(qsizetype id) const {
            const int from = id == 0 ? 0 : ends.at(id - 1);
            return text.sliced(from, ends.at(id) - from);
        }
    };
    struct Category {
        QString name;
        Leaning leaning;
    };
    struct Topic {
        QString name;
        bool play;
        bool broad;
        QList<int> intends;
        int trade = -1;        // the kind of place it is first served by, if specific
        bool language = false; // a language's own topic ("italian")
    };

    TermHash<Range> byFirst; // first term -> its entries, in the order added
    QList<Entry> entries;
    QStringList restTerms;
    // Single analysed terms -> their text number (a phrase of several keeps
    // its number in its entry only).
    TermHash<int> textIds;
    Phrases shown;

    // What only building the index needs, dropped once it is built.
    struct Building {
        // A first term's entries: its group's number is its range's begin
        // until the index is built, its first entry the group's head.
        QList<int> heads;
        QList<int> next;    // the next entry with the same first term, -1 after the last
        QList<int> groupOf; // by entry
        int textCount = 0;  // texts numbered so far, of one term or several
    } building;
    std::span<const Entry> entriesOf(const QString& first) const {
        const auto found = byFirst.constFind(first);
        return found == byFirst.constEnd()
                   ? std::span<const Entry>()
                   : std::span<const Entry>(entries.constData() + found->begin, found->count);
    }
    QList<Category> categories;
    QList<Topic> topics;
    QList<Knowledge::Cue> cues;
    QSet<QString> errandKinds; // names of errand categories ("shopping"), as cue kinds too
    TermSet stopTerms;
    TermSet genericTerms;
    TermSet placeTerms;              // single-term place names
    TermSet fieldTerms;              // single-term words of topics
    TermHash<QList<int>> wordTopics; // the same, to their topics (not generic ones)

    // The topics of the parts of a joined word ("Steuerbescheid": "Steuer"),
    // as German writes many; both parts are tried, with and without a
    // joining "s" ("Arbeitsvertrag").
    QList<int> partTopics(const QString& term) const {
        constexpr qsizetype kShortest = 4;
        if (term.size() < 2 * kShortest + 1 || wordTopics.contains(term)) {
            return {};
        }
        for (qsizetype cut = term.size() - kShortest; cut >= kShortest; --cut) {
            const QString head = term.left(cut);
            for (const QString& part :
                 {term.mid(cut), head,
                  head.endsWith(QLatin1Char('s')) ? head.chopped(1) : QString()}) {
                if (part.size() >= kShortest) {
                    if (const auto found = wordTopics.constFind(part); found != wordTopics.cend()) {
                        return *found;
                    }
                }
            }
        }
        return {};
    }
    struct Language {
        QString name;
        TermSet terms;
    };
    QList<Language> languages;
    // A phrase found only as a whole title part, with its analysed words
    // for where it stands among the window's terms.
    struct Part {
        Entry entry;
        QStringList terms;
    };
    QList<Part> wholeParts;
    // The other names of a site ("twitter" = "x"), by phrase id -> its first name's id.
    QHash<int, int> sameSite;
    // The terms of the first name of each site with several names.
    QHash<int, QStringList> siteTerms;
    int siteOf(int id) const { return sameSite.value(id, id); }
    QHash<QString, QList<int>> parts;  // case-folded title part -> its phrases
    TermHash<QList<int>> partsByFirst; // first term -> its phrases, to find names in an aimset
    qsizetype longestPart = 0;

    std::optional<Knowledge::Weights> weights;
    std::optional<Knowledge::WindowWords> windowWords;

    // Signs of a field's news, releases, events, careers or rankings, found
    // as written ("vs", "what's new"), a group for each kind. An aimset that
    // names one, or a word of choosing or upgrading, is about such things.
    QRegularExpression newsSigns;
    QStringList newsKinds; // by group
    QRegularExpression newsAims;
    // Publication words of a site's name, as words and as found joined to another.
    QRegularExpression mastheads;
    QStringList mastheadWords;

    // Any of the phrases, longest first; "<Name>" stands for a capitalised
    // name ("<Name> vs <Name>"), not a code ("SN1 vs SN2").
    static QString anyOf(QStringList phrases) {
        std::sort(phrases.begin(), phrases.end(),
                  [](const QString& a, const QString& b) { return a.size() > b.size(); });
        static const QString name = QStringLiteral("<Name>");
        for (QString& phrase : phrases) {
            QStringList pieces = phrase.split(name);
            for (QString& piece : pieces) {
                piece = QRegularExpression::escape(piece);
            }
            phrase = pieces.join(QStringLiteral("(?-i:\\p{Lu})\\p{L}+"));
        }
        return phrases.join(QLatin1Char('|'));
    }
    static QRegularExpression wordsOf(const QStringList& alternatives) {
        return QRegularExpression(alternatives.isEmpty()
                                      ? QStringLiteral("(?!)")
                                      : QStringLiteral("(?<![\\p{L}\\p{N}])(?:") +
                                            alternatives.join(QLatin1Char('|')) +
                                            QStringLiteral(")(?![\\p{L}\\p{N}])"),
                                  QRegularExpression::CaseInsensitiveOption |
                                      QRegularExpression::UseUnicodePropertiesOption);
    }

    // "Feed" in quotes, and names too short to find as words ("X"), count
    // only as a whole part of a title ("(5) Feed | LinkedIn", "Home / X").
    // A channel ("#music") too: without its "#" it is a common word.
    static bool wholePartOnly(const QString& phrase) {
        return (phrase.size() > 2 && phrase.startsWith(QLatin1Char('"')) &&
                phrase.endsWith(QLatin1Char('"'))) ||
               phrase.startsWith(QLatin1Char('#'));
    }

    // A phrase found only as a whole title part; its terms say where it
    // stands among a window's terms.
    void addPart(const QString& phrase, std::span<const QString> terms, Role role, int ref,
                 bool broad) {
        const QString part =
            (phrase.startsWith(QLatin1Char('"')) ? phrase.mid(1, phrase.size() - 2) : phrase)
                .trimmed();
        if (part.isEmpty()) {
            return;
        }
        QList<int>& same = parts[part.toCaseFolded()];
        for (const int p : std::as_const(same)) {
            if (wholeParts.at(p).entry.role == role && wholeParts.at(p).entry.ref == ref) {
                return;
            }
        }
        same.append(static_cast<int>(wholeParts.size()));
        // A channel ("#music") is named with its "#"; the bare word is a common one.
        if (!terms.empty() && !phrase.startsWith(QLatin1Char('#'))) {
            partsByFirst[terms.front()].append(static_cast<int>(wholeParts.size()));
        }
        const int id = static_cast<int>(shown.size());
        shown.append(part);
        wholeParts.append({{0, static_cast<int>(terms.size()) - 1, ref, id, building.textCount++,
                            role, false, broad},
                           QStringList(terms.begin(), terms.end())});
        longestPart = std::max(longestPart, part.size());
    }

    // A phrase with its analysed terms.
    void add(const QString& phrase, std::span<const QString> terms, Role role, int ref,
             bool broad = false) {
        if (wholePartOnly(phrase)) {
            addPart(phrase, terms, role, ref, broad);
            return;
        }
        if (terms.empty()) {
            return;
        }
        // "W-2" keeps only its "2", which would match any window with a 2.
        if (terms.size() == 1 && isNumber(terms.front()) && terms.front().size() < 3) {
            return;
        }
        if (losesALetter(phrase, terms.size()) ||
            (terms.size() == 1 &&
             (stopTerms.contains(terms.front()) || genericTerms.contains(terms.front())))) {
            return;
        }
        // A name or sign of several words that leaves one word of some field
        // ("in stock", "new episode") would find that word everywhere.
        if (role != Role::topic && terms.size() == 1 && fieldTerms.contains(terms.front()) &&
            phrase.trimmed().contains(QLatin1Char(' '))) {
            return;
        }
        Range& group = byFirst[terms.front()];
        const int restCount = static_cast<int>(terms.size() - 1);
        int last = -1;
        // Phrases of the same analysed words share a text number; all of
        // them begin with this first term, so they are found on the way.
        int sameText = -1;
        for (int e = group.count > 0 ? building.heads.at(group.begin) : -1; e >= 0;
             e = building.next.at(e)) {
            const Entry& entry = entries.at(e);
            if (entry.restCount == restCount &&
                std::equal(terms.begin() + 1, terms.end(), restTerms.begin() + entry.restAt)) {
                if (entry.role == role && entry.ref == ref) {
                    return; // "budget" and "budgets" are one phrase
                }
                sameText = entry.text;
            }
            last = e;
        }
        const int id = static_cast<int>(shown.size());
        shown.append(phrase);
        const bool generic = terms.size() == 1 && genericTerms.contains(terms.front());
        const int text = sameText >= 0 ? sameText : building.textCount++;
        if (terms.size() == 1 && sameText < 0) {
            textIds.insert(terms.front(), text); // a single term is its own text
        }
        const int at = static_cast<int>(entries.size());
        entries.append(
            {static_cast<int>(restTerms.size()), restCount, ref, id, text, role, generic, broad});
        for (const QString& term : terms.subspan(1)) {
            restTerms.append(term);
        }
        building.next.append(-1);
        if (last < 0) {
            group.begin = static_cast<int>(building.heads.size());
            building.heads.append(at);
        } else {
            building.next[last] = at;
        }
        building.groupOf.append(group.begin);
        ++group.count;
        if (role == Role::place && terms.size() == 1) {
            placeTerms.insert(terms.front());
        }
    }

    // Lays each first term's entries side by side and lets go of what
    // building needed.
    void finish() {
        // Each group starts where the ones before it end; its entries keep their order.
        QList<int> starts(building.heads.size() + 1, 0);
        for (const int group : std::as_const(building.groupOf)) {
            ++starts[group + 1];
        }
        std::partial_sum(starts.begin(), starts.end(), starts.begin());
        // Each entry's place, then the entries moved there in cycles: the
        // start-up's peak holds no second copy of them.
        QList<int>& place = building.groupOf;
        QList<int> filled = starts;
        for (int& at : place) {
            at = filled[at]++;
        }
        Entry* const all = entries.data();
        int* const to = place.data();
        for (int e = 0; e < static_cast<int>(entries.size()); ++e) {
            while (to[e] != e) {
                std::swap(all[e], all[to[e]]);
                std::swap(to[e], to[to[e]]);
            }
        }
        for (Range& group : byFirst) {
            group.begin = starts.at(group.begin);
        }
        // A whole part of one word is the same text as that word found as words.
        for (Part& part : wholeParts) {
            if (part.terms.size() == 1) {
                part.entry.text = textIds.value(part.terms.first(), part.entry.text);
            }
        }
        shown.text.squeeze();
        building = {};
    }

    struct Match {
        Role role;
        int ref;
        int id;
        int text;
        qsizetype start;
        qsizetype length;
        bool generic;
        bool broad;
    };

    // Where a phrase's terms first stand in a sequence; -1 if not there.
    static qsizetype runAt(const QStringList& sequence, const QStringList& terms) {
        for (qsizetype i = 0; i + terms.size() <= sequence.size() && !terms.isEmpty(); ++i) {
            if (std::equal(terms.begin(), terms.end(), sequence.begin() + i)) {
                return i;
            }
        }
        return -1;
    }

    // The phrases a case-folded title part names, if any.
    const QList<int>& partsNamed(const QString& folded) const {
        static const QList<int> none;
        const auto hit = parts.constFind(folded);
        return hit == parts.constEnd() ? none : *hit;
    }

    // Every phrase found, except those inside a longer one ("bar" in "bar exam").
    // In an aimset, which has no title parts, the names found only as whole
    // parts count as words ("jobs on Indeed"), unless they are all little words.
    QList<Match> scan(const QStringList& sequence, bool longestOnly = true,
                      bool partsAsWords = false) const {
        QList<Match> found;
        const qsizetype n = sequence.size();
        qsizetype coveredUntil = 0;
        for (qsizetype i = 0; i < n; ++i) {
            const std::span<const Entry> candidates = entriesOf(sequence.at(i));
            const auto named =
                partsAsWords ? partsByFirst.constFind(sequence.at(i)) : partsByFirst.constEnd();
            if (candidates.empty() && named == partsByFirst.constEnd()) {
                continue;
            }
            qsizetype longest = 0;
            const qsizetype firstHere = found.size();
            const auto take = [&](const Entry& entry, qsizetype length) {
                found.append({entry.role, entry.ref, entry.id, entry.text, i, length, entry.generic,
                              entry.broad});
                longest = std::max(longest, length);
            };
            for (const Entry& entry : candidates) {
                const qsizetype length = entry.restCount + 1;
                if (i + length > n) {
                    continue;
                }
                bool same = true;
                for (qsizetype k = 0; k < entry.restCount && same; ++k) {
                    same = sequence.at(i + 1 + k) == restTerms.at(entry.restAt + k);
                }
                if (same) {
                    take(entry, length);
                }
            }
            for (const int p : named == partsByFirst.constEnd() ? QList<int>() : *named) {
                const Part& part = wholeParts.at(p);
                if (i + part.terms.size() <= n &&
                    std::equal(part.terms.begin(), part.terms.end(), sequence.begin() + i) &&
                    !std::all_of(part.terms.begin(), part.terms.end(),
                                 [this](const QString& t) { return stopTerms.contains(t); })) {
                    take(part.entry, part.terms.size());
                }
            }
            // Keep only the longest phrases here, and none inside an earlier one.
            const bool inside = longestOnly && i + longest <= coveredUntil;
            found.erase(std::remove_if(found.begin() + firstHere, found.end(),
                                       [&](const Match& m) {
                                           return inside || (longestOnly && m.length < longest);
                                       }),
                        found.end());
            coveredUntil = std::max(coveredUntil, i + longest);
        }
        return found;
    }

    // The phrases that are a whole part of a short title ("Jobs | Indeed",
    // "(5) Feed | LinkedIn"), where their words stand among its terms.
    // Parts lie between "|", "·", "•", or " - ", " / ", " : " with spaces around.
    void addWholeParts(const QString& title, const QStringList& sequence,
                       QList<Match>& found) const {
        const auto isBar = [](QChar c) {
            return c == QLatin1Char('|') || c == QChar(0x00B7) || c == QChar(0x2022);
        };
        const auto isDash = [](QChar c) {
            return c == QLatin1Char('-') || c == QChar(0x2013) || c == QChar(0x2014) ||
                   c == QLatin1Char('/') || c == QLatin1Char(':');
        };
        const auto lookUp = [&](QStringView part) {
            part = part.trimmed();
            if (part.startsWith(QLatin1Char('('))) { // a counter: "(5) Feed"
                const qsizetype close = part.indexOf(QLatin1Char(')'));
                part = close > 0 ? part.mid(close + 1).trimmed() : part;
            }
            if (part.isEmpty() || part.size() > longestPart) {
                return;
            }
            for (const int p : partsNamed(part.toString().toCaseFolded())) {
                const Part& whole = wholeParts.at(p);
                const qsizetype at = runAt(sequence, whole.terms);
                found.append({whole.entry.role, whole.entry.ref, whole.entry.id, whole.entry.text,
                              std::max<qsizetype>(at, 0), at < 0 ? 0 : whole.terms.size(), false,
                              whole.entry.broad});
            }
        };
        qsizetype begin = 0;
        for (qsizetype i = 0; i < title.size(); ++i) {
            const QChar c = title.at(i);
            const bool spaced = i > 0 && i + 1 < title.size() && title.at(i - 1).isSpace() &&
                                title.at(i + 1).isSpace();
            if (isBar(c) || (isDash(c) && spaced)) {
                lookUp(QStringView(title).mid(begin, i - begin));
                begin = i + 1;
            }
        }
        lookUp(QStringView(title).mid(begin));
    }
};

struct OfflineJudge::Profile {
    struct Term {
        QString analyzed;
        QString shown;
        double weight;
        QStringList forms; // as the stemmers of the aimset's languages reduce it
        bool name = false; // a capitalised word after the first that no field
                           // knows as a word of its own ("Thornbury", not "Rechnung")
    };
    QList<Term> terms;
    QSet<int> topics;
    QSet<int> intended;        // categories that serve this aimset
    bool leisureField = false; // the aimset is about play itself (a game, a show)
    int language = -1;         // the language the aimset is about learning
    int languageTopic = -1;    // and its topic
    bool languagePart = false; // a part of it: its grammar, its words
    QByteArrayList writtenIn;  // the Snowball names of its likeliest languages, if not English
    bool compounds = false;    // its words may be compounds ("Allergenkennzeichnung")
    QSet<int> named;           // phrase ids of places and cues the aimset itself names
    // The words of the places of play it names: a longer name that begins
    // with them is the same game or show ("Stardew" in "Stardew Valley").
    QList<QStringList> namedPlay;
    QSet<int> namedCategories;
    QSet<int> neighbours; // fields whose words are no sign of another subject
    QList<Specific> specifics;
    QList<Specific> subjects; // of school or university ("Makroökonomie")
    bool followsNews = false; // about releases, events, jobs or choosing a tool
    bool namesBills = false;  // "bills", "invoices": a bill is the aimset's own work
    bool translating = false; // into a language, not practising it
    bool playsMusic = false;  // practising an instrument or singing
    bool worksMail = false;   // it is about one's mail itself ("clear my inbox")
    // Its fields and the kinds of places they call for, as the window-word
    // score names them ("topic:bookkeeping", "for:travel").
    QStringList fields;
};

struct OfflineJudge::Reading {
    double direct = 0;
    double related = 0;
    QStringList matched;
    int foreignWords = 0; // phrases of fields the aimset is not about
    int ownWords = 0;     // aimset words and phrases of its fields
    double leisure = 0;   // places and cues together
    double cues = 0;
    double errands = 0; // of that leisure, what shops and listings add
    QString leisureKind;
    QString leisureExample;
    bool leisurePlace = false;
    bool playPlace = false;       // a place of play itself, not of errands
    bool aimsetKnown = false;     // the aimset names a field the knowledge knows
    bool aimsetAboutPlay = false; // about play or practising a language: play may be the work
    bool mixedPlace = false;
    bool intendedPlace = false;
    bool intendedShop = false; // a needed place that sells, lists or plays anything
    bool namedPlace = false;
    bool backgroundPlace = false;
    bool messagePlace = false;
    bool forumPlace = false;
    QString feedName; // a place whose list of posts it shows, none open ("r/piano - Hot")
    bool mapPlace = false;
    QString newsName;        // a place of news the aimset does not need
    int backgroundNames = 0; // "Spotify" alone is the app; "Spotify" and "lofi" is listening
    bool workPlace = false;
    bool referencePlace = false;   // an encyclopedia or dictionary
    bool documentPlace = false;    // a document's editor or viewer, or mail: one's own material
    bool showsFile = false;        // a file's name, its kind after the dot ("plan.xlsx")
    bool conversation = false;     // mail or chat, named by the aimset or not
    QStringList conversationNames; // their names as listed, to find where the title ends
    bool learning = false;
    bool inAimsetLanguage = false;   // written in the language the aimset practises
    bool namesLanguage = false;      // names it ("Easy Italian", "Podcast italiano")
    bool namesOtherLanguage = false; // names only another one ("Duolingo - Italien")
    bool languageCourse = false;     // a course of many languages ("Duolingo", "Babbel")
    int unrelatedWords = 0;          // content words that tie to nothing of the aimset
    bool telling = false;            // a sign of play of several words, or a place of play
    QString intendedCategory;
    int strongTies = 0;  // aimset words of full weight found
    int nameTies = 0;    // of them, names the aimset gives (a town, a firm, a person)
    int subjectTies = 0; // ties that are more than a place's or tool's own name
    bool aimsetFollowsNews = false;
    QStringList placeKinds; // the categories of the places it shows, each once

    double relatedness() const { return direct + related; }
    // Mostly about another field than the aimset's.
    bool aboutElse() const { return foreignWords >= 2 && foreignWords > ownWords; }
    // A shop's or a booking's page with one sign of play at most ("book a
    // table"), for an aimset of a field the knowledge does not know: the
    // errand is not told from play.
    bool errandOfUnknownField() const {
        return leisurePlace && !playPlace && cues <= kCue && !aimsetKnown;
    }
    // One shared word among many others ("Memory Card Game - Play Online") is a
    // coincidence as often as a link; words of another field say so more than
    // names the knowledge does not know ("Sweet Rise Bakery").
    bool oneWordAmongMany() const {
        return matched.size() == 1 && unrelatedWords + 2 * foreignWords >= 4 && !workPlace;
    }
    // ... and when that word is a weak one (generic, a fragment, a number),
    // nothing ties the window to the aimset at all.
    bool oneWeakWordAmongMany() const { return oneWordAmongMany() && direct < 1.0 && related == 0; }
    // One shared word in a place of play or a shop the aimset does not need,
    // the rest of the title of another field ("Speed limits on the Autobahn"
    // to rate limiting): a word in another sense as often as the subject.
    bool oneWordElsewhere() const {
        return matched.size() == 1 && related == 0 && (mixedPlace || leisurePlace) &&
               !intendedPlace && !namedPlace &&
               (foreignWords >= 2 || (!learning && (foreignWords == 1 || unrelatedWords >= 3)));
    }
    // A window kept: what it shares with the aimset, or the needed place it is.
    Decision kept(const QString& aimset) const {
        if (!matched.isEmpty()) {
            return {Verdict::aligned, QStringLiteral("Mentions ") + mentioned(matched, 3)};
        }
        if (intendedPlace) {
            return neededPage(aimset);
        }
        return {Verdict::aligned, QStringLiteral("Fits ") + quoted(aimset)};
    }
    // "An inspiration page, which “…” needs".
    Decision neededPage(const QString& aimset) const {
        const bool vowel = !intendedCategory.isEmpty() &&
                           QStringLiteral("aeiou").contains(intendedCategory.front());
        return {Verdict::aligned, (vowel ? QStringLiteral("An ") : QStringLiteral("A ")) +
                                      intendedCategory + QStringLiteral(" page, which ") +
                                      quoted(aimset) + QStringLiteral(" needs")};
    }
    // The question put when nothing settles a window: what it shares with
    // the aimset and what it looks like instead, or that nothing links them.
    Decision question(const QString& aimset, bool shares) const {
        if (!shares) {
            return {Verdict::unclear, QStringLiteral("No clear link to ") + quoted(aimset)};
        }
        return {Verdict::unclear, QStringLiteral("Mentions ") + mentioned(matched, 3) +
                                      QStringLiteral(", but looks like ") + leisureKind +
                                      QStringLiteral(" (") + leisureExample + QLatin1Char(')')};
    }
};

OfflineJudge::OfflineJudge(Knowledge knowledge)
    : m_index([&knowledge] {
        auto index = std::make_unique<Index>();
        // The lists are sized once for every phrase, so that building the
        // index leaves no grown-out copies behind. The hashes are not: they
        // hold far fewer keys (first words, distinct texts and words), and a
        // hash sized for every phrase takes the next power of two of twice
        // that, several megabytes more than it ever fills.
        qsizetype phrases = 0;
        qsizetype characters = 0;
        const auto count = [&](const QStringList& list) {
            phrases += list.size();
            for (const QString& phrase : list) {
                characters += phrase.size();
            }
        };
        for (const Knowledge::Category& category : knowledge.categories) {
            count(category.places);
        }
        for (const Knowledge::Topic& topic : knowledge.topics) {
            count(topic.words);
        }
        for (const Knowledge::Cue& cue : knowledge.cues) {
            count(cue.phrases);
        }
        index->entries.reserve(phrases);
        index->building.next.reserve(phrases);
        index->building.groupOf.reserve(phrases);
        index->shown.ends.reserve(phrases);
        index->shown.text.reserve(characters);
        // The knowledge's phrases share most of their words: each is reduced
        // once, for as long as the index is being built.
        WordMemory words;
        for (const QString& word : knowledge.stopwords) {
            for (const QString& term : analyzeTerms(word, words)) {
                index->stopTerms.insert(term);
            }
        }
        for (const QString& word : knowledge.generic) {
            if (const QStringList terms = analyzeTerms(word, words); terms.size() == 1) {
                index->genericTerms.insert(terms.first());
            }
        }
        for (const Knowledge::Language& language : knowledge.languages) {
            Index::Language prepared{language.name, {}};
            for (const QString& word : language.words) {
                for (const QString& term : analyzeTerms(word, words)) {
                    prepared.terms.insert(term);
                }
            }
            index->languages.append(prepared);
        }
        // Each phrase of the knowledge (topic words, names of places, cues) is
        // analysed once: here, unless the program was built with its terms.
        QList<QStringList> lists = phraseLists(knowledge);
        QList<AnalysedList> analysedLists;
        if (std::optional<QList<AnalysedList>> stored =
                readReduced(knowledge.reducedTerms, lists)) {
            analysedLists = *std::move(stored);
        } else {
            analysedLists = analyseLists(lists, words);
        }
        // The terms share their characters with the reduced words; the
        // words as written are not needed again.
        words = {};
        // Room for every phrase's terms after its first, so the index's
        // array neither doubles nor is copied to fit.
        qsizetype rest = 0;
        for (const AnalysedList& list : std::as_const(analysedLists)) {
            rest += list.terms.size() - list.ends.size();
        }
        index->restTerms.reserve(rest);
        for (qsizetype t = 0; t < knowledge.topics.size(); ++t) {
            const AnalysedList& analysed = analysedLists.at(t);
            for (qsizetype p = 0; p < analysed.ends.size(); ++p) {
                if (const std::span<const QString> terms = analysed.at(p); terms.size() == 1) {
                    index->fieldTerms.insert(terms.front());
                    if (!index->genericTerms.contains(terms.front()) &&
                        !index->stopTerms.contains(terms.front())) {
                        QList<int>& topics = index->wordTopics[terms.front()];
                        if (!topics.contains(static_cast<int>(t))) {
                            topics.append(static_cast<int>(t));
                        }
                    }
                }
            }
        }
        static const QSet<QString> generalCategories{
            QStringLiteral("reference"), QStringLiteral("learning"),
            QStringLiteral("office"),    QStringLiteral("productivity"),
            QStringLiteral("shopping"),  QStringLiteral("government"),
            QStringLiteral("video")};
        QHash<QString, int> categoryNumber;
        for (const Knowledge::Category& category : knowledge.categories) {
            const int ref = static_cast<int>(index->categories.size());
            categoryNumber.insert(category.name, ref);
            index->categories.append({category.name, category.leaning});
            if (category.leaning == Leaning::errand) {
                index->errandKinds.insert(category.name);
            }
            // The names as listed for analysis, each place's in a row.
            const QStringList names = std::exchange(lists[knowledge.topics.size() + ref], {});
            const AnalysedList placeTerms =
                std::exchange(analysedLists[knowledge.topics.size() + ref], {});
            qsizetype named = 0;
            for (const QString& place : category.places) {
                // "twitter = x": one site under each of its names.
                int first = -1;
                qsizetype firstNamed = 0;
                for (qsizetype left = place.count(QLatin1Char('=')) + 1; left > 0; --left) {
                    const int id = static_cast<int>(index->shown.size());
                    index->add(names.at(named), placeTerms.at(named), Role::place, ref);
                    ++named;
                    if (index->shown.size() == id) {
                        continue; // already known under this category
                    }
                    if (first < 0) {
                        first = id;
                        firstNamed = named - 1;
                    } else {
                        index->sameSite.insert(id, first);
                        if (!index->siteTerms.contains(first)) {
                            const std::span<const QString> terms = placeTerms.at(firstNamed);
                            index->siteTerms.insert(first, QStringList(terms.begin(), terms.end()));
                        }
                    }
                }
            }
        }
        lists.clear();
        for (const Knowledge::Topic& topic : knowledge.topics) {
            const int ref = static_cast<int>(index->topics.size());
            Index::Topic prepared{topic.name, topic.play, topic.broad, {}};
            for (const QString& category : topic.intends) {
                const int number = categoryNumber.value(category, -1);
                prepared.intends.append(number);
                // The kind of place it is first served by, unless that serves
                // nearly every field.
                if (prepared.intends.size() == 1 && number >= 0 && !topic.broad &&
                    !generalCategories.contains(category)) {
                    prepared.trade = number;
                }
            }
            prepared.language =
                std::any_of(index->languages.begin(), index->languages.end(),
                            [&](const Index::Language& l) { return l.name == topic.name; });
            index->topics.append(prepared);
            // Each topic's terms go as soon as the index holds them.
            const AnalysedList analysed = std::exchange(analysedLists[ref], {});
            for (qsizetype w = 0; w < topic.words.size(); ++w) {
                const QString& word = topic.words.at(w);
                index->add(word, analysed.at(w), Role::topic, ref, topic.broad);
            }
        }
        index->cues = knowledge.cues;
        index->weights = knowledge.weights;
        index->windowWords = std::move(knowledge.windowWords);
        QStringList aims;
        QStringList signs;
        for (qsizetype i = 0; i < knowledge.cues.size(); ++i) {
            const Knowledge::Cue& cue = knowledge.cues.at(i);
            if (!cue.news) {
                const AnalysedList& cueTerms =
                    analysedLists.at(knowledge.topics.size() + knowledge.categories.size() + i);
                for (qsizetype p = 0; p < cue.phrases.size(); ++p) {
                    index->add(cue.phrases.at(p), cueTerms.at(p), Role::cue, static_cast<int>(i));
                }
                continue;
            }
            aims.append(Index::anyOf(cue.phrases));
            if (!cue.aimOnly) {
                signs.append(QLatin1Char('(') + aims.last() + QLatin1Char(')'));
                index->newsKinds.append(cue.kind);
            }
        }
        index->newsSigns = Index::wordsOf(signs);
        index->newsAims = Index::wordsOf(aims);
        const auto anyWord = [](const QStringList& list) {
            return Index::wordsOf(list.isEmpty() ? QStringList() : QStringList{Index::anyOf(list)});
        };
        index->mastheads = anyWord(knowledge.mastheads);
        index->mastheadWords = knowledge.mastheads;
        index->finish();
        return index;
    }()) {
    // The index holds what judging needs: the text goes (unless the caller
    // keeps its own copy), and so do the blocks building freed between the
    // ones the index keeps, as whole free pages go back to the system. That
    // takes milliseconds judging need not wait for, so it is done aside.
    m_lettingGo = std::thread([text = std::move(knowledge)]() mutable {
        text = Knowledge{};
#if defined(__GLIBC__)
        malloc_trim(0);
#endif
    });
}

OfflineJudge::~OfflineJudge() {
    if (m_lettingGo.joinable()) {
        m_lettingGo.join();
    }
}

std::shared_ptr<const OfflineJudge::Profile> OfflineJudge::profileOf(const QString& aimset) const {
    // The same few aimsets come back for every window of a session.
    thread_local QHash<QString, std::shared_ptr<const Profile>> cache;
    if (const auto found = cache.constFind(aimset); found != cache.constEnd()) {
        return *found;
    }
    const Index& index = *m_index;
    auto profile = std::make_shared<Profile>();
    // A common word ("service") names no field; the fields named most say
    // which kinds of places the aimset needs.
    QHash<int, int> topicPhrases;
    QSet<QString> fragments; // words of a longer phrase ("bar" of "bar exam")
    const QStringList aimsetTerms = analyzeTerms(aimset);
    for (const Index::Match& match : index.scan(aimsetTerms, true, true)) {
        if (match.role == Role::topic &&
            !(match.length == 1 && index.genericTerms.contains(aimsetTerms.at(match.start)))) {
            profile->topics.insert(match.ref);
            ++topicPhrases[match.ref];
            profile->languagePart |=
                index.topics.at(match.ref).name == QStringLiteral("language learning");
            for (qsizetype l = 0; l < index.languages.size(); ++l) {
                if (index.languages.at(l).name == index.topics.at(match.ref).name) {
                    profile->language = static_cast<int>(l);
                    profile->languageTopic = match.ref;
                }
            }
        }
        if (match.role == Role::topic && match.length > 1) {
            for (qsizetype k = 0; k < match.length; ++k) {
                fragments.insert(aimsetTerms.at(match.start + k));
            }
        }
    }
    // A field's phrase with one word set into it ("close the November books")
    // names the field too.
    for (qsizetype gap = 1; gap + 1 < aimsetTerms.size(); ++gap) {
        QStringList closed = aimsetTerms;
        closed.removeAt(gap);
        for (const Index::Match& match : index.scan(closed, true, true)) {
            if (match.role == Role::topic && match.start < gap &&
                match.start + match.length > gap && !profile->topics.contains(match.ref)) {
                profile->topics.insert(match.ref);
                ++topicPhrases[match.ref];
            }
        }
    }
    const auto isTopicWord = [&index](const QString& term) {
        const std::span<const Index::Entry> entries = index.entriesOf(term);
        return std::any_of(entries.begin(), entries.end(), [](const Index::Entry& e) {
            return e.role == Role::topic && e.restCount == 0;
        });
    };
    QSet<QString> seen;
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    static const QRegularExpression edges(QStringLiteral("^\\W+|\\W+$"));
    for (const QString& word : aimset.split(spaces, Qt::SkipEmptyParts)) {
        for (const QString& term : analyzeTerms(word)) {
            if (index.stopTerms.contains(term) || seen.contains(term)) {
                continue;
            }
            seen.insert(term);
            QString shown = word;
            shown.remove(edges);
            if (shown.isEmpty() || shown.size() > 24) { // a run of CJK text: show its pair
                shown = term;
            }
            // Being on a site the aimset names ("my TikTok") is not yet the work,
            // and a word of a phrase alone ("bar" without "exam") is not its subject.
            const bool weak = index.genericTerms.contains(term) || index.placeTerms.contains(term);
            double weight = isNumber(term) ? kNumberWeight : weak ? kWeakTermWeight : 1.0;
            if (fragments.contains(term) && !isNumber(term)) {
                weight = std::min(weight, isTopicWord(term) ? kRelatedWeight : kFragmentWeight);
            }
            const bool name = weight >= 1.0 && !profile->terms.isEmpty() && !shown.isEmpty() &&
                              shown.at(0).isUpper() && !isTopicWord(term);
            profile->terms.append({term, shown, weight, {}, name});
        }
    }
    // Written in the language of most of its common words, English when in doubt.
    QList<int> counts(index.languages.size(), 0);
    for (const QString& term : aimsetTerms) {
        for (qsizetype l = 0; l < index.languages.size(); ++l) {
            counts[l] += index.languages.at(l).terms.contains(term) ? 1 : 0;
        }
    }
    int best = 0;
    int english = 0;
    for (qsizetype l = 0; l < index.languages.size(); ++l) {
        if (index.languages.at(l).name == QStringLiteral("english")) {
            english = counts.at(l);
        } else {
            best = std::max(best, counts.at(l));
        }
    }
    // English when in doubt, unless the aimset has letters English lacks;
    // of other languages alike, each.
    const bool foreign = best > english || (best > 0 && best == english &&
                                            std::any_of(aimset.begin(), aimset.end(), [](QChar c) {
                                                return c.unicode() > 0x7f && c.isLetter();
                                            }));
    for (qsizetype l = 0; foreign && l < index.languages.size(); ++l) {
        if (counts.at(l) == best && index.languages.at(l).name != QStringLiteral("english")) {
            profile->writtenIn.append(index.languages.at(l).name.toLatin1());
        }
    }
    // English in an English aimset is a school subject or the text's language
    // ("English essay"), seldom a language being practised.
    if (!foreign && profile->language >= 0 &&
        index.languages.at(profile->language).name == QStringLiteral("english")) {
        profile->language = -1;
        profile->languageTopic = -1;
    }
    for (Profile::Term& term : profile->terms) {
        for (const QByteArray& language : std::as_const(profile->writtenIn)) {
            term.forms.append(formIn(term.analyzed, language.constData()));
        }
    }
    // Germanic languages join words into compounds; Romance ones seldom do.
    // Dutch, unknown here, shares its little words with them.
    profile->compounds = foreign && (profile->writtenIn.size() > 1 ||
                                     profile->writtenIn.contains(QByteArrayLiteral("german")));
    bool namesPlay = false; // "the match report", "the episode on Dune"
    // Every place and cue the aimset names, even inside a longer phrase
    // ("YouTube" in "YouTube video").
    for (const Index::Match& match : index.scan(aimsetTerms, false, true)) {
        switch (match.role) {
        case Role::topic:
            break;
        case Role::place:
            profile->named.insert(index.siteOf(match.id));
            profile->namedCategories.insert(match.ref);
            // Only a game's or show's: a site's longer names are its sections
            // ("Instagram Explore"). Nor a name too common to find but as a
            // whole title part ("Steam"): in an aimset it may be the common
            // word ("steam trap").
            if (const QList<int>& parts = index.partsNamed(index.shown.at(match.id).toCaseFolded());
                kTitledKinds.contains(index.categories.at(match.ref).name) &&
                std::none_of(parts.begin(), parts.end(),
                             [&](int p) { return index.wholeParts.at(p).entry.id == match.id; })) {
                profile->namedPlay.append(aimsetTerms.mid(match.start, match.length));
            }
            break;
        case Role::cue:
            profile->named.insert(match.id);
            namesPlay |= index.cues.at(match.ref).leisure;
            break;
        }
    }
    // A name too short to be a word ("X") is named only as written: a
    // capital letter standing alone ("Reply to comments on X").
    static const QRegularExpression loneCapital(
        QStringLiteral("(?<![\\p{L}\\p{N}])\\p{Lu}(?![\\p{L}\\p{N}])"),
        QRegularExpression::UseUnicodePropertiesOption);
    for (auto it = loneCapital.globalMatch(aimset); it.hasNext();) {
        for (const int p : index.partsNamed(it.next().captured().toCaseFolded())) {
            if (const Index::Entry& entry = index.wholeParts.at(p).entry;
                entry.role == Role::place) {
                profile->named.insert(index.siteOf(entry.id));
                profile->namedCategories.insert(entry.ref);
            }
        }
    }
    int most = 0;
    for (const int count : topicPhrases) {
        most = std::max(most, count);
    }
    // About play only when every field it names most is play: "script" alone
    // is a video's as well as a program's.
    bool onlyPlay = most > 0;
    for (auto it = topicPhrases.constBegin(); it != topicPhrases.constEnd(); ++it) {
        if (it.value() < most) {
            continue;
        }
        onlyPlay &= index.topics.at(it.key()).play;
        for (const int category : index.topics.at(it.key()).intends) {
            const Leaning leaning =
                category >= 0 ? index.categories.at(category).leaning : Leaning::work;
            if (leaning != Leaning::work && leaning != Leaning::reference) {
                profile->intended.insert(category);
            }
        }
    }
    // So is one that names a game or a show: a guide to it, a review, a run.
    profile->leisureField = onlyPlay || namesPlay || !profile->namedPlay.isEmpty();
    // Fields served by the same kind of specific place (every field of
    // software by development tools) are one trade: a page naming a
    // neighbour's words is not about something else.
    QSet<int> trades;
    for (const int topic : std::as_const(profile->topics)) {
        if (const int trade = index.topics.at(topic).trade; trade >= 0) {
            trades.insert(trade);
        }
    }
    for (qsizetype t = 0; t < index.topics.size(); ++t) {
        if (trades.contains(index.topics.at(t).trade)) {
            profile->neighbours.insert(static_cast<int>(t));
        }
    }
    profile->specifics = specificsNamed(aimset, false);
    profile->subjects = subjectsNamed(aimset);
    profile->followsNews = index.newsAims.match(aimset).hasMatch();
    static const QRegularExpression namesBills(
        QStringLiteral("\\b(?:bills?|billing|%1)").arg(kBillWords),
        QRegularExpression::CaseInsensitiveOption);
    profile->namesBills = namesBills.match(aimset).hasMatch();
    profile->translating =
        std::any_of(profile->topics.begin(), profile->topics.end(), [&index](int topic) {
            return index.topics.at(topic).name == QStringLiteral("translation");
        });
    // A language counts as one the aimset practises, not one it translates
    // into or whose history it reads about.
    if (profile->translating || profile->language < 0) {
        profile->specifics.removeIf(
            [](const Specific& s) { return s.kind == Specific::Kind::language; });
    }
    profile->playsMusic =
        std::any_of(profile->topics.begin(), profile->topics.end(), [&index](int topic) {
            return index.topics.at(topic).name == QStringLiteral("music practice");
        });
    profile->worksMail =
        std::any_of(profile->topics.begin(), profile->topics.end(), [&index](int topic) {
            return index.topics.at(topic).name == QStringLiteral("email and inbox");
        });
    for (const int topic : std::as_const(profile->topics)) {
        profile->fields.append(QStringLiteral("topic:") + index.topics.at(topic).name);
    }
    for (const int category : std::as_const(profile->intended)) {
        profile->fields.append(QStringLiteral("for:") + index.categories.at(category).name);
    }
    // Sets iterate in no fixed order; the score's terms are listed the same way each time.
    profile->fields.sort();
    if (cache.size() > 64) {
        cache.clear();
    }
    cache.insert(aimset, profile);
    return profile;
}

namespace {

// Two words of six letters or more that differ only in their last few
// ("altbau", "altbaut") are one word's forms.
bool sameWordStem(const QString& a, const QString& b) {
    constexpr qsizetype shortest = 6;
    constexpr qsizetype most = 3; // letters of an ending
    if (a.size() < shortest || b.size() < shortest || a == b) {
        return false;
    }
    qsizetype shared = 0;
    while (shared < a.size() && shared < b.size() && a.at(shared) == b.at(shared)) {
        ++shared;
    }
    return shared >= shortest - 1 && a.size() - shared <= most && b.size() - shared <= most;
}

// Compounds that share a word of their own: "kennzeichnung" ends
// "allergenkennzeichnung" and begins "kennzeichnungspflicht".
bool sharePart(const QString& a, const QString& b) {
    constexpr qsizetype inner = 6; // a word inside the other
    constexpr qsizetype least = 7; // a part shared across
    if (a.size() < inner || b.size() < inner || a == b) {
        return false;
    }
    if (a.size() > b.size() ? (a.startsWith(b) || a.endsWith(b))
                            : (b.startsWith(a) || b.endsWith(a))) {
        return true;
    }
    for (qsizetype k = std::min(a.size(), b.size()) - 1; k >= least; --k) {
        if (a.endsWith(QStringView(b).left(k)) || b.endsWith(QStringView(a).left(k))) {
            return true;
        }
    }
    return false;
}

// "r/chemistry" names a community of Reddit, whether the site's name is shown or not.
bool namesASubreddit(const QString& window) {
    for (qsizetype at = window.indexOf(QStringLiteral("r/")); at >= 0 && at + 2 < window.size();
         at = window.indexOf(QStringLiteral("r/"), at + 2)) {
        if ((at == 0 || !window.at(at - 1).isLetterOrNumber()) && window.at(at + 2).isLetter()) {
            return true;
        }
    }
    return false;
}

// A name of the aimset that the window gives to another thing.
OfflineJudge::Decision anotherOfTheName(const QString& name) {
    return {OfflineJudge::Verdict::unclear,
            QStringLiteral("Mentions ") + name +
                QStringLiteral(", but looks like another thing of that name")};
}

// Letters and digits, case-folded and without accents, one space between
// words and around them; apostrophes join ("Blackwell's" is "Blackwells").
QString spelled(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out.append(QLatin1Char(' '));
    for (const QChar c : text.normalized(QString::NormalizationForm_D)) {
        if (c.isLetterOrNumber()) {
            out.append(c.toCaseFolded());
        } else if (isApostrophe(c)) {
            continue;
        } else if (c.category() != QChar::Mark_NonSpacing && !out.endsWith(QLatin1Char(' '))) {
            out.append(QLatin1Char(' '));
        }
    }
    if (!out.endsWith(QLatin1Char(' '))) {
        out.append(QLatin1Char(' '));
    }
    return out;
}

// The parts of a window's title: "Firefox - Story | Paper — Mozilla Firefox"
// gives "Story", "Paper". A page's head has no app first, and its last part
// runs on into the text.
QStringList titleParts(const QString& window, bool page) {
    static const QRegularExpression separator(QStringLiteral(" [|\\-\u2013\u2014] "));
    QStringList parts;
    for (const QString& part : window.split(separator, Qt::SkipEmptyParts)) {
        if (!part.trimmed().isEmpty()) {
            parts.append(part.trimmed());
        }
    }
    if (parts.size() < 2) {
        return {};
    }
    const QString app = page ? QString() : parts.takeFirst();
    if (page || parts.last().contains(app, Qt::CaseInsensitive)) {
        parts.removeLast();
    }
    return parts;
}

// A title of nothing but places' names and the words of their lists of
// posts ("Reddit - r/piano - Hot", "Hacker News", "(7) Feed | LinkedIn"):
// a feed, no post open. Those words are the sites' own, written in English;
// not "timeline", which is also a tracker's plan of work ("Timeline - Jira").
// Gives the place's name, or nothing for any other title.
QString feedOf(const QString& window, const QStringList& placeNames, bool forum) {
    static const QRegularExpression feedWord(QStringLiteral("\\b(?:feed|for you|trending)\\b"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression word(QStringLiteral("r/\\w+|\\w+"),
                                         QRegularExpression::UseUnicodePropertiesOption);
    static const QSet<QString> listWords{
        QStringLiteral("feed"),     QStringLiteral("for"),    QStringLiteral("you"),
        QStringLiteral("trending"), QStringLiteral("hot"),    QStringLiteral("new"),
        QStringLiteral("top"),      QStringLiteral("rising"), QStringLiteral("best")};
    if (placeNames.isEmpty() || (!forum && !feedWord.match(window).hasMatch())) {
        return {};
    }
    const QString shown = titleParts(window, false).join(QStringLiteral(" | "));
    if (shown.isEmpty()) {
        return {};
    }
    // A name's words may stand apart in the title ("LinkedIn: Feed").
    QSet<QString> nameWords;
    for (const QString& name : placeNames) {
        for (const QString& w : name.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            nameWords.insert(w);
        }
    }
    for (auto it = word.globalMatch(shown); it.hasNext();) {
        const QString w = it.next().captured().toLower();
        if (!w.startsWith(QStringLiteral("r/")) && !listWords.contains(w) &&
            !nameWords.contains(w) && !isNumber(w)) {
            return {};
        }
    }
    return *std::max_element(
        placeNames.begin(), placeNames.end(),
        [](const QString& a, const QString& b) { return a.size() < b.size(); });
}

// A site's name built on a publication word ("Sheffield Star", "Le Journal de
// Montréal", "AgroNotizie"), after a title's last separator or before its first;
// "Journal of ..." names a learned journal, not a paper.
QString mastheadOf(const QStringList& parts, const QRegularExpression& mastheads,
                   const QStringList& joinable) {
    constexpr qsizetype kMostWords = 3; // besides joining words
    const auto isMasthead = [&](const QString& part) {
        // A name is a few capitalised words and short joining ones ("The
        // Wall Street Journal"); "Register a birth" and "Post a job" are
        // tasks, and a forum, an office or an account named after a paper's
        // word is that place ("Trumpet Herald Forum", "Post Office").
        const QStringList words = part.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        static const QStringList joiners =
            QStringLiteral("the and der die das del los las les des dei von van for och")
                .split(QLatin1Char(' '));
        const auto joining = [](const QString& word) {
            return word.size() <= 2 || joiners.contains(word, Qt::CaseInsensitive);
        };
        static const QRegularExpression otherPlace(
            QStringLiteral(
                "\\b(forum|foro|office|community|account|portal|employers|shop|store)\\b"),
            QRegularExpression::CaseInsensitiveOption);
        if (otherPlace.match(part).hasMatch()) {
            return false;
        }
        if (std::count_if(words.begin(), words.end(),
                          [&](const QString& w) { return !joining(w); }) > kMostWords ||
            std::any_of(words.begin(), words.end(),
                        [&](const QString& w) { return w.at(0).isLower() && !joining(w); })) {
            return false;
        }
        if (words.size() == 1 &&
            std::any_of(joinable.begin(), joinable.end(), [&part](const QString& word) {
                const qsizetype at = part.size() - word.size();
                return at > 1 && part.at(at - 1).isLower() && part.at(at).isUpper() &&
                       QStringView(part).sliced(at).compare(word, Qt::CaseInsensitive) == 0;
            })) {
            return true;
        }
        for (auto it = mastheads.globalMatch(part); it.hasNext();) {
            const QRegularExpressionMatch word = it.next();
            const QStringView after = QStringView(part).sliced(word.capturedEnd()).trimmed();
            if (word.captured().at(0).isUpper() && !after.startsWith(u"of ") &&
                !after.startsWith(u"for ")) {
                return true;
            }
        }
        return false;
    };
    QString found;
    for (const QString& part :
         parts.isEmpty() ? QStringList() : QStringList{parts.last(), parts.first()}) {
        // "Church Times – ... | News": the paper, not its section.
        if (part.size() > found.size() && isMasthead(part)) {
            found = part;
        }
    }
    return found;
}

// The kinds of files whose names a document's or an editor's window shows.
const QString kFileTypes =
    QStringLiteral("pdf|docx?|odt|ods|odp|odg|xlsx?|xlsm|pptx?|csv|tsv|txt|md|rtf|tex|html?|png|"
                   "jpe?g|tiff?|psd|xcf|svg|indd|wav|flac|aiff?|3dm|blend|dwg|skp|ipynb|py|sql|"
                   "json|ya?ml");

} // namespace

OfflineJudge::Reading OfflineJudge::read(const Profile& profile, const QString& window) const {
    const Index& index = *m_index;
    const QString text = namesASubreddit(window) ? window + QStringLiteral(" | subreddit") : window;
    const TermBag bag(text);
    Reading reading;
    // Practising a language, any show or paper in it may be the practice.
    reading.aimsetAboutPlay = profile.leisureField || profile.language >= 0;
    reading.aimsetKnown =
        std::any_of(profile.topics.begin(), profile.topics.end(),
                    [&index](int topic) { return !index.topics.at(topic).broad; });

    QList<Index::Match> matches = index.scan(bag.sequence);
    if (window.size() < kLongestTitle) {
        QList<Index::Match> parts;
        index.addWholeParts(window, bag.sequence, parts);
        // In a chat or a mailbox, a part of one word is someone's name ("Slack
        // - Max - Acme"), not the place of that name (Max, a streaming service).
        const bool talk = std::any_of(matches.begin(), matches.end(), [&](const auto& m) {
            const Index::Category& category = index.categories.at(m.ref);
            return m.role == Role::place && (category.leaning == Leaning::messages ||
                                             category.name == QStringLiteral("mail"));
        });
        for (const Index::Match& part : std::as_const(parts)) {
            if (!talk || part.role != Role::place ||
                index.shown.at(part.id).contains(QLatin1Char(' '))) {
                matches.append(part);
            }
        }
    }
    // A name is written as it is: a word that only stems like one ("valor",
    // a value, for the game Valorant) names no place.
    QString spelledWindow;
    matches.removeIf([&](const Index::Match& match) {
        if (match.role != Role::place || match.length != 1) {
            return false;
        }
        if (spelledWindow.isEmpty()) {
            spelledWindow = spelled(text);
        }
        return !spelledWindow.contains(spelled(index.shown.at(match.id)).chopped(1));
    });
    // A place whose name the aimset's own field counts among its words: a
    // topic of that field matches the same words.
    const auto namedByField = [&](const Index::Match& place, bool playToo) {
        return std::any_of(matches.begin(), matches.end(), [&](const Index::Match& m) {
            return m.role == Role::topic && m.start == place.start && m.length == place.length &&
                   profile.topics.contains(m.ref) && (playToo || !index.topics.at(m.ref).play);
        });
    };
    // Such a place of play or errands, named in a file's name
    // ("attestation_France_Travail.pdf" to a claim for unemployment
    // benefit), is what the document is about, not where one is; a shop's
    // name in a manual's file is still a sign of another task. File names
    // are looked for only when there is such a place.
    QList<qsizetype> fieldPlaces;
    for (qsizetype i = 0; i < matches.size(); ++i) {
        const Index::Match& match = matches.at(i);
        const Leaning leaning =
            match.role == Role::place ? index.categories.at(match.ref).leaning : Leaning::neutral;
        if ((leaning == Leaning::leisure || leaning == Leaning::errand) &&
            namedByField(match, true)) {
            fieldPlaces.append(i);
        }
    }
    if (!fieldPlaces.isEmpty()) {
        static const QRegularExpression fileName(
            QStringLiteral("[^\\s/\\\\|\\[\\]]+\\.(?:%1)(?![\\p{L}\\p{N}.@])").arg(kFileTypes),
            QRegularExpression::CaseInsensitiveOption |
                QRegularExpression::UseUnicodePropertiesOption);
        QSet<QString> fileWords;
        for (auto it = fileName.globalMatch(text); it.hasNext();) {
            for (const QString& term : analyzeTerms(it.next().captured())) {
                fileWords.insert(term);
            }
        }
        // From the last, so that the earlier places keep their indexes.
        for (auto i = fieldPlaces.crbegin(); i != fieldPlaces.crend(); ++i) {
            const Index::Match& match = matches.at(*i);
            if (std::all_of(bag.sequence.begin() + match.start,
                            bag.sequence.begin() + match.start + match.length,
                            [&](const QString& term) { return fileWords.contains(term); })) {
                matches.removeAt(*i);
            }
        }
    }
    // Whether a name begins with the first words of a game or show the
    // aimset names, and runs on beyond them.
    const auto beginsWithNamedPlay = [&](QStringList::const_iterator begin, qsizetype length) {
        return std::any_of(
            profile.namedPlay.begin(), profile.namedPlay.end(), [&](const QStringList& name) {
                return name.size() < length && std::equal(name.begin(), name.end(), begin);
            });
    };
    // A place the aimset names, or a game or show it names by the first
    // words of its name.
    const auto namesPlace = [&](const Index::Match& place) {
        if (profile.named.contains(index.siteOf(place.id))) {
            return true;
        }
        if (index.categories.at(place.ref).leaning != Leaning::leisure) {
            return false;
        }
        if (beginsWithNamedPlay(bag.sequence.begin() + place.start, place.length)) {
            return true;
        }
        // A short name of such a place stands for its full one ("totk" for
        // "zelda: tears of the kingdom"), which may begin with the named one.
        const int site = index.siteOf(place.id);
        if (profile.namedPlay.isEmpty() || site == place.id) {
            return false;
        }
        const auto full = index.siteTerms.constFind(site);
        return full != index.siteTerms.constEnd() &&
               beginsWithNamedPlay(full->begin(), full->size());
    };
    // An aimset word heard only in a site's name ("Google Drive" for a
    // driving test) is the site, not the subject, unless the aimset names it.
    // The name of a site of pages on anything ("Stack Overflow", "YouTube")
    // is no word of the aimset's field either; a tool's ("Audacity") or a
    // show's name is.
    QList<bool> inSiteName(bag.sequence.size(), false);
    QList<bool> inOpenSiteName(bag.sequence.size(), false);
    for (const Index::Match& match : matches) {
        if (match.role != Role::place || namesPlace(match)) {
            continue;
        }
        const Leaning leaning = index.categories.at(match.ref).leaning;
        const bool open =
            leaning == Leaning::mixed || leaning == Leaning::forum || leaning == Leaning::neutral;
        for (qsizetype k = 0; k < match.length; ++k) {
            inSiteName[match.start + k] = true;
            inOpenSiteName[match.start + k] = open;
        }
    }
    QSet<QString> heard;
    for (qsizetype i = 0; i < bag.sequence.size(); ++i) {
        if (!inSiteName.at(i)) {
            heard.insert(bag.sequence.at(i));
        }
    }
    QSet<QString> directTerms;
    const auto tie = [&](const Profile::Term& term) {
        reading.strongTies += term.weight >= 1.0 ? 1 : 0;
        reading.nameTies += term.name ? 1 : 0;
        reading.direct += term.weight;
        reading.matched.append(term.shown);
        directTerms.insert(term.analyzed);
    };
    for (const Profile::Term& term : profile.terms) {
        if (heard.contains(term.analyzed)) {
            tie(term);
        }
    }
    // The same word in another form of the aimset's language ("Wärmepumpe"
    // for "Wärmepumpen", "administrativo" for "administrativa").
    QSet<QString> formTies; // the page's terms that are aimset words
    for (qsizetype l = 0; l < profile.writtenIn.size(); ++l) {
        if (directTerms.size() == profile.terms.size()) {
            break;
        }
        const char* language = profile.writtenIn.at(l).constData();
        QStringList forms; // in the page's order, as heard
        QHash<QString, QString> firstOfForm;
        for (qsizetype i = 0; i < bag.sequence.size(); ++i) {
            forms.append(inSiteName.at(i) ? QString() : formIn(bag.sequence.at(i), language));
            if (!forms.last().isEmpty() && !firstOfForm.contains(forms.last())) {
                firstOfForm.insert(forms.last(), bag.sequence.at(i));
            }
        }
        for (const Profile::Term& term : profile.terms) {
            if (directTerms.contains(term.analyzed) || isNumber(term.analyzed)) {
                continue;
            }
            const QString& form = term.forms.at(l);
            QString heardAs = firstOfForm.value(form);
            for (qsizetype i = 0; heardAs.isEmpty() && i < forms.size(); ++i) {
                if (sameWordStem(form, forms.at(i))) {
                    heardAs = bag.sequence.at(i);
                }
            }
            if (!heardAs.isEmpty()) {
                tie(term);
                formTies.insert(heardAs);
            }
        }
    }

    // A place's own name ("HealthCare.gov", "Excel") says nothing about the page's subject.
    QSet<QString> placeWords;
    for (const Index::Match& match : matches) {
        for (qsizetype k = 0; match.role == Role::place && k < match.length; ++k) {
            placeWords.insert(bag.sequence.at(match.start + k));
        }
    }
    const auto namesAPlace = [&](const Index::Match& match) {
        for (qsizetype k = 0; k < match.length; ++k) {
            if (!placeWords.contains(bag.sequence.at(match.start + k))) {
                return false;
            }
        }
        return true;
    };
    // A tie is the subject's when it is heard outside every place's name:
    // "docs" in "Google Docs" is none, in "API docs - Google Docs" it is.
    QList<bool> inPlace(bag.sequence.size(), false);
    for (const Index::Match& match : matches) {
        for (qsizetype k = 0; match.role == Role::place && k < match.length; ++k) {
            inPlace[match.start + k] = true;
        }
    }
    QSet<QString> outsidePlaces;
    for (qsizetype i = 0; i < bag.sequence.size(); ++i) {
        if (!inPlace.at(i)) {
            outsidePlaces.insert(bag.sequence.at(i));
        }
    }
    for (const QSet<QString>* ties : {&directTerms, &formTies}) {
        for (const QString& term : *ties) {
            reading.subjectTies += outsidePlaces.contains(term) ? 1 : 0;
        }
    }
    QSet<int> fieldTexts; // phrases found as words of the aimset's fields
    for (const Index::Match& match : matches) {
        if (match.role == Role::topic && profile.topics.contains(match.ref)) {
            fieldTexts.insert(match.text);
        }
    }
    // On a shop or booking site the aimset needs, its carts and listings are
    // the errand itself, not play.
    const auto errand = [&](int category) {
        return index.categories.at(category).leaning == Leaning::errand;
    };
    const bool onNeededErrand = std::any_of(matches.begin(), matches.end(), [&](const auto& m) {
        return m.role == Role::place && profile.intended.contains(m.ref) && errand(m.ref);
    });
    const auto errandCue = [&](const Knowledge::Cue& cue) {
        return onNeededErrand && index.errandKinds.contains(cue.kind);
    };
    // In a chat app (no browser showing a page), the name of a site of work
    // and play alike ("Brightside Agency") names a workspace or a channel.
    const auto shows = [&](const auto& kind) {
        return std::any_of(matches.begin(), matches.end(), [&](const Index::Match& m) {
            return m.role == Role::place && kind(index.categories.at(m.ref));
        });
    };
    const bool inChat =
        shows([](const Index::Category& c) { return c.leaning == Leaning::messages; }) &&
        !shows([](const Index::Category& c) { return c.name == QStringLiteral("browser"); });
    QSet<int> counted;
    QSet<QString> explained = directTerms; // terms that a match accounts for
    explained.unite(formTies);
    QSet<int> foreign; // by phrase text number
    QSet<int> own;
    QSet<int> cueSeen;
    double strongestLeisure = 0;
    QStringList placeNames;
    // About play itself, the aimset takes signs of play lightly.
    const double leisureScale = profile.leisureField ? 0.5 : 1.0;
    const auto noteLeisure = [&](double weight, const QString& kind, const QString& example) {
        weight *= leisureScale;
        reading.leisure += weight;
        if (weight > strongestLeisure) {
            strongestLeisure = weight;
            reading.leisureKind = kind;
            reading.leisureExample = example;
        }
    };
    // The languages each phrase belongs to: one alone names that language.
    QHash<int, QSet<int>> languagesOf;
    for (const Index::Match& match : matches) {
        for (qsizetype k = 0; k < match.length; ++k) {
            explained.insert(bag.sequence.at(match.start + k));
        }
        if (match.role == Role::topic && index.topics.at(match.ref).language) {
            languagesOf[match.text].insert(match.ref);
        }
        if (counted.contains(match.id)) {
            continue;
        }
        counted.insert(match.id);
        const QString& shown = index.shown.at(match.id);
        switch (match.role) {
        case Role::topic: {
            if (!profile.topics.contains(match.ref)) {
                if (!match.generic && !namesAPlace(match) &&
                    !profile.neighbours.contains(match.ref)) {
                    foreign.insert(match.text);
                }
                break;
            }
            if (match.length > 0 && std::all_of(inOpenSiteName.begin() + match.start,
                                                inOpenSiteName.begin() + match.start + match.length,
                                                [](bool open) { return open; })) {
                break;
            }
            own.insert(match.text);
            reading.namesLanguage |= match.ref == profile.languageTopic;
            if (match.length == 1 && directTerms.contains(bag.sequence.at(match.start))) {
                break;
            }
            reading.subjectTies += std::all_of(inPlace.begin() + match.start,
                                               inPlace.begin() + match.start + match.length,
                                               [](bool place) { return place; })
                                       ? 0
                                       : 1;
            if (reading.related < kRelatedCap) {
                reading.related +=
                    match.generic || match.broad ? kRelatedGenericWeight : kRelatedWeight;
                reading.matched.append(shown);
            }
            break;
        }
        case Role::place: {
            const Index::Category& category = index.categories.at(match.ref);
            if (category.leaning != Leaning::neutral) { // not the browser around it
                placeNames.append(shown);
            }
            if (!reading.placeKinds.contains(category.name)) {
                reading.placeKinds.append(category.name);
            }
            reading.mapPlace |= category.name == QStringLiteral("maps");
            reading.documentPlace |= category.name == QStringLiteral("office") ||
                                     category.name == QStringLiteral("mail");
            if (category.name == QStringLiteral("mail") || category.leaning == Leaning::messages) {
                reading.conversation = true;
                reading.conversationNames.append(shown);
            }
            // A place of play that the aimset's own field, itself no play,
            // counts among its words (a runner's training app) serves it as if
            // asked for; every game is a word of gaming.
            const bool ownField =
                category.leaning == Leaning::leisure && namedByField(match, false);
            if (namesPlace(match)) {
                // The tool the aimset names ("in Zotero") is the work itself.
                const bool tool =
                    category.leaning == Leaning::work || category.leaning == Leaning::reference;
                (tool ? reading.workPlace : reading.namedPlace) = true;
            } else if (profile.intended.contains(match.ref) || ownField) {
                reading.intendedPlace = true;
                reading.intendedShop |=
                    category.leaning == Leaning::errand ||
                    (category.leaning == Leaning::leisure && !profile.leisureField);
                reading.intendedCategory = category.name;
            } else if (category.leaning == Leaning::leisure ||
                       (category.leaning == Leaning::errand && !onNeededErrand)) {
                reading.leisurePlace = true;
                reading.playPlace |= category.leaning == Leaning::leisure;
                reading.telling |= category.leaning == Leaning::leisure;
                noteLeisure(kLeisurePlace, category.name, shown);
                if (category.leaning == Leaning::errand) {
                    reading.errands += kLeisurePlace * leisureScale;
                }
            } else if (category.leaning == Leaning::mixed) {
                if (!profile.namedCategories.contains(match.ref) && !inChat) {
                    if (category.name == QStringLiteral("news")) {
                        reading.newsName = shown;
                    }
                    reading.mixedPlace = true;
                    noteLeisure(kMixedPlace, category.name, shown);
                }
            } else if (category.leaning == Leaning::background) {
                reading.backgroundPlace = true;
                ++reading.backgroundNames;
            } else if (category.leaning == Leaning::messages) {
                reading.messagePlace = true;
            } else if (category.leaning == Leaning::forum) {
                reading.forumPlace = true;
                noteLeisure(kMixedPlace, category.name, shown);
            } else if (category.leaning == Leaning::work) {
                reading.workPlace = true;
            } else if (category.leaning == Leaning::reference) {
                reading.workPlace = true;
                reading.referencePlace = true;
            }
            break;
        }
        case Role::cue: {
            const Knowledge::Cue& cue = index.cues.at(match.ref);
            // A word of the aimset's own field ("reels" to a social media
            // planner) is its work, not a sign of play.
            if (profile.named.contains(match.id) || cueSeen.contains(match.text) ||
                (cue.leisure && fieldTexts.contains(match.text)) || errandCue(cue)) {
                break;
            }
            cueSeen.insert(match.text);
            if (cue.leisure) {
                reading.cues += kCue;
                reading.telling |= match.length > 1;
                noteLeisure(kCue, cue.kind, shown);
            } else {
                reading.learning = true;
            }
            break;
        }
        }
    }
    for (const QString& term : bag.distinct) {
        if (explained.contains(term) || reading.related >= kRelatedCap) {
            continue;
        }
        const QList<int> topics = index.partTopics(term);
        if (std::any_of(topics.begin(), topics.end(),
                        [&profile](int topic) { return profile.topics.contains(topic); })) {
            reading.related += kRelatedGenericWeight;
            ++reading.subjectTies;
            reading.matched.append(term);
            explained.insert(term);
        }
    }
    // A word of the aimset inside a longer one of the page ("Hendricks" in
    // "Hendricksfall") speaks of its subject.
    constexpr qsizetype kStem = 5;
    for (const Profile::Term& term : profile.terms) {
        if (term.weight < 1.0 || term.analyzed.size() < kStem ||
            directTerms.contains(term.analyzed) || isNumber(term.analyzed)) {
            continue;
        }
        int parts = 0; // of a compound, found in two words at most
        for (const QString& word : bag.distinct) {
            if (word.size() > term.analyzed.size() && !explained.contains(word) &&
                !index.stopTerms.contains(word) && !index.genericTerms.contains(word) &&
                (word.startsWith(term.analyzed) || word.endsWith(term.analyzed))) {
                reading.related += kStemWeight;
                ++reading.subjectTies;
                reading.matched.append(term.shown);
                explained.insert(word);
                break;
            }
            if (profile.compounds && !explained.contains(word) && !index.stopTerms.contains(word) &&
                !index.genericTerms.contains(word) && sharePart(term.analyzed, word)) {
                reading.related += kStemWeight;
                ++reading.subjectTies;
                if (parts == 0) {
                    reading.matched.append(term.shown);
                }
                explained.insert(word);
                if (++parts == 2) {
                    break;
                }
            }
        }
    }
    reading.related = std::min(reading.related, kRelatedCap);
    static const QRegularExpression file(
        QStringLiteral("[\\p{L}\\p{N}_)\\]-]\\.(?:%1)(?![\\p{L}\\p{N}.@])").arg(kFileTypes),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    reading.showsFile = reading.workPlace && file.match(window).hasMatch();
    if (profile.language >= 0) {
        // Written in that language: more of its common words than of any other.
        QList<int> counts(index.languages.size(), 0);
        for (qsizetype l = 0; l < index.languages.size(); ++l) {
            for (const QString& term : bag.terms) {
                counts[l] += index.languages.at(l).terms.contains(term) ? 1 : 0;
            }
        }
        const int target = counts.at(profile.language);
        counts[profile.language] = 0;
        if (target >= 2 && target > *std::max_element(counts.begin(), counts.end())) {
            reading.inAimsetLanguage = true;
            reading.related += 1.0;
            ++reading.subjectTies;
            reading.matched.prepend(QStringLiteral("words in ") +
                                    index.languages.at(profile.language).name);
        }
    }
    int untracked = -1; // aimset words that are no phrase of the knowledge
    for (const QString& term : directTerms) {
        own.insert(index.textIds.value(term, --untracked));
    }
    foreign.subtract(own);
    reading.namesOtherLanguage =
        std::any_of(languagesOf.begin(), languagesOf.end(), [&](const QSet<int>& languages) {
            return languages.size() == 1 && !profile.topics.contains(*languages.begin());
        });
    reading.languageCourse =
        std::any_of(languagesOf.begin(), languagesOf.end(),
                    [](const QSet<int>& languages) { return languages.size() > 1; });
    reading.foreignWords = static_cast<int>(foreign.size());
    reading.ownWords = static_cast<int>(own.size());
    reading.feedName = feedOf(window, placeNames, reading.forumPlace);
    for (const QString& term : bag.terms) {
        if (!explained.contains(term) && !index.stopTerms.contains(term) &&
            !index.genericTerms.contains(term) && !isNumber(term) && term.size() > 2) {
            ++reading.unrelatedWords;
        }
    }
    return reading;
}

struct OfflineJudge::Weighing {
    Reading reading;
    Decision rules; // what the rules alone decide
    bool page = false;
    QString named; // the title, or the head of a page
    qsizetype length = 0;
};

std::optional<OfflineJudge::Decision> OfflineJudge::assess(const QString& aimset,
                                                           const QString& window, bool text,
                                                           Weighing* weighing) const {
    if (text && window.trimmed().isEmpty()) {
        return Decision{Verdict::unclear, QStringLiteral("The window shows no readable text")};
    }
    // A window read without text is sent as "app - title": judged as a title,
    // where one sign of play (a game, a feed) is as telling as a page of it.
    // Longer, it is a page whose own name comes first, judged as a page.
    weighing->page = text && (window.size() > kTitleLength || window.contains(QLatin1Char('\n')) ||
                              !window.contains(QStringLiteral(" - ")));
    // An aimset about one numbered item (a pull request, a ticket), course,
    // school year, level, part of a course, project, month or named museum,
    // client or street is not served by a title (or a page's first line)
    // showing another of the same kind and nothing the aimset names.
    const std::shared_ptr<const Profile> profile = profileOf(aimset);
    if (const QList<Specific>& wanted = profile->specifics; !wanted.isEmpty()) {
        const QString seen = compact(window);
        const QList<Specific> shown = specificsNamed(
            weighing->page ? window.left(kTitleLength).section(QLatin1Char('\n'), 0, 0) : window,
            true);
        // "Year 9", "9B" and "Klasse 9" are one year however the school names it.
        const auto yearOf = [](const QString& key) {
            qsizetype at = key.size();
            while (at > 0 && key.at(at - 1).isDigit()) {
                --at;
            }
            return key.mid(at);
        };
        // A name is shown by any of its longer words ("Lemoine" for "Maisons Lemoine").
        const auto calledIn = [&](const Specific& want) {
            const QStringList words = want.key.section(QLatin1Char(':'), 1).split(QLatin1Char(' '));
            return want.kind == Kind::called &&
                   std::any_of(words.begin(), words.end(),
                               [&](const QString& w) { return seen.contains(w); });
        };
        // A project or repository the window shares shows nothing about
        // which item of it; a shared item, course or year settles it.
        const auto named = [&](const Specific& want, Kind of) {
            if (calledIn(want)) {
                return true;
            }
            // Nor does the language shared say which level or course of it,
            // nor a level shared which language.
            const bool holder = want.kind == Kind::project || want.kind == Kind::repository ||
                                want.kind == Kind::language || of == Kind::language;
            return (!holder || of == want.kind) &&
                   (seen.contains(compact(want.key)) ||
                    std::any_of(shown.begin(), shown.end(), [&](const Specific& s) {
                        return s.kind == want.kind &&
                               (s.key == want.key ||
                                (s.kind == Kind::year && yearOf(s.key) == yearOf(want.key)));
                    }));
        };
        // A project of the same kind ("reporting-service" to "payments-service")
        // is another one; "payments-eng" or "design-crit" may be the aimset's team.
        const auto sort = [](const QString& project) {
            return project.section(QLatin1Char('-'), -1);
        };
        const auto partOf = [](const QString& key) { return key.section(QLatin1Char(':'), 0, 0); };
        for (const Specific& other : shown) {
            // A page's month is as often its date as its subject.
            if (weighing->page && other.kind == Kind::month) {
                continue;
            }
            // A tracker's key ("PAY-2231") and a number after "#" (a pull
            // request, a pipeline) count in different systems.
            const auto numbered = [](const Specific& s) { return s.key.startsWith(u'#'); };
            const auto same = std::find_if(wanted.begin(), wanted.end(), [&](const Specific& s) {
                return s.kind == other.kind &&
                       (s.kind != Kind::item || numbered(s) == numbered(other)) &&
                       (s.kind != Kind::project || sort(s.key) == sort(other.key)) &&
                       ((s.kind != Kind::part && s.kind != Kind::called) ||
                        partOf(s.key) == partOf(other.key));
            });
            if (same == wanted.end() ||
                std::any_of(wanted.begin(), wanted.end(),
                            [&](const Specific& s) { return named(s, other.kind); })) {
                continue;
            }
            return Decision{Verdict::unclear, QStringLiteral("Shows ") + other.shown +
                                                  QStringLiteral(", not ") + same->shown};
        }
    }
    weighing->reading = read(*profile, window);
    // A course's page on another subject than the aimset's, and on none that
    // holds it or that it holds, is another course ("Physikalische Chemie II"
    // to organic chemistry, microeconomics to macroeconomics).
    if (!profile->subjects.isEmpty() &&
        weighing->reading.placeKinds.contains(QStringLiteral("learning"))) {
        const auto holds = [](const QString& a, const QString& b) {
            return a == b || b.startsWith(a + QLatin1Char('/'));
        };
        const QList<Specific> shown = subjectsNamed(
            weighing->page ? window.left(kTitleLength).section(QLatin1Char('\n'), 0, 0) : window);
        const bool other =
            !shown.isEmpty() && std::none_of(shown.begin(), shown.end(), [&](const Specific& s) {
                return std::any_of(profile->subjects.begin(), profile->subjects.end(),
                                   [&](const Specific& want) {
                                       return holds(want.key, s.key) || holds(s.key, want.key);
                                   });
            });
        if (other) {
            return Decision{Verdict::unclear, QStringLiteral("Shows ") + shown.first().shown +
                                                  QStringLiteral(", not ") +
                                                  profile->subjects.first().shown};
        }
    }
    // Practising a part of a language (its subjunctive, its words), a show,
    // the news or a shop in it that shows nothing of that part is not yet
    // the practice; practising the language as a whole, it is.
    if (const Reading& r = weighing->reading;
        !weighing->page && profile->language >= 0 && profile->languagePart && r.inAimsetLanguage &&
        r.matched.size() == 1 && r.leisure > 0 && !r.learning && !r.namesLanguage) {
        return Decision{Verdict::unclear, QStringLiteral("No clear link to ") + quoted(aimset)};
    }
    // A page's own name comes first.
    const QString head = weighing->page ? window.left(kTitleLength) : window;
    const QString firstLine = weighing->page ? window.section(QLatin1Char('\n'), 0, 0) : window;
    const bool ownMail = weighing->reading.conversation && profile->worksMail;
    // A bill of its own ("Invoice #0078", "Factura octubre", "Rechnung
    // 2026-118") is accounts' work: to an aimset that names no bill, nor a
    // field whose word it is, it is another task, however much it shares;
    // but not in the mail an aimset about its mail works through ("clear my inbox").
    static const QRegularExpression bill(
        QStringLiteral("\\b(%1) (?:(?:#|n[or]?\\. ?)?\\d|(\\p{L}+))").arg(kBillWords),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    if (!profile->namesBills && !ownMail) {
        // Every part: a short page is read as a title, its first part as an app.
        for (const QString& part :
             bill.match(firstLine).hasMatch() ? titleParts(firstLine, true) : QStringList()) {
            const auto m = bill.match(part);
            bool dated = m.hasMatch() && m.captured(2).isEmpty();
            if (m.hasMatch() && !dated) {
                const QList<Specific> after = specificsNamed(m.captured(2), true);
                dated = std::any_of(after.begin(), after.end(),
                                    [](const Specific& s) { return s.kind == Kind::month; });
            }
            const QString word = m.captured(1).left(5);
            if (dated && std::none_of(weighing->reading.matched.begin(),
                                      weighing->reading.matched.end(), [&](const QString& tie) {
                                          return tie.startsWith(word, Qt::CaseInsensitive);
                                      })) {
                return Decision{Verdict::unclear, QStringLiteral("Shows ") + part +
                                                      QStringLiteral(", not ") + quoted(aimset)};
            }
        }
    }
    // A rota of its own ("Staff rota - Ward 7", "Dienstplan Januar", a
    // school's Vertretungsplan, "cuadrante_vacaciones_2027.xlsx", a class's
    // seating plan) is the work of who is on when: to an aimset that plans,
    // organises or staffs nothing, nor works through the mail it is in, it is
    // another task of the same place, however much it shares. An underscore
    // ends a word, as in a file's name ("Rota_December.xlsx").
    static const QRegularExpression rota(
        QStringLiteral("(?<![\\p{L}\\p{N}])(?:rotas?|rosters?|dienstpl(?:a|ä)ne?|"
                       "schichtpl(?:a|ä)ne?|vertretungspl(?:a|ä)ne?|"
                       "cuadrantes?|seating plans?|sitzpl(?:a|ä)ne?)(?![\\p{L}\\p{N}])"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression staffing(
        QStringLiteral("rota|roster|shift|schicht|dienst|turno|guardia|garde|cover|schedul|"
                       "staffing|plan|organi[sz]|seat|sitz|cuadrante|escala|inbox|mail|"
                       "posteingang|bandeja"),
        QRegularExpression::CaseInsensitiveOption);
    if (!ownMail && rota.match(firstLine).hasMatch() && !staffing.match(aimset).hasMatch()) {
        for (const QString& part : titleParts(firstLine, true)) {
            if (rota.match(part).hasMatch()) {
                return Decision{Verdict::unclear, QStringLiteral("Shows ") + part +
                                                      QStringLiteral(", not ") + quoted(aimset)};
            }
        }
    }
    // An encyclopedia's list of a name's meanings is no entry on any of them.
    static const QRegularExpression meanings(
        QStringLiteral("\\((?:disambiguation|begriffsklärung|homonymie|desambiguación|"
                       "desambiguação|disambigua|doorverwijspagina)\\)"),
        QRegularExpression::CaseInsensitiveOption);
    if (weighing->reading.referencePlace && meanings.match(head).hasMatch()) {
        return Decision{Verdict::unclear,
                        QStringLiteral("Looks like a list of meanings, not ") + quoted(aimset)};
    }
    // An entry named with its kind ("Elster (Vogel)", "Python (mythologie)")
    // is that one thing of the name: a kind with nothing of the aimset in it
    // is another thing than the one the aimset names, unless it quotes it.
    static const QRegularExpression qualified(
        QStringLiteral(
            "(?:^|\\s[-–—|]\\s)(\\p{L}[\\p{L}\\p{N}'’.-]*(?: \\p{L}[\\p{L}\\p{N}'’.-]*){0,2}) "
            "\\(([^()]{2,40})\\)\\s[-–—|]\\s"),
        QRegularExpression::UseUnicodePropertiesOption);
    if (weighing->reading.referencePlace && !weighing->reading.matched.isEmpty()) {
        const QRegularExpressionMatch entry = qualified.match(head);
        const QString name = entry.captured(1);
        const QRegularExpression quoting(QStringLiteral("[\"“„«‘'] ?") +
                                             QRegularExpression::escape(name),
                                         QRegularExpression::CaseInsensitiveOption);
        if (entry.hasMatch() && !quoting.match(aimset).hasMatch()) {
            if (const Reading kind = read(*profile, entry.captured(2));
                kind.matched.isEmpty() && kind.relatedness() == 0) {
                return anotherOfTheName(name);
            }
        }
    }
    // A paper or magazine the knowledge does not list is still a place of
    // news, where nothing else names the place.
    if (Reading& r = weighing->reading; r.newsName.isEmpty() && !r.mixedPlace && !r.leisurePlace &&
                                        !r.forumPlace && !r.namedPlace && !r.intendedPlace &&
                                        !r.workPlace && !r.messagePlace && !r.backgroundPlace &&
                                        !r.documentPlace) {
        const QStringList parts = titleParts(head, weighing->page);
        if (weighing->page || parts.size() > 1) {
            r.newsName = mastheadOf(parts, m_index->mastheads, m_index->mastheadWords);
        }
    }
    weighing->named = head;
    weighing->length = window.size();
    // Any news in a language being practised is the practice.
    weighing->reading.aimsetFollowsNews =
        profile->followsNews || (weighing->reading.inAimsetLanguage && !profile->translating);
    weighing->rules = weighing->page ? rulesForText(aimset, weighing->reading)
                                     : rulesForTitle(aimset, weighing->reading);
    return std::nullopt;
}

OfflineJudge::Decision OfflineJudge::decideTitle(const QString& aimset,
                                                 const QString& context) const {
    Weighing weighing;
    if (const auto ruled = assess(aimset, context, false, &weighing)) {
        return *ruled;
    }
    return secondLook(
        aimset, context, weighing,
        byFirstWords(aimset, context, weighing, taught(weigh(aimset, weighing), weighing), false),
        false);
}

OfflineJudge::Decision OfflineJudge::decideText(const QString& aimset, const QString& text) const {
    Weighing weighing;
    if (const auto ruled = assess(aimset, text, true, &weighing)) {
        return *ruled;
    }
    return surelyPlay(aimset, text, weighing,
                      secondLook(aimset, text, weighing,
                                 byFirstWords(aimset, text, weighing,
                                              taught(weigh(aimset, weighing), weighing), true),
                                 true));
}

// A page still asked about, for whatever reason, is closed where its words
// and the rules' evidence make it all but certainly a distraction (a shop's
// deals for an aimset that needs the shop, a series that shares the
// exam's subject). Not music, which may play beside the work, nor mail or
// chat, nor where the aimset is about play or names the place, nor an
// errand of a field the knowledge does not know (a table booked for a
// birthday surprise).
OfflineJudge::Decision OfflineJudge::surelyPlay(const QString& aimset, const QString& window,
                                                const Weighing& weighing, Decision decided) const {
    const auto& model = m_index->windowWords;
    const Reading& r = weighing.reading;
    if (!model || model->likelyByEvidence.isEmpty() || decided.verdict != Verdict::unclear ||
        r.messagePlace || r.conversation || r.backgroundPlace || r.aimsetAboutPlay ||
        r.namedPlace || r.errandOfUnknownField()) {
        return decided;
    }
    QStringList telling;
    const double score = model->score(window, contextTerms(*profileOf(aimset), r), &telling);
    if (telling.isEmpty() || likelihood(weighing, score) < model->questionClosedFromLikely) {
        return decided;
    }
    if (r.matched.isEmpty()) {
        return {Verdict::misaligned, playUnrelatedTo(aimset, telling)};
    }
    return {Verdict::misaligned, QStringLiteral("Looks like a distraction") + signsOf(telling) +
                                     QStringLiteral(", though it mentions ") +
                                     mentioned(r.matched, 2)};
}

// The first words of a window that were nearly always a distraction's, in
// the labelled windows the score was fitted on, with the kinds of places it
// shows as the aimset's fields weigh them, make a window kept for
// little it shares a question, and one that nothing links to the aimset closed
// rather than asked about (by its text only: a title's "no" is not the
// last word); so do the rules' evidence and these words together, fitted as
// how likely a distraction the window is. Not in mail or chat, whose words
// are other people's, nor where the aimset is about play or names the place,
// nor for news that the aimset follows (release notes to an upgrade).
OfflineJudge::Decision OfflineJudge::byFirstWords(const QString& aimset, const QString& window,
                                                  const Weighing& weighing, Decision decided,
                                                  bool text) const {
    const Reading& r = weighing.reading;
    const auto& model = m_index->windowWords;
    // Two of the aimset's own words are more than words of play can outweigh,
    // and so are three things of its subject at a place it calls for (a
    // sourdough starter's how-to at a baking site). A needed place's page
    // that shows less of it is weighed by its words like any other: a shop
    // the aimset calls for sells play too (air fryer deals to an IPA brew
    // day), a recipe site pastries to a bakery's logo.
    const bool kept = decided.verdict == Verdict::aligned && r.strongTies < 2 &&
                      (!r.intendedPlace || r.subjectTies < 3);
    const bool unlinked = text && decided.verdict == Verdict::unclear &&
                          decided.reason == r.question(aimset, false).reason;
    // Music that plays while one works is the rules' to judge, and no window's words can tell
    // the listening from the browsing; a place the aimset calls for is not closed for its
    // kind (a toy shop to plan a party), nor is an errand told from play where the aimset's
    // field is unknown (a table booked for a birthday surprise).
    if (!model || !(kept || unlinked) || r.messagePlace || r.conversation || r.aimsetAboutPlay ||
        (unlinked && (r.backgroundPlace || r.intendedPlace || r.errandOfUnknownField())) ||
        (kept && r.aimsetFollowsNews && m_index->newsSigns.match(weighing.named).hasMatch()) ||
        r.namedPlace) {
        return decided;
    }
    QStringList telling;
    const double score = model->score(window, contextTerms(*profileOf(aimset), r), &telling);
    // A window kept for what it shares is asked about, too, where the rules'
    // evidence beside its words makes it likelier a distraction than
    // "asked from likely" (a needed shop's other goods, a forum's aside), and
    // a page nothing links to is closed from "closed from likely" up (a shop's
    // deals, a feed); reckoned only where the score alone has not decided.
    const auto likelyPlay = [&] {
        return !model->likelyByEvidence.isEmpty() &&
               likelihood(weighing, score) >= (!unlinked      ? model->askedFromLikely
                                               : r.mixedPlace ? model->mixedClosedFromLikely
                                                              : model->closedFromLikely);
    };
    if (telling.isEmpty() ||
        (score < (unlinked ? model->closedFrom : model->askedFrom) && !likelyPlay())) {
        return decided;
    }
    const QString signs = signsOf(telling);
    if (unlinked) {
        return {Verdict::misaligned, playUnrelatedTo(aimset, telling)};
    }
    if (r.matched.isEmpty()) {
        return {Verdict::unclear, QStringLiteral("Looks like a distraction") + signs};
    }
    return {Verdict::unclear, QStringLiteral("Mentions ") + mentioned(r.matched, 3) +
                                  QStringLiteral(", but looks like a distraction") + signs};
}

// A window the rules ask about only because nothing links it to the aimset,
// at a place that is not one of play (no shop, player or forum, no cue of
// play), is kept when the rules' evidence and its first words together,
// fitted on labelled windows, make it more likely work than a distraction:
// a map of the round's next street, a page of a portal the aimset calls
// for, a video on the trade. It never asks or closes: where the rules see a
// sign of play, have a reason of their own, or the aimset names the place
// (its page then decides: a feed on the video site the aimset is for), their
// question stands. So it does at a shop, a listing or a booking site the
// aimset needs, which sells or lists anything (another flat than the one
// sought), and for a chat's or mailbox's title that shares nothing with the
// aimset: what is said in it, read next, tells work from a family chat.
OfflineJudge::Decision OfflineJudge::secondLook(const QString& aimset, const QString& window,
                                                const Weighing& weighing, Decision decided,
                                                bool text) const {
    const auto& model = m_index->windowWords;
    const Reading& r = weighing.reading;
    if (!model || model->likelyByEvidence.isEmpty() || decided.verdict != Verdict::unclear) {
        return decided;
    }
    const auto likely = [&] {
        return likelihood(weighing, model->score(window, contextTerms(*profileOf(aimset), r)));
    };
    // A page the rules ask about for the little it shares at a place of play
    // ("Mentions ring, but looks like forum (r/electricians)") is kept where
    // the same evidence and words make it very likely work: a thread on the
    // trade's own problem, a style guide for subtitles. Not a board of ideas,
    // which the rules ask about for its own sake.
    if (text && !r.matched.isEmpty() && decided.reason == r.question(aimset, true).reason &&
        !r.placeKinds.contains(QStringLiteral("inspiration"))) {
        return likely() < model->sharedKeptBelow ? r.kept(aimset) : decided;
    }
    if (decided.reason != r.question(aimset, false).reason || r.leisurePlace || r.backgroundPlace ||
        r.forumPlace || r.namedPlace || r.intendedShop || r.cues > 0 ||
        (!text && r.conversation && r.matched.isEmpty()) ||
        likely() >= (text ? model->textKeptBelow : model->titleKeptBelow)) {
        return decided;
    }
    return {Verdict::aligned, QStringLiteral("Looks like work on ") + quoted(aimset)};
}

double OfflineJudge::likelihood(const Weighing& weighing, double score) const {
    const auto& model = *m_index->windowWords;
    return model.likelyBias + weighed(model.likelyByEvidence, evidenceOf(weighing)) +
           model.likelyScore * score;
}

// What the window is and what it is for this aimset, beside its words: how
// often a shop or a feed was a distraction depends on the aimset's field.
QStringList OfflineJudge::contextTerms(const Profile& profile, const Reading& r) {
    QStringList terms;
    for (const QString& kind : r.placeKinds) {
        const QString place = QLatin1Char('@') + kind;
        terms.append(place);
        for (const QString& field : profile.fields) {
            terms.append(field + QLatin1Char(' ') + place);
        }
    }
    return terms;
}

QList<double> OfflineJudge::evidence(const QString& aimset, const QString& window, bool text,
                                     QStringList* context) const {
    Weighing weighing;
    const bool ruled = assess(aimset, window, text, &weighing).has_value();
    if (context) {
        *context = contextTerms(*profileOf(aimset), weighing.reading);
    }
    return ruled ? QList<double>{} : evidenceOf(weighing);
}

OfflineJudge::Decision OfflineJudge::rulesForTitle(const QString& aimset, const Reading& r) const {
    const double related = r.relatedness();
    const auto aligned = [&] {
        return Decision{Verdict::aligned,
                        r.matched.isEmpty()
                            ? QStringLiteral("Fits ") + quoted(aimset)
                            : QStringLiteral("Mentions ") + mentioned(r.matched, 3)};
    };
    const Decision leisure{Verdict::misaligned, QStringLiteral("Looks like ") + r.leisureKind +
                                                    QStringLiteral(" (") + r.leisureExample +
                                                    QStringLiteral("), unrelated to ") +
                                                    quoted(aimset)};
    const Decision unclear = r.question(aimset, related > 0 && r.leisure > 0);

    const bool aboutElse = r.aboutElse();

    // Any page or show in the language the aimset practises is practice.
    if (r.inAimsetLanguage && r.cues == 0) {
        return aligned();
    }
    // So is a lesson, show or podcast that names the language, on a place of
    // work or play alike, with one sign of its format at most, unless the
    // page is about another field (a restaurant's menu).
    if (r.namesLanguage && !r.leisurePlace && r.cues <= kCue && !aboutElse) {
        return aligned();
    }
    // A thread clearly on the aimset's subject is work; a passing word is not.
    // So is one that shares a word with the aimset and adds a specific word
    // of its field: two ties, neither of them a generic one.
    if (r.forumPlace && !r.leisurePlace && r.cues == 0) {
        const bool onSubject =
            related >= kStrongRelated ||
            (r.direct >= kRelatedWeight && r.related >= kRelatedWeight && r.matched.size() >= 2);
        if (onSubject && !aboutElse) {
            return aligned();
        }
        return related > 0 ? unclear : leisure;
    }
    // Play by its place (a game, a feed) or by its form (memes, highlights).
    if (r.leisurePlace || r.leisure >= kCue) {
        if (related >= 1.5 && r.learning && !r.leisurePlace && !aboutElse) {
            return aligned();
        }
        // A shop, a booking or a listing site may be what the aimset needs, however
        // the judge places it, and any place of play what an aimset about play (a
        // review, a match report) needs: asked about, not closed.
        const bool errandOnly =
            (r.leisurePlace && !r.playPlace && r.cues == 0) || r.errandOfUnknownField();
        // Play shown twice over (memes on a feed) outweighs a single shared word.
        if (r.leisure >= 2 * kCue && related < kStrongRelated && !r.learning &&
            !r.aimsetAboutPlay && !errandOnly) {
            if (r.matched.isEmpty()) {
                return leisure;
            }
            return Decision{Verdict::misaligned, QStringLiteral("Looks like ") + r.leisureKind +
                                                     QStringLiteral(" (") + r.leisureExample +
                                                     QStringLiteral("), though it mentions ") +
                                                     mentioned(r.matched, 2)};
        }
        return related >= kRelatedWeight || errandOnly || r.aimsetAboutPlay ? unclear : leisure;
    }
    // A player playing a track reads as music beside the work here; weigh()
    // still asks when the track names nothing of the aimset. (A player
    // showing only its own name and pages is being browsed.)
    if (r.backgroundPlace && r.cues == 0) {
        const bool playing = r.unrelatedWords > 0 || related > 0 || r.backgroundNames > 1;
        return playing ? aligned() : unclear;
    }
    // Mail and chat are work or not by whom and what about; an inbox alone says neither.
    if (r.messagePlace && !r.mixedPlace) {
        return related >= kRelatedWeight && !aboutElse ? aligned() : unclear;
    }
    // A place of work and play (a video site, a forum): the page decides.
    if (r.mixedPlace) {
        if (aboutElse) {
            return unclear;
        }
        // One word of the aimset, with nothing else of its field, in a video's
        // or article's title is as often a coincidence ("The Chemistry of Your
        // Fridge") as the subject: asked about, not taken as the work.
        const bool thin =
            r.matched.size() < 2 && r.related == 0 && (!r.learning || r.oneWordElsewhere());
        if (!thin && (related >= 1.0 ||
                      (related >= kRelatedWeight && (r.learning || r.foreignWords == 0)))) {
            return aligned();
        }
        // A lesson on a subject the knowledge does not place may still be the
        // work: only a page about another field, or the site's own front page
        // (its feed), is play.
        const bool placeable = r.foreignWords > 0 || r.unrelatedWords == 0;
        return related > 0 || r.learning || r.aimsetAboutPlay || !placeable ? unclear : leisure;
    }
    // Looking something up is part of most work, whatever the entry.
    if (r.referencePlace && r.leisure == 0) {
        return aligned();
    }
    // A file open in a tool of work ("plan_financement.xlsx - LibreOffice
    // Calc") is one's own material, whatever field its name reads as.
    if (r.workPlace && r.showsFile && r.leisure == 0) {
        return aligned();
    }
    if (aboutElse) {
        return unclear;
    }
    // A site of the kind the aimset needs, unless the page is about something else.
    // A site the aimset needs that shows only its own name and pages (a
    // player's front page, a feed) is not yet the work.
    // So is a needed shop's, listing's or game store's page that shows
    // nothing of the aimset: it may sell or play anything; and a needed
    // paper's article on nothing of the aimset is another story (the derby,
    // for a press release).
    if (r.intendedPlace && related == 0 &&
        (r.unrelatedWords == 0 || r.intendedShop || r.intendedCategory == QStringLiteral("news"))) {
        return unclear;
    }
    // A needed shop's or listing's page tied by one word of the aimset, and
    // by nothing of its field, among words of other things sells another
    // thing of that word (mesh tote bags for a Wi-Fi mesh, knitted jumpers for
    // learning to knit).
    if (r.intendedShop && r.matched.size() == 1 && r.related == 0 &&
        r.unrelatedWords + r.foreignWords > 0) {
        return unclear;
    }
    // A page there tied only by a word of the aimset's field, among words of
    // other things, may be another task of that field.
    if (r.intendedPlace && r.direct == 0 && related < 1.0 && r.unrelatedWords > 0 &&
        r.foreignWords > 0) {
        return unclear;
    }
    if ((r.intendedPlace && r.foreignWords <= r.ownWords) ||
        (related >= kRelatedWeight && !r.oneWordAmongMany())) {
        return aligned();
    }
    // A site the aimset names ("my TikTok") must show the work itself.
    if (r.namedPlace || r.foreignWords >= 2) {
        return unclear;
    }
    // A tool of work (a document, an editor) shows work of some kind; a
    // blank page or a new tab has nothing to hold against it.
    const bool tool =
        r.workPlace && r.unrelatedWords <= 3 && r.foreignWords <= std::max(r.ownWords, 1);
    return tool || r.unrelatedWords == 0 ? aligned() : unclear;
}

OfflineJudge::Decision OfflineJudge::rulesForText(const QString& aimset, const Reading& r) const {
    const double related = r.relatedness();
    const QString leisureLooks = QStringLiteral("looks like ") + r.leisureKind +
                                 QStringLiteral(" (") + r.leisureExample + QLatin1Char(')');
    const QString mentions = QStringLiteral("Mentions ") + mentioned(r.matched, 3);

    // A shop or a listing is no play: a page there that speaks of the
    // aimset's subject is judged by what it says.
    const double play = r.leisure - r.errands;
    // A page with nothing of play needs less: one word of the aimset's field,
    // even a wide field's, does, unless the page is mostly about another field.
    const bool aboutElse = r.aboutElse();
    const bool quiet =
        r.leisure == 0 &&
        (related >= 1.0 || (!aboutElse && (r.related > 0 || related >= kRelatedWeight)));
    // Many words of the aimset outweigh a sign of play, not play shown twice over.
    const bool steeped = related >= 2.4 && r.leisure < 1.5;
    if ((related >= 1.5 && play < 1.0) || quiet || steeped) {
        return {Verdict::aligned, mentions};
    }
    // A needed shop's or listing's page that shows nothing of the aimset
    // and words of another field sells something else, as its title may.
    if (r.intendedPlace && r.leisure == 0 &&
        !(r.intendedShop && related == 0 && r.foreignWords > 0)) {
        return r.neededPage(aimset);
    }
    // Closing follows from this, so one word of play ("lol") is not enough;
    // one telling sign ("just chatting", a store of games) on a page that
    // names nothing of the aimset is; not an errand's page for an aimset of
    // a field the knowledge does not know.
    if (!r.errandOfUnknownField() &&
        ((r.leisure >= 1.5 && related < kRelatedWeight) ||
         (r.leisure >= kCue && r.telling && related == 0 && !r.learning))) {
        QString reason = leisureLooks + QStringLiteral(", unrelated to ") + quoted(aimset);
        reason[0] = reason.at(0).toUpper();
        return {Verdict::misaligned, reason};
    }
    return r.question(aimset, related > 0 && r.leisure > 0);
}

QList<double> OfflineJudge::evidenceOf(const Weighing& weighing) const {
    const Reading& r = weighing.reading;
    // Counts grow with a page's length; what matters is none, one or many.
    const auto count = [](int n) { return std::log1p(static_cast<double>(n)); };
    const auto flag = [](bool on) { return on ? 1.0 : 0.0; };
    return {flag(weighing.page),
            std::min(r.direct, 3.0),
            r.related,
            static_cast<double>(std::min<qsizetype>(r.matched.size(), 4)),
            std::min(r.leisure, 3.0),
            std::min(r.cues, 3.0),
            flag(r.leisurePlace),
            flag(r.playPlace),
            flag(r.mixedPlace),
            flag(r.intendedPlace),
            flag(r.namedPlace),
            flag(r.backgroundPlace),
            flag(r.messagePlace),
            flag(r.forumPlace),
            flag(r.workPlace),
            flag(r.referencePlace),
            flag(r.learning),
            flag(r.inAimsetLanguage),
            flag(r.telling),
            count(r.foreignWords),
            count(r.ownWords),
            count(r.unrelatedWords),
            flag(r.aboutElse()),
            flag(r.oneWeakWordAmongMany()),
            flag(r.aimsetAboutPlay),
            flag(r.aimsetKnown),
            flag(weighing.rules.verdict == Verdict::aligned),
            flag(weighing.rules.verdict == Verdict::misaligned)};
}

OfflineJudge::Decision OfflineJudge::weigh(const QString& aimset, const Weighing& weighing) const {
    const Decision decided = scored(aimset, weighing);
    const Reading& r = weighing.reading;
    // A list of posts (a forum's threads, a network's feed) is other
    // people's, whatever the forum's subject ("r/rust" to a Rust bug) and
    // however much the aimset needs the site (LinkedIn's feed to a hire): a
    // post of the work is opened, not scrolled to. Not where the aimset
    // names the place ("Moderate r/rust") or its field works in such feeds.
    if (!r.feedName.isEmpty() && !r.aimsetAboutPlay && !r.namedPlace && !namesASubreddit(aimset) &&
        !aimset.contains(r.feedName.section(QLatin1Char(' '), 0, 0), Qt::CaseInsensitive) &&
        !(r.intendedPlace && r.intendedCategory == QStringLiteral("social"))) {
        return {Verdict::misaligned, QStringLiteral("Looks like a feed (") + r.feedName +
                                         QStringLiteral("), not a post of ") + quoted(aimset)};
    }
    // A map the aimset's field calls for (a round of visits, a client's
    // street), showing no sign of play, is where the work goes next.
    if (decided.verdict == Verdict::unclear && r.mapPlace && r.intendedPlace && r.leisure == 0 &&
        r.cues == 0 && !r.aboutElse()) {
        return r.kept(aimset);
    }
    // A player in front is being looked at: a track or a stream that names
    // nothing of the aimset is chosen or listened to, not worked beside, and
    // practising an instrument, another's music is listening, not practice;
    // even where the aimset's field calls for players (another podcast than
    // the one being edited).
    if (decided.verdict == Verdict::aligned && r.backgroundPlace && r.matched.isEmpty() &&
        r.relatedness() == 0) {
        return r.question(aimset, false);
    }
    // A language course's lesson in a language the aimset does not name is
    // another course ("Duolingo - Italien" to learning Dutch, to a visa).
    if (decided.verdict == Verdict::aligned && r.languageCourse && r.namesOtherLanguage &&
        !r.namesLanguage && !r.inAimsetLanguage) {
        return r.question(aimset, false);
    }
    // Such a course is practice only for an aimset about learning a language;
    // to any other, translating included, it is a pastime of its own.
    if (decided.verdict == Verdict::aligned && r.languageCourse && !r.namedPlace) {
        const auto profile = profileOf(aimset);
        if (profile->language < 0 || profile->translating) {
            return r.question(aimset, false);
        }
    }
    // A listing is of one home in one place: one that shares no word with the
    // aimset (its town, its street) is another home, however much the
    // aimset's field calls for listings (flats to let, to a lease dispute).
    if (decided.verdict == Verdict::aligned && r.intendedPlace &&
        r.intendedCategory == QStringLiteral("realestate") && r.direct == 0) {
        return r.question(aimset, false);
    }
    // A board of ideas (Pinterest, Houzz, Dribbble) on the aimset's subject is
    // browsed for its own sake unless the aimset's field designs or chooses
    // with it ("tote bag ideas" to sewing one, shower ideas to fixing a drip).
    if (decided.verdict == Verdict::aligned && !r.intendedPlace && !r.namedPlace &&
        r.placeKinds.contains(QStringLiteral("inspiration"))) {
        return r.question(aimset, !r.matched.isEmpty());
    }
    // Mail and chat are work or not by whom and what about: words someone
    // wrote there ("the Black Friday teaser" to a client's calendar) never
    // close them; at most the user is asked.
    // Its own name (a channel, a subject line) may still say it is play.
    qsizetype nameEnd = -1;
    for (const QString& name : r.conversationNames) {
        const qsizetype at = weighing.named.lastIndexOf(name, -1, Qt::CaseInsensitive);
        nameEnd = std::max(nameEnd, at < 0 ? at : at + name.size());
    }
    if (decided.verdict == Verdict::misaligned && r.conversation &&
        (nameEnd < 0 ||
         (nameEnd < weighing.length &&
          decideText(aimset, weighing.named.left(nameEnd)).verdict != Verdict::misaligned))) {
        return r.question(aimset, !r.matched.isEmpty());
    }
    // A release, an event, a job, a survey or a comparison of the aimset's
    // field or tool, tied to it by one word at most, is its news, not its
    // work; unless the aimset is about such things, it is asked about.
    // At a place of news, an explainer is news; only a how-to teaches.
    const bool teaches = r.learning && (r.newsName.isEmpty() || showsHowTo(weighing.named));
    if (decided.verdict != Verdict::aligned || r.aimsetFollowsNews || teaches || r.messagePlace ||
        r.documentPlace) {
        return decided;
    }
    // A name the aimset gives, the window's only tie, is as often another
    // thing of that name ("Thornbury Castle - hotel rooms" to a food bank in
    // Thornbury, a night bus's timetable to a track called "Night Bus"):
    // asked about where another field outweighs it or the name runs on into
    // a longer one, other than a street's ("Birchwood Road" is where the
    // Birchwood extension is built) or the name's own trade, legal form, park
    // or portal ("Weidner Maschinenbau" is the client Weidner). Only a name
    // of one word runs on: what follows a name of several is mostly its town
    // ("Hoffmann GmbH Ludwigsburg").
    if (r.nameTies > 0 && r.nameTies == r.matched.size() && r.related == 0 && !r.workPlace &&
        !r.intendedPlace && !r.namedPlace && !r.referencePlace) {
        const QString name = r.matched.join(QLatin1Char(' '));
        const auto longerName = [&] {
            const qsizetype at = weighing.named.indexOf(name, 0, Qt::CaseInsensitive);
            if (at < 0) {
                return false;
            }
            const QString after = weighing.named.mid(at + name.size());
            static const QRegularExpression next(QStringLiteral("^ (\\p{Lu}\\p{Ll}+)"),
                                                 QRegularExpression::UseUnicodePropertiesOption);
            // Words after a name that keep it the same thing: a street's, and
            // the name's own trade, legal form, park or portal.
            static const QRegularExpression same(
                QStringLiteral("^ (?:road|rd|street|st|lane|ln|avenue|ave|drive|dr|close|way|"
                               "court|crescent|place|terrace|straße|strasse|str|weg|allee|gasse|"
                               "platz|ring|damm|calle|avenida|rue|boulevard|chemin|via|viale|"
                               "piazza|rua|straat|laan|gracht|plein|park|business|portal|"
                               "logistics|logistik|maschinenbau|gmbh|ltd|limited|inc|llc|plc|ag|"
                               "holdings|systems|solutions)(?!\\p{Ll})"),
                QRegularExpression::CaseInsensitiveOption |
                    QRegularExpression::UseUnicodePropertiesOption);
            const QRegularExpressionMatch m = next.match(after);
            return m.hasMatch() && !aimset.contains(m.captured(1), Qt::CaseInsensitive) &&
                   !same.match(after).hasMatch();
        };
        // A name of several words is one that both write whole ("Solaranlagen"
        // and "Flachdächern" are two German nouns), and counts as one word
        // against the other field's.
        const bool oneName =
            r.nameTies == 1 || (aimset.contains(name, Qt::CaseInsensitive) &&
                                weighing.named.contains(name, Qt::CaseInsensitive));
        const bool aboutElse = r.foreignWords >= 2 && r.foreignWords > r.ownWords - r.nameTies + 1;
        if (oneName && ((!weighing.page && aboutElse) || (r.nameTies == 1 && longerName()))) {
            return anotherOfTheName(name);
        }
    }
    // An article at a place of news the aimset does not need, its title or
    // its page, is asked about too, however many of its words it shares, when
    // it says more than they do: the subject in the news is read about, not
    // worked on.
    const auto looksLike = [&r](const QString& looks) -> Decision {
        if (r.matched.isEmpty()) {
            return {Verdict::unclear, QStringLiteral("Looks like ") + looks};
        }
        return {Verdict::unclear, QStringLiteral("Mentions ") + mentioned(r.matched, 3) +
                                      QStringLiteral(", but looks like ") + looks};
    };
    if (!r.newsName.isEmpty() && !r.workPlace && !r.intendedPlace && !r.namesLanguage &&
        r.unrelatedWords + r.foreignWords > 0) {
        return looksLike(QStringLiteral("news (") + r.newsName + QLatin1Char(')'));
    }
    // A shop's sale or a listing "for sale" is browsed, unless the aimset
    // itself sells or buys ("Houses for sale in Cornwall" to a move to Leeds).
    static const QRegularExpression sale(QStringLiteral("\\b(sale|soldes|rebajas|saldi)\\b"),
                                         QRegularExpression::CaseInsensitiveOption |
                                             QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression trades(
        QStringLiteral("\\b(sale|sell|selling|sold|buy|buying|auction|soldes|rebajas|saldi|"
                       "vendre|acheter|vender|comprar|verkaufen|kaufen)\\b"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    // "sale" is salt in Italian and dirty in French: an aimset written in
    // either counts only those languages' own words for a sale.
    const auto saleWord = [&](const QString& word) {
        if (word.compare(QStringLiteral("sale"), Qt::CaseInsensitive) != 0) {
            return true;
        }
        const QByteArrayList& written = profileOf(aimset)->writtenIn;
        return !written.contains(QByteArrayLiteral("italian")) &&
               !written.contains(QByteArrayLiteral("french"));
    };
    if (const QRegularExpressionMatch m = sale.match(weighing.named);
        m.hasMatch() && !trades.match(aimset).hasMatch() && saleWord(m.captured(1))) {
        return looksLike(QStringLiteral("shopping (") + m.captured(1).toLower() + QLatin1Char(')'));
    }
    // Two full words of the aimset settle it; so do two things of its subject
    // beyond names at a place it needs (a job board to hire from).
    if (r.strongTies > 1 || (r.intendedPlace && r.subjectTies >= 2)) {
        return decided;
    }
    // A ranking of the best of something (a buying guide, a city's best
    // bars) is browsed, not worked on, unless the aimset chooses or buys.
    static const QRegularExpression ranking(
        QStringLiteral("(?:^|[-\u2013\u2014|:] |\\b(?:the|top|die|los|las|les|i|le|os|as|de) )"
                       "(?:\\d+ )?(best|besten|mejores|meilleure?s?|migliori|melhores|beste)\\b"
                       "(?! (?:practices?|times?|ways?|man)\\b)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    if (const QRegularExpressionMatch m = ranking.match(weighing.named);
        m.hasMatch() && !r.forumPlace) {
        return looksLike(QStringLiteral("listicle (") + m.captured(1).toLower() + QLatin1Char(')'));
    }
    // A capitalised word in brackets abbreviates the name before it
    // ("Early Warning Score (NEWS)"): it is no sign of news.
    const auto abbreviation = [&named = weighing.named](const QRegularExpressionMatch& m) {
        const QString word = m.captured();
        return m.capturedStart() > 0 && named.at(m.capturedStart() - 1) == QLatin1Char('(') &&
               m.capturedEnd() < named.size() && named.at(m.capturedEnd()) == QLatin1Char(')') &&
               word.size() > 1 && word == word.toUpper();
    };
    // A sign inside a phrase of the aimset's subject ("menu pricing", "enquête
    // de terrain") is that subject's word, not news.
    const auto inTie = [&](const QRegularExpressionMatch& m) {
        return std::any_of(r.matched.begin(), r.matched.end(), [&](const QString& tie) {
            return tie.size() > m.capturedLength() && tie.contains(QLatin1Char(' ')) &&
                   tie.contains(m.captured().trimmed(), Qt::CaseInsensitive) &&
                   weighing.named.contains(tie, Qt::CaseInsensitive);
        });
    };
    QRegularExpressionMatch news;
    for (QRegularExpressionMatchIterator it = m_index->newsSigns.globalMatch(weighing.named);
         it.hasNext() && !news.hasMatch();) {
        if (QRegularExpressionMatch m = it.next(); !abbreviation(m) && !inTie(m)) {
            news = m;
        }
    }
    if (!news.hasMatch()) {
        return decided;
    }
    qsizetype kind = 0;
    while (kind + 1 < m_index->newsKinds.size() && !news.hasCaptured(kind + 1)) {
        ++kind;
    }
    // A comparison of three things of the aimset's subject, beyond names of
    // tools and places ("SQL LEFT JOIN vs. LEFT OUTER JOIN"), is the subject.
    if (r.subjectTies >= 3 && m_index->newsKinds.at(kind) == QStringLiteral("comparisons")) {
        return decided;
    }
    return looksLike(m_index->newsKinds.at(kind) + QStringLiteral(" (") + news.captured() +
                     QLatin1Char(')'));
}

OfflineJudge::Decision OfflineJudge::scored(const QString& aimset, const Weighing& weighing) const {
    const Index& index = *m_index;
    // What the rules find aligned stays so; the score settles the rest.
    if (!index.weights || weighing.rules.verdict == Verdict::aligned) {
        return weighing.rules;
    }
    const Knowledge::Weights& weights = *index.weights;
    const double score = weights.bias + weighed(weights.byEvidence, evidenceOf(weighing));
    const Reading& r = weighing.reading;
    // A place of play that shows nothing of the aimset, its field, its
    // places or its tools is closed as the rules say; the score weighs the
    // rest, and nothing is closed without a sign of play to name.
    const bool bare = r.relatedness() == 0 && r.ownWords == 0 && !r.aimsetAboutPlay &&
                      !r.intendedPlace && !r.namedPlace && !r.workPlace && !r.learning;
    // So is a page showing nothing but a site's own name and feed ("YouTube",
    // "Hacker News") once the rules find play there: there is nothing to ask.
    // Words of another field count against it only where the aimset's own
    // field is known, so that their being elsewhere means something.
    const bool onlyItsFeed = r.unrelatedWords == 0 && (r.foreignWords == 0 || r.aimsetKnown);
    const bool closing =
        weighing.rules.verdict == Verdict::misaligned && (r.playPlace || onlyItsFeed) && bare;
    // Nor does a low score close a place the aimset needs or names, or play
    // when the aimset is about play: there, play may well be the work. Nor a
    // forum's thread: people ask there about their work in words of its trade
    // ("Patch Tuesday megathread" to rolling out updates). Nor a feed on a
    // name the aimset gives (a town's hashtag to an article on its mill).
    const bool closable = r.leisure > 0 && !r.intendedPlace && !r.namedPlace &&
                          !r.aimsetAboutPlay && !r.forumPlace && r.nameTies == 0;
    // Nor does a score keep a title for one weak word it shares among many others
    // ("Report a lost or stolen card" to an incident report). Nor does it
    // keep a window that shows nothing of the aimset's subject beyond its
    // site's or tool's own name where it shows a sign of play ("Dribbble -
    // Popular shots" to a design in Figma) or, in a title, mostly another
    // field ("Canva - Wedding invitation templates" to a shop's newsletter).
    const bool onlyByName = r.subjectTies == 0 && !r.matched.isEmpty();
    const bool keepable = (weighing.page || (!r.oneWeakWordAmongMany() && !r.oneWordElsewhere())) &&
                          !(onlyByName && !weighing.page && r.aboutElse()) &&
                          (r.subjectTies > 0 || r.leisure == 0);
    // A forum's thread in two words of the aimset's field, with no sign of
    // play and no more of other things than of the aimset, is a question of
    // its work ("Which mock clock library do you use?" to a flaky test).
    const bool fieldThread = r.forumPlace && r.related >= 2 * kRelatedWeight && r.cues == 0 &&
                             r.foreignWords == 0 && r.unrelatedWords <= r.ownWords;
    // A video in two words of the aimset's field, with no sign of play beyond
    // the video site itself, is a how-to or a talk of the trade.
    const bool fieldVideo = r.leisureKind == QStringLiteral("video") && r.leisure < 1.0 &&
                            r.cues == 0 && r.related >= 2 * kRelatedWeight;
    const Verdict verdict =
        (score >= weights.alignedFrom && keepable) || fieldThread || fieldVideo ? Verdict::aligned
        : closing || (score < weights.closedBelow && closable) ? Verdict::misaligned
                                                               : Verdict::unclear;
    if (verdict == weighing.rules.verdict) {
        return weighing.rules;
    }
    const QString looks =
        r.leisureKind + QStringLiteral(" (") + r.leisureExample + QLatin1Char(')');
    switch (verdict) {
    case Verdict::aligned:
        return r.kept(aimset);
    case Verdict::misaligned:
        return {verdict,
                QStringLiteral("Looks like ") + looks +
                    (r.matched.isEmpty()
                         ? QStringLiteral(", unrelated to ") + quoted(aimset)
                         : QStringLiteral(", though it mentions ") + mentioned(r.matched, 2))};
    case Verdict::unclear:
        break;
    }
    return r.question(aimset, r.relatedness() > 0 && r.leisure > 0);
}

Judged<bool> OfflineJudge::judgeTitle(const QString& aimset, const QString& context) {
    return decideTitle(aimset, context).verdict == Verdict::aligned;
}

Judged<TextVerdict> OfflineJudge::judgeText(const QString& aimset, const QString& text) {
    const Decision decision = decideText(aimset, text);
    switch (decision.verdict) {
    case Verdict::aligned:
        return TextVerdict{QStringLiteral("ALIGNED"), decision.reason, {}};
    case Verdict::misaligned:
        return TextVerdict{QStringLiteral("MISALIGNED"), decision.reason, {}};
    case Verdict::unclear:
        break;
    }
    return TextVerdict{QStringLiteral("UNCLEAR"), decision.reason,
                       QStringLiteral("Do you need this window for ") + quoted(aimset) +
                           QLatin1Char('?')};
}

QString OfflineJudge::categoryOf(const QString& window) const {
    const Index& index = *m_index;
    // The most telling place wins: "Netflix" over the browser that shows it.
    const auto rank = [](Leaning leaning) {
        switch (leaning) {
        case Leaning::leisure:
        case Leaning::errand:
            return 4;
        case Leaning::mixed:
        case Leaning::forum:
            return 3;
        case Leaning::background:
            return 2;
        case Leaning::work:
        case Leaning::reference:
        case Leaning::messages:
            return 1;
        case Leaning::neutral:
            break;
        }
        return 0;
    };
    int best = -1;
    for (const Index::Match& match : index.scan(analyzeTerms(window))) {
        if (match.role == Role::place &&
            (best < 0 || rank(index.categories.at(match.ref).leaning) >
                             rank(index.categories.at(best).leaning))) {
            best = match.ref;
        }
    }
    return best < 0 ? QStringLiteral("other") : index.categories.at(best).name;
}

Judged<QString> OfflineJudge::expand(const QString& aimset, const QString& windowTitle) {
    Q_UNUSED(aimset);
    const Index& index = *m_index;
    // The subject of the page is its own content words: site and app names,
    // signs of play, counters, file types and filler go, so that a "yes"
    // widens the aimset by what the page is about rather than by its title.
    static const QRegularExpression wordPattern(QStringLiteral("[\\w][\\w'\u2019-]*"),
                                                QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression fileType(
        QStringLiteral("^(docx?|xlsx?|pptx?|odt|ods|odp|pdf|txt|md|csv|py|js|ts|cpp|h|html?)$"),
        QRegularExpression::CaseInsensitiveOption);
    QString title = windowTitle;
    title.replace(QLatin1Char('_'), QLatin1Char(' '));
    struct Word {
        QString shown;
        QString term;
        qsizetype part; // of the title, between separators
    };
    QList<Word> words;
    static const QRegularExpression separator(QStringLiteral(" [|\\-\u2013\u2014\u00B7] "));
    const QStringList parts = title.split(separator);
    for (qsizetype p = 0; p < parts.size(); ++p) {
        for (auto it = wordPattern.globalMatch(parts.at(p)); it.hasNext();) {
            const QString word = it.next().captured();
            // "OAuth2" is one word, though its letters also count alone.
            const QStringList terms = analyzeTerms(word);
            if (!terms.isEmpty() && !fileType.match(word).hasMatch()) {
                words.append({word, terms.first(), p});
            }
        }
    }
    QStringList sequence;
    for (const Word& word : words) {
        sequence.append(word.term);
    }
    QSet<qsizetype> dropped; // sites, apps and signs of play
    for (const Index::Match& match : index.scan(sequence, false)) {
        for (qsizetype k = 0; match.role != Role::topic && k < match.length; ++k) {
            dropped.insert(match.start + k);
        }
    }
    // The page's own name is the part of the title that says most; the
    // others are its site ("Lifehacker"), section or app.
    QList<QStringList> content(parts.size());
    QList<QStringList> seenTerms(parts.size());
    for (qsizetype i = 0; i < words.size(); ++i) {
        const Word& word = words.at(i);
        if (dropped.contains(i) || index.stopTerms.contains(word.term) ||
            index.genericTerms.contains(word.term) || isNumber(word.term) ||
            seenTerms.at(word.part).contains(word.term)) {
            continue;
        }
        seenTerms[word.part].append(word.term);
        content[word.part].append(word.shown);
    }
    const auto most = std::max_element(
        content.begin(), content.end(),
        [](const QStringList& a, const QStringList& b) { return a.size() < b.size(); });
    return most == content.end() ? QString() : most->mid(0, 4).join(QLatin1Char(' '));
}

QByteArray OfflineJudge::reduceKnowledge(const Knowledge& knowledge) {
    const QList<QStringList> lists = phraseLists(knowledge);
    WordMemory words;
    const QList<AnalysedList> analysedLists = analyseLists(lists, words);
    QStringList distinct;
    QHash<QString, quint32> number;
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out.setByteOrder(QDataStream::LittleEndian);
    for (const AnalysedList& list : analysedLists) {
        for (const QString& term : list.terms) {
            if (!number.contains(term)) {
                number.insert(term, static_cast<quint32>(distinct.size()));
                distinct.append(term);
            }
        }
    }
    out << kReducedMagic << kReducedVersion << fingerprintOf(lists) << distinct;
    for (const AnalysedList& list : analysedLists) {
        QList<quint32> indices;
        indices.reserve(list.terms.size());
        for (const QString& term : list.terms) {
            indices.append(number.value(term));
        }
        out << list.ends << indices;
    }
    return data;
}

} // namespace aimset::checkd
