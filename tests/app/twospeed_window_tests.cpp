// The two-speed test window on the real main window, offscreen: the operator's keys sent to
// the focused control, the analyser's frames through the main window's receive handler, the
// cycle through its timer handler, time from a clock the test moves. The archive, the
// printer pages and the PDF are real, in a scratch directory.
#include "MessageBox.h"
#include "ProtocolArchive.h"
#include "ProtocolPage.h"
#include "RecordingPrinter.h"
#include "ReportState.h"
#include "SpeedGauge.h"
#include "StationState.h"
#include "TwoSpeedFormat.h"
#include "TwoSpeedLimits.h"
#include "TwoSpeedStation.h"
#include "TwoSpeedWindow.h"
#include "VEZAro.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <stdlib.h>
#include <unistd.h>

#include "../ScratchFiles.h"
#include "../TestApplication.h"
#include "twospeed_window_support.h"

namespace {

using vz::test::Engine;
using vz::test::kCleanAir;
using vz::test::oilFrame;
using vz::test::Pty;
using vz::test::recordOf;
using vz::twospeed::Verdict;

const Engine kGoodHighIdle{2700, 0.05, 14.8, 20, 0.2};
const Engine kHighCoHighIdle{2700, 0.45, 14.5, 60, 0.1};
const Engine kGoodIdle{800, 0.1, 14.6, 40, 0.3};

// The tests' lines of an archive file (started, samples, result), without the lines the
// archive keeps for itself (a month's link to the one before, clock jumps).
QList<QJsonObject> archiveLines(const QString& path) {
    QList<QJsonObject> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        const QString kind = object.value(QStringLiteral("kind")).toString();
        if (kind == u"started" || kind == u"samples" || kind == u"result")
            lines << object;
    }
    return lines;
}

QList<QJsonObject> ofKind(const QList<QJsonObject>& lines, const QString& kind) {
    QList<QJsonObject> found;
    for (const QJsonObject& l : lines)
        if (l.value(QStringLiteral("kind")).toString() == kind)
            found << l;
    return found;
}

// The failing averages the journal lines of an archive file hold: (phase, atMs) of each.
QList<std::pair<QString, qint64>> journalledFailing(const QString& path) {
    QList<std::pair<QString, qint64>> found;
    for (const QJsonObject& line : ofKind(archiveLines(path), QStringLiteral("samples")))
        for (const QJsonValue& a : line["failing"].toArray())
            found.append({a["phase"].toString(), a["atMs"].toInteger()});
    return found;
}

// A recorded page's texts. The text engine may cut a line into runs (digits apart from
// letters): `glue` joins them as they read on the page.
QString pageText(const QList<vz::RecordedText>& page, const QString& glue = QStringLiteral("\n")) {
    QStringList texts;
    for (const vz::RecordedText& t : page)
        texts << t.text;
    return texts.join(glue);
}

// The analyser's serial number and verification date, and the procedure's floors.
const QByteArray kOfficialSetup = "AnalyserSerial = KV50-0917\nVerificationExpires = 31.12.2099\n"
                                  "StabilisationSeconds = 10\nMeasuringSeconds = 12\nAveragingSeconds = 5\n"
                                  "PhaseLimitSeconds = 40\n";

class TwoSpeedWindowTest : public ::testing::Test, public vz::test::TwoSpeedWindowKeys {
protected:
    void SetUp() override {
        vz::test::testApplication();
        ASSERT_TRUE(dir.isValid());
        qunsetenv("VZ_LANG");
        vz::setMessageBoxHandler([this](QWidget*, const QString& caption, const QString& text, vz::MsgIcon,
                                        vz::MsgButtons buttons) {
            boxes.push_back({caption, text});
            if (!answers.empty()) {
                const vz::MsgAnswer answer = answers.front();
                answers.pop_front();
                return answer;
            }
            return buttons == vz::MsgButtons::YesNo ? vz::MsgAnswer::Yes : vz::MsgAnswer::Ok;
        });
        // An analyser that may give official tests, at the shortest times the procedure
        // allows for them.
        write("TWOSPEED.ini", kOfficialSetup);
        write("SERVICE.ini", "АВТОСЕРВИЗ ПРИМЕР, СОФИЯ\nПетров\nИванов\n\n\n");
    }
    void TearDown() override {
        window.reset();
        form.reset();
        vz::setMessageBoxHandler({});
        qunsetenv("VZ_LANG");
    }

    void write(const QString& name, const QByteArray& bytes) {
        vz::test::ScratchFiles::writeFile(name, bytes);
    }
    // The serial line: COM1 leads to `target` (a scratch file unless a test says otherwise).
    void linkCom1(const QString& target) {
        QFile::remove(dir.filePath(QStringLiteral("COM1")));
        ASSERT_TRUE(QFile::link(target, dir.filePath(QStringLiteral("COM1"))));
    }

    QDateTime wall() const { return kBase.addMSecs(nowMs - kStartMs); }

    void openStation() {
        if (!QFileInfo::exists(dir.filePath(QStringLiteral("COM1")))) {
            write("line", "");
            linkCom1(dir.filePath(QStringLiteral("line")));
        }
        form = std::make_unique<TMnGASForm>(TMnGASForm::Options{}, &reportState, &printer);
        boxes.clear();
    }
    void openWindow() {
        archive = std::make_unique<vz::ProtocolArchive>(dir.path(), [this] { return wall(); });
        window = std::make_unique<vz::TwoSpeedWindow>(
            form.get(),
            vz::TwoSpeedWindowServices{form->twoSpeedStation(), *archive, printer, [this] { return nowMs; },
                                       [this] { return wall(); }, dir.path()});
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
    }

    // The vehicle step, from the keyboard: registration, make, model, first registration.
    void typeVehicle(const QString& registration, const QString& make = QStringLiteral("VW"),
                     const QString& model = QStringLiteral("Golf"),
                     const QString& date = QStringLiteral("14.03.2005")) {
        ASSERT_EQ(focus(), window->RegistrationEdit);
        type(registration);
        tab();
        if (!make.isNull()) {
            window->MakeEdit->clear();
            type(make);
        }
        tab();
        if (!model.isNull()) {
            window->ModelEdit->clear();
            type(model);
        }
        tab();
        type(date);
        ASSERT_EQ(focus(), window->FirstRegistrationEdit);
    }

