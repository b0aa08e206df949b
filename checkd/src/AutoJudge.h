#pragma once

#include "Judge.h"
#include "OfflineJudge.h"

#include <memory>

namespace aimset::checkd {

// The offline judge first; a language model the user configured only for
// what the offline judge finds unclear. Whenever the model fails, the
// offline answer stands, so a broken model never makes things worse.
class AutoJudge final : public Judge {
public:
    AutoJudge(std::unique_ptr<OfflineJudge> offline, std::unique_ptr<Judge> model);

    QString name() const override { return QStringLiteral("auto"); }
    Judged<bool> judgeTitle(const QString& aimset, const QString& context) override;
    Judged<TextVerdict> judgeText(const QString& aimset, const QString& text) override;
    Judged<QString> expand(const QString& aimset, const QString& windowTitle) override;

private:
    std::unique_ptr<OfflineJudge> m_offline;
    std::unique_ptr<Judge> m_model; // may be null: then this is the offline judge
};

} // namespace aimset::checkd
