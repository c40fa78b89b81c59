#include "TwoSpeedTest.h"

#include "Lambda.h"
#include "TwoSpeedFormat.h"

#include <algorithm>
#include <cmath>

namespace vz::twospeed {

namespace {

constexpr uint32_t kSelfSendingRate = 1200;

bool speedFromRecord(int rpmMode) {
    return rpmMode == 1 || rpmMode == 2;
}

// The cycle's state in a few words, for blocks and pauses.
QString opStateText(const CycleState& c) {
    switch (c.opState) {
    case 1:
        return QStringLiteral("измерва");
    case 2:
        return QStringLiteral("измерването спира");
    case 3:
        return c.runTicks > c.runTickLimit ? QStringLiteral("времето на измерването свърши")
                                           : QStringLiteral("измерването е спряно");
    case 4:
        return QStringLiteral("анализаторът загрява");
    case 5:
        return QStringLiteral("анализаторът се нулира");
    case 6:
        return QStringLiteral("анализаторът се инициализира");
    default:
        return QStringLiteral("измерването не е пуснато");
    }
}

QString windowText(const SpeedWindow& w) {
    return QStringLiteral("%1–%2 min⁻¹").arg(w.min).arg(w.max);
}

QString wholeSeconds(int64_t ms) {
    return QString::number((ms + 999) / 1000);
}

// Lambda of one set of gases, or none where the equation gives nothing sensible.
std::optional<double> lambdaOf(double co, double co2, double hcPpm, double o2, double k) {
    const std::optional<double> lambda = lambdaFactor(co, co2, hcPpm, o2, k);
    if (!lambda || !std::isfinite(*lambda) || *lambda <= 0 || *lambda >= 10)
        return std::nullopt;
    return lambda;
}

int decimalsOf(Quantity q) {
    switch (q) {
    case Quantity::Co:
        return kCoDecimals;
    case Quantity::Co2:
        return kCo2Decimals;
    case Quantity::Hc:
        return kHcDecimals;
    case Quantity::O2:
        return kO2Decimals;
    case Quantity::Lambda:
        return kLambdaDecimals;
    }
    return 2;
}

QuantityCheck infoCheck(Quantity q, std::optional<double> value) {
    QuantityCheck c;
    c.quantity = q;
    c.value = value;
    c.valueText = value ? decimalText(*value, decimalsOf(q)) : QStringLiteral("-");
    return c;
}

// "CO 0,45 % > 0,30 %; λ 1,052 извън 0,970–1,030"
QString failText(const Average& a) {
    QStringList parts;
    for (const QuantityCheck& c : a.checks) {
        if (c.pass)
            continue;
        const QString unit = quantityUnit(c.quantity).isEmpty() ? QString() : u' ' + quantityUnit(c.quantity);
        if (c.quantity == Quantity::Lambda)
            parts << QStringLiteral("%1 %2 извън %3").arg(quantityName(c.quantity), c.valueText, c.limitText);
        else
            parts << QStringLiteral("%1 %2%3 %4%3")
                         .arg(quantityName(c.quantity), c.valueText, unit,
                              QString(c.limitText).replace(u'≤', u'>'));
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace

QString phaseName(PhaseKind kind) {
    return kind == PhaseKind::HighIdle ? QStringLiteral("повишени обороти") : QStringLiteral("празен ход");
}

QString phaseKey(PhaseKind kind) {
    return kind == PhaseKind::HighIdle ? QStringLiteral("high-idle") : QStringLiteral("idle");
}

QString verdictKey(Verdict verdict) {
    switch (verdict) {
    case Verdict::Pending:
        return QStringLiteral("pending");
    case Verdict::Pass:
        return QStringLiteral("pass");
    case Verdict::Fail:
        return QStringLiteral("fail");
    case Verdict::Void:
        return QStringLiteral("void");
    case Verdict::Aborted:
        return QStringLiteral("aborted");
    case Verdict::Interrupted:
        return QStringLiteral("interrupted");
    case Verdict::NotRun:
        return QStringLiteral("not-run");
    }
    return {};
}

QString verdictTitle(Verdict verdict) {
    switch (verdict) {
    case Verdict::Pass:
        return QStringLiteral("СЪОТВЕТСТВА");
    case Verdict::Fail:
        return QStringLiteral("НЕ СЪОТВЕТСТВА");
    case Verdict::Void:
    case Verdict::Aborted:
    case Verdict::Interrupted:
        return QStringLiteral("НЕВАЛИДЕН");
    default:
        return {};
    }
}

QString phaseVerdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::Pending:
        return QStringLiteral("в ход");
    case Verdict::Pass:
        return QStringLiteral("съответства");
    case Verdict::Fail:
        return QStringLiteral("не съответства");
    case Verdict::Void:
        return QStringLiteral("невалидна");
    case Verdict::Aborted:
        return QStringLiteral("прекратена");
    case Verdict::Interrupted:
        return QStringLiteral("прекъсната");
    case Verdict::NotRun:
        return QStringLiteral("не е проведена");
    }
    return {};
}

QString quantityName(Quantity q) {
    switch (q) {
    case Quantity::Co:
        return QStringLiteral("CO");
    case Quantity::Co2:
        return QStringLiteral("CO₂");
    case Quantity::Hc:
        return QStringLiteral("HC");
    case Quantity::O2:
        return QStringLiteral("O₂");
    case Quantity::Lambda:
        return QStringLiteral("λ");
    }
    return {};
}

QString quantityKey(Quantity q) {
    switch (q) {
    case Quantity::Co:
        return QStringLiteral("co");
    case Quantity::Co2:
        return QStringLiteral("co2");
    case Quantity::Hc:
        return QStringLiteral("hc");
    case Quantity::O2:
        return QStringLiteral("o2");
    case Quantity::Lambda:
        return QStringLiteral("lambda");
    }
    return {};
}

QString quantityUnit(Quantity q) {
    switch (q) {
    case Quantity::Hc:
        return QStringLiteral("ppm");
    case Quantity::Lambda:
        return {};
    default:
        return QStringLiteral("%");
    }
}

TwoSpeedTest::TwoSpeedTest(VehicleFacts vehicle, TwoSpeedSetup setup, TrainingMode training, Clock clock)
    : m_vehicle(std::move(vehicle)), m_setup(std::move(setup)), m_training(std::move(training)),
      m_clock(std::move(clock)) {
    m_limits = selectLimits(m_vehicle, m_setup);
    m_fuelConstant = fuelLambdaConstant(m_vehicle.fuel);
    m_startClockMs = m_clock();
    if (m_limits.highIdleApplies) {
        PhaseResult high;
        high.kind = PhaseKind::HighIdle;
        high.window = m_limits.highIdleWindow;
        m_phases.append(high);
    }
    PhaseResult idle;
    idle.kind = PhaseKind::Idle;
    idle.window = m_limits.idleWindow;
    m_phases.append(idle);
}

int64_t TwoSpeedTest::requiredRunMs() const {
    return int64_t(m_setup.phaseLimitMs) * m_phases.size();
}

// --- Inputs ---

void TwoSpeedTest::updateCycle(const CycleState& cycle) {
    m_cycle = cycle;
    advance();
}

void TwoSpeedTest::tick() {
    advance();
}

void TwoSpeedTest::feed(const Reading& reading) {
    advance();
    if (finished())
        return;
    const bool fresh = !m_lastReading || m_lastReading->recordId != reading.recordId;
    m_lastFeedMs = m_nowMs;
    m_lastReading = reading;
    if (!fresh)
        return; // the line is alive, but the record was seen already
    switch (m_stage) {
    case Stage::Gate: {
        // The hang-up check counts while the instrument itself is ready; the engine speed
        // does not matter with the probe in clean air.
        RunAction unused;
        if (!instrumentBlocks(unused, false).isEmpty() || !(reading.hcPpm < kHangUpHcPpm))
            m_cleanSinceMs.reset();
        else if (!m_cleanSinceMs)
            m_cleanSinceMs = m_nowMs;
        else if (m_nowMs - *m_cleanSinceMs >= kHangUpMs)
            m_hangUpDone = true;
        break;
    }
    case Stage::Phases:
        updatePause();
        if (!m_run.paused)
            takeSample(reading);
        break;
    default:
        break;
    }
}

bool TwoSpeedTest::proceed() {
    advance();
    if (m_stage == Stage::Gate && gate().ready()) {
        m_stage = Stage::Conditioning;
        return true;
    }
    if (m_stage == Stage::Conditioning && conditioning().ready()) {
        m_oilAtStartC = m_lastReading ? m_lastReading->oilC : std::nullopt;
        m_oilConfirmed = !m_oilAtStartC;
        m_stage = Stage::Phases;
        startPhase(0);
        return true;
    }
    return false;
}

bool TwoSpeedTest::confirmEngineWarm() {
    if (m_stage != Stage::Conditioning || (m_lastReading && m_lastReading->oilC))
        return false;
    m_oilConfirmed = true;
    return true;
}

void TwoSpeedTest::abort() {
    endEarly(Verdict::Aborted, QStringLiteral("прекратено от оператора"));
}

void TwoSpeedTest::interrupt(const QString& reason) {
    endEarly(Verdict::Interrupted, reason.isEmpty() ? QStringLiteral("изпитването е прекъснато") : reason);
}

// --- Time ---

void TwoSpeedTest::advance() {
    const int64_t now = m_clock() - m_startClockMs;
    const int64_t dt = std::max<int64_t>(0, now - m_nowMs);
    m_nowMs += dt;
    if (m_stage == Stage::Phases) {
        advancePhase(dt);
    } else if (m_stage == Stage::Gate && m_cleanSinceMs) {
        RunAction unused;
        if (!instrumentBlocks(unused, false).isEmpty())
            m_cleanSinceMs.reset();
    }
}

void TwoSpeedTest::advancePhase(int64_t dt) {
    Run& r = m_run;
    r.elapsedMs += dt;
    if (!r.paused) {
        if (r.inWindow) {
            if (r.step == PhaseStep::Stabilising) {
                r.stabilisedMs += dt;
                if (r.stabilisedMs >= m_setup.stabilisationMs) {
                    r.step = PhaseStep::Measuring;
                    r.measuredMs = r.stabilisedMs - m_setup.stabilisationMs;
                    r.stabilisedMs = m_setup.stabilisationMs;
                }
            } else {
                r.measuredMs += dt;
            }
        } else if (r.stabilisedMs > 0) {
            // Outside the window once stabilisation had begun: the countdowns stand still,
            // and a short slip is forgiven.
            r.outsideMs += dt;
            if (r.outsideMs > kOutsideRestartMs && restartStabilisation())
                ++current().restarts;
        }
    }
    if (r.step == PhaseStep::Measuring && r.measuredMs >= m_setup.measuringMs) {
        endPhaseUndecided(false);
        return;
    }
    if (r.elapsedMs > m_setup.phaseLimitMs) {
        endPhaseUndecided(true);
        return;
    }
    updatePause();
}

bool TwoSpeedTest::resultsArriving() const {
    return m_lastFeedMs && m_nowMs - *m_lastFeedMs <= kResultsStaleMs;
}

QString TwoSpeedTest::cyclePauseReason() const {
    if (m_cycle.baudRate != kSelfSendingRate && m_cycle.opState != 1)
        return opStateText(m_cycle);
    if (!resultsArriving())
        return QStringLiteral("няма резултати от анализатора");
    if (!speedFromRecord(m_cycle.rpmMode))
        return QStringLiteral("оборотите не се четат от записа (режим вакуум)");
    return {};
}

void TwoSpeedTest::updatePause() {
    if (m_stage != Stage::Phases)
        return;
    const QString why = cyclePauseReason();
    const bool paused = !why.isEmpty();
    if (m_run.paused && !paused) {
        // Readings taken during a zeroing or a warm-up say nothing about the car, and the
        // engine may have changed meanwhile: stabilise again. The next record tells the speed.
        if (restartStabilisation())
            ++current().restarts;
        m_run.inWindow = false;
    }
    m_run.paused = paused;
    m_run.pauseReason = why;
}

bool TwoSpeedTest::restartStabilisation() {
    Run& r = m_run;
    const bool lost = r.stabilisedMs > 0 || r.step == PhaseStep::Measuring;
    r.step = PhaseStep::Stabilising;
    r.stabilisedMs = 0;
    r.measuredMs = 0;
    r.outsideMs = 0;
    r.window.clear();
    r.live.reset();
    return lost;
}

// --- Samples and averages ---

void TwoSpeedTest::takeSample(const Reading& reading) {
    Run& r = m_run;
    PhaseResult& phase = current();
    const bool inside = reading.rpm && phase.window.contains(*reading.rpm);
    if (inside)
        r.outsideMs = 0;
    r.inWindow = inside;

    Sample s;
    s.atMs = m_nowMs;
    s.rpm = reading.rpm;
    s.oilC = reading.oilC;
    s.co = reading.co;
    s.co2 = reading.co2;
    s.hcPpm = reading.hcPpm;
    s.o2 = reading.o2;
    s.lambda = lambdaOf(reading.co, reading.co2, reading.hcPpm, reading.o2, m_fuelConstant);
    s.inWindow = inside;
    s.measuring = r.step == PhaseStep::Measuring;
    phase.samples.append(s);
    if (!s.measuring)
        return;

    r.window.append(phase.samples.size() - 1);
    while (!r.window.isEmpty() && phase.samples[r.window.first()].atMs <= m_nowMs - m_setup.averagingMs)
        r.window.removeFirst();
    if (r.measuredMs >= m_setup.averagingMs)
        evaluateAverage();
}

Average TwoSpeedTest::averageOf(const QList<qsizetype>& indexes) const {
    const PhaseResult& phase = current();
    Average a;
    a.samples = int(indexes.size());
    int rpmCount = 0;
    int oilCount = 0;
    double rpmSum = 0;
    double oilSum = 0;
    bool allInside = true;
    for (const qsizetype i : indexes) {
        const Sample& s = phase.samples[i];
        a.co += s.co;
        a.co2 += s.co2;
        a.hcPpm += s.hcPpm;
        a.o2 += s.o2;
        if (s.rpm) {
            rpmSum += *s.rpm;
            ++rpmCount;
        }
        if (s.oilC) {
            oilSum += *s.oilC;
            ++oilCount;
        }
        allInside = allInside && s.inWindow;
        a.atMs = s.atMs;
    }
    if (a.samples > 0) {
        a.co /= a.samples;
        a.co2 /= a.samples;
        a.hcPpm /= a.samples;
        a.o2 /= a.samples;
    }
    if (rpmCount > 0)
        a.rpm = rpmSum / rpmCount;
    if (oilCount > 0)
        a.oilC = oilSum / oilCount;
    a.lambda = lambdaOf(a.co, a.co2, a.hcPpm, a.o2, m_fuelConstant);

    const bool highIdle = phase.kind == PhaseKind::HighIdle;
    QuantityCheck co = infoCheck(Quantity::Co, a.co);
    const int coLimit = highIdle ? m_limits.highIdleCoLimit : m_limits.idleCoLimit;
    co.limited = true;
    co.limitText = QStringLiteral("≤ ") + unitsText(coLimit, kCoDecimals);
    co.pass = printedUnits(a.co, kCoDecimals) <= coLimit;
    QuantityCheck lambda = infoCheck(Quantity::Lambda, a.lambda);
    if (highIdle) {
        lambda.limited = true;
        lambda.limitText = unitsText(m_limits.lambdaMin, kLambdaDecimals) + u'–' +
                           unitsText(m_limits.lambdaMax, kLambdaDecimals);
        const int64_t units = a.lambda ? printedUnits(*a.lambda, kLambdaDecimals) : -1;
        lambda.pass = a.lambda && units >= m_limits.lambdaMin && units <= m_limits.lambdaMax;
    }
    a.checks = {co, infoCheck(Quantity::Co2, a.co2), infoCheck(Quantity::Hc, a.hcPpm),
                infoCheck(Quantity::O2, a.o2), lambda};
    a.withinLimits =
        std::all_of(a.checks.cbegin(), a.checks.cend(), [](const QuantityCheck& c) { return c.pass; });

    const int64_t gases = printedUnits(a.co, kCoDecimals) + printedUnits(a.co2, kCo2Decimals);
    if (a.samples < m_setup.minimumSamples)
        a.invalidReason = QStringLiteral("средната стойност е от %1 отчитания, нужни са поне %2")
                              .arg(a.samples)
                              .arg(m_setup.minimumSamples);
    else if (!allInside)
        a.invalidReason = QStringLiteral("оборотите излязоха от прозореца %1 по време на осредняването")
                              .arg(windowText(phase.window));
    else if (gases < printedUnits(m_setup.dilutionPercent, 2))
        a.invalidReason = QStringLiteral("пробата е разредена: сондата не е навлязла достатъчно или има теч");
    else if (highIdle && !a.lambda)
        a.invalidReason = QStringLiteral("λ не може да се изчисли от средните стойности");
    a.valid = a.invalidReason.isEmpty();
    return a;
}

void TwoSpeedTest::evaluateAverage() {
    Run& r = m_run;
    const Average a = averageOf(r.window);
    r.live = a;
    current().lastAverage = a;
    if (!a.valid) {
        r.lastInvalidReason = a.invalidReason;
        return;
    }
    if (a.withinLimits) {
        current().deciding = a;
        finishPhase(Verdict::Pass, {});
        return;
    }
    r.lastValid = a;
}

// --- Ends ---

void TwoSpeedTest::endPhaseUndecided(bool phaseLimit) {
    const Run& r = m_run;
    const QString limitText =
        QStringLiteral("фазата не завърши за %1").arg(secondsText(m_setup.phaseLimitMs));
    if (r.lastValid) {
        // A valid average beyond a limit stands, whatever came after it.
        current().deciding = r.lastValid;
        QString reason = failText(*r.lastValid);
        if (phaseLimit)
            reason += QStringLiteral(" (%1)").arg(limitText);
        finishPhase(Verdict::Fail, reason);
        return;
    }
    QString detail = r.lastInvalidReason;
    if (phaseLimit && r.paused)
        detail = r.pauseReason;
    else if (phaseLimit && detail.isEmpty() && r.step == PhaseStep::Stabilising)
        detail = QStringLiteral("оборотите не бяха задържани в прозореца %1 за %2")
                     .arg(windowText(current().window), secondsText(m_setup.stabilisationMs));
    QString reason = phaseLimit ? limitText : QStringLiteral("няма валидна средна стойност");
    if (!detail.isEmpty())
        reason += QStringLiteral(": ") + detail;
    finishPhase(Verdict::Void, reason);
}

void TwoSpeedTest::finishPhase(Verdict verdict, const QString& reason) {
    PhaseResult& phase = current();
    phase.verdict = verdict;
    phase.reason = reason;
    phase.endedMs = m_nowMs;
    if (m_current + 1 < m_phases.size())
        startPhase(m_current + 1);
    else
        finishTest();
}

void TwoSpeedTest::startPhase(int index) {
    m_current = index;
    m_run = Run{};
    current().verdict = Verdict::Pending;
    current().startedMs = m_nowMs;
    updatePause();
}

void TwoSpeedTest::finishTest() {
    m_stage = Stage::Finished;
    m_endedMs = m_nowMs;
    QStringList failed;
    const PhaseResult* spoilt = nullptr;
    for (const PhaseResult& p : std::as_const(m_phases)) {
        if (p.verdict == Verdict::Fail)
            failed << phaseName(p.kind) + QStringLiteral(": ") + p.reason;
        else if (!spoilt && (p.verdict == Verdict::Void || p.verdict == Verdict::Aborted ||
                             p.verdict == Verdict::Interrupted))
            spoilt = &p;
    }
    if (!failed.isEmpty()) {
        m_verdict = Verdict::Fail;
        m_reason = failed.join(QStringLiteral("; "));
    } else if (spoilt) {
        m_verdict = spoilt->verdict;
        m_reason = phaseName(spoilt->kind) + QStringLiteral(": ") + spoilt->reason;
    } else {
        m_verdict = Verdict::Pass;
        m_reason.clear();
    }
}

void TwoSpeedTest::endEarly(Verdict verdict, const QString& reason) {
    if (finished())
        return;
    advance();
    if (finished())
        return; // time ran out on its own first
    if (m_stage == Stage::Phases) {
        PhaseResult& phase = current();
        phase.verdict = verdict;
        phase.reason = reason;
        phase.deciding = m_run.lastValid;
        phase.endedMs = m_nowMs;
        finishTest();
        // A failed phase fails the test whatever ends it; otherwise the test is named by how
        // it ended, even after a void phase before.
        if (m_verdict != Verdict::Fail) {
            m_verdict = verdict;
            m_reason = phaseName(phase.kind) + QStringLiteral(": ") + reason;
        }
        return;
    }
    m_stage = Stage::Finished;
    m_endedMs = m_nowMs;
    m_verdict = verdict;
    m_reason = reason + QStringLiteral(" преди измерването");
}

// --- Views ---

QList<Block> TwoSpeedTest::instrumentBlocks(RunAction& action, bool withSpeed) const {
    QList<Block> blocks;
    action = RunAction::None;
    const CycleState& c = m_cycle;
    const bool polled = c.baudRate != kSelfSendingRate;
    if (polled && c.opState != 1) {
        const bool waits = c.opState == 4 || c.opState == 5 || c.opState == 6;
        blocks.append({Block::Code::NotRunning, QStringLiteral("анализаторът не измерва: ") + opStateText(c),
                       waits ? QStringLiteral("изчакайте да започне измерването")
                             : QStringLiteral("пуснете измерването (F2)")});
        if (!waits)
            action = RunAction::Start;
    }
    if (polled && c.overRangeCount >= kOverRangeBlock)
        blocks.append({Block::Code::OverRange, QStringLiteral("показанията излизат извън обхвата"),
                       QStringLiteral("нулирайте анализатора на чист въздух (F3)")});
    if (c.ticksSinceResult > kTicksSinceResultLimit || !resultsArriving())
        blocks.append({Block::Code::NoResults, QStringLiteral("не идват резултати от анализатора"),
                       QStringLiteral("проверете връзката с анализатора")});
    if (polled && c.opState == 1) {
        const int64_t left = int64_t(std::max(0, c.runTickLimit - c.runTicks)) * c.runTickMs;
        if (left < requiredRunMs()) {
            blocks.append(
                {Block::Code::RunTimeShort,
                 QStringLiteral("до края на измерването остават %1 s, а изпитването може да трае до %2 s")
                     .arg(wholeSeconds(left), wholeSeconds(requiredRunMs())),
                 QStringLiteral("пуснете измерването отначало (F2 два пъти)")});
            action = RunAction::Restart;
        }
    }
    if (withSpeed && m_lastReading && m_lastReading->rpm && *m_lastReading->rpm == 0)
        blocks.append({Block::Code::NoEngineSpeed, QStringLiteral("оборотите са 0: няма сигнал за оборотите"),
                       QStringLiteral("свържете датчика за обороти и запалете двигателя")});
    return blocks;
}

GateView TwoSpeedTest::gate() const {
    GateView v;
    v.blocks = instrumentBlocks(v.runAction, true);
    if (m_cycle.baudRate == kSelfSendingRate) {
        v.stateUnchecked = true;
        v.stateUncheckedNote =
            QStringLiteral("при 1200 бода състоянието на анализатора не може да се провери");
    }
    v.hangUpDone = m_hangUpDone;
    v.hangUpCleanMs = m_hangUpDone     ? kHangUpMs
                      : m_cleanSinceMs ? std::min(kHangUpMs, m_nowMs - *m_cleanSinceMs)
                                       : 0;
    if (m_lastReading)
        v.hcPpm = m_lastReading->hcPpm;
    if (!m_hangUpDone) {
        const QString now =
            v.hcPpm ? QStringLiteral(" (сега %1 ppm)").arg(decimalText(*v.hcPpm, kHcDecimals)) : QString();
        v.blocks.append({Block::Code::HangUp,
                         QStringLiteral("проверка за остатъци: HC трябва да остане под %1 ppm за %2%3")
                             .arg(decimalText(kHangUpHcPpm, 0), secondsText(int(kHangUpMs)), now),
                         QStringLiteral("дръжте сондата на чист въздух")});
    }
    return v;
}

ConditioningView TwoSpeedTest::conditioning() const {
    ConditioningView v;
    v.blocks = instrumentBlocks(v.runAction, true);
    v.oilMinimumC = m_setup.oilMinimumC;
    v.oilConfirmed = m_oilConfirmed;
    if (!speedFromRecord(m_cycle.rpmMode))
        v.blocks.append({Block::Code::VacuumMode,
                         QStringLiteral("оборотите не се четат от записа (режим вакуум)"),
                         QStringLiteral("изберете RPM/1 или RPM/2")});
    if (m_lastReading && m_lastReading->oilC) {
        v.oilC = m_lastReading->oilC;
        if (printedUnits(*v.oilC, 1) < printedUnits(m_setup.oilMinimumC, 1))
            v.blocks.append({Block::Code::OilCold,
                             QStringLiteral("маслото е %1 °C, нужни са поне %2 °C")
                                 .arg(compactUnitsText(printedUnits(*v.oilC, 1), 1),
                                      compactUnitsText(printedUnits(m_setup.oilMinimumC, 1), 1)),
                             QStringLiteral("загрейте двигателя")});
    } else if (!m_oilConfirmed) {
        v.blocks.append({Block::Code::OilUnconfirmed,
                         QStringLiteral("анализаторът не дава температура на маслото"),
                         QStringLiteral("потвърдете, че двигателят е на работна температура")});
    }
    return v;
}

std::optional<PhaseView> TwoSpeedTest::currentPhase() const {
    if (m_stage != Stage::Phases)
        return std::nullopt;
    const Run& r = m_run;
    const PhaseResult& phase = current();
    PhaseView v;
    v.kind = phase.kind;
    v.window = phase.window;
    v.step = r.step;
    if (m_lastReading)
        v.rpm = m_lastReading->rpm;
    v.inWindow = r.inWindow;
    v.stabilisationLeftMs = m_setup.stabilisationMs - r.stabilisedMs;
    v.measuringLeftMs = m_setup.measuringMs - r.measuredMs;
    v.phaseLeftMs = std::max<int64_t>(0, m_setup.phaseLimitMs - r.elapsedMs);
    v.paused = r.paused;
    v.liveAverage = r.live;
    if (r.paused)
        v.hint = QStringLiteral("пауза: ") + r.pauseReason;
    else if (!r.inWindow && r.stabilisedMs == 0)
        v.hint = QStringLiteral("докарайте оборотите в прозореца %1").arg(windowText(phase.window));
    else if (!r.inWindow)
        v.hint = QStringLiteral(
                     "върнете оборотите в прозореца %1: след %2 извън него стабилизирането започва отначало")
                     .arg(windowText(phase.window), secondsText(int(kOutsideRestartMs)));
    else if (r.step == PhaseStep::Stabilising)
        v.hint = QStringLiteral("задръжте оборотите: стабилизиране");
    else
        v.hint = QStringLiteral("задръжте оборотите: измерване");
    return v;
}

} // namespace vz::twospeed
