#pragma once

#include "Judge.h"
#include "Lexicon.h"
#include "TextAnalysis.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <memory>

namespace aimset::checkd {

// Decides on the machine itself, from word overlap between the aimset and
// the window (stemmed, widened by related words of the same field) and from
// knowledge of sites that mostly serve leisure. It closes nothing on thin
// evidence: without a clear sign of leisure it answers aligned (title) or
// asks (text).
class OfflineJudge final : public Judge {
public:
    explicit OfflineJudge(const Lexicon& lexicon = Lexicon::builtIn());
    ~OfflineJudge() override;

    QString name() const override { return QStringLiteral("offline"); }
    Judged<bool> judgeTitle(const QString& aimset, const QString& context) override;
    Judged<TextVerdict> judgeText(const QString& aimset, const QString& text) override;
    Judged<QString> expand(const QString& aimset, const QString& windowTitle) override;

    // What a window has in common with an aimset, and what speaks against it.
    struct Evidence {
        double overlap = 0;            // aimset words and their relatives found
        double distraction = 0;        // signs of leisure the aimset does not name
        bool leisureLeaning = false;   // a site of work and play the aimset does not name
        bool namedLeisureSite = false; // ... one the aimset names
        bool background = false;
        bool browser = false;       // the window is a page in a web browser
        bool workSite = false;      // ... of a site that serves work of any kind
        QStringList matched;        // shown in reasons
        QString distractionKind;    // of the strongest sign
        QString distractionExample; // as written in the window
    };
    Evidence weigh(const QString& aimset, const QString& window) const;

private:
    struct Phrase {
        QString analyzed;
        QString shown;
        QString padded; // " analyzed ", for phrase look-ups
    };
    struct Sign {
        Phrase phrase;
        QString kind;
        double weight;
    };
    struct Profile;

    std::shared_ptr<const Profile> profileOf(const QString& aimset) const;

    QSet<QString> m_stopwords;
    QList<QList<Phrase>> m_topics;
    QList<Sign> m_distractions;
    QList<Phrase> m_leisureLeaning;
    QList<Phrase> m_background;
    QList<Phrase> m_browsers;
    QList<Phrase> m_workSites;
    QList<DistractionEntry> m_siteSegments;
    QStringList m_titleSuffixes;
};

} // namespace aimset::checkd