    // The run as F2 leaves it when an analyser answers on the line.
    void runCycle() {
        form->St.OpState = 1;
        form->St.RunTicks = 0;
    }
    // One tick of the cycle timer (250 ms at run), then, when given, one block from the analyser:
    // a result record (with the oil frame when given), or at 1200 baud one lettered-field line.
    void tick(const std::optional<Engine>& engine, std::optional<double> oil = std::nullopt) {
        nowMs += 250;
        form->Timer1Timer();
        if (!engine)
            return;
        QByteArray block = selfSending ? vz::test::lineOf(*engine) : recordOf(*engine);
        if (oil)
            block += oilFrame(*oil);
        receive(block);
    }
    void receive(const QByteArray& block) {
        form->cpDrvReceiveData(block.constData(), uint32_t(block.size()));
    }
    void run(const Engine& e, int64_t ms, std::optional<double> oil = std::nullopt) {
        for (int64_t t = 0; t < ms; t += 250)
            tick(e, oil);
    }
    // Through the gate and conditioning into the first phase; `oil` from the analyser, or none
    // (the operator then confirms a warm engine).
    void startPhases(std::optional<double> oil, bool vacuum = false) {
        runCycle();
        run(kCleanAir, 5500, oil);
        ASSERT_FALSE(window->GateReadyLabel->text().isEmpty())
            << window->GateBlocksLabel->text().toStdString();
        enter();
        ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Conditioning);
        if (vacuum) {
            tick(kCleanAir, oil);
            EXPECT_TRUE(window->RpmModeLabel->isVisible());
            EXPECT_TRUE(window->ConditioningBlocksLabel->text().contains("режим вакуум"));
            enter();
            EXPECT_EQ(window->step(), vz::TwoSpeedWindow::Step::Conditioning) << "vacuum mode blocks";
            tab();
            ASSERT_EQ(focus(), window->Rpm1Button);
            enter();
            EXPECT_EQ(form->St.RpmMode, 1) << "the main window's mode, as its RPM group sets it";
            EXPECT_FALSE(window->RpmModeLabel->isVisible());
        }
        if (!oil) {
            EXPECT_TRUE(window->WarmButton->isVisible());
            tab(); // from the page to its first button
            ASSERT_EQ(focus(), window->WarmButton);
            enter();
            EXPECT_TRUE(window->test()->oilConfirmed());
        }
        tick(kCleanAir, oil);
        enter();
        ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Phases)
            << window->MessageLabel->text().toStdString();
    }
    // The car through the phases, a tick at a time, until `reached` holds or the test ends.
    void runPhasesUntil(const std::function<bool(const vz::twospeed::PhaseView&)>& reached,
                        const Engine& highIdle, const Engine& idle, std::optional<double> oil) {
        for (int i = 0; i < 400 && !window->test()->finished(); ++i) {
            const auto view = window->test()->currentPhase();
            if (view && reached(*view))
                return;
            tick(view && view->kind == vz::twospeed::PhaseKind::HighIdle ? highIdle : idle, oil);
        }
    }
    void runUntilFinished(const Engine& highIdle, const Engine& idle, std::optional<double> oil) {
        runPhasesUntil([](const vz::twospeed::PhaseView&) { return false; }, highIdle, idle, oil);
        ASSERT_TRUE(window->test()->finished());
    }
    QString officialFile() const {
        return dir.filePath(vz::ProtocolArchive::fileName(vz::ArchiveSeries::Official, wall().date()));
    }
    QString trainingFile() const {
        return dir.filePath(vz::ProtocolArchive::fileName(vz::ArchiveSeries::Training, wall().date()));
    }
    template <typename T> T* child(const QString& name) const { return window->findChild<T*>(name); }

    struct Box {
        QString caption, text;
    };

    static constexpr int64_t kStartMs = 1'000'000;
    const QDateTime kBase{QDate(2026, 3, 10), QTime(10, 0)};
    vz::test::ScratchCurrentDir dir;
    std::vector<Box> boxes;
    std::deque<vz::MsgAnswer> answers;
    int64_t nowMs = kStartMs;
    bool selfSending = false; // the analyser sends lettered-field lines (the station at 1200 baud)
    vz::ReportState reportState;
    vz::RecordingPrinterService printer;
    std::unique_ptr<TMnGASForm> form;
    std::unique_ptr<vz::ProtocolArchive> archive;
};

