// The two-speed window's views: the step shown, and each page filled from what the
// procedure's views say.
#include "TwoSpeedWindow.h"

#include "Conversions.h"
#include "Diagnostics.h"
#include "Files.h"
#include "MessageBox.h"
#include "PortNames.h"
#include "PrinterService.h"
#include "ProtocolPage.h"
#include "Registration.h"
#include "ReportSetup.h"
#include "SpeedGauge.h"
#include "StationState.h"
#include "TwoSpeedFormat.h"
#include "TwoSpeedStation.h"
#include "TwoSpeedWindowParts.h"
#include "VehicleInputCheck.h"
#include "VzVersion.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>
#include <algorithm>

namespace vz {

using namespace twospeed;
using namespace twospeed_window;

void TwoSpeedWindow::showStep(Step step) {
    step_ = step;
    Pages->setCurrentIndex(int(step));
    QString name;
    switch (step) {
    case Step::Vehicle:
        name = tr("Vehicle");
        break;
    case Step::Gate:
        name = tr("Instrument check");
        break;
    case Step::Conditioning:
        name = tr("Engine conditioning");
        break;
    case Step::Phases:
        name = tr("Measuring");
        break;
    case Step::Result:
        name = tr("Result");
        break;
    }
    StepLabel->setText(tr("Step %1 of %2: %3").arg(int(step) + 1).arg(5).arg(name));
    if (step == Step::Vehicle)
        RegistrationEdit->setFocus();
    else
        Pages->setFocus();
    render();
}

void TwoSpeedWindow::render() {
    auto* keys = findChild<QLabel*>(QStringLiteral("keys"));
    switch (step_) {
    case Step::Vehicle:
        keys->setText(tr("Tab: next field · Enter: go on · Esc: close"));
        return;
    case Step::Gate:
    case Step::Conditioning:
    case Step::Phases:
        keys->setText(
            tr("Tab: next button · Enter: go on · F2: start or stop the run · Esc: abort the test"));
        break;
    case Step::Result:
        keys->setText(printed_           ? tr("Enter or Esc: close")
                      : !resultWrite_.ok ? tr("Enter: print the page marked as no protocol · Esc: close")
                                         : tr("Enter: print the protocol · Esc: close"));
        break;
    }
    AttemptLabel->setVisible(attempt_ > 1);
    AttemptLabel->setText(tr("Attempt %1 today for this registration number").arg(attempt_));
    if (step_ == Step::Gate)
        renderGate();
    else if (step_ == Step::Conditioning)
        renderConditioning();
    else if (step_ == Step::Phases)
        renderPhases();
    else if (step_ == Step::Result)
        renderResult();
}

QString TwoSpeedWindow::blockText(const Block& block) const {
    const StationState& st = services_.station.state();
    switch (block.code) {
    case Block::Code::NotRunning: {
        const bool waits = st.OpState == 4 || st.OpState == 5 || st.OpState == 6;
        return tr("The analyser is not measuring.") + u' ' +
               (waits ? tr("Wait until it measures.") : tr("Start the run (F2)."));
    }
    case Block::Code::OverRange:
        return tr("The readings are out of range.") + u' ' + tr("Zero the analyser in clean air (F3).");
    case Block::Code::NoResults:
        return tr("No results are coming from the analyser.") + u' ' +
               tr("Check the connection to the analyser.");
    case Block::Code::RunTimeShort: {
        const int64_t left = int64_t(std::max(0, st.RunTickLimit - st.RunTicks)) * kRunTickMs;
        return tr("The run ends in %1 s; the test may take up to %2 s.")
                   .arg(wholeSeconds(left), wholeSeconds(test_->requiredRunMs())) +
               u' ' + tr("Restart the run (F2 twice).");
    }
    case Block::Code::NoEngineSpeed:
        return tr("The engine speed is 0: there is no speed signal.") + u' ' +
               tr("Connect the speed pick-up and start the engine.");
    case Block::Code::HangUp:
        return tr("Clean-air check: HC below 20 ppm, CO₂ at most 0.5 % and O₂ at least 19.5 % for 5 s.") +
               u' ' + tr("Keep the probe in clean air.");
    case Block::Code::VacuumMode:
        return tr("The engine speed is not read from the record (vacuum mode).") + u' ' +
               tr("Choose RPM/1 or RPM/2.");
    case Block::Code::OilCold: {
        const ConditioningView v = test_->conditioning();
        return tr("The oil is at %1 °C; at least %2 °C is needed.")
                   .arg(compactUnitsText(printedUnits(v.oilC.value_or(0), 1), 1),
                        compactUnitsText(printedUnits(v.oilMinimumC, 1), 1)) +
               u' ' + tr("Warm up the engine.");
    }
    case Block::Code::OilUnconfirmed:
        return tr("The analyser gives no oil temperature.") + u' ' +
               tr("Confirm that the engine is at operating temperature.");
    case Block::Code::HcNotClean:
        return tr("HC is %1 ppm; in clean air it must be below 20 ppm.").arg(gateValue(Quantity::Hc)) + u' ' +
               tr("Keep the probe in clean air; if HC does not fall, clean the probe and the line.");
    case Block::Code::Co2NotClean:
        return tr("CO₂ is %1 %; in clean air it must be at most 0.5 %.").arg(gateValue(Quantity::Co2)) +
               u' ' + tr("Take the probe out of the exhaust and hold it in clean air.");
    case Block::Code::O2NotClean:
        return tr("O₂ is %1 %; in clean air it must be at least 19.5 %.").arg(gateValue(Quantity::O2)) +
               u' ' + tr("Hold the probe in clean air; if O₂ stays low, zero the analyser (F3).");
    }
    return block.text;
}

// The gate's last reading of one gas, as the main window shows it.
QString TwoSpeedWindow::gateValue(Quantity q) const {
    const GateView v = test_->gate();
    const std::optional<double> value = q == Quantity::Hc ? v.hcPpm : q == Quantity::Co2 ? v.co2 : v.o2;
    return value ? decimalText(*value, q == Quantity::Hc    ? kHcDecimals
                                       : q == Quantity::Co2 ? kCo2Decimals
                                                            : kO2Decimals)
                 : QStringLiteral("—");
}

QString TwoSpeedWindow::approvalItemText(TypeApproval approval) const {
    switch (approval) {
    case TypeApproval::Unknown:
        break;
    case TypeApproval::BeforeEuro1:
        return tr("Before Euro 1");
    case TypeApproval::Euro1:
        return tr("Euro 1");
    case TypeApproval::Euro2:
        return tr("Euro 2");
    case TypeApproval::BeforeEuro3:
        return tr("Before Euro 3");
    case TypeApproval::Euro3OrLater:
        return tr("Euro 3 or later");
    }
    return tr("Not known");
}

QString TwoSpeedWindow::phaseVerdictWord(Verdict verdict) const {
    switch (verdict) {
    case Verdict::Pending:
        return tr("under way");
    case Verdict::Pass:
        return tr("passes");
    case Verdict::Fail:
        return tr("fails");
    case Verdict::Void:
        return tr("void");
    case Verdict::Aborted:
        return tr("aborted");
    case Verdict::Interrupted:
        return tr("interrupted");
    case Verdict::NotRun:
        return tr("not run");
    }
    return {};
}

QString TwoSpeedWindow::blocksText(const QList<Block>& blocks) const {
    QStringList lines;
    for (const Block& b : blocks)
        lines << QStringLiteral("✘ ") + blockText(b);
    return lines.join(u'\n');
}

void TwoSpeedWindow::renderGate() {
    const GateView v = test_->gate();
    QList<Block> instrument;
    for (const Block& b : v.blocks)
        if (b.code != Block::Code::HangUp)
            instrument << b;
    GateBlocksLabel->setText(blocksText(instrument));
    GateNoteLabel->setVisible(v.stateUnchecked);
    GateNoteLabel->setText(
        tr("At 1200 baud the analyser's state cannot be checked: only that results arrive."));
    QString cleanAir;
    if (!v.repeatReason.isEmpty())
        cleanAir = tr("The clean-air check was done more than 10 minutes ago: do it again.") + u'\n';
    if (v.hangUpDone)
        cleanAir += tr("Clean-air check passed: HC, CO₂ and O₂ stayed clean for 5 s.");
    else
        cleanAir += tr("Clean-air check: keep the probe in clean air. HC %1 ppm, CO₂ %2 %, O₂ %3 %; clean "
                       "for %4 of 5 s.")
                        .arg(gateValue(Quantity::Hc), gateValue(Quantity::Co2), gateValue(Quantity::O2),
                             QString::number(v.hangUpCleanMs / 1000));
    HangUpLabel->setText(cleanAir);
    RunButton->setVisible(v.runAction != RunAction::None || restartPending_);
    RunButton->setEnabled(!restartPending_);
    RunButton->setText(restartPending_                     ? tr("Restarting the run…")
                       : v.runAction == RunAction::Restart ? tr("Restart the run (F2 twice)")
                                                           : tr("Start the run (F2)"));
    GateReadyLabel->setText(v.ready() ? tr("Ready. Press Enter to go on.") : QString());
}

void TwoSpeedWindow::renderConditioning() {
    const ConditioningView v = test_->conditioning();
    const QString minimum = compactUnitsText(printedUnits(v.oilMinimumC, 1), 1);
    if (v.oilC)
        OilLabel->setText(tr("Oil temperature: %1 °C (at least %2 °C)")
                              .arg(compactUnitsText(printedUnits(*v.oilC, 1), 1), minimum));
    else if (v.oilConfirmed)
        OilLabel->setText(
            tr("The analyser gives no oil temperature: the operator confirmed that the engine is "
               "at operating temperature."));
    else
        OilLabel->setText(
            tr("The analyser gives no oil temperature (at least %1 °C is needed): confirm that the "
               "engine is at operating temperature.")
                .arg(minimum));
    WarmButton->setVisible(!v.oilC && !v.oilConfirmed);
    const bool vacuum = services_.station.state().RpmMode == kVacuumMode;
    RpmModeLabel->setVisible(vacuum);
    Rpm1Button->setVisible(vacuum);
    Rpm2Button->setVisible(vacuum);
    ConditioningBlocksLabel->setText(blocksText(v.blocks));
    ConditioningReadyLabel->setText(v.ready() ? tr("Ready. Press Enter to start measuring.") : QString());
}

void TwoSpeedWindow::renderPhases() {
    const std::optional<PhaseView> view = test_->currentPhase();
    if (!view)
        return;
    const PhaseView& v = *view;
    const int count = int(test_->phases().size());
    int index = 0;
    while (index < count && test_->phases()[index].kind != v.kind)
        ++index;
    const QString phase = v.kind == PhaseKind::HighIdle ? tr("High idle") : tr("Idle");
    PhaseTitleLabel->setText(
        tr("Phase %1 of %2: %3, speed window %4").arg(index + 1).arg(count).arg(phase, windowText(v.window)));
    Gauge->setWindow(v.window.min, v.window.max);
    Gauge->setRpm(v.rpm);
    RpmLabel->setText(v.rpm ? QStringLiteral("%1 min⁻¹").arg(*v.rpm) : QStringLiteral("— min⁻¹"));
    setColour(RpmLabel, v.rpm ? (v.inWindow ? "#007000" : "#c00000") : nullptr);
    CountdownLabel->setText(v.step == PhaseStep::Stabilising
                                ? tr("Stabilising: %1 s left").arg(wholeSeconds(v.stabilisationLeftMs))
                                : tr("Measuring: %1 s left").arg(wholeSeconds(v.measuringLeftMs)));
    PhaseLeftLabel->setText(tr("Longest time left for the phase: %1 s").arg(wholeSeconds(v.phaseLeftMs)));

    PauseLabel->setVisible(v.paused);
    HintLabel->setVisible(!v.paused);
    if (v.paused) {
        // The procedure's reason, as the record keeps it.
        const QString prefix = QStringLiteral("пауза: ");
        PauseLabel->setText(
            tr("Paused: %1").arg(v.hint.startsWith(prefix) ? v.hint.mid(prefix.size()) : v.hint));
    } else if (!v.inWindow && v.step == PhaseStep::Stabilising &&
               v.stabilisationLeftMs == test_->setup().stabilisationMs) {
        HintLabel->setText(tr("Bring the engine speed into the window %1.").arg(windowText(v.window)));
    } else if (!v.inWindow) {
        HintLabel->setText(tr("Bring the engine speed back into the window %1: after 2 s outside it, "
                              "stabilisation starts over.")
                               .arg(windowText(v.window)));
    } else {
        HintLabel->setText(v.step == PhaseStep::Stabilising ? tr("Hold the engine speed: stabilising.")
                                                            : tr("Hold the engine speed: measuring."));
    }

    if (v.liveAverageWithheld) {
        LiveLabel->setText(tr("Recording the average in the archive…"));
    } else if (v.liveAverage) {
        QStringList parts;
        for (const QuantityCheck& c : v.liveAverage->checks)
            parts << quantityName(c.quantity) + u' ' + withUnit(c.valueText, c.quantity);
        QString text = tr("Average: %1").arg(parts.join(QStringLiteral(" · ")));
        if (!v.liveAverage->valid)
            text += u'\n' + tr("Not valid: %1").arg(v.liveAverage->invalidReason);
        LiveLabel->setText(text);
    } else {
        LiveLabel->setText(
            tr("Averages begin once %1 of measuring have run.").arg(secondsText(test_->setup().averagingMs)));
    }

    QStringList done;
    for (const PhaseResult& p : test_->phases())
        if (phaseOver(p.verdict))
            done << (p.kind == PhaseKind::HighIdle ? tr("High idle") : tr("Idle")) + QStringLiteral(": ") +
                        phaseVerdictWord(p.verdict);
    DonePhasesLabel->setText(done.join(u'\n'));
}

void TwoSpeedWindow::renderResult() {
    auto* grid = static_cast<QGridLayout*>(ResultTable->layout());
    if (grid->count() == 0) {
        int row = 0;
        const QStringList headings{tr("Quantity"), tr("Average"), tr("Limit")};
        for (int column = 0; column < headings.size(); ++column) {
            auto* label = new QLabel(headings[column], ResultTable);
            QFont bold = label->font();
            bold.setBold(true);
            label->setFont(bold);
            grid->addWidget(label, row, column);
        }
        ++row;
        for (const PhaseResult& p : test_->phases()) {
            const QString key = phaseKey(p.kind);
            const QString name = p.kind == PhaseKind::HighIdle ? tr("High idle") : tr("Idle");
            QString head = name + QStringLiteral(" (") + windowText(p.window) + QStringLiteral("): ") +
                           phaseVerdictWord(p.verdict);
            if (p.deciding)
                head += QStringLiteral(", %1 min⁻¹").arg(decimalText(p.deciding->rpm, kRpmDecimals));
            auto* title = new QLabel(head, ResultTable);
            title->setObjectName(key + QStringLiteral("-verdict"));
            QFont bold = title->font();
            bold.setBold(true);
            title->setFont(bold);
            setColour(title, p.verdict == Verdict::Pass   ? "#007000"
                             : p.verdict == Verdict::Fail ? "#c00000"
                                                          : "#a05000");
            grid->addWidget(title, row++, 0, 1, 4);
            if (!p.reason.isEmpty()) {
                auto* reason = wrappedLabel(ResultTable);
                reason->setObjectName(key + QStringLiteral("-reason"));
                reason->setText(p.reason);
                grid->addWidget(reason, row++, 0, 1, 4);
            }
            if (!p.deciding) {
                auto* none = new QLabel(tr("No valid average."), ResultTable);
                grid->addWidget(none, row++, 0, 1, 4);
                continue;
            }
            for (const QuantityCheck& c : p.deciding->checks) {
                const QString id = key + u'-' + quantityKey(c.quantity);
                auto* quantity = new QLabel(quantityName(c.quantity), ResultTable);
                auto* value = new QLabel(withUnit(c.valueText, c.quantity), ResultTable);
                value->setObjectName(id + QStringLiteral("-value"));
                auto* limit =
                    new QLabel(c.limited ? withUnit(c.limitText, c.quantity) : QString(), ResultTable);
                limit->setObjectName(id + QStringLiteral("-limit"));
                auto* mark =
                    new QLabel(c.limited ? (c.pass ? QStringLiteral("✔") : QStringLiteral("✘")) : QString(),
                               ResultTable);
                mark->setObjectName(id + QStringLiteral("-mark"));
                const char* colour = c.pass ? (c.limited ? "#007000" : nullptr) : "#c00000";
                setColour(value, c.pass ? nullptr : "#c00000");
                setColour(mark, colour);
                grid->addWidget(quantity, row, 0);
                grid->addWidget(value, row, 1);
                grid->addWidget(limit, row, 2);
                grid->addWidget(mark, row, 3);
                ++row;
            }
        }
        const Verdict verdict = test_->verdict();
        VerdictLabel->setText(verdict == Verdict::Pass   ? tr("PASS")
                              : verdict == Verdict::Fail ? tr("FAIL")
                                                         : tr("INVALID"));
        setColour(VerdictLabel, verdict == Verdict::Pass   ? "#007000"
                                : verdict == Verdict::Fail ? "#c00000"
                                                           : "#a05000");
        // How a test cut short ended, and the failing average it ended after.
        QStringList reason;
        const std::optional<PhaseAverage> failing = test_->failingAverage();
        const QString ending = protocolEndingText(endingKey(test_->ending()), failing.has_value());
        if (!ending.isEmpty())
            reason << ending;
        if (!test_->reason().isEmpty())
            reason << test_->reason();
        ReasonLabel->setText(reason.join(u'\n'));
        if (!resultWrite_.ok) {
            PrintLabel->setText(tr("The result was not recorded: there is no protocol for this test."));
            setColour(PrintLabel, "#c00000");
        }
    }
}

} // namespace vz
