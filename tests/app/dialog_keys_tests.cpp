// Every window the main window opens can be left from the keyboard with Esc: on a display
// without a window manager there is no close box, and a window that ignored Esc would leave
// the station stuck. Each window is opened by its real command, shown modally, and the key
// is sent where the keyboard sends it: to the focus widget of the open modal window.
// Offscreen.
#include "MessageBox.h"
#include "RecordingPrinter.h"
#include "ReportState.h"
#include "TLabel.h"
#include "VEZAro.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QKeyEvent>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include "../ScratchFiles.h"
#include "../TestApplication.h"

namespace {

QApplication& app() {
    return vz::test::testApplication();
}

// What happened to the modal window while its command ran.
struct ModalRun {
    QString className;   // the window that was open
    QString focusClass;  // the widget the key was sent to
    int result = -1;     // the dialog's result once it closed
    bool forced = false; // Esc left it open, the test closed it
};

// Runs `command`; as soon as a modal window is open, presses and releases Esc on its focus
// widget, with the control character as text, as the window system delivers the key. A
// window still open three seconds later is closed, so a failure never hangs the run.
ModalRun runAndPressEsc(const std::function<void()>& command) {
    ModalRun run;
    QPointer<QDialog> dialog;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || dialog)
            return;
        dialog = qobject_cast<QDialog*>(modal);
        run.className = QString::fromLatin1(modal->metaObject()->className());
        if (dialog)
            QObject::connect(dialog, &QDialog::finished, [&run](int result) { run.result = result; });
        QWidget* target = modal->focusWidget() ? modal->focusWidget() : modal;
        run.focusClass = QString::fromLatin1(target->metaObject()->className());
        const QString esc(QChar(0x1b));
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, esc);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier, esc);
        QApplication::sendEvent(target, &release);
    });
    QTimer failsafe;
    failsafe.setSingleShot(true);
    QObject::connect(&failsafe, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            run.forced = true;
            modal->close();
        }
    });
    poll.start();
    failsafe.start(3000);
    command();
    return run;
}

class DialogKeys : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        ASSERT_TRUE(dir.isValid());
        vz::setMessageBoxHandler([](QWidget*, const QString&, const QString&, vz::MsgIcon, vz::MsgButtons) {
            return vz::MsgAnswer::Ok;
        });
    }
    void TearDown() override { vz::setMessageBoxHandler({}); }

    vz::test::ScratchCurrentDir dir;
};

TEST_F(DialogKeys, escClosesEveryWindowTheMainWindowOpens) {
    vz::ReportState reportState;
    vz::RecordingPrinterService printer;
    TMnGASForm form(TMnGASForm::Options{}, &reportState, &printer);
    form.show();
    form.St.Vehicle = {"LADA 2107", 350, 5, 125, 200, 1000};
    form.ShowVehicleMarkers();

    struct Case {
        const char* command;
        const char* window;
        int result; // the result Esc gives: the limits window cancels, the about box closes
        std::function<void()> open;
    };
    const Case cases[] = {
        {"F1 BASE", "TGasDbForm", QDialog::Rejected, [&] { form.FormKeyDown(Qt::Key_F1); }},
        {"F4 PRINT", "vz::TPRNForm", QDialog::Rejected, [&] { form.Button4Click(); }},
        {"SETTINGS", "TSettingsForm", QDialog::Rejected, [&] { form.SettingsButtonClick(); }},
        {"About", "TAboutBoxForm", QDialog::Accepted, [&] { form.AboutButtonClick(); }},
    };
    for (const Case& c : cases) {
        const ModalRun run = runAndPressEsc(c.open);
        EXPECT_EQ(run.className, c.window) << c.command;
        EXPECT_FALSE(run.forced) << c.command << ": Esc on " << run.focusClass.toStdString()
                                 << " left the window open";
        EXPECT_EQ(run.result, c.result) << c.command;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << c.command;
        EXPECT_TRUE(form.isVisible()) << c.command;
    }

    // Esc in the limits window cancels the choice; the report window gives the cycle back.
    EXPECT_EQ(form.St.Vehicle.LimitCO2mx, 0);
    EXPECT_EQ(form.St.Vehicle.LimitCOmx, 350);
    EXPECT_TRUE(form.Label(39)->isHidden());
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_TRUE(printer.pages.isEmpty());
}

} // namespace
