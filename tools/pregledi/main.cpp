// pregledi: reads a station's examination log; see --help and pregledi(1).
#include "CommandLine.h"
#include "LogExport.h"
#include "Pregledi.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <iostream>
#include <memory>

int main(int argc, char* argv[]) {
    std::vector<std::string> args(argv + 1, argv + argc);
    QStringList arguments;
    for (const std::string& arg : args)
        arguments.append(QString::fromLocal8Bit(arg));
    const vz::PreglediArgs parsed = vz::parsePreglediArgs(arguments);
    if (const std::optional<int> answered = vz::answerStandardOptions(
            args, "pregledi", vz::preglediUsage().toStdString(), [&](const std::string& arg) {
                return parsed.unknownOptions.contains(QString::fromLocal8Bit(arg));
            }))
        return *answered;
    if (!parsed.options) {
        // The error quotes the argument it is about: escaped, as every message of pregledi.
        std::cerr << "pregledi: " << vz::terminalText(parsed.error).toLocal8Bit().constData()
                  << " (see --help)\n";
        return 2;
    }

    // Only the reprint draws (fonts and a PDF need a GUI application); it opens no window,
    // so it needs no display either.
    std::unique_ptr<QCoreApplication> app;
    if (parsed.options->command == u"reprint" || parsed.options->command == u"reprint-test") {
        // The page routine tells the station's diagnostics of each file it writes; here it
        // writes a temporary file that is then renamed, and the command says what went wrong.
        QLoggingCategory::setFilterRules(QStringLiteral("vezaro.files.info=false"));
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status = vz::runPregledi(*parsed.options, out, err);
    out.flush();
    err.flush();
    return status;
}
