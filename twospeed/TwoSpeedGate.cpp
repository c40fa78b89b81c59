// The gate and conditioning of the procedure: the instrument's blocks, the clean-air check
// with its count and its ten minutes, and the views of both stages.
#include "ProcedureText.h"
#include "TwoSpeedFormat.h"
#include "TwoSpeedTest.h"

#include <algorithm>

namespace vz::twospeed {

using namespace procedure;

namespace {

// Each clean-air condition compared as the window prints the value.
bool hcClean(double ppm) {
    return printedUnits(ppm, kHcDecimals) < printedUnits(kHangUpHcPpm, kHcDecimals);
}

bool co2Clean(double percent) {
    return printedUnits(percent, kCo2Decimals) <= printedUnits(kCleanAirCo2MaxPercent, kCo2Decimals);
}

bool o2Clean(double percent) {
    return printedUnits(percent, kO2Decimals) >= printedUnits(kCleanAirO2MinPercent, kO2Decimals);
}

QString percentLimitText(double percent) {
    return compactUnitsText(printedUnits(percent, 2), 2);
}

} // namespace

void TwoSpeedTest::countCleanAir(const Reading& reading) {
    if (m_hangUpDone)
        return;
    // The count goes on only while nothing else is wrong: a reading taken while the analyser
    // zeroes, runs out of range or sees no engine speed proves nothing about the probe.
    RunAction unused;
    const bool clean = hcClean(reading.hcPpm) && co2Clean(reading.co2) && o2Clean(reading.o2);
    if (!clean || !instrumentBlocks(unused, true).isEmpty()) {
        m_cleanSinceMs.reset();
    } else if (!m_cleanSinceMs) {
        m_cleanSinceMs = m_nowMs;
    } else if (m_nowMs - *m_cleanSinceMs >= kHangUpMs) {
        m_hangUpDone = true;
        m_cleanAirDoneMs = m_nowMs;
        m_cleanSinceMs.reset();
        m_cleanAirRepeatReason.clear();
    }
}

void TwoSpeedTest::ageCleanAir() {
    RunAction unused;
    if (m_cleanSinceMs && !instrumentBlocks(unused, true).isEmpty())
        m_cleanSinceMs.reset();
    if (!m_hangUpDone || m_nowMs - m_cleanAirDoneMs <= kCleanAirValidMs)
        return;
    // The check is too old for the phases to rest on: the analyser drifts, and a probe that
    // went into the exhaust keeps hydrocarbons. Back to the gate, through conditioning again.
    m_hangUpDone = false;
    m_cleanSinceMs.reset();
    m_cleanAirRepeatReason = QStringLiteral("проверката за чист въздух е направена преди повече от %1 min: "
                                            "направете я отново")
                                 .arg(kCleanAirValidMs / 60000);
    if (m_stage == Stage::Conditioning) {
        m_stage = Stage::Gate;
        m_oilConfirmed = false;
    }
}

QList<Block> TwoSpeedTest::cleanAirBlocks() const {
    QList<Block> blocks;
    if (m_hangUpDone || !m_lastReading)
        return blocks;
    const Reading& r = *m_lastReading;
    if (!hcClean(r.hcPpm))
        blocks.append({Block::Code::HcNotClean,
                       QStringLiteral("HC е %1 ppm, а на чист въздух трябва да е под %2 ppm")
                           .arg(decimalText(r.hcPpm, kHcDecimals), decimalText(kHangUpHcPpm, 0)),
                       QStringLiteral("дръжте сондата на чист въздух; ако HC не спада, почистете сондата и "
                                      "маркуча")});
    if (!co2Clean(r.co2))
        blocks.append({Block::Code::Co2NotClean,
                       QStringLiteral("CO₂ е %1 %, а на чист въздух трябва да е най-много %2 %")
                           .arg(decimalText(r.co2, kCo2Decimals), percentLimitText(kCleanAirCo2MaxPercent)),
                       QStringLiteral("извадете сондата от ауспуха и я дръжте на чист въздух, далеч от "
                                      "изгорелите газове")});
    if (!o2Clean(r.o2))
        blocks.append({Block::Code::O2NotClean,
                       QStringLiteral("O₂ е %1 %, а на чист въздух трябва да е поне %2 %")
                           .arg(decimalText(r.o2, kO2Decimals), percentLimitText(kCleanAirO2MinPercent)),
                       QStringLiteral("извадете сондата на чист въздух; ако O₂ остане нисък, нулирайте "
                                      "анализатора на чист въздух (F3)")});
    return blocks;
}

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
    // At 9600 baud the analyser's own count; at 1200 baud the window's count of lines.
    if (c.overRangeCount >= kOverRangeBlock)
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
    v.blocks.append(cleanAirBlocks());
    if (m_cycle.baudRate == kSelfSendingRate) {
        v.stateUnchecked = true;
        v.stateUncheckedNote =
            QStringLiteral("при 1200 бода състоянието на анализатора не може да се провери");
    }
    v.hangUpDone = m_hangUpDone;
    v.hangUpCleanMs = m_hangUpDone     ? kHangUpMs
                      : m_cleanSinceMs ? std::min(kHangUpMs, m_nowMs - *m_cleanSinceMs)
                                       : 0;
    v.repeatReason = m_cleanAirRepeatReason;
    if (m_lastReading) {
        v.hcPpm = m_lastReading->hcPpm;
        v.co2 = m_lastReading->co2;
        v.o2 = m_lastReading->o2;
    }
    if (!m_hangUpDone)
        v.blocks.append({Block::Code::HangUp,
                         QStringLiteral("проверка за чист въздух: HC под %1 ppm, CO₂ най-много %2 % и O₂ "
                                        "поне %3 % за %4 (досега %5)")
                             .arg(decimalText(kHangUpHcPpm, 0), percentLimitText(kCleanAirCo2MaxPercent),
                                  percentLimitText(kCleanAirO2MinPercent), secondsText(int(kHangUpMs)),
                                  secondsText(int(v.hangUpCleanMs / 1000 * 1000))),
                         QStringLiteral("дръжте сондата на чист въздух")});
    return v;
}

ConditioningView TwoSpeedTest::conditioning() const {
    ConditioningView v;
    v.blocks = instrumentBlocks(v.runAction, true);
    v.oilMinimumC = m_setup.oilMinimumC;
    v.oilConfirmed = m_oilConfirmed;
    v.cleanAirLeftMs = m_hangUpDone ? std::max<int64_t>(0, m_cleanAirDoneMs + kCleanAirValidMs - m_nowMs) : 0;
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

} // namespace vz::twospeed
