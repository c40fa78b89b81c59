// Renders the settings dialog and the about box to PNG files for the documentation.
// Usage: vz_settings_screens <output dir>, under any platform (offscreen works).
#include "AboutZAN.h"
#include "CPDrv.h"
#include "SettingsDlg.h"

#include <QApplication>
#include <QDir>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    TCommPortDriver driver;
    driver.SetPort(pnCOM1);
    TSettingsForm settings(nullptr, &driver);
    settings.show();
    TAboutBoxForm about(nullptr);
    about.show();
    QApplication::processEvents();
    const bool ok = settings.grab().save(out.filePath(QStringLiteral("settings-dialog.png"))) &&
                    about.grab().save(out.filePath(QStringLiteral("about-box.png")));
    if (!ok)
        std::fprintf(stderr, "could not write the pictures to %s\n", qPrintable(out.path()));
    return ok ? 0 : 1;
}
