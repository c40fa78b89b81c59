// The two-speed test window walked through every step the guides show, in Bulgarian and in
// English: the vehicle, the instrument check blocked, the engine's oil too cold, high idle and
// idle with the gauge and the countdowns, a passing, a failing and a diluted (invalid) result,
// the abort question and the training mark. It runs on the real main window, offscreen, with
// the analyser's frames through the main window's receive handler and the default times and
// windows (TWOSPEED.ini gives only the analyser's serial number and verification date, which
// official tests need), so the pictures show what a station shows. Each step's
// texts are checked; only when VZ_SCREENSHOT_DIR names a folder are the pictures written
// there, as twospeed-bg-STEP.png and twospeed-en-STEP.png, and the two printed protocols
// (always Bulgarian) as twospeed-protocol-pass.png and twospeed-protocol-fail.png:
//
//     QT_QPA_PLATFORM=offscreen VZ_SCREENSHOT_DIR=docs build/tests/app_twospeed_screenshot_tests
#include "MessageBox.h"
#include "ProtocolArchive.h"
#include "ProtocolPage.h"
#include "RecordingPrinter.h"
#include "ReportState.h"
#include "SpeedGauge.h"
#include "StationState.h"
#include "TwoSpeedStation.h"
#include "TwoSpeedWindow.h"
#include "VEZAro.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <stdlib.h>
#include <unistd.h>

#include "../ScratchFiles.h"
#include "../TestApplication.h"
#include "twospeed_window_support.h"