TEST_F(TwoSpeedWindowTest, aPassingCarFromTheVehicleStepToThePrintedProtocol) {
    printer.names = {QStringLiteral("Office")};
    printer.pageWidthPx = 4800;
    openStation();
    openWindow();
    EXPECT_EQ(window->windowTitle(), "ИЗПИТВАНЕ НА ДВЕ СКОРОСТИ / TWO-SPEED TEST");
    EXPECT_FALSE(window->TrainingLabel->isVisible());
    EXPECT_TRUE(boxes.empty());

    // 1. The vehicle; the limits line follows the date at once.
    typeVehicle(QStringLiteral("CA 1234 BX"));
    vz::twospeed::VehicleFacts facts;
    facts.firstRegistration = QDate(2005, 3, 14);
    EXPECT_EQ(
        window->LimitsLabel->text(),
        vz::twospeed::selectLimits(facts, vz::twospeed::readTwoSpeedSetup(dir.path()).setup).explanation);
    EXPECT_TRUE(window->LimitsLabel->text().contains("14.03.2005"));
    EXPECT_EQ(window->OperatorBox->currentText(), "Иванов"); // the list sorted, empty names left out
    const int64_t startedMs = nowMs;
    enter();
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Gate);
    const QList<QJsonObject> begun = archiveLines(officialFile());
    ASSERT_EQ(begun.size(), 1);
    const QJsonObject started = begun[0];
    EXPECT_EQ(started["kind"].toString(), "started");
    EXPECT_EQ(started["number"].toInt(), window->protocolNumber());
    EXPECT_EQ(started["registration"].toString(), "CA 1234 BX");
    EXPECT_EQ(started["make"].toString(), "VW");
    EXPECT_EQ(started["firstRegistration"].toString(), "2005-03-14");
    EXPECT_EQ(started["operator"].toString(), "Иванов");
    EXPECT_EQ(started["limitSet"]["basis"].toString(), "catalyst-from-2002");
    EXPECT_EQ(started["setup"]["StabilisationSeconds"].toDouble(), 10.0);
    EXPECT_EQ(started["line"]["port"].toString(), "COM1");
    EXPECT_EQ(started["line"]["device"].toString(), QFileInfo(dir.filePath("line")).canonicalFilePath());
    EXPECT_EQ(started["line"]["rate"].toInt(), 9600);
    EXPECT_FALSE(started["training"].toBool());
    EXPECT_FALSE(window->AttemptLabel->isVisible()) << "the first attempt of the day";

    // 2. The gate: the cycle is idle, so Enter does not go on and F2 is offered.
    EXPECT_TRUE(window->GateBlocksLabel->text().contains("Анализаторът не измерва"));
    EXPECT_TRUE(window->RunButton->isVisible());
    EXPECT_EQ(window->RunButton->text(), "Пускане на измерването (F2)");
    enter();
    EXPECT_EQ(window->step(), vz::TwoSpeedWindow::Step::Gate);
    EXPECT_FALSE(window->MessageLabel->text().isEmpty());

    // 3.-5. Clean air, a warm engine (oil from the analyser), the engine speed left in vacuum
    // mode on the main window, high idle, then idle.
    form->RPMGroupClick(2);
    startPhases(90.0, true);
    EXPECT_TRUE(window->PhaseTitleLabel->text().contains("Повишени обороти"));
    EXPECT_EQ(window->Gauge->windowMin(), 2500);
    EXPECT_EQ(window->Gauge->windowMax(), 3000);
    tick(Engine{1500, 0.05, 14.8, 20, 0.2}, 90.0);
    EXPECT_EQ(window->Gauge->rpm(), 1500);
    EXPECT_FALSE(window->Gauge->inWindow());
    EXPECT_EQ(window->RpmLabel->text(), "1500 min⁻¹");
    EXPECT_EQ(window->HintLabel->text(), "Докарайте оборотите в прозореца 2500–3000 min⁻¹.");
    run(Engine{1500, 0.05, 14.8, 20, 0.2}, 7000, 90.0); // the operator takes a while
    tick(kGoodHighIdle, 90.0);
    EXPECT_TRUE(window->Gauge->inWindow());
    EXPECT_TRUE(window->CountdownLabel->text().startsWith("Стабилизиране"));
    runUntilFinished(kGoodHighIdle, kGoodIdle, 90.0);

    // 7. The result.
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Result);
    EXPECT_EQ(window->test()->verdict(), Verdict::Pass);
    EXPECT_EQ(window->VerdictLabel->text(), vz::twospeed::verdictTitle(Verdict::Pass));
    for (const char* phase : {"high-idle", "idle"}) {
        ASSERT_NE(child<QLabel>(QString(phase) + "-co-mark"), nullptr) << phase;
        EXPECT_EQ(child<QLabel>(QString(phase) + "-co-mark")->text(), "✔") << phase;
        EXPECT_FALSE(child<QLabel>(QString(phase) + "-co-value")->styleSheet().contains("#c00000")) << phase;
        EXPECT_TRUE(child<QLabel>(QString(phase) + "-verdict")->text().contains("съответства")) << phase;
    }
    EXPECT_EQ(child<QLabel>("high-idle-lambda-mark")->text(), "✔");
    EXPECT_EQ(child<QLabel>("idle-lambda-mark")->text(), "") << "lambda decides nothing at idle";
    const QString decidingCo =
        vz::twospeed::decimalText(window->test()->phases()[0].deciding->co, vz::twospeed::kCoDecimals);
    EXPECT_EQ(child<QLabel>("high-idle-co-value")->text(), decidingCo + " %");

    // The archive: the started line, samples journalled at least every 5 s, the result.
    const QList<QJsonObject> lines = archiveLines(officialFile());
    const QList<QJsonObject> results = ofKind(lines, "result");
    ASSERT_EQ(results.size(), 1);
    EXPECT_EQ(results[0]["verdict"].toString(), "pass");
    EXPECT_EQ(results[0]["number"].toInt(), window->protocolNumber());
    const QJsonArray phases = results[0]["phases"].toArray();
    ASSERT_EQ(phases.size(), 2);
    qsizetype resultSamples = 0;
    for (const QJsonValue& p : phases)
        resultSamples += p["samples"].toArray().size();
    qsizetype journalled = 0;
    const QList<QJsonObject> journal = ofKind(lines, "samples");
    EXPECT_GE(journal.size(), 1);
    for (const QJsonObject& j : journal) {
        const int64_t writtenMs =
            kBase.msecsTo(QDateTime::fromString(j["time"].toString(), Qt::ISODate)) + kStartMs;
        for (const QJsonValue& s : j["samples"].toArray()) {
            const int64_t takenMs = startedMs + s["t"].toInteger();
            EXPECT_LE(takenMs, writtenMs + 999); // the line's time is in whole seconds
            EXPECT_LE(writtenMs, takenMs + 5000) << "a sample waited more than 5 s for its journal line";
            ++journalled;
        }
    }
    EXPECT_GT(journalled, 0);
    EXPECT_LE(journalled, resultSamples);

    // 8. The protocol on the default printer, with the result line's seal at its foot.
    EXPECT_EQ(child<QLabel>("keys")->text(), "Enter: печат на протокола · Esc: затваряне");
    enter();
    ASSERT_EQ(printer.pages.size(), 1);
    EXPECT_EQ(window->PrintLabel->text(), "Протоколът е отпечатан.");
    QStringList texts;
    for (const vz::RecordedText& t : printer.pages[0])
        texts << t.text;
    const QString page = texts.join(u'\n');
    EXPECT_TRUE(page.contains("CA 1234 BX"));
    EXPECT_TRUE(page.contains(vz::twospeed::verdictTitle(Verdict::Pass)));
    ASSERT_TRUE(window->resultWrite().ok);
    // The text engine may cut a line into runs (digits apart from letters): joined, they read on.
    EXPECT_TRUE(texts.join(QString()).contains(vz::sealDigits(window->resultWrite().seal)))
        << page.toStdString();
    enter(); // after printing, Enter closes
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(TwoSpeedWindowTest, aFailingCarShowsTheValueBeyondItsLimitInRedAndSavesThePdfWithoutAPrinter) {
    openStation();
    form->St.Vehicle = {QStringLiteral("VW GOLF"), 50, 0, 120, 200, 300, QStringLiteral("VW"),
                        QStringLiteral("GOLF"),    800};
    openWindow();
    // The make and model of the F1 vehicle are there; LPG is chosen from the keyboard.
    EXPECT_EQ(window->MakeEdit->text(), "VW");
    EXPECT_EQ(window->ModelEdit->text(), "GOLF");
    typeVehicle(QStringLiteral("PB 4567 AK"), QString(), QString(), QStringLiteral("01.08.2001"));
    tab();
    ASSERT_EQ(focus(), window->FuelBox);
    press(Qt::Key_Down);
    EXPECT_EQ(window->FuelBox->currentIndex(), 1);
    EXPECT_TRUE(window->LimitsLabel->text().contains("VW GOLF")) << "the F1 row's idle CO limit";
    enter();
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Gate);
    EXPECT_EQ(form->St.GASBoxItemIndex, 0) << "the main window's fuel box is left as it was";

    // No oil temperature from the analyser: the operator confirms a warm engine.
    startPhases(std::nullopt);
    runUntilFinished(kHighCoHighIdle, kGoodIdle, std::nullopt);
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Result);
    EXPECT_EQ(window->test()->verdict(), Verdict::Fail);
    EXPECT_EQ(window->VerdictLabel->text(), vz::twospeed::verdictTitle(Verdict::Fail));
    EXPECT_EQ(child<QLabel>("high-idle-co-mark")->text(), "✘");
    EXPECT_TRUE(child<QLabel>("high-idle-co-value")->styleSheet().contains("#c00000"));
    EXPECT_TRUE(child<QLabel>("high-idle-co-mark")->styleSheet().contains("#c00000"));
    EXPECT_FALSE(child<QLabel>("idle-co-value")->styleSheet().contains("#c00000")) << "idle passed";
    EXPECT_EQ(window->ReasonLabel->text(), window->test()->reason());

    const QList<QJsonObject> lines = archiveLines(officialFile());
    EXPECT_EQ(lines[0]["fuel"].toString(), "lpg");
    EXPECT_EQ(lines[0]["f1Row"]["text"].toString(), "VW GOLF");
    ASSERT_EQ(ofKind(lines, "result").size(), 1);
    const QJsonObject result = ofKind(lines, "result")[0];
    EXPECT_EQ(result["verdict"].toString(), "fail");
    EXPECT_TRUE(result["oilConfirmed"].toBool());
    EXPECT_EQ(result["phases"][0]["verdict"].toString(), "fail");
    EXPECT_EQ(result["phases"][1]["verdict"].toString(), "pass");

    // No printer: the error, then the offer of the PDF, answered yes.
    printer.failure = QStringLiteral("No printer is installed.");
    enter();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Грешка на принтера");
    EXPECT_EQ(boxes[0].text, printer.failure);
    const QString pdf = vz::protocolPdfFileName(window->protocolNumber(), false);
    EXPECT_TRUE(boxes[1].text.contains(pdf));
    EXPECT_EQ(vz::test::ScratchFiles::readFile(dir.filePath(pdf)).left(4), "%PDF");
    EXPECT_EQ(window->PrintLabel->text(), "Протоколът е записан като " + pdf + ".");
}

