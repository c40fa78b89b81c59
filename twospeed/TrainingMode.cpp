#include "TrainingMode.h"

#include "TwoSpeedFormat.h"

namespace vz::twospeed {

TrainingMode trainingMode(bool demoMode, bool pseudoTerminal, const QDate& verificationExpires,
                          const QDate& today) {
    if (demoMode)
        return {true, TrainingReason::DemoMode, QStringLiteral("демонстрационен режим")};
    if (pseudoTerminal)
        return {true, TrainingReason::PseudoTerminal,
                QStringLiteral("симулиран анализатор (псевдотерминал)")};
    if (verificationExpires.isValid() && today.isValid() && verificationExpires < today)
        return {
            true, TrainingReason::VerificationExpired,
            QStringLiteral("проверката на анализатора е изтекла на %1").arg(dateText(verificationExpires))};
    return {};
}

} // namespace vz::twospeed