namespace {

using vz::TwoSpeedWindow;
using vz::test::Engine;
using vz::test::kCleanAir;
using vz::test::oilFrame;
using vz::test::Pty;
using vz::test::recordOf;
using vz::twospeed::Verdict;

const Engine kGoodHighIdle{2700, 0.08, 14.9, 25, 0.15};
const Engine kGoodIdle{800, 0.10, 14.8, 40, 0.20};
const Engine kHighCoHighIdle{2700, 0.60, 14.5, 60, 0.45};
const Engine kFairIdle{800, 0.25, 14.6, 60, 0.40};
// The probe half out of the pipe: CO + CO2 near 5.3 %, below the 6 % dilution threshold.
const Engine kDilutedHighIdle{2700, 0.03, 5.30, 10, 13.50};
const Engine kDilutedIdle{800, 0.04, 5.20, 15, 13.60};

// A printer whose page is a picture: the window's own drawing of the protocol on an image,
// and the texts it drew, recorded.
class PicturePrinter : public vz::PrinterService {
public:
    static constexpr int kWidthPx = 760;
    QStringList printerNames() override { return {QStringLiteral("Guide")}; }
    int defaultPageWidthPx() override { return kWidthPx; }
    bool printPage(const std::function<void(QPainter&)>& draw, QString* error) override {
        if (!recording.printPage(draw, error))
            return false;
        QImage page(kWidthPx, kWidthPx * 297 / 210, QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter painter(&page);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        draw(painter);
        painter.end();
        pictures.append(page);
        return true;
    }
    QString lastPageText() const {
        QStringList texts;
        for (const vz::RecordedText& t : recording.pages.constLast())
            texts << t.text;
        // The text engine may cut a line into runs (digits apart from letters).
        return texts.join(QString());
    }

    vz::RecordingPrinterService recording;
    QList<QImage> pictures;
};

// The window's texts each step is checked by, in the language of the pictures.
struct Language {
    const char* code;
    const char* vehicleStep;
    const char* notMeasuring;
    const char* startRun;
    const char* cannotGoOn;
    const char* oilCold;
    const char* highIdleTitle;
    const char* measuring;
    const char* averageLine;
    const char* idleTitle;
    const char* highIdlePassed;
    const char* notValid;
    const char* secondAttempt;
    const char* abortQuestion;
    const char* pass;
    const char* fail;
    const char* invalid;
    const char* printed;
};

const Language kBulgarian{
    "bg",
    "Стъпка 1 от 5: Автомобил",
    "Анализаторът не измерва.",
    "Пускане на измерването (F2)",
    "Изпитването още не може да продължи: вижте по-горе какво липсва.",
    "Маслото е 65 °C, нужни са поне 80 °C.",
    "Фаза 1 от 2: Повишени обороти, прозорец на оборотите 2500–3000 min⁻¹",
    "Измерване: остават",
    "Средно: CO 0,60 %",
    "Фаза 2 от 2: Празен ход, прозорец на оборотите 450–1100 min⁻¹",
    "Повишени обороти: съответства",
    "Невалидна: пробата е разредена",
    "Опит 2 днес за този регистрационен номер",
    "Да се прекрати ли изпитването? То ще бъде записано като прекратено.",
    "СЪОТВЕТСТВА",
    "НЕ СЪОТВЕТСТВА",
    "НЕВАЛИДЕН",
    "Протоколът е отпечатан.",
};

const Language kEnglish{
    "en",
    "Step 1 of 5: Vehicle",
    "The analyser is not measuring.",
    "Start the run (F2)",
    "The test cannot go on yet: see what is missing above.",
    "The oil is at 65 °C; at least 80 °C is needed.",
    "Phase 1 of 2: High idle, speed window 2500–3000 min⁻¹",
    "Measuring:",
    "Average: CO 0,60 %",
    "Phase 2 of 2: Idle, speed window 450–1100 min⁻¹",
    "High idle: passes",
    "Not valid: пробата е разредена",
    "Attempt 2 today for this registration number",
    "Abort the test? It is recorded as aborted.",
    "PASS",
    "FAIL",
    "INVALID",
    "The protocol was printed.",
};

// The language's code in the test's name and messages.
void PrintTo(const Language* language, std::ostream* os) {
    *os << language->code;
}

class TwoSpeedScreenshots : public ::testing::TestWithParam<const Language*>,
                            public vz::test::TwoSpeedWindowKeys {
protected:
    void SetUp() override {
        vz::test::testApplication();
        ASSERT_TRUE(dir.isValid());
        out = qEnvironmentVariable("VZ_SCREENSHOT_DIR");
        if (!out.isEmpty()) {
            ASSERT_TRUE(QDir().mkpath(out));
        }
        if (QString::fromLatin1(lang().code) == u"en")
            qputenv("VZ_LANG", "en");
        else
            qunsetenv("VZ_LANG");
        answerBoxes();
        vz::test::ScratchFiles::writeFile(QStringLiteral("TWOSPEED.ini"),
                                          "AnalyserSerial = KV50-0917\nVerificationExpires = 31.12.2099\n");
        vz::test::ScratchFiles::writeFile(QStringLiteral("SERVICE.ini"),
                                          "АВТОСЕРВИЗ ПРИМЕР, СОФИЯ\nИванов\nПетров\n\n\n");
    }
    void TearDown() override {
        window.reset();
        form.reset();
        vz::setMessageBoxHandler({});
        qunsetenv("VZ_LANG");
    }

    const Language& lang() const { return *GetParam(); }

    // Boxes are answered at once ("yes"), and recorded.
    void answerBoxes() {
        vz::setMessageBoxHandler(
            [this](QWidget*, const QString&, const QString& text, vz::MsgIcon, vz::MsgButtons buttons) {
                boxes << text;
                return buttons == vz::MsgButtons::YesNo ? vz::MsgAnswer::Yes : vz::MsgAnswer::Ok;
            });
    }

    QDateTime wall() const { return kBase.addMSecs(nowMs); }

    // The main window with COM1 leading to `line` (a scratch file unless a test says otherwise).
    void openStation(const QString& line = {}) {
        window.reset();
        form.reset();
        QFile::remove(dir.filePath(QStringLiteral("COM1")));
        QString target = line;
        if (target.isEmpty()) {
            vz::test::ScratchFiles::writeFile(QStringLiteral("line"), "");
            target = dir.filePath(QStringLiteral("line"));
        }
        ASSERT_TRUE(QFile::link(target, dir.filePath(QStringLiteral("COM1"))));
        form = std::make_unique<TMnGASForm>(TMnGASForm::Options{}, &reportState, &printer);
        // The test moves the cycle itself, tick by tick.
        form->Timer1->stop();
        boxes.clear(); // the start-up box of a station without a demo file
        archive = std::make_unique<vz::ProtocolArchive>(dir.path(), [this] { return wall(); });
    }
    void openWindow() {
        window = std::make_unique<TwoSpeedWindow>(
            form.get(),
            vz::TwoSpeedWindowServices{form->twoSpeedStation(), *archive, printer, [this] { return nowMs; },
                                       [this] { return wall(); }, dir.path()});
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
    }

    // The vehicle step from the keyboard, left at the date field (Enter goes on).
    void typeVehicle(const QString& registration, const QString& make, const QString& model,
                     const QString& firstRegistration) {
        ASSERT_EQ(focus(), window->RegistrationEdit);
        type(registration);
        tab();
        type(make);
        tab();
        type(model);
        tab();
        type(firstRegistration);
        ASSERT_EQ(focus(), window->FirstRegistrationEdit);
    }

    // The run as F2 leaves it when an analyser answers on the line, just begun.
    void runCycle() {
        form->St.OpState = 1;
        form->St.RunTicks = 0;
    }
    // One tick of the cycle timer (250 ms at run), then one block from the analyser.
    void tick(const Engine& engine, double oil) {
        nowMs += 250;
        form->Timer1Timer();
        const QByteArray block = recordOf(engine) + oilFrame(oil);
        form->cpDrvReceiveData(block.constData(), uint32_t(block.size()));
    }
    void run(const Engine& e, int64_t ms, double oil) {
        for (int64_t t = 0; t < ms; t += 250)
            tick(e, oil);
    }
    // Ticks `engine` until the phase under way has measured for `measuredMs`.
    void measureFor(const Engine& engine, int64_t measuredMs) {
        for (int i = 0; i < 400; ++i) {
            const auto v = window->test()->currentPhase();
            ASSERT_TRUE(v.has_value());
            if (v->step == vz::twospeed::PhaseStep::Measuring &&
                window->test()->setup().measuringMs - v->measuringLeftMs >= measuredMs)
                return;
            tick(engine, 86.0);
        }
        FAIL() << "the phase never measured for " << measuredMs << " ms";
    }
    // Clean air through the instrument check, a warm engine, Enter into the first phase.
    void throughToPhases() {
        runCycle();
        run(kCleanAir, 5500, 86.0);
        ASSERT_FALSE(window->GateReadyLabel->text().isEmpty())
            << window->GateBlocksLabel->text().toStdString();
        enter();
        ASSERT_EQ(window->step(), TwoSpeedWindow::Step::Conditioning);
        tick(kCleanAir, 86.0);
        enter();
        ASSERT_EQ(window->step(), TwoSpeedWindow::Step::Phases) << window->MessageLabel->text().toStdString();
    }
    void runUntilFinished(const Engine& highIdle, const Engine& idle) {
        for (int i = 0; i < 800 && !window->test()->finished(); ++i) {
            const auto view = window->test()->currentPhase();
            tick(view && view->kind == vz::twospeed::PhaseKind::HighIdle ? highIdle : idle, 86.0);
        }
        ASSERT_TRUE(window->test()->finished());
        ASSERT_EQ(window->step(), TwoSpeedWindow::Step::Result);
    }
    template <typename T> T* child(const QString& name) const { return window->findChild<T*>(name); }

    // The picture of a widget as it is on screen now, kept when a folder is given.
    void keep(QWidget* widget, const QString& name) {
        // Controls added to a shown layout are shown by a queued call, and layouts are laid
        // out on request: both wait among the posted events (no timer runs here).
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const QImage picture = widget->grab().toImage();
        EXPECT_EQ(picture.size(), widget->size()) << name.toStdString();
        save(picture, QStringLiteral("twospeed-%1-%2.png").arg(QLatin1String(lang().code), name));
    }
    void save(const QImage& picture, const QString& fileName) {
        if (out.isEmpty())
            return;
        const QString path = QDir(out).filePath(fileName);
        // A palette of 256 colours keeps the guides' pictures small; text and plain colours
        // need no more.
        EXPECT_TRUE(picture.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither)
                        .save(path))
            << path.toStdString();
    }