TEST_F(TwoSpeedWindowTest, escAsksOnceAndTheAbortedOrInterruptedTestIsRecorded) {
    openStation();
    openWindow();
    typeVehicle(QStringLiteral("CA 1234 BX"));
    enter();
    startPhases(90.0);
    run(kGoodHighIdle, 1000, 90.0);

    // Esc asks; "no" goes on measuring.
    answers = {vz::MsgAnswer::No};
    esc();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Да се прекрати ли изпитването? То ще бъде записано като прекратено.");
    EXPECT_EQ(window->step(), vz::TwoSpeedWindow::Step::Phases);
    EXPECT_FALSE(window->test()->finished());

    // "Yes" aborts: the result shows the invalid test and the archive has it.
    answers = {vz::MsgAnswer::Yes};
    esc();
    ASSERT_EQ(boxes.size(), 2u);
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Result);
    EXPECT_EQ(window->test()->verdict(), Verdict::Aborted);
    EXPECT_EQ(window->VerdictLabel->text(), "НЕВАЛИДЕН");
    QList<QJsonObject> results = ofKind(archiveLines(officialFile()), "result");
    ASSERT_EQ(results.size(), 1);
    EXPECT_EQ(results[0]["verdict"].toString(), "aborted");
    EXPECT_EQ(results[0]["phases"][0]["verdict"].toString(), "aborted");
    EXPECT_FALSE(results[0]["phases"][0]["samples"].toArray().isEmpty());

    // Once the test has ended, Esc closes without asking again.
    esc();
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_FALSE(window->isVisible());

    // Esc at the vehicle step closes at once: nothing has started, nothing is recorded.
    const qsizetype linesBefore = archiveLines(officialFile()).size();
    openWindow();
    esc();
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(archiveLines(officialFile()).size(), linesBefore);

    // The station closing (a termination signal rejects the modal window) interrupts the test
    // without a question; the next test of the registration today is its second attempt.
    openWindow();
    typeVehicle(QStringLiteral("са-1234-вх"));
    enter();
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Gate);
    EXPECT_EQ(window->attempt(), 2);
    EXPECT_TRUE(window->AttemptLabel->isVisible());
    EXPECT_EQ(window->AttemptLabel->text(), "Опит 2 днес за този регистрационен номер");
    window->reject();
    EXPECT_EQ(boxes.size(), 2u);
    results = ofKind(archiveLines(officialFile()), "result");
    ASSERT_EQ(results.size(), 2);
    EXPECT_EQ(results[1]["verdict"].toString(), "interrupted");
    EXPECT_EQ(results[1]["reason"].toString(), vz::twospeed::kClosedDuringTest + " преди измерването");
}

