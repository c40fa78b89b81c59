#include "TrainingMode.h"

#include "TwoSpeedFormat.h"

namespace vz::twospeed {

namespace {

const QString kDemoText = QStringLiteral("демонстрационен режим");
const QString kPseudoTerminalText = QStringLiteral("симулиран анализатор (псевдотерминал)");
const QString kSerialMissingText = QStringLiteral("в TWOSPEED.ini няма сериен номер на анализатора");
const QString kDateMissingText = QStringLiteral("в TWOSPEED.ini няма дата на проверката на анализатора");

bool serialMissing(const TwoSpeedSetup& setup) {
    return setup.analyserSerial.trimmed().isEmpty();
}

QString expiredText(const QDate& expires) {
    return QStringLiteral("проверката на анализатора е изтекла на %1").arg(dateText(expires));
}

bool expired(const QDate& expires, const QDate& today) {
    return expires.isValid() && today.isValid() && expires < today;
}

// The mode of a list of causes already in order.
TrainingMode modeOf(QList<TrainingCause> causes) {
    TrainingMode mode;
    if (causes.isEmpty())
        return mode;
    mode.active = true;
    mode.reason = causes.first().reason;
    mode.reasonText = causes.first().text;
    mode.reasons = std::move(causes);
    return mode;
}

} // namespace

QList<TrainingReason> trainingReasonOrder() {
    using R = TrainingReason;
    return {R::DemoMode,
            R::PseudoTerminal,
            R::SerialMissing,
            R::VerificationDateMissing,
            R::VerificationExpired,
            R::HighIdleBelowFloor,
            R::StabilisationBelowFloor,
            R::AveragingBelowFloor,
            R::SamplesBelowFloor,
            R::DilutionBelowFloor};
}

QString trainingReasonKey(TrainingReason reason) {
    switch (reason) {
    case TrainingReason::DemoMode:
        return QStringLiteral("demo-mode");
    case TrainingReason::PseudoTerminal:
        return QStringLiteral("pseudo-terminal");
    case TrainingReason::VerificationExpired:
        return QStringLiteral("verification-expired");
    case TrainingReason::SerialMissing:
        return QStringLiteral("analyser-serial-missing");
    case TrainingReason::VerificationDateMissing:
        return QStringLiteral("verification-date-missing");
    case TrainingReason::HighIdleBelowFloor:
        return QStringLiteral("high-idle-below-floor");
    case TrainingReason::StabilisationBelowFloor:
        return QStringLiteral("stabilisation-below-floor");
    case TrainingReason::AveragingBelowFloor:
        return QStringLiteral("averaging-below-floor");
    case TrainingReason::SamplesBelowFloor:
        return QStringLiteral("samples-below-floor");
    case TrainingReason::DilutionBelowFloor:
        return QStringLiteral("dilution-below-floor");
    case TrainingReason::None:
        break;
    }
    return {};
}

QList<TrainingCause> TrainingMode::allReasons() const {
    if (!reasons.isEmpty() || !active)
        return reasons;
    return {{reason, reasonText}};
}

QString TrainingMode::allReasonsText() const {
    QStringList texts;
    for (const TrainingCause& cause : allReasons())
        texts << cause.text;
    return texts.join(QStringLiteral("; "));
}

QList<TrainingCause> setupFloorBreaches(const TwoSpeedSetup& s) {
    QList<TrainingCause> breaches;
    if (s.highIdle.min < kFloorHighIdleMinRpm)
        breaches.append({TrainingReason::HighIdleBelowFloor,
                         QStringLiteral("повишените обороти започват от %1 min⁻¹, под %2 min⁻¹")
                             .arg(s.highIdle.min)
                             .arg(kFloorHighIdleMinRpm)});
    if (s.stabilisationMs < kFloorStabilisationMs)
        breaches.append({TrainingReason::StabilisationBelowFloor,
                         QStringLiteral("време за стабилизиране %1, под %2")
                             .arg(secondsText(s.stabilisationMs), secondsText(kFloorStabilisationMs))});
    if (s.averagingMs < kFloorAveragingMs)
        breaches.append({TrainingReason::AveragingBelowFloor,
                         QStringLiteral("време за осредняване %1, под %2")
                             .arg(secondsText(s.averagingMs), secondsText(kFloorAveragingMs))});
    if (s.minimumSamples < kFloorMinimumSamples)
        breaches.append({TrainingReason::SamplesBelowFloor,
                         QStringLiteral("средна стойност от най-малко %1 отчитания, под %2")
                             .arg(s.minimumSamples)
                             .arg(kFloorMinimumSamples)});
    // Compared in the hundredths the file gives, so 6 % is never a hair below itself.
    if (printedUnits(s.dilutionPercent, 2) < kFloorDilutionHundredths)
        breaches.append({TrainingReason::DilutionBelowFloor,
                         QStringLiteral("праг на разреждане %1 %, под %2 %")
                             .arg(compactUnitsText(printedUnits(s.dilutionPercent, 2), 2),
                                  compactUnitsText(kFloorDilutionHundredths, 2))});
    return breaches;
}

// The reasons the station itself gives: demo mode and a simulated line, in that order.
static QList<TrainingCause> stationCauses(bool demoMode, bool pseudoTerminal) {
    QList<TrainingCause> causes;
    if (demoMode)
        causes.append({TrainingReason::DemoMode, kDemoText});
    if (pseudoTerminal)
        causes.append({TrainingReason::PseudoTerminal, kPseudoTerminalText});
    return causes;
}

TrainingMode trainingMode(bool demoMode, bool pseudoTerminal, const TwoSpeedSetup& setup,
                          const QDate& today) {
    QList<TrainingCause> causes = stationCauses(demoMode, pseudoTerminal);
    if (serialMissing(setup))
        causes.append({TrainingReason::SerialMissing, kSerialMissingText});
    if (!setup.verificationExpires.isValid())
        causes.append({TrainingReason::VerificationDateMissing, kDateMissingText});
    if (expired(setup.verificationExpires, today))
        causes.append({TrainingReason::VerificationExpired, expiredText(setup.verificationExpires)});
    causes += setupFloorBreaches(setup);
    return modeOf(std::move(causes));
}

TrainingMode trainingMode(bool demoMode, bool pseudoTerminal, const QDate& verificationExpires,
                          const QDate& today) {
    QList<TrainingCause> causes = stationCauses(demoMode, pseudoTerminal);
    if (expired(verificationExpires, today))
        causes.append({TrainingReason::VerificationExpired, expiredText(verificationExpires)});
    return modeOf(std::move(causes));
}

QString setupTrainingNotice(const SetupReadResult& read) {
    const TwoSpeedSetup& setup = read.setup;
    QStringList missing;
    if (serialMissing(setup))
        missing << QStringLiteral("серийният номер на анализатора (AnalyserSerial)");
    if (!setup.verificationExpires.isValid())
        missing << QStringLiteral("датата, до която е валидна проверката му (VerificationExpires)");
    const QList<TrainingCause> breaches = setupFloorBreaches(setup);
    if (missing.isEmpty() && breaches.isEmpty())
        return {};

    QStringList sentences;
    if (!read.fileFound)
        sentences << QStringLiteral("Няма файл TWOSPEED.ini.");
    if (!missing.isEmpty())
        sentences << QStringLiteral(
                         "Изпитванията на две скорости ще бъдат обучение, докато в TWOSPEED.ini не "
                         "се %1 %2.")
                         .arg(missing.size() == 1 ? QStringLiteral("запише") : QStringLiteral("запишат"),
                              missing.join(QStringLiteral(" и ")));
    if (!breaches.isEmpty()) {
        QStringList texts;
        for (const TrainingCause& b : breaches)
            texts << b.text;
        sentences << QStringLiteral(
                         "Изпитванията на две скорости ще бъдат обучение, докато TWOSPEED.ini иска "
                         "по-малко от необходимото за официално изпитване: %1.")
                         .arg(texts.join(QStringLiteral("; ")));
    }
    return sentences.join(u' ');
}

} // namespace vz::twospeed