    static inline const QDateTime kBase{QDate(2026, 3, 10), QTime(10, 0)};
    vz::test::ScratchCurrentDir dir;
    QString out;
    QStringList boxes;
    int64_t nowMs = 0;
    vz::ReportState reportState;
    PicturePrinter printer;
    std::unique_ptr<TMnGASForm> form;
    std::unique_ptr<vz::ProtocolArchive> archive;
};

TEST_P(TwoSpeedScreenshots, everyStepTheVerdictsTheAbortQuestionAndTheTrainingMark) {
    const bool bulgarian = QString::fromLatin1(lang().code) == u"bg";
    openStation();

    // A passing car. The vehicle, and the limits line for it.
    openWindow();
    typeVehicle(QStringLiteral("СА 1234 ВХ"), QStringLiteral("VW"), QStringLiteral("Golf V 1.6"),
                QStringLiteral("14.03.2005"));
    EXPECT_EQ(window->StepLabel->text(), lang().vehicleStep);
    EXPECT_TRUE(window->LimitsLabel->text().contains("14.03.2005 → CO ≤ 0,3 %"))
        << window->LimitsLabel->text().toStdString();
    keep(window.get(), QStringLiteral("vehicle"));

    // The instrument check with the run stopped: blocked, the run offered, Enter refused.
    enter();
    ASSERT_EQ(window->step(), TwoSpeedWindow::Step::Gate);
    form->St.OpState = 3;
    tick(kCleanAir, 86.0);
    enter();
    EXPECT_EQ(window->step(), TwoSpeedWindow::Step::Gate);
    EXPECT_TRUE(window->GateBlocksLabel->text().contains(lang().notMeasuring))
        << window->GateBlocksLabel->text().toStdString();
    EXPECT_TRUE(window->RunButton->isVisible());
    EXPECT_EQ(window->RunButton->text(), lang().startRun);
    EXPECT_EQ(window->MessageLabel->text(), lang().cannotGoOn);
    keep(window.get(), QStringLiteral("gate"));

    // Conditioning with the oil too cold: blocked until it is warm.
    runCycle();
    run(kCleanAir, 5500, 65.0);
    ASSERT_TRUE(window->GateBlocksLabel->text().isEmpty()) << window->GateBlocksLabel->text().toStdString();
    enter();
    ASSERT_EQ(window->step(), TwoSpeedWindow::Step::Conditioning);
    tick(kCleanAir, 65.0);
    enter();
    EXPECT_EQ(window->step(), TwoSpeedWindow::Step::Conditioning);
    EXPECT_TRUE(window->ConditioningBlocksLabel->text().contains(lang().oilCold))
        << window->ConditioningBlocksLabel->text().toStdString();
    EXPECT_TRUE(window->ConditioningReadyLabel->text().isEmpty());
    keep(window.get(), QStringLiteral("conditioning"));
    tick(kCleanAir, 86.0);
    EXPECT_FALSE(window->ConditioningReadyLabel->text().isEmpty());
    enter();
    ASSERT_EQ(window->step(), TwoSpeedWindow::Step::Phases);

    // High idle, then idle: each passes at its first average, and the result shows both.
    runUntilFinished(kGoodHighIdle, kGoodIdle);
    ASSERT_EQ(window->test()->verdict(), Verdict::Pass);
    EXPECT_EQ(window->VerdictLabel->text(), lang().pass);
    for (const char* phase : {"high-idle", "idle"})
        EXPECT_EQ(child<QLabel>(QString(phase) + "-co-mark")->text(), "✔") << phase;
    enter(); // the protocol, on the picture printer
    EXPECT_EQ(window->PrintLabel->text(), lang().printed);
    ASSERT_EQ(printer.pictures.size(), 1);
    EXPECT_TRUE(printer.lastPageText().contains(vz::twospeed::verdictTitle(Verdict::Pass)));
    EXPECT_TRUE(printer.lastPageText().contains("СА 1234 ВХ"));
    EXPECT_TRUE(printer.lastPageText().contains(vz::sealDigits(window->resultWrite().seal)));
    keep(window.get(), QStringLiteral("result-pass"));
    if (bulgarian)
        save(printer.pictures.constLast(), QStringLiteral("twospeed-protocol-pass.png"));
    enter(); // printed: Enter closes
    EXPECT_FALSE(window->isVisible());

    // The same car again, shown in the idle phase: the high idle verdict stands above it.
    openWindow();
    typeVehicle(QStringLiteral("СА 1234 ВХ"), QStringLiteral("VW"), QStringLiteral("Golf V 1.6"),
                QStringLiteral("14.03.2005"));
    enter();
    throughToPhases();
    for (int i = 0; i < 400 && window->test()->currentPhase()->kind == vz::twospeed::PhaseKind::HighIdle; ++i)
        tick(kGoodHighIdle, 86.0);
    ASSERT_EQ(window->test()->currentPhase()->kind, vz::twospeed::PhaseKind::Idle);
    measureFor(kGoodIdle, 2000);
    EXPECT_EQ(window->PhaseTitleLabel->text(), lang().idleTitle);
    EXPECT_EQ(window->DonePhasesLabel->text(), lang().highIdlePassed);
    EXPECT_TRUE(window->Gauge->inWindow());
    EXPECT_EQ(window->RpmLabel->text(), "800 min⁻¹");
    EXPECT_TRUE(window->AttemptLabel->isVisible());
    EXPECT_EQ(window->AttemptLabel->text(), lang().secondAttempt);
    keep(window.get(), QStringLiteral("idle"));

    // The abort question, the real box over the window; answered yes, the test is invalid.
    vz::setMessageBoxHandler({});
    QString asked;
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        asked = box->text();
        shown = true;
        keep(box, QStringLiteral("abort"));
        box->button(QMessageBox::Yes)->click();
    });
    QTimer failsafe; // a box the timer above missed would wait for a person
    failsafe.setSingleShot(true);
    QObject::connect(&failsafe, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    failsafe.start(5000);
    esc();
    answerBoxes();
    EXPECT_TRUE(shown);
    EXPECT_EQ(asked, lang().abortQuestion);
    ASSERT_EQ(window->step(), TwoSpeedWindow::Step::Result);
    EXPECT_EQ(window->test()->verdict(), Verdict::Aborted);
    EXPECT_EQ(window->VerdictLabel->text(), lang().invalid);
    esc();

    // A failing car: high idle measured with its averages shown, then the result in red.
    openWindow();
    typeVehicle(QStringLiteral("РВ 4567 АК"), QStringLiteral("Opel"), QStringLiteral("Astra G 1.6"),
                QStringLiteral("01.08.2001"));
    enter();
    throughToPhases();
    measureFor(kHighCoHighIdle, 12000);
    EXPECT_EQ(window->PhaseTitleLabel->text(), lang().highIdleTitle);
    EXPECT_TRUE(window->CountdownLabel->text().startsWith(lang().measuring))
        << window->CountdownLabel->text().toStdString();
    EXPECT_TRUE(window->LiveLabel->text().startsWith(lang().averageLine))
        << window->LiveLabel->text().toStdString();
    EXPECT_TRUE(window->Gauge->inWindow());
    EXPECT_EQ(window->RpmLabel->text(), "2700 min⁻¹");
    keep(window.get(), QStringLiteral("high-idle"));
    runUntilFinished(kHighCoHighIdle, kFairIdle);
    EXPECT_EQ(window->test()->verdict(), Verdict::Fail);
    EXPECT_EQ(window->VerdictLabel->text(), lang().fail);
    EXPECT_EQ(child<QLabel>("high-idle-co-mark")->text(), "✘");
    EXPECT_TRUE(child<QLabel>("high-idle-co-value")->styleSheet().contains("#c00000"));
    EXPECT_EQ(child<QLabel>("idle-co-mark")->text(), "✔");
    EXPECT_FALSE(child<QLabel>("idle-co-value")->styleSheet().contains("#c00000"));
    EXPECT_EQ(window->ReasonLabel->text(), window->test()->reason());
    keep(window.get(), QStringLiteral("result-fail"));
    enter();
    ASSERT_EQ(printer.pictures.size(), 2);
    EXPECT_TRUE(printer.lastPageText().contains(vz::twospeed::verdictTitle(Verdict::Fail)));
    if (bulgarian)
        save(printer.pictures.constLast(), QStringLiteral("twospeed-protocol-fail.png"));
    esc();

    // A diluted sample: no average is valid, each phase ends void, the test is invalid.
    openWindow();
    typeVehicle(QStringLiteral("СВ 7777 КА"), QStringLiteral("Skoda"), QStringLiteral("Fabia 1.2"),
                QStringLiteral("20.05.2010"));
    enter();
    throughToPhases();
    measureFor(kDilutedHighIdle, 8000);
    EXPECT_TRUE(window->LiveLabel->text().contains(lang().notValid))
        << window->LiveLabel->text().toStdString();
    keep(window.get(), QStringLiteral("diluted"));
    runUntilFinished(kDilutedHighIdle, kDilutedIdle);
    EXPECT_EQ(window->test()->verdict(), Verdict::Void);
    EXPECT_EQ(window->VerdictLabel->text(), lang().invalid);
    EXPECT_TRUE(window->ReasonLabel->text().contains("пробата е разредена"));
    EXPECT_TRUE(child<QLabel>("high-idle-reason")->text().contains("няма валидна средна стойност"));
    keep(window.get(), QStringLiteral("result-void"));
    esc();
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();

    // Training: the simulator's pseudo-terminal as the serial line.
    Pty pty;
    ASSERT_FALSE(pty.slave.isEmpty());
    openStation(pty.slave);
    openWindow();
    EXPECT_TRUE(window->training());
    EXPECT_TRUE(window->TrainingLabel->text().startsWith(vz::twospeed::kTrainingMark));
    EXPECT_TRUE(window->TrainingLabel->text().contains("псевдотерминал"));
    typeVehicle(QStringLiteral("СА 1234 ВХ"), QStringLiteral("VW"), QStringLiteral("Golf V 1.6"),
                QStringLiteral("14.03.2005"));
    keep(window.get(), QStringLiteral("training"));
}

INSTANTIATE_TEST_SUITE_P(Languages, TwoSpeedScreenshots, ::testing::Values(&kBulgarian, &kEnglish),
                         [](const ::testing::TestParamInfo<const Language*>& info) {
                             return std::string(info.param->code);
                         });

} // namespace