TEST_F(TwoSpeedWindowTest, aCleanAirCheckOlderThanTenMinutesSendsTheWindowBackToTheGate) {
    openStation();
    openWindow();
    typeVehicle(QStringLiteral("CA 1234 BX"));
    enter();
    runCycle();
    run(kCleanAir, 5500, 60.0);
    enter();
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Conditioning);
    // The oil takes its time: the check of clean air runs out meanwhile.
    tick(kGoodIdle, 60.0);
    nowMs += 10 * 60 * 1000;
    tick(kGoodIdle, 60.0);
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Gate);
    EXPECT_TRUE(window->HangUpLabel->text().contains("преди повече от 10 минути"))
        << window->HangUpLabel->text().toStdString();
    EXPECT_TRUE(window->GateReadyLabel->text().isEmpty()) << "exhaust is no clean air";
    EXPECT_TRUE(window->GateBlocksLabel->text().contains("CO₂"))
        << window->GateBlocksLabel->text().toStdString();
    // Clean air again, then on through a warm engine into the phases.
    run(kCleanAir, 5500, 90.0);
    enter();
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Conditioning);
    tick(kCleanAir, 90.0);
    enter();
    EXPECT_EQ(window->step(), vz::TwoSpeedWindow::Step::Phases) << window->MessageLabel->text().toStdString();
}

TEST_F(TwoSpeedWindowTest, aPortLostAfterAFailingAverageInterruptsTheTestAndKeepsTheAverage) {
    Pty pty;
    ASSERT_FALSE(pty.slave.isEmpty());
    linkCom1(pty.slave);
    openStation();
    openWindow();
    typeVehicle(QStringLiteral("CA 1234 BX"));
    enter();
    form->Button2Click(); // F2: the port opens on the line and the run starts
    ASSERT_TRUE(form->CPDrv->IsConnected());
    startPhases(90.0);
    runPhasesUntil([this](const vz::twospeed::PhaseView&) { return window->test()->abortFails(); },
                   kHighCoHighIdle, kGoodIdle, 90.0);
    ASSERT_TRUE(window->test()->abortFails()) << "a valid failing average at high idle";

    // The analyser goes: the next request cannot be sent and the port closes.
    ::close(pty.master);
    pty.master = -1;
    for (int i = 0; i < 8 && window->step() != vz::TwoSpeedWindow::Step::Result; ++i)
        tick(kHighCoHighIdle, 90.0);
    EXPECT_FALSE(form->CPDrv->IsConnected());
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Result);
    EXPECT_EQ(window->test()->verdict(), Verdict::Interrupted) << "a technical end is no fail";
    const QList<QJsonObject> results = ofKind(archiveLines(trainingFile()), "result");
    ASSERT_EQ(results.size(), 1);
    EXPECT_EQ(results[0]["verdict"].toString(), "interrupted");
    EXPECT_EQ(results[0]["ending"].toString(), "interrupted");
    EXPECT_EQ(results[0]["failingAverage"]["phase"].toString(), "high-idle");
    EXPECT_TRUE(results[0]["reason"].toString().contains(vz::twospeed::kPortLostDuringTest));
}

TEST_F(TwoSpeedWindowTest, trainingIsMarkedForDemoModeAPseudoTerminalAndAnExpiredVerification) {
    // Demo mode.
    write("VEZARO.DMO", recordOf(kCleanAir) + "\r\n");
    openStation();
    ASSERT_TRUE(form->St.DemoMode);
    openWindow();
    EXPECT_TRUE(window->training());
    EXPECT_FALSE(window->TrainingLabel->isHidden());
    EXPECT_TRUE(window->TrainingLabel->text().startsWith(vz::twospeed::kTrainingMark));
    EXPECT_TRUE(window->TrainingLabel->text().contains("демонстрационен режим"));
    typeVehicle(QStringLiteral("CA 1234 BX"));
    enter();
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Gate);
    EXPECT_EQ(window->attempt(), 0);
    EXPECT_TRUE(window->AttemptLabel->isHidden());
    esc(); // aborted after the question
    const QList<QJsonObject> lines = archiveLines(trainingFile());
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0]["training"].toBool());
    EXPECT_EQ(lines[0]["trainingReason"].toString(), "demo-mode");
    EXPECT_TRUE(lines[0]["demoMode"].toBool());
    EXPECT_EQ(lines[1]["verdict"].toString(), "aborted");
    EXPECT_FALSE(QFileInfo::exists(officialFile())) << "training never enters the official series";
    window.reset();
    form.reset();
    QFile::remove(dir.filePath("VEZARO.DMO"));

    // The serial line is a pseudo-terminal: a simulated analyser.
    Pty pty;
    ASSERT_FALSE(pty.slave.isEmpty());
    linkCom1(pty.slave);
    openStation();
    ASSERT_FALSE(form->St.DemoMode);
    openWindow();
    EXPECT_TRUE(window->training());
    EXPECT_TRUE(window->TrainingLabel->text().contains("псевдотерминал"));
    window.reset();
    form.reset();

    // The analyser's verification ran out yesterday; a plain file as the line is no reason.
    write("line", "");
    linkCom1(dir.filePath("line"));
    EXPECT_FALSE(vz::isPseudoTerminal(dir.filePath("COM1")));
    EXPECT_TRUE(vz::isPseudoTerminal(pty.slave));
    write("TWOSPEED.ini", "AnalyserSerial = KV50-0917\nVerificationExpires = " +
                              wall().date().addDays(-1).toString("dd.MM.yyyy").toLatin1() + "\n");
    openStation();
    openWindow();
    EXPECT_TRUE(window->training());
    EXPECT_TRUE(window->TrainingLabel->text().contains("проверката на анализатора е изтекла"));
    window.reset();
    write("TWOSPEED.ini", "AnalyserSerial = KV50-0917\nVerificationExpires = " +
                              wall().date().toString("dd.MM.yyyy").toLatin1() + "\n");
    openWindow();
    EXPECT_FALSE(window->training()) << "the last day of the verification still counts";
    EXPECT_TRUE(window->TrainingLabel->isHidden());
}

TEST_F(TwoSpeedWindowTest, theRestartOfferPressesF2TwiceAsTheOperatorWould) {
    write("VEZARO.DMO", recordOf(kCleanAir) + "\r\n");
    openStation();
    form->Button2Click(); // F2: the demo run starts
    ASSERT_EQ(form->St.OpState, 1);
    form->St.RunTicks = form->St.RunTickLimit - 40; // ten seconds left
    openWindow();
    typeVehicle(QStringLiteral("CA 1234 BX"));
    enter();
    tick(std::nullopt);
    EXPECT_TRUE(window->GateBlocksLabel->text().contains("До края на измерването остават"));
    ASSERT_TRUE(window->RunButton->isVisible());
    EXPECT_EQ(window->RunButton->text(), "Пускане на измерването отначало (F2 два пъти)");
    tab();
    ASSERT_EQ(focus(), window->RunButton);
    enter(); // the focused button, not "go on"
    EXPECT_EQ(form->St.OpState, 2) << "the first F2 stops the run";
    for (int i = 0; i < 10 && form->St.OpState != 1; ++i)
        tick(std::nullopt);
    EXPECT_EQ(form->St.OpState, 1) << "the second F2 starts it again once stopped";
    EXPECT_LT(form->St.RunTicks, 10);
    EXPECT_FALSE(window->GateBlocksLabel->text().contains("До края на измерването остават"));
}

