#pragma once

#include "Judge.h"
#include "Knowledge.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <thread>

namespace aimset::checkd {

// Decides on the machine itself by weighing what it knows of the world:
// what the window is (an app or site and its kind), what it is about (words
// of the aimset and of its field, in several languages), what the aimset
// asks for (a trip makes travel sites work) and how the window presents
// itself (memes, highlights, full episodes). Thin or conflicting evidence
// gives "unclear", so the user is asked; only clear leisure is misaligned.
class OfflineJudge final : public Judge {
public:
    explicit OfflineJudge(Knowledge knowledge = Knowledge::builtIn());
    ~OfflineJudge() override;

    QString name() const override { return QStringLiteral("offline"); }
    Judged<bool> judgeTitle(const QString& aimset, const QString& context) override;
    Judged<TextVerdict> judgeText(const QString& aimset, const QString& text) override;
    Judged<QString> expand(const QString& aimset, const QString& windowTitle) override;

    enum class Verdict { aligned, unclear, misaligned };
    struct Decision {
        Verdict verdict = Verdict::unclear;
        QString reason;
    };
    // Title mode answers "aligned" only for an aligned decision.
    Decision decideTitle(const QString& aimset, const QString& context) const;
    Decision decideText(const QString& aimset, const QString& text) const;

    // The evidence a decision weighs, as many numbers as
    // Knowledge::evidenceNames(); empty when a rule decides without weighing
    // (an empty page, another numbered item than the aimset's). *context, if
    // given, gets the terms of what the window is for the aimset that the
    // window-word score weighs beside its words ("@shopping",
    // "topic:bookkeeping @shopping").
    QList<double> evidence(const QString& aimset, const QString& window, bool text,
                           QStringList* context = nullptr) const;

    // The kind of place a window shows ("video", "office", ...), "other" if unknown.
    QString categoryOf(const QString& window) const;

    // The knowledge's phrases reduced to their terms, as the judge would
    // reduce them at start: a build stores them with the program
    // (Knowledge::reducedTerms) so that its start-up skips that work.
    static QByteArray reduceKnowledge(const Knowledge& knowledge);

private:
    struct Index;
    struct Profile;
    struct Reading;
    struct Weighing;

    std::shared_ptr<const Profile> profileOf(const QString& aimset) const;
    Reading read(const Profile& profile, const QString& window) const;
    // A decision by rule alone, or the evidence for weighing in *weighing.
    std::optional<Decision> assess(const QString& aimset, const QString& window, bool text,
                                   Weighing* weighing) const;
    Decision rulesForTitle(const QString& aimset, const Reading& r) const;
    Decision rulesForText(const QString& aimset, const Reading& r) const;
    QList<double> evidenceOf(const Weighing& weighing) const;
    static QStringList contextTerms(const Profile& profile, const Reading& reading);
    // How likely the window is a distraction (a logit), by the fitted likely
    // weights on the evidence and its window-word score.
    double likelihood(const Weighing& weighing, double score) const;
    Decision weigh(const QString& aimset, const Weighing& weighing) const;
    Decision scored(const QString& aimset, const Weighing& weighing) const;
    Decision byFirstWords(const QString& aimset, const QString& window, const Weighing& weighing,
                          Decision decided, bool text) const;
    Decision surelyPlay(const QString& aimset, const QString& window, const Weighing& weighing,
                        Decision decided) const;
    Decision secondLook(const QString& aimset, const QString& window, const Weighing& weighing,
                        Decision decided, bool text) const;

    std::unique_ptr<const Index> m_index;
    std::thread m_lettingGo; // lets the knowledge's text go once the index is built
};

} // namespace aimset::checkd
