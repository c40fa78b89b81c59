#include "Pregledi.h"

#include "ChainCheck.h"
#include "ExamChain.h"
#include "ReportPage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace vz {
namespace {

const QStringList kCommands = {QStringLiteral("list"),   QStringLiteral("show"),
                               QStringLiteral("export"), QStringLiteral("reprint"),
                               QStringLiteral("verify"), QStringLiteral("init-key")};
const QStringList kValueOptions = {QStringLiteral("--dir"),  QStringLiteral("--reg"),
                                   QStringLiteral("--text"), QStringLiteral("--from"),
                                   QStringLiteral("--to"),   QStringLiteral("-o")};
const QStringList kFlagOptions = {QStringLiteral("--csv"), QStringLiteral("--json"), QStringLiteral("--help"),
                                  QStringLiteral("-h"), QStringLiteral("--version")};

// No output of this program may land on the log, its chain or its key.
bool isLogFileName(const QString& path) {
    static const QRegularExpression names(QStringLiteral("^Pregledi.*\\.GPG$|^Pregledi\\.(chain|key)$"),
                                          QRegularExpression::CaseInsensitiveOption);
    return names.match(QFileInfo(path).fileName()).hasMatch();
}

void reportProblems(const QList<LogProblem>& problems, QTextStream& err) {
    for (const LogProblem& problem : problems)
        err << "pregledi: " << describeProblem(problem) << '\n';
}

bool writeOutput(const PreglediOptions& options, const QByteArray& bytes, QTextStream& out,
                 QTextStream& err) {
    if (options.output.isEmpty()) {
        out << QString::fromUtf8(bytes);
        out.flush();
        return true;
    }
    QFile file(options.output);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
        !file.flush()) {
        err << "pregledi: " << options.output << ": " << file.errorString() << '\n';
        return false;
    }
    return true;
}

QList<const LoggedExam*> selected(const ExamLogScan& scan, const ExamFilter& filter) {
    QList<const LoggedExam*> exams;
    for (const LoggedExam& exam : scan.exams) {
        if (examMatches(exam, filter))
            exams.append(&exam);
    }
    return exams;
}

int runVerify(const ExamLogScan& scan, QTextStream& out) {
    const ChainCheck chain = checkExamChain(scan);
    out << "log: " << scan.files.size() << " file(s), " << scan.exams.size() << " examination(s) in "
        << QDir::toNativeSeparators(scan.dir) << '\n';
    if (chain.chainFound && chain.chained + static_cast<int>(chain.problems.size()) > 0)
        out << "chain: " << chain.chained << " examination(s) chained ("
            << (chain.keyed ? "HMAC-SHA256 with the station key" : "SHA-256, no station key") << ")\n";
    if (chain.unchained > 0) {
        out << "unchained: " << (chain.chainFound ? "" : "no chain file; ") << chain.unchained
            << " examination(s) (" << chain.unchainedFirst << "-" << chain.unchainedLast
            << ") were logged before the chain began and cannot be checked for changes\n";
    }
    const QList<LogProblem> problems = scan.problems + chain.problems;
    for (const LogProblem& problem : problems)
        out << "PROBLEM " << describeProblem(problem) << '\n';
    if (!problems.isEmpty()) {
        out << "verify: " << problems.size() << " problem(s) found\n";
        return 1;
    }
    out << (chain.unchained > 0 ? "verify: no problem found (some examinations unchained)\n"
                                : "verify: no problem found\n");
    return 0;
}

int runReprint(const PreglediOptions& options, const ExamLogScan& scan, QTextStream& err) {
    const LoggedExam* exam = scan.find(options.number);
    if (!exam) {
        err << "pregledi: examination " << options.number << " is not in the log\n";
        return 1;
    }
    if (!exam->fields) {
        err << "pregledi: " << exam->fileName << " record " << exam->recordInFile
            << ": does not follow the record layout; it cannot be reprinted\n";
        return 1;
    }
    // Only what the log holds: the operator, the lambda factor and the station line were
    // never logged and stay empty rather than being made up.
    ReportFields fields = *exam->fields;
    fields.operatorName.clear();
    fields.lambda.clear();
    QString error;
    if (!writeReportCopyPdf(options.output, fields, exam->number, QString(), &error)) {
        err << "pregledi: " << error << '\n';
        return 1;
    }
    return 0;
}

} // namespace

QString preglediUsage() {
    return QStringLiteral(
        "Usage: pregledi [--dir DIR] COMMAND [OPTIONS]\n"
        "Reads the examination log (Pregledi*.GPG) of a station directory; never changes it.\n"
        "\n"
        "Commands:\n"
        "  list [--reg TEXT] [--text TEXT] [--from DATE] [--to DATE]\n"
        "                      one line per examination\n"
        "  show N              every field of examination N\n"
        "  export --csv|--json [-o FILE] [filters as for list]\n"
        "                      every field, UTF-8\n"
        "  reprint N -o FILE.pdf\n"
        "                      the report page of examination N again, marked as a copy\n"
        "  verify              check every file, record and the chain (Pregledi.chain)\n"
        "  init-key            make the station key Pregledi.key (mode 0600) for a keyed chain\n"
        "\n"
        "Options:\n"
        "  --dir DIR           the station directory (default: the current directory)\n"
        "  --reg TEXT          registration numbers holding TEXT\n"
        "  --text TEXT         examinations with TEXT in any field\n"
        "  --from DATE, --to DATE\n"
        "                      dates as the log holds them (07.12.2026) or yyyy-mm-dd\n"
        "  -o FILE             write to FILE\n"
        "  -h, --help          this text\n"
        "  --version           the version\n"
        "\n"
        "Exit status: 0 done; 1 a problem in the log, or a file not written; 2 bad arguments.\n");
}