TEST_F(TwoSpeedWindowTest, theWindowIsBulgarianUnlessVzLangIsEnglish) {
    openStation();
    openWindow();
    EXPECT_EQ(window->StepLabel->text(), "Стъпка 1 от 5: Автомобил");
    EXPECT_EQ(window->FuelBox->itemText(0), "Бензин");
    EXPECT_EQ(child<QLabel>("keys")->text(), "Tab: следващо поле · Enter: напред · Esc: затваряне");
    const QString limits = window->LimitsLabel->text();
    window.reset();

    qputenv("VZ_LANG", "en");
    openWindow();
    EXPECT_EQ(window->windowTitle(), "ИЗПИТВАНЕ НА ДВЕ СКОРОСТИ / TWO-SPEED TEST");
    EXPECT_EQ(window->StepLabel->text(), "Step 1 of 5: Vehicle");
    EXPECT_EQ(window->FuelBox->itemText(0), "Petrol");
    EXPECT_EQ(child<QLabel>("keys")->text(), "Tab: next field · Enter: go on · Esc: close");
    EXPECT_EQ(window->LimitsLabel->text(), limits) << "the limits line is the protocol's, in Bulgarian";
    typeVehicle(QStringLiteral("CA 1234 BX"));
    enter();
    EXPECT_TRUE(window->GateBlocksLabel->text().contains("The analyser is not measuring."));
    window.reset();

    // The catalogue is removed with the window: the next one is Bulgarian again.
    qunsetenv("VZ_LANG");
    openWindow();
    EXPECT_EQ(window->StepLabel->text(), "Стъпка 1 от 5: Автомобил");
}

TEST_F(TwoSpeedWindowTest, f5OpensTheWindowModallyWhileTheCycleTimerRuns) {
    openStation();
    form->show();
    QString opened;
    bool timerRan = false;
    bool escClosed = false;
    QPointer<QWidget> modal;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* active = QApplication::activeModalWidget();
        if (!active || modal)
            return;
        modal = active;
        opened = QString::fromLatin1(active->metaObject()->className());
        timerRan = form->Timer1->isActive();
        QWidget* target = active->focusWidget() ? active->focusWidget() : active;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QString(QChar(0x1b)));
        QApplication::sendEvent(target, &press);
        escClosed = !active->isVisible();
    });
    QTimer failsafe;
    failsafe.setSingleShot(true);
    QObject::connect(&failsafe, &QTimer::timeout, [] {
        if (QWidget* m = QApplication::activeModalWidget())
            m->close();
    });
    poll.start();
    failsafe.start(3000);
    // F5 as the keyboard sends it to the focused control of the main window.
    QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
    QApplication::sendEvent(form->Button2, &f5);
    EXPECT_EQ(opened, "vz::TwoSpeedWindow");
    EXPECT_TRUE(timerRan) << "the cycle timer runs under the test window";
    EXPECT_TRUE(escClosed);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.jsonl"}).isEmpty()) << "nothing started, nothing recorded";
}

TEST_F(TwoSpeedWindowTest, aResultTheArchiveCannotTakeGivesNoProtocolOnlyThePageMarkedAsNoProtocol) {
    printer.names = {QStringLiteral("Office")};
    printer.pageWidthPx = 4800;
    openStation();
    openWindow();
    typeVehicle(QStringLiteral("CA 1234 BX"));
    enter();
    startPhases(90.0);
    // A passing car. The disk fills up while idle measures, before its passing average: the
    // result line is refused for real.
    runPhasesUntil(
        [](const vz::twospeed::PhaseView& v) {
            return v.kind == vz::twospeed::PhaseKind::Idle && v.step == vz::twospeed::PhaseStep::Measuring;
        },
        kGoodHighIdle, kGoodIdle, 90.0);
    {
        vz::test::FileSizeLimit full(QFileInfo(officialFile()).size());
        ASSERT_TRUE(full.active());
        runUntilFinished(kGoodHighIdle, kGoodIdle, 90.0);
    }
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Result);
    EXPECT_EQ(window->test()->verdict(), Verdict::Pass);
    EXPECT_FALSE(window->resultWrite().ok);
    EXPECT_TRUE(ofKind(archiveLines(officialFile()), "result").isEmpty());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith("Резултатът от изпитването не може да бъде записан:"))
        << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.contains("За него не се отпечатва протокол."));
    EXPECT_EQ(window->PrintLabel->text(), "Резултатът не е записан: за това изпитване няма протокол.");
    EXPECT_EQ(child<QLabel>("keys")->text(),
              "Enter: печат на страницата, отбелязана, че не е протокол · Esc: затваряне");

    // Enter prints the page marked as no protocol: no number, no seal.
    enter();
    ASSERT_EQ(printer.pages.size(), 1);
    const QString page = pageText(printer.pages[0]);
    EXPECT_TRUE(page.contains(vz::kUnrecordedMark)) << page.toStdString();
    EXPECT_TRUE(page.contains("CA 1234 BX"));
    EXPECT_FALSE(page.contains("Протокол №")) << page.toStdString();
    EXPECT_FALSE(page.contains("Печат на записа"));
    EXPECT_FALSE(pageText(printer.pages[0], QString()).contains(QRegularExpression("[0-9a-f]{16}")))
        << "no seal digits";
    EXPECT_EQ(window->PrintLabel->text(), "Страницата, отбелязана, че не е протокол, е отпечатана.");

    // Without a printer the page is offered as a PDF named by the test's end, never as a
    // protocol. The operator aborts this test at the gate while the disk is full.
    printer.failure = QStringLiteral("No printer is installed.");
    openWindow();
    typeVehicle(QStringLiteral("CA 1234 BX"));
    enter();
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Gate);
    {
        vz::test::FileSizeLimit full(QFileInfo(officialFile()).size());
        esc(); // the question answered yes
    }
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Result);
    EXPECT_FALSE(window->resultWrite().ok);
    const QString pdf = vz::unrecordedPdfFileName(wall());
    EXPECT_TRUE(pdf.startsWith("Nezapisan-"));
    boxes.clear();
    enter();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, printer.failure);
    EXPECT_TRUE(boxes[1].text.contains(pdf)) << boxes[1].text.toStdString();
    EXPECT_EQ(vz::test::ScratchFiles::readFile(dir.filePath(pdf)).left(4), "%PDF");
    EXPECT_EQ(window->PrintLabel->text(),
              "Страницата, отбелязана, че не е протокол, е записана като " + pdf + ".");
    EXPECT_EQ(QDir(dir.path()).entryList({"*.pdf"}), QStringList{pdf});
}

