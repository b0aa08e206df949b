#include "OfflineJudge.h"

#include <QRegularExpression>

#include <algorithm>

namespace aimset::checkd {

namespace {

// An aimset word found in a window counts fully; a related word less, and
// numbers ("chapter 7", "2024") barely, since they turn up everywhere.
constexpr double kRelatedWeight = 0.6;
constexpr double kNumberWeight = 0.35;
constexpr double kRelatedCap = 1.8;
constexpr double kSiteWeight = 0.5;

QString quoted(const QString& text) {
    return QStringLiteral("\u201C") + text + QStringLiteral("\u201D");
}

bool isNumber(const QString& term) {
    return std::all_of(term.begin(), term.end(), [](QChar c) { return c.isDigit(); });
}

} // namespace

struct OfflineJudge::Profile {
    struct Term {
        QString analyzed;
        QString shown;
        double weight;
    };
    QList<Term> core;
    QList<Phrase> related;
    QSet<QString> vocabulary; // every analysed core and related term
    TermBag bag;

    explicit Profile(const QString& aimset)
        : bag(aimset) {}
};

OfflineJudge::OfflineJudge(const Lexicon& lexicon) {
    for (const QString& word : lexicon.stopwords) {
        for (const QString& term : analyzeTerms(word)) {
            m_stopwords.insert(term);
        }
    }
    const auto prepare = [](const QString& shown) {
        const QString analyzed = analyzePhrase(shown);
        return Phrase{analyzed, shown, QLatin1Char(' ') + analyzed + QLatin1Char(' ')};
    };
    for (const QStringList& topic : lexicon.topics) {
        QList<Phrase> prepared;
        for (const QString& phrase : topic) {
            Phrase p = prepare(phrase);
            // "W-2" keeps only its "2", which would match any window with a 2.
            const bool bareShortNumber = isNumber(p.analyzed) && p.analyzed.size() < 3;
            if (!p.analyzed.isEmpty() && !bareShortNumber) {
                prepared.append(p);
            }
        }
        m_topics.append(prepared);
    }
    for (const DistractionEntry& entry : lexicon.distractions) {
        Phrase p = prepare(entry.phrase);
        if (!p.analyzed.isEmpty()) {
            m_distractions.append({p, entry.kind, entry.weight});
        }
    }
    for (const QString& phrase : lexicon.leisureLeaning) {
        m_leisureLeaning.append(prepare(phrase));
    }
    for (const QString& phrase : lexicon.background) {
        m_background.append(prepare(phrase));
    }
    for (const QString& phrase : lexicon.browsers) {
        m_browsers.append(prepare(phrase));
    }
    for (const QString& phrase : lexicon.workSites) {
        m_workSites.append(prepare(phrase));
    }
    m_siteSegments = lexicon.siteSegments;
    m_titleSuffixes = lexicon.titleSuffixes;
}

OfflineJudge::~OfflineJudge() = default;

std::shared_ptr<const OfflineJudge::Profile> OfflineJudge::profileOf(const QString& aimset) const {
    // The same few aimsets come back for every window of a session.
    thread_local QHash<QString, std::shared_ptr<const Profile>> cache;
    if (const auto found = cache.constFind(aimset); found != cache.constEnd()) {
        return *found;
    }
    auto profile = std::make_shared<Profile>(aimset);
    QSet<QString> seen;
    for (const QString& word :
         aimset.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        for (const QString& term : analyzeTerms(word)) {
            if (m_stopwords.contains(term) || seen.contains(term)) {
                continue;
            }
            seen.insert(term);
            QString shown = word;
            shown.remove(QRegularExpression(QStringLiteral("^\\W+|\\W+$")));
            if (shown.isEmpty() || shown.size() > 24) { // a run of CJK text: show its pair
                shown = term;
            }
            // Being on a site the aimset names ("my TikTok") is not yet the work.
            const bool isSite = std::any_of(m_leisureLeaning.begin(), m_leisureLeaning.end(),
                                            [&](const Phrase& p) { return p.analyzed == term; });
            const double weight = isNumber(term) ? kNumberWeight : isSite ? kSiteWeight : 1.0;
            profile->core.append({term, shown, weight});
        }
    }
    // A field of work is named when one of its words (not a mere stopword)
    // appears in the aimset; its other words then count as related.
    QSet<QString> relatedSeen;
    for (const QList<Phrase>& topic : m_topics) {
        const bool named = std::any_of(topic.begin(), topic.end(), [&](const Phrase& p) {
            return !m_stopwords.contains(p.analyzed) &&
                   profile->bag.containsPadded(p.analyzed, p.padded);
        });
        if (!named) {
            continue;
        }
        for (const Phrase& p : topic) {
            if (!seen.contains(p.analyzed) && !relatedSeen.contains(p.analyzed) &&
                !m_stopwords.contains(p.analyzed)) {
                relatedSeen.insert(p.analyzed);
                profile->related.append(p);
            }
        }
    }
    for (const Profile::Term& term : profile->core) {
        profile->vocabulary.insert(term.analyzed);
    }
    for (const Phrase& phrase : profile->related) {
        profile->vocabulary.insert(phrase.analyzed);
    }
    if (cache.size() > 64) {
        cache.clear();
    }
    cache.insert(aimset, profile);
    return profile;
}

OfflineJudge::Evidence OfflineJudge::weigh(const QString& aimset, const QString& window) const {
    const auto profile = profileOf(aimset);
    const TermBag bag(window);
    Evidence evidence;

    for (const Profile::Term& term : profile->core) {
        if (bag.contains(term.analyzed)) {
            evidence.overlap += term.weight;
            evidence.matched.append(term.shown);
        }
    }
    double related = 0;
    for (const Phrase& phrase : profile->related) {
        if (related < kRelatedCap && bag.containsPadded(phrase.analyzed, phrase.padded)) {
            related += kRelatedWeight;
            evidence.matched.append(phrase.shown);
        }
    }
    evidence.overlap += std::min(related, kRelatedCap);

    // A site the aimset names, or a word of its field, is no distraction.
    const auto named = [&](const Phrase& phrase) {
        return profile->vocabulary.contains(phrase.analyzed) ||
               profile->bag.containsPadded(phrase.analyzed, phrase.padded);
    };
    double strongest = 0;
    QSet<QString> counted;
    for (const Sign& sign : m_distractions) {
        if (counted.contains(sign.phrase.analyzed) ||
            !bag.containsPadded(sign.phrase.analyzed, sign.phrase.padded) || named(sign.phrase)) {
            continue;
        }
        counted.insert(sign.phrase.analyzed);
        evidence.distraction += sign.weight;
        if (sign.weight > strongest) {
            strongest = sign.weight;
            evidence.distractionKind = sign.kind;
            evidence.distractionExample = sign.phrase.shown;
        }
    }
    evidence.leisureLeaning =
        std::any_of(m_leisureLeaning.begin(), m_leisureLeaning.end(), [&](const Phrase& p) {
            return bag.containsPadded(p.analyzed, p.padded) && !named(p);
        });
    evidence.namedLeisureSite =
        std::any_of(m_leisureLeaning.begin(), m_leisureLeaning.end(), [&](const Phrase& p) {
            return bag.containsPadded(p.analyzed, p.padded) && named(p);
        });
    const auto inWindow = [&](const Phrase& p) { return bag.containsPadded(p.analyzed, p.padded); };
    evidence.browser = std::any_of(m_browsers.begin(), m_browsers.end(), inWindow);
    evidence.workSite = std::any_of(m_workSites.begin(), m_workSites.end(), inWindow);
    // Names too short to find as words: only a whole title part counts.
    static const QRegularExpression separators(QStringLiteral("\\s+[-\u2013\u2014|\u00B7/:]\\s+"));
    for (const QString& part : window.split(separators)) {
        for (const DistractionEntry& site : m_siteSegments) {
            if (part.trimmed() == site.phrase && strongest < site.weight) {
                evidence.distraction += site.weight;
                strongest = site.weight;
                evidence.distractionKind = site.kind;
                evidence.distractionExample = site.phrase;
            }
        }
    }
    evidence.background =
        std::any_of(m_background.begin(), m_background.end(),
                    [&](const Phrase& p) { return bag.containsPadded(p.analyzed, p.padded); });
    return evidence;
}

Judged<bool> OfflineJudge::judgeTitle(const QString& aimset, const QString& context) {
    const Evidence e = weigh(aimset, context);
    if (e.overlap >= 1.0 && e.overlap >= e.distraction) {
        return true;
    }
    // Saying "not aligned" here leads to a closed tab when the window has no
    // readable text, so it takes a sign of leisure, not just missing overlap.
    if (e.distraction >= 1.0 || (e.distraction >= 0.5 && e.overlap < kRelatedWeight)) {
        return false;
    }
    // On a leisure site the aimset names, the page itself must show the work.
    if (e.namedLeisureSite && e.overlap < 1.0) {
        return false;
    }
    if (e.leisureLeaning && e.overlap < kRelatedWeight && !e.background) {
        return false;
    }
    // A web page that shares nothing at all with the aimset, on a site that
    // is not a general tool for work, was most likely wandered to.
    if (e.browser && e.overlap == 0 && !e.workSite && !e.background) {
        return false;
    }
    return true;
}

Judged<TextVerdict> OfflineJudge::judgeText(const QString& aimset, const QString& text) {
    const QString question =
        QStringLiteral("Do you need this window for ") + quoted(aimset) + QLatin1Char('?');
    if (text.trimmed().isEmpty()) {
        return TextVerdict{QStringLiteral("UNCLEAR"),
                           QStringLiteral("The window shows no readable text"), question};
    }
    const Evidence e = weigh(aimset, text);
    const bool clearlyRelated = (e.overlap >= 1.5 || (e.overlap >= 1.0 && e.distraction == 0)) &&
                                e.overlap >= e.distraction;
    if (clearlyRelated) {
        return TextVerdict{QStringLiteral("ALIGNED"),
                           QStringLiteral("Mentions ") +
                               e.matched.mid(0, 3).join(QStringLiteral(", ")),
                           {}};
    }
    if (e.distraction >= 1.0 && e.overlap < kRelatedWeight) {
        return TextVerdict{QStringLiteral("MISALIGNED"),
                           QStringLiteral("Looks like ") + e.distractionKind +
                               QStringLiteral(" (") + e.distractionExample +
                               QStringLiteral("), unrelated to ") + quoted(aimset),
                           {}};
    }
    return TextVerdict{QStringLiteral("UNCLEAR"),
                       QStringLiteral("No clear link to ") + quoted(aimset), question};
}

Judged<QString> OfflineJudge::expand(const QString& aimset, const QString& windowTitle) {
    Q_UNUSED(aimset);
    static const QRegularExpression counter(QStringLiteral("^\\s*(\\(\\d+\\)|●|\\*)\\s*"));
    static const QRegularExpression separators(
        QStringLiteral("\\s+[-\u2013\u2014|\u00B7:]\\s+|\\s*[|\u00B7]\\s*"));
    static const QRegularExpression extension(QStringLiteral("\\.[A-Za-z0-9]{1,5}$"));
    QString title = windowTitle;
    title.remove(counter);
    // The first part that is not an app, browser or well-known site names the content.
    for (QString part : title.split(separators, Qt::SkipEmptyParts)) {
        part = part.trimmed();
        const bool isSuffix =
            std::any_of(m_titleSuffixes.begin(), m_titleSuffixes.end(), [&](const QString& s) {
                return part.compare(s, Qt::CaseInsensitive) == 0;
            });
        const QString analyzed = analyzePhrase(part);
        const auto sameAs = [&](const Phrase& p) { return p.analyzed == analyzed; };
        const bool isSite =
            std::any_of(m_leisureLeaning.begin(), m_leisureLeaning.end(), sameAs) ||
            std::any_of(m_background.begin(), m_background.end(), sameAs) ||
            std::any_of(m_distractions.begin(), m_distractions.end(),
                        [&](const Sign& s) { return s.phrase.analyzed == analyzed; });
        if (isSuffix || isSite || analyzed.isEmpty()) {
            continue;
        }
        part.remove(extension);
        part.replace(QLatin1Char('_'), QLatin1Char(' '));
        QStringList words = part.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() > 8) {
            words = words.mid(0, 8);
        }
        return words.join(QLatin1Char(' '));
    }
    return title.trimmed().left(60);
}

} // namespace aimset::checkd
