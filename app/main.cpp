// Program entry: the application, then the main window, the limits window and the report
// window in that order, then the message loop until the main window closes. The limits and
// report windows made here are never shown; creating them still opens the limits table and
// reads the station file, as every later window does. Before any of them, the station takes
// the lock of its directory; once the main window is up, it repairs what a crash left in the
// examination trail.
#include "CommandLine.h"
#include "GASbase.h"
#include "MessageBox.h"
#include "PRNUnit.h"
#include "PrinterService.h"
#include "ReportState.h"
#include "ShutdownSignals.h"
#include "TrailStart.h"
#include "VEZAro.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>

namespace {
const char* const kUsage =
    "usage: vezaro [Qt options]\n"
    "The exhaust gas analyser station. It works in the current directory, which holds the\n"
    "station's files: VEZARO.INI, VEZARO.DMO (demo mode), CarModel.DB, SERVICE.ini, the\n"
    "examination logs PreglediNNNNN.GPG and the COMn links to the serial devices.\n"
    "  -h, --help   show this text\n"
    "  --version    show the version\n"
    "Qt's own options (-platform NAME, -display DISPLAY, -style NAME, -reverse, ...) are\n"
    "accepted with one dash or two (--platform offscreen) and passed on to Qt.\n";
} // namespace

int main(int argc, char* argv[]) {
    // Answered before the application starts, so that neither needs a display.
    if (const auto status = vz::answerStandardOptions(
            std::vector<std::string>(argv + 1, argv + argc), "vezaro", kUsage, [](const std::string& arg) {
                return arg.size() > 2 && arg.compare(0, 2, "--") == 0 && !vz::isQtOption(arg);
            }))
        return *status;
    QApplication app(argc, argv);
    ignoreFileSizeLimitSignal();
    // One station per directory: a second one would give the same examination numbers.
    vz::StationTrail trail;
    QString refusal;
    if (!trail.lock(QStringLiteral("."), &refusal)) {
        vz::showMessage(nullptr, QCoreApplication::applicationName(), refusal, vz::MsgIcon::Error);
        return 1;
    }
    vz::ReportState reportState;
    vz::QtPrinterService printer;

    TMnGASForm MnGASForm(TMnGASForm::Options{}, &reportState, &printer);
    TGasDbForm GasDbForm(nullptr, MnGASForm.St.Vehicle);
    // The unseen report window reads SERVICE.ini now but leaves the printers: the print system
    // (the printer plugin and its libraries, some 4 MiB) loads when something is first printed
    // or F4 opens a report window, which asks the printers again anyway. Loading it then costs
    // that first F4 some 15 ms, once.
    vz::TPRNForm PRNForm(nullptr, reportState, printer, MnGASForm.readingsProvider(),
                         vz::TPRNForm::PrinterQuery::Deferred);

    // Centred on the screen, in the state the settings asked for. Moving a window clears its
    // maximized state, so the state is read first: the centred place is where it restores to.
    const bool maximized = MnGASForm.windowState() & Qt::WindowMaximized;
    if (QScreen* screen = MnGASForm.screen()) {
        QRect frame = MnGASForm.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        MnGASForm.move(frame.topLeft());
    }
    closeOnTerminationSignals(&MnGASForm);
    if (maximized)
        MnGASForm.showMaximized();
    else
        MnGASForm.show();
    // What a crash left in the examination trail is repaired and told once the window is up.
    QTimer::singleShot(0, &MnGASForm, [&] {
        trail.recover(&MnGASForm, printer, reportState, [&] { PRNForm.settlePrinters(); });
    });
    return app.exec();
}