TEST_F(TwoSpeedWindowTest, theF1RowAppliesToItsOwnVehicleOnlyAndTheNextTestTakesItAgain) {
    openStation();
    const vz::SelectedVehicle row{QStringLiteral("VW GOLF"), 50, 0, 120, 200, 300, QStringLiteral("VW"),
                                  QStringLiteral("GOLF"),    800};
    form->St.Vehicle = row;
    openWindow();
    ASSERT_EQ(window->MakeEdit->text(), "VW");
    EXPECT_TRUE(window->LimitsLabel->text().contains("VW GOLF"));

    // Another make: the row goes, and the limits line says why.
    typeVehicle(QStringLiteral("PB 4567 AK"), QStringLiteral("OPEL"), QString(),
                QStringLiteral("01.08.2001"));
    vz::twospeed::VehicleFacts facts;
    facts.firstRegistration = QDate(2001, 8, 1);
    EXPECT_EQ(
        window->LimitsLabel->text(),
        vz::twospeed::selectLimits(facts, vz::twospeed::readTwoSpeedSetup(dir.path()).setup).explanation +
            "\nРедът „VW GOLF“ от F1 не се прилага: марката или моделът са сменени.");
    enter();
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Gate);
    const QList<QJsonObject> started = ofKind(archiveLines(officialFile()), "started");
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0]["make"].toString(), "OPEL");
    EXPECT_TRUE(started[0]["f1Row"].isNull());
    esc(); // aborted: the test has ended
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Result);
    EXPECT_EQ(form->St.Vehicle.VehicleText, row.VehicleText) << "the main window keeps its row";
    EXPECT_EQ(form->St.Vehicle.LimitCOmx, row.LimitCOmx);
    EXPECT_EQ(form->St.Vehicle.Make, row.Make);
    EXPECT_EQ(form->St.Vehicle.Model, row.Model);
    EXPECT_EQ(form->St.Vehicle.Rpm, row.Rpm);

    // The next test starts from the row chosen on the main window.
    openWindow();
    EXPECT_EQ(window->MakeEdit->text(), "VW");
    EXPECT_EQ(window->ModelEdit->text(), "GOLF");
    EXPECT_TRUE(window->LimitsLabel->text().contains("VW GOLF"));
    EXPECT_FALSE(window->LimitsLabel->text().contains("не се прилага"));
    typeVehicle(QStringLiteral("PB 4567 AK"), QString(), QString(), QStringLiteral("01.08.2001"));
    enter();
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Gate);
    const QList<QJsonObject> again = ofKind(archiveLines(officialFile()), "started");
    ASSERT_EQ(again.size(), 2);
    EXPECT_EQ(again[1]["f1Row"]["text"].toString(), "VW GOLF");
}

TEST_F(TwoSpeedWindowTest, noLambdaControlStartsOnlyOnADeclaredReasonTheFirstRegistrationBearsOut) {
    openStation();
    openWindow();
    typeVehicle(QStringLiteral("CA 1234 BX"), QStringLiteral("LADA"), QStringLiteral("2107"),
                QStringLiteral("14.03.2005"));
    tab();
    tab();
    ASSERT_EQ(focus(), window->ControlBox);
    EXPECT_FALSE(window->DeclarationBox->isEnabled());
    press(Qt::Key_Up);
    ASSERT_EQ(window->ControlBox->currentIndex(), 0) << "no catalyst, or no lambda control";
    EXPECT_TRUE(window->DeclarationBox->isEnabled());

    // No reason given: refused, and the cursor goes to the reason.
    const QString noReason = "Изберете основанието за „без ламбда-регулиран катализатор“.";
    enter();
    EXPECT_EQ(window->step(), vz::TwoSpeedWindow::Step::Vehicle);
    EXPECT_EQ(window->MessageLabel->text(), noReason);
    EXPECT_TRUE(window->LimitsLabel->text().contains("✘ " + noReason));
    ASSERT_EQ(focus(), window->DeclarationBox);

    // Registered before catalysts were required: not with a first registration in 2005.
    press(Qt::Key_Down);
    ASSERT_EQ(window->DeclarationBox->currentIndex(), 1);
    enter();
    EXPECT_EQ(window->step(), vz::TwoSpeedWindow::Step::Vehicle);
    EXPECT_TRUE(window->MessageLabel->text().contains("14.03.2005"))
        << window->MessageLabel->text().toStdString();
    ASSERT_EQ(focus(), window->FirstRegistrationEdit);
    EXPECT_FALSE(QFileInfo::exists(officialFile())) << "a refused vehicle starts no test";

    // A car of 1990: the test starts on the loosened limits, idle only, with the declaration.
    window->FirstRegistrationEdit->clear();
    type(QStringLiteral("20.05.1990"));
    enter();
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Gate) << window->MessageLabel->text().toStdString();
    EXPECT_EQ(window->test()->phases().size(), 1);
    EXPECT_EQ(window->test()->limits().idleCoLimit, 350);
    const QList<QJsonObject> started = ofKind(archiveLines(officialFile()), "started");
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0]["declaration"]["key"].toString(), "registered-before-requirement");
    EXPECT_EQ(
        started[0]["declaration"]["text"].toString(),
        vz::twospeed::noCatalystReasonText(vz::twospeed::NoCatalystReason::RegisteredBeforeRequirement));
}

