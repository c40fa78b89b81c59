#pragma once
// The log tool's commands, callable without a process: the arguments, then one run.
#include "LogExport.h"

#include <QStringList>
#include <QTextStream>

namespace vz {

struct PreglediOptions {
    QString command; // list, show, export, reprint, verify, seal, backup, init-key, tests, show-test,
                     // reprint-test
    QString dir = QStringLiteral(".");
    ExamFilter filter;
    bool csv = false;
    bool json = false;
    QString output;             // -o FILE; empty: standard output
    int number = 0;             // show N, reprint N, show-test N, reprint-test N
    bool tests = false;         // export --tests: the two-speed tests instead of the examinations
    bool training = false;      // the training series of the tests (Obuchenie-*.jsonl)
    QString expectHead;         // verify --expect-head NUMBER:HEX (or E123:HEX)
    QString expectProtocolHead; // verify --expect-head P45:HEX
    QString keyFile;            // verify --key FILE
    QString backupDir;          // backup DIR
    bool withKey = false;       // backup --with-key
};

struct PreglediArgs {
    std::optional<PreglediOptions> options;
    QString error;              // a bad argument, for one line on standard error
    QStringList unknownOptions; // arguments that look like options and are none of ours
};

PreglediArgs parsePreglediArgs(const QStringList& args);
QString preglediUsage();

// Runs one command. Exit status: 0 done, 1 a problem in the log or an output that could not
// be written, 2 bad arguments; verify (and backup, of its copy) as Verify.h tells.
int runPregledi(const PreglediOptions& options, QTextStream& out, QTextStream& err);

} // namespace vz
