// The procedure's course: inputs, time, the phases with their samples and averages, and the
// ends. The gate and conditioning are in TwoSpeedGate.cpp, the names in TwoSpeedNames.cpp.
#include "TwoSpeedTest.h"
#include "Lambda.h"
#include "ProcedureText.h"
#include "TwoSpeedFormat.h"

#include <algorithm>
#include <cmath>

namespace vz::twospeed {

using namespace procedure;

namespace {

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

const QString kDilutedReason =
    QStringLiteral("пробата е разредена: сондата не е навлязла достатъчно или има теч");

} // namespace

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
    m_failingRecorded.resize(m_phases.size(), 0);
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
        return; // the line is alive, but this line was seen already
    switch (m_stage) {
    case Stage::Gate:
        countCleanAir(reading);
        break;
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

bool TwoSpeedTest::abortFails() const {
    if (finished())
        return false;
    const bool failed = std::any_of(m_phases.cbegin(), m_phases.cend(),
                                    [](const PhaseResult& p) { return p.verdict == Verdict::Fail; });
    return failed || (m_stage == Stage::Phases && m_run.lastValid);
}

// --- Evidence ---

void TwoSpeedTest::evidenceWritten(const JournalMark& mark) {
    for (qsizetype i = 0; i < m_failingRecorded.size() && i < mark.failingWritten.size(); ++i)
        m_failingRecorded[i] = std::max(m_failingRecorded[i], mark.failingWritten[i]);
}

bool TwoSpeedTest::evidencePending() const {
    for (qsizetype i = 0; i < m_phases.size(); ++i)
        if (m_phases[i].failingAverages.size() > m_failingRecorded[i])
            return true;
    return false;
}

std::optional<PhaseAverage> TwoSpeedTest::failingAverage() const {
    const Verdict wanted = m_verdict == Verdict::Fail          ? Verdict::Fail
                           : m_verdict == Verdict::Interrupted ? Verdict::Interrupted
                                                               : Verdict::Pending;
    if (wanted == Verdict::Pending)
        return std::nullopt;
    for (const PhaseResult& p : m_phases)
        if (p.verdict == wanted && p.deciding && p.deciding->valid && !p.deciding->withinLimits)
            return PhaseAverage{p.kind, *p.deciding};
    return std::nullopt;
}

// --- Time ---

void TwoSpeedTest::advance() {
    const int64_t now = m_clock() - m_startClockMs;
    const int64_t dt = std::max<int64_t>(0, now - m_nowMs);
    m_nowMs += dt;
    if (m_stage == Stage::Phases)
        advancePhase(dt);
    else if (m_stage == Stage::Gate || m_stage == Stage::Conditioning)
        ageCleanAir();
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

bool TwoSpeedTest::diluted(double co, double co2) const {
    // As printed, as the average is compared. Never O2: lean-burn, air-injected and
    // non-catalyst engines run with high O2 and an undiluted sample.
    return printedUnits(co, kCoDecimals) + printedUnits(co2, kCo2Decimals) <
           printedUnits(m_setup.dilutionPercent, 2);
}

void TwoSpeedTest::takeSample(const Reading& reading) {
    Run& r = m_run;
    PhaseResult& phase = current();
    // A speed from another line than the gases proves nothing about this sample: it is not
    // inside the window, and the speed state (with the outside timer) stays as the last line
    // that carried its own speed left it.
    const bool sameLine = reading.rpmFromSameLine;
    const bool inside = sameLine && reading.rpm && phase.window.contains(*reading.rpm);
    if (sameLine) {
        if (inside)
            r.outsideMs = 0;
        r.inWindow = inside;
    }

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
    s.diluted = diluted(reading.co, reading.co2);
    s.rpmFromSameLine = sameLine;
    phase.samples.append(s);
    if (s.diluted)
        phase.probeOuts.append(s.atMs);
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
    bool anyDiluted = false;
    bool anyOtherLine = false;
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
        anyDiluted = anyDiluted || s.diluted;
        anyOtherLine = anyOtherLine || !s.rpmFromSameLine;
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

    // One diluted sample spoils the average: averaged with undiluted ones, a probe pulled
    // for a moment would only lower CO and still leave CO + CO2 above the threshold.
    if (a.samples < m_setup.minimumSamples)
        a.invalidReason = QStringLiteral("средната стойност е от %1 отчитания, нужни са поне %2")
                              .arg(a.samples)
                              .arg(m_setup.minimumSamples);
    else if (anyDiluted || diluted(a.co, a.co2))
        a.invalidReason = kDilutedReason;
    else if (anyOtherLine)
        a.invalidReason =
            QStringLiteral("оборотите на отчитане не са от реда на газовете: не доказват, че са "
                           "били в прозореца %1")
                .arg(windowText(phase.window));
    else if (!allInside)
        a.invalidReason = QStringLiteral("оборотите излязоха от прозореца %1 по време на осредняването")
                              .arg(windowText(phase.window));
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
    current().failingAverages.append(a);
}

// --- Ends ---

void TwoSpeedTest::endPhaseUndecided(bool phaseLimit) {
    const Run& r = m_run;
    current().endedByPhaseLimit = phaseLimit;
    const QString limitText =
        QStringLiteral("фазата не завърши за %1").arg(secondsText(m_setup.phaseLimitMs));
    if (r.lastValid) {
        // A valid average beyond a limit stands, whatever came after it.
        current().deciding = r.lastValid;
        QString reason = failText(r.lastValid->checks);
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

void TwoSpeedTest::finishTest(std::optional<Ending> early) {
    m_stage = Stage::Finished;
    m_endedMs = m_nowMs;
    QStringList failed;
    const PhaseResult* spoilt = nullptr;
    bool phaseLimit = false;
    for (const PhaseResult& p : std::as_const(m_phases)) {
        phaseLimit = phaseLimit || p.endedByPhaseLimit;
        if (p.verdict == Verdict::Fail)
            failed << phaseName(p.kind) + QStringLiteral(": ") + p.reason;
        else if (!spoilt && (p.verdict == Verdict::Void || p.verdict == Verdict::Aborted ||
                             p.verdict == Verdict::Interrupted))
            spoilt = &p;
    }
    m_ending = early ? *early : phaseLimit ? Ending::TimeLimit : Ending::Completed;
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
    const Ending ending = verdict == Verdict::Aborted ? Ending::Aborted : Ending::Interrupted;
    if (m_stage == Stage::Phases) {
        PhaseResult& phase = current();
        const std::optional<Average>& failing = m_run.lastValid;
        phase.deciding = failing;
        phase.endedMs = m_nowMs;
        if (verdict == Verdict::Aborted && failing) {
            // The operator has seen the phase fail (the average was recorded before it was
            // shown): ending the test cannot take that back.
            phase.verdict = Verdict::Fail;
            phase.reason = failText(failing->checks) + QStringLiteral(" (%1)").arg(reason);
        } else {
            phase.verdict = verdict;
            phase.reason = reason;
            // A technical end is no fail, but the failing average stays with it.
            if (failing)
                phase.reason +=
                    QStringLiteral(", след средна стойност извън нормата: ") + failText(failing->checks);
        }
        finishTest(ending);
        // A failed phase fails the test whatever ends it; otherwise the test is named by how
        // it ended, even after a void phase before.
        if (m_verdict != Verdict::Fail) {
            m_verdict = verdict;
            m_reason = phaseName(phase.kind) + QStringLiteral(": ") + phase.reason;
        }
        return;
    }
    m_stage = Stage::Finished;
    m_endedMs = m_nowMs;
    m_verdict = verdict;
    m_reason = reason + QStringLiteral(" преди измерването");
    m_ending = ending;
}

// --- The phase view ---

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
    // A failing average is the newest of the phase's failing averages: shown only once the
    // archive holds it.
    const bool failing = r.live && r.live->valid && !r.live->withinLimits;
    v.liveAverageWithheld = failing && m_failingRecorded[m_current] < phase.failingAverages.size();
    if (!v.liveAverageWithheld)
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