TEST_F(TwoSpeedWindowTest, at1200BaudEachLineIsOneSampleWithTheEngineSpeedOfThatLine) {
    write("VEZARO.INI",
          "COM PORT= COM1\r\nBAUDRATE= 1200\r\nDATABITS= 8bits\r\nHor Size= 707\r\nWindowed= normal\r\n");
    selfSending = true;
    openStation();
    ASSERT_EQ(form->twoSpeedStation().baudRate(), 1200u);
    openWindow();
    typeVehicle(QStringLiteral("CA 1234 BX"));
    enter();
    ASSERT_EQ(window->step(), vz::TwoSpeedWindow::Step::Gate);
    EXPECT_FALSE(window->GateNoteLabel->isHidden());

    // Five lines over range in one block: the gate counts the lines, not the decoded record.
    const Engine overRange{800, 0.0, 0.0, 9999, 20.9};
    receive(vz::test::lineOf(overRange).repeated(5));
    EXPECT_TRUE(window->GateBlocksLabel->text().contains("Показанията излизат извън обхвата"))
        << window->GateBlocksLabel->text().toStdString();
    form->St.LineOverRangeCount = 0; // as F2 leaves it: the self-sending analyser starts over
    startPhases(std::nullopt);       // no oil temperature in the lines: the operator confirms

    const auto highIdleSamples = [this] { return window->test()->phases()[0].samples; };
    tick(kGoodHighIdle);
    const qsizetype before = highIdleSamples().size();
    // The same line twice: two samples, though the record's bytes do not change.
    tick(kGoodHighIdle);
    tick(kGoodHighIdle);
    EXPECT_EQ(highIdleSamples().size(), before + 2);
    // One block of three lines: each its own sample with its own speed; a line without speed
    // proves nothing about the window.
    nowMs += 250;
    form->Timer1Timer();
    receive(vz::test::lineOf(Engine{1500, 0.05, 14.8, 20, 0.2}) + vz::test::lineOf(kGoodHighIdle) +
            vz::test::lineOf(kGoodHighIdle, false));
    const QList<vz::twospeed::Sample> taken = highIdleSamples().mid(before + 2);
    ASSERT_EQ(taken.size(), 3);
    EXPECT_EQ(taken[0].rpm, 1500);
    EXPECT_FALSE(taken[0].inWindow);
    EXPECT_EQ(taken[1].rpm, 2700);
    EXPECT_TRUE(taken[1].inWindow);
    EXPECT_TRUE(taken[1].rpmFromSameLine);
    EXPECT_FALSE(taken[2].rpmFromSameLine);
    EXPECT_FALSE(taken[2].inWindow);

    // A failing high idle and a passing idle, each decided by an average of identical lines.
    runUntilFinished(kHighCoHighIdle, kGoodIdle, std::nullopt);
    EXPECT_EQ(window->test()->verdict(), Verdict::Fail);
    const auto& phases = window->test()->phases();
    ASSERT_EQ(phases.size(), 2);
    EXPECT_EQ(phases[0].verdict, Verdict::Fail);
    EXPECT_EQ(phases[1].verdict, Verdict::Pass);
    const int linesPerAverage = int(window->test()->setup().averagingMs / 250);
    for (const vz::twospeed::PhaseResult& p : phases) {
        ASSERT_TRUE(p.deciding.has_value());
        EXPECT_TRUE(p.deciding->valid) << p.deciding->invalidReason.toStdString();
        EXPECT_GE(p.deciding->samples, linesPerAverage) << "one sample per line";
    }
    EXPECT_DOUBLE_EQ(phases[0].deciding->co, 0.45);
    const QList<QJsonObject> lines = archiveLines(officialFile());
    EXPECT_EQ(lines[0]["line"]["rate"].toInt(), 1200);
    ASSERT_EQ(ofKind(lines, "result").size(), 1);
    EXPECT_EQ(ofKind(lines, "result")[0]["verdict"].toString(), "fail");
}

TEST_F(TwoSpeedWindowTest, aFailingAverageIsInTheArchiveBeforeTheWindowShowsIt) {
    openStation();
    openWindow();
    typeVehicle(QStringLiteral("CA 1234 BX"));
    enter();
    startPhases(90.0);
    runPhasesUntil(
        [](const vz::twospeed::PhaseView& v) { return v.step == vz::twospeed::PhaseStep::Measuring; },
        kHighCoHighIdle, kGoodIdle, 90.0);
    ASSERT_EQ(window->test()->currentPhase()->kind, vz::twospeed::PhaseKind::HighIdle);

    // The disk is full when the first average comes: it fails, and the window holds it back
    // for as long as the archive cannot take it.
    {
        vz::test::FileSizeLimit full(QFileInfo(officialFile()).size());
        ASSERT_TRUE(full.active());
        runPhasesUntil([](const vz::twospeed::PhaseView& v) { return v.liveAverageWithheld; },
                       kHighCoHighIdle, kGoodIdle, 90.0);
        ASSERT_TRUE(window->test()->currentPhase()->liveAverageWithheld);
        tick(kHighCoHighIdle, 90.0);
        EXPECT_TRUE(window->test()->currentPhase()->liveAverageWithheld);
        EXPECT_EQ(window->LiveLabel->text(), "Средната стойност се записва в архива…");
        EXPECT_TRUE(journalledFailing(officialFile()).isEmpty());
    }

    // Room again: from now on, every failing average the window shows is already in the archive.
    int shown = 0;
    for (int i = 0; i < 200; ++i) {
        tick(kHighCoHighIdle, 90.0);
        const auto view = window->test()->currentPhase();
        if (!view || view->kind != vz::twospeed::PhaseKind::HighIdle)
            break;
        if (!view->liveAverage || !view->liveAverage->valid || view->liveAverage->withinLimits)
            continue;
        ++shown;
        EXPECT_TRUE(
            window->LiveLabel->text().startsWith("Средно: CO " + view->liveAverage->checks[0].valueText))
            << window->LiveLabel->text().toStdString();
        ASSERT_TRUE(journalledFailing(officialFile())
                        .contains(std::pair<QString, qint64>{"high-idle", view->liveAverage->atMs}))
            << "shown at " << view->liveAverage->atMs << " ms before it was journalled";
    }
    EXPECT_GT(shown, 3);
    EXPECT_EQ(window->test()->phases()[0].verdict, Verdict::Fail);
}

} // namespace
