#include "TrailNames.h"

#include "ExamChain.h"
#include "LogFiles.h"
#include "TrailLock.h"
#include "TrailRecovery.h"

#include <QRegularExpression>

namespace vz {

TrailName trailNameKind(const QString& name) {
    if (logFileIndexOf(name))
        return TrailName::LogFile;
    if (name == QLatin1StringView(kChainFileName))
        return TrailName::Chain;
    if (name == QLatin1StringView(kStationKeyFileName))
        return TrailName::Key;
    if (name == QLatin1StringView(kLockFileName))
        return TrailName::Lock;
    if (name == QLatin1StringView(kPendingPrintFileName))
        return TrailName::Printing;
    if (!name.startsWith(QLatin1StringView("Pregledi")))
        return TrailName::None;
    static const QRegularExpression setAside(QStringLiteral(
        "^(Pregledi\\.chain|Pregledi[0-9]{5}\\.GPG)\\.(torn|aside)-[0-9]{8}-[0-9]{6}(-[0-9]+)?$"));
    if (const QRegularExpressionMatch match = setAside.match(name); match.hasMatch()) {
        const bool chain = match.captured(1) == QLatin1StringView(kChainFileName);
        if (match.captured(2) == QLatin1StringView("torn"))
            return chain ? TrailName::ChainTorn : TrailName::LogTorn;
        if (chain)
            return TrailName::ChainAside;
    }
    static const QRegularExpression leftover(QStringLiteral("^Pregledi.*\\.new-[0-9]+-[0-9a-f]{6}$"));
    if (leftover.match(name).hasMatch())
        return TrailName::Leftover;
    return TrailName::Stray;
}

} // namespace vz
