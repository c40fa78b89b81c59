// Program entry: the application, then the main window, the limits window and the report
// window in that order, then the message loop until the main window closes. The limits and
// report windows made here are never shown; creating them still opens the limits table and
// reads the station file, as every later window does.
#include "GASbase.h"
#include "PRNUnit.h"
#include "PrinterService.h"
#include "ReportState.h"
#include "ShutdownSignals.h"
#include "VEZAro.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char* argv[]) {
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