PreglediArgs parsePreglediArgs(const QStringList& args) {
    PreglediArgs parsed;
    PreglediOptions options;
    QStringList positional;
    QString from;
    QString to;
    auto fail = [&](const QString& error) {
        if (parsed.error.isEmpty())
            parsed.error = error;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (kValueOptions.contains(arg)) {
            if (i + 1 >= args.size()) {
                fail(QStringLiteral("%1 needs a value").arg(arg));
                break;
            }
            const QString value = args[++i];
            if (arg == u"--dir")
                options.dir = value;
            else if (arg == u"--reg")
                options.filter.reg = value;
            else if (arg == u"--text")
                options.filter.text = value;
            else if (arg == u"--from")
                from = value;
            else if (arg == u"--to")
                to = value;
            else
                options.output = value;
        } else if (arg == u"--csv") {
            options.csv = true;
        } else if (arg == u"--json") {
            options.json = true;
        } else if (kFlagOptions.contains(arg)) {
            // answered before any command runs
        } else if (arg.startsWith(u'-') && arg.size() > 1) {
            parsed.unknownOptions.append(arg);
        } else {
            positional.append(arg);
        }
    }
    if (!parsed.unknownOptions.isEmpty())
        fail(QStringLiteral("unknown option '%1'").arg(parsed.unknownOptions.front()));
    if (positional.isEmpty()) {
        fail(QStringLiteral("no command given"));
    } else {
        options.command = positional.takeFirst();
        if (!kCommands.contains(options.command))
            fail(QStringLiteral("unknown command '%1'").arg(options.command));
    }
    const bool numbered = options.command == u"show" || options.command == u"reprint";
    if (numbered) {
        bool ok = false;
        options.number = positional.isEmpty() ? 0 : positional.takeFirst().toInt(&ok);
        if (!ok || options.number < 1)
            fail(QStringLiteral("%1 needs an examination number").arg(options.command));
    }
    if (!positional.isEmpty())
        fail(QStringLiteral("unexpected argument '%1'").arg(positional.front()));
    if (!from.isEmpty() && !(options.filter.from = parseLogDate(from)))
        fail(QStringLiteral("--from: '%1' is not a date").arg(from));
    if (!to.isEmpty() && !(options.filter.to = parseLogDate(to)))
        fail(QStringLiteral("--to: '%1' is not a date").arg(to));
    if (options.command == u"export" && options.csv == options.json)
        fail(QStringLiteral("export needs one of --csv and --json"));
    if (options.command == u"reprint" && options.output.isEmpty())
        fail(QStringLiteral("reprint needs -o FILE.pdf"));
    if (!options.output.isEmpty() && isLogFileName(options.output))
        fail(QStringLiteral("-o %1: the log, its chain and its key are never written").arg(options.output));
    if (parsed.error.isEmpty())
        parsed.options = options;
    return parsed;
}

int runPregledi(const PreglediOptions& options, QTextStream& out, QTextStream& err) {
    if (options.command == u"init-key") {
        QString error;
        if (!createStationKey(options.dir, &error)) {
            err << "pregledi: " << error << '\n';
            return 1;
        }
        out << "made " << QDir(options.dir).filePath(QString::fromLatin1(kStationKeyFileName))
            << " (readable by its owner only); from the next examination on the chain is keyed\n";
        return 0;
    }

    const ExamLogScan scan = scanExamLog(options.dir);
    if (options.command == u"verify")
        return runVerify(scan, out);

    int status = 0;
    if (!scan.problems.isEmpty()) {
        reportProblems(scan.problems, err);
        status = 1;
    }
    if (options.command == u"reprint")
        return std::max(status, runReprint(options, scan, err));
    if (options.command == u"show") {
        const LoggedExam* exam = scan.find(options.number);
        if (!exam) {
            err << "pregledi: examination " << options.number << " is not in the log\n";
            return 1;
        }
        out << examShowText(*exam);
        return exam->fields ? status : 1;
    }
    const QList<const LoggedExam*> exams = selected(scan, options.filter);
    if (options.command == u"list") {
        out << examListHeader() << '\n';
        for (const LoggedExam* exam : exams)
            out << examListLine(*exam) << '\n';
        return status;
    }
    // export
    const QByteArray bytes = options.csv ? examsCsv(exams).toUtf8() : examsJson(exams);
    if (!writeOutput(options, bytes, out, err))
        return 1;
    return status;
}

} // namespace vz
