// Program entry: the application, then the main window, the limits window and the report
// window in that order, then the message loop until the main window closes. The limits and
// report windows made here are never shown; creating them still opens the limits table and
// reads the station file, as every later window does.
#include "CommandLine.h"
#include "GASbase.h"
#include "PRNUnit.h"
#include "PrinterService.h"
#include "ReportState.h"
#include "ShutdownSignals.h"
#include "VEZAro.h"

#include <QApplication>
#include <QScreen>

namespace {
const char* const kUsage =
    "usage: vezaro [Qt options]\n"
    "The exhaust gas analyser station. It works in the current directory, which holds the\n"
    "station's files: VEZARO.INI, VEZARO.DMO (demo mode), CarModel.DB, SERVICE.ini, the\n"
    "examination logs PreglediNNNNN.GPG and the COMn links to the serial devices.\n"
    "  -h, --help   show this text\n"
    "  --version    show the version\n"
    "Qt's own options (-platform NAME, -display DISPLAY, ...) are passed on to Qt.\n";
} // namespace

int main(int argc, char* argv[]) {
    // Answered before the application starts, so that neither needs a display.
    if (const auto status = vz::answerStandardOptions(
            std::vector<std::string>(argv + 1, argv + argc), "vezaro", kUsage,
            [](const std::string& arg) { return arg.size() > 2 && arg.compare(0, 2, "--") == 0; }))
        return *status;
    QApplication app(argc, argv);
    ignoreFileSizeLimitSignal();
    vz::ReportState reportState;
    vz::QtPrinterService printer;

    TMnGASForm MnGASForm(TMnGASForm::Options{}, &reportState, &printer);
    TGasDbForm GasDbForm(nullptr, MnGASForm.St.Vehicle);
    vz::TPRNForm PRNForm(nullptr, reportState, printer, MnGASForm.readingsProvider());

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
    return app.exec();
}
