#include "Pregledi.h"

#include "Backup.h"
#include "ExamChain.h"
#include "OutputFile.h"
#include "ProtocolRecord.h"
#include "ReportPage.h"
#include "TestCommands.h"
#include "Verify.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>

namespace vz {
namespace {

const QStringList kCommands = {
    QStringLiteral("list"),      QStringLiteral("show"),        QStringLiteral("export"),
    QStringLiteral("reprint"),   QStringLiteral("verify"),      QStringLiteral("seal"),
    QStringLiteral("backup"),    QStringLiteral("init-key"),    QStringLiteral("tests"),
    QStringLiteral("show-test"), QStringLiteral("reprint-test")};
const QStringList kValueOptions = {QStringLiteral("--dir"),         QStringLiteral("--reg"),
                                   QStringLiteral("--text"),        QStringLiteral("--from"),
                                   QStringLiteral("--to"),          QStringLiteral("-o"),
                                   QStringLiteral("--expect-head"), QStringLiteral("--key")};
const QStringList kFlagOptions = {QStringLiteral("--csv"),     QStringLiteral("--json"),
                                  QStringLiteral("--help"),    QStringLiteral("-h"),
                                  QStringLiteral("--version"), QStringLiteral("--with-key"),
                                  QStringLiteral("--tests"),   QStringLiteral("--training")};

// Messages name files and paths as they are, control characters escaped.
void reportError(QTextStream& err, const QString& text) {
    err << "pregledi: " << terminalText(text) << '\n';
}

// Problems of the log as they are found, each on its line; the command then exits 1.
struct ProblemReport {
    QTextStream& err;
    int status = 0;
    void operator()(const LogProblem& problem) {
        reportError(err, describeProblem(problem));
        status = 1;
    }
};

// The -o file of export and reprint: checked against the station directory before anything is
// written and again before it is put in place.
struct CheckedOutput {
    QString path;
    AtomicOutputFile file;
};
bool openOutput(const PreglediOptions& options, CheckedOutput& output, QTextStream& err) {
    const OutputTarget target = checkOutputTarget(options.output, options.dir);
    if (!target.refusal.isEmpty()) {
        reportError(err, QStringLiteral("-o %1: %2; nothing written").arg(options.output, target.refusal));
        return false;
    }
    output.path = target.path;
    if (!output.file.open(target.path)) {
        reportError(err, QStringLiteral("-o %1: %2").arg(options.output, output.file.error()));
        return false;
    }
    return true;
}
bool commitOutput(const PreglediOptions& options, CheckedOutput& output, QTextStream& err) {
    const OutputTarget target = checkOutputTarget(options.output, options.dir);
    if (!target.refusal.isEmpty() || target.path != output.path) {
        output.file.discard();
        reportError(err,
                    QStringLiteral("-o %1: %2; nothing written")
                        .arg(options.output, target.refusal.isEmpty() ? QStringLiteral("changed meanwhile")
                                                                      : target.refusal));
        return false;
    }
    if (!output.file.commit()) {
        reportError(err, QStringLiteral("-o %1: %2").arg(options.output, output.file.error()));
        return false;
    }
    return true;
}

int runList(const PreglediOptions& options, QTextStream& out, QTextStream& err) {
    ProblemReport problems{err};
    out << examListHeader() << '\n';
    readExamLog(
        options.dir,
        [&](const LoggedExam& exam) {
            if (examMatches(exam, options.filter))
                out << examListLine(exam) << '\n';
        },
        std::ref(problems));
    return problems.status;
}

// The export to standard output or, through a temporary file, to -o; one examination at a time.
int runExport(const PreglediOptions& options, QTextStream& out, QTextStream& err) {
    constexpr qsizetype kWriteBlock = 128 * 1024; // characters
    CheckedOutput output;
    const bool toFile = !options.output.isEmpty();
    if (toFile && !openOutput(options, output, err))
        return 1;
    QString pending;
    bool written = true;
    auto write = [&](const QString& text) {
        if (!toFile) {
            out << text;
            return;
        }
        pending += text;
        if (pending.size() >= kWriteBlock) {
            written = written && output.file.write(pending.toUtf8());
            pending.clear();
        }
    };
    ProblemReport problems{err};
    bool first = true;
    if (options.tests) {
        // The two-speed tests of one series, in the order of their numbers.
        write(options.csv ? testCsvHeader() : jsonBegin());
        readTests(
            options.dir, options.training ? ArchiveSeries::Training : ArchiveSeries::Official,
            options.filter.from, options.filter.to,
            [&](const RecordedTest& test) {
                if (!testMatches(test, options.filter))
                    return;
                write(options.csv ? testCsvRow(test) : testJsonElement(test, first));
                first = false;
            },
            [&](const ArchiveProblem& problem) {
                reportError(err, describeArchiveProblem(problem));
                problems.status = 1;
            });
    } else {
        write(options.csv ? csvHeader() : jsonBegin());
        readExamLog(
            options.dir,
            [&](const LoggedExam& exam) {
                if (!examMatches(exam, options.filter))
                    return;
                write(options.csv ? csvRow(exam) : jsonObject(exam, first));
                first = false;
            },
            std::ref(problems));
    }
    if (!options.csv)
        write(jsonEnd());
    if (!toFile) {
        out.flush();
        return problems.status;
    }
    written = written && output.file.write(pending.toUtf8());
    if (!written) {
        reportError(err, QStringLiteral("-o %1: %2").arg(options.output, output.file.error()));
        return 1;
    }
    return commitOutput(options, output, err) ? problems.status : 1;
}

// Examination `number` from its place; its problems (and those of its file) told on the way.
std::optional<LoggedExam> lookUp(const PreglediOptions& options, ProblemReport& problems) {
    ExamLookup lookup = findExam(options.dir, options.number);
    for (const LogProblem& problem : lookup.problems)
        problems(problem);
    if (!lookup.exam) {
        reportError(problems.err, QStringLiteral("examination %1 %2")
                                      .arg(options.number)
                                      .arg(lookup.problems.isEmpty() ? QStringLiteral("is not in the log")
                                                                     : QStringLiteral("cannot be read")));
        problems.status = 1;
    }
    return std::move(lookup.exam);
}

int runShow(const PreglediOptions& options, QTextStream& out, QTextStream& err) {
    ProblemReport problems{err};
    const std::optional<LoggedExam> exam = lookUp(options, problems);
    if (!exam)
        return 1;
    out << examShowText(*exam);
    return exam->missing ? 1 : problems.status;
}

int runReprint(const PreglediOptions& options, QTextStream& err) {
    ProblemReport problems{err};
    CheckedOutput output;
    const OutputTarget target = checkOutputTarget(options.output, options.dir);
    if (!target.refusal.isEmpty()) {
        reportError(err, QStringLiteral("-o %1: %2; nothing written").arg(options.output, target.refusal));
        return 1;
    }
    const std::optional<LoggedExam> exam = lookUp(options, problems);
    if (!exam)
        return 1;
    const QString where = QStringLiteral("%1 record %2").arg(exam->fileName).arg(exam->recordInFile);
    if (exam->missing) {
        reportError(err, QStringLiteral("%1: examination %2 is missing (its record was lost); there is "
                                        "nothing to reprint")
                             .arg(where)
                             .arg(exam->number));
        return 1;
    }
    if (!exam->fields) {
        reportError(err,
                    QStringLiteral("%1: not as the station writes it; it cannot be reprinted").arg(where));
        return 1;
    }
    // Only what the log holds: the operator, the lambda factor and the station line were
    // never logged and stay empty rather than being made up.
    ReportFields fields = *exam->fields;
    fields.operatorName.clear();
    fields.lambda.clear();
    if (!openOutput(options, output, err))
        return 1;
    QString error;
    if (!writeReportCopyPdf(output.file.temporaryPath(), fields, exam->number, QString(), &error)) {
        reportError(err, QStringLiteral("-o %1: the PDF could not be written").arg(options.output));
        return 1;
    }
    return commitOutput(options, output, err) ? problems.status : 1;
}

// The foot of a reprinted protocol: the result line's seal only when it was checked against its
// chain here, the key included; otherwise no seal, the reason on the page, and a problem for
// the terminal (the command then exits 1).
struct ReprintSeal {
    QByteArray seal;
    QString trouble; // the page's "без печат: ..." reason
    QString problem; // the message, when there is no seal
};
ReprintSeal reprintSeal(const QString& dir, const RecordedTest& test, const QByteArray& resultBytes) {
    ReprintSeal foot;
    const std::optional<ArchiveFile> file = archiveFileNamed(test.fileName);
    const LineSeal lineSeal = file ? sealOfLine(dir, *file, test.resultLine, resultBytes) : LineSeal();
    const QString where = QStringLiteral("%1 line %2: test %3's result line")
                              .arg(test.fileName)
                              .arg(test.resultLine)
                              .arg(testNumberText(test));
    switch (lineSeal.state) {
    case LineSeal::State::Matches:
        foot.seal = lineSeal.hash;
        break;
    case LineSeal::State::Unchecked: {
        const StationKey key = readStationKey(dir);
        const bool missing = !key.present;
        foot.trouble =
            missing ? QStringLiteral("ключът на станцията липсва, печатът не може да бъде проверен")
                    : QStringLiteral("ключът на станцията е неизползваем, печатът не може да бъде проверен");
        foot.problem =
            QStringLiteral("%1 is sealed with the station key, which is %2; the seal cannot be checked, "
                           "so the copy has none")
                .arg(where, missing ? QStringLiteral("missing (%1)").arg(kStationKeyFileName)
                                    : QStringLiteral("unusable: %1").arg(key.error));
        break;
    }
    case LineSeal::State::Differs:
        foot.trouble = QStringLiteral("записът не съвпада с печата си в архива");
        foot.problem =
            QStringLiteral("%1 does not match its seal; the copy says so at its foot (see pregledi verify)")
                .arg(where);
        break;
    case LineSeal::State::NoEntry:
    case LineSeal::State::NoChain:
        foot.trouble = QStringLiteral("записът не е запечатан в архива");
        foot.problem = QStringLiteral("%1 is not sealed (%2); the copy has no seal")
                           .arg(where, lineSeal.state == LineSeal::State::NoEntry
                                           ? QStringLiteral("its chain has no entry for it")
                                           : lineSeal.trouble);
        break;
    }
    return foot;
}

// The protocol of a recorded test again, from its lines, marked as a copy.
int runReprintTest(const PreglediOptions& options, QTextStream& err) {
    const OutputTarget target = checkOutputTarget(options.output, options.dir);
    if (!target.refusal.isEmpty()) {
        reportError(err, QStringLiteral("-o %1: %2; nothing written").arg(options.output, target.refusal));
        return 1;
    }
    const ArchiveSeries series = options.training ? ArchiveSeries::Training : ArchiveSeries::Official;
    const TestLookup lookup = findTest(options.dir, series, options.number);
    int status = 0;
    for (const ArchiveProblem& problem : lookup.problems) {
        reportError(err, describeArchiveProblem(problem));
        status = 1;
    }
    if (!lookup.test) {
        reportError(err, QStringLiteral("%1 %2 is not in the archive%3")
                             .arg(options.training ? QStringLiteral("training test") : QStringLiteral("test"),
                                  testNumberText(series, options.number),
                                  lookup.whereBroken.isEmpty() ? QString()
                                                               : QStringLiteral(": ") + lookup.whereBroken));
        return 1;
    }
    const RecordedTest& test = *lookup.test;
    if (!test.finished()) {
        reportError(err,
                    QStringLiteral("%1 line %2: test %3 has no result line (in progress or interrupted); "
                                   "there is no protocol to reprint")
                        .arg(test.fileName)
                        .arg(test.startedLine)
                        .arg(testNumberText(test)));
        return 1;
    }
    const ReprintSeal foot = reprintSeal(options.dir, test, lookup.resultBytes);
    if (!foot.problem.isEmpty()) {
        reportError(err, foot.problem);
        status = 1;
    }
    ProtocolData data = protocolDataFromRecord(test.started, test.result, QString(), foot.seal, foot.trouble);
    data.copy = true;
    // The page as the station draws it, on an A4 PDF made here and written through -o's own
    // temporary file.
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageLayout(
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        writer.setTitle(QStringLiteral("Протокол № %1 (копие)").arg(testNumberText(test)));
        QPainter painter;
        if (!painter.begin(&writer)) {
            reportError(err, QStringLiteral("-o %1: the PDF could not be started").arg(options.output));
            return 1;
        }
        drawProtocolPage(painter, data);
        painter.end();
    }
    CheckedOutput output;
    if (!openOutput(options, output, err))
        return 1;
    if (!output.file.write(pdf)) {
        reportError(err, QStringLiteral("-o %1: %2").arg(options.output, output.file.error()));
        return 1;
    }
    return commitOutput(options, output, err) ? status : 1;
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
        "  verify [--expect-head NUMBER:HEX] [--key FILE]\n"
        "                      check every record against the chain (Pregledi.chain) and\n"
        "                      list every finding; --expect-head: against a line of seal,\n"
        "                      --key: with a key kept off the station\n"
        "  seal                the chain's head, NUMBER HEX, to keep away from the station\n"
        "  backup DIR [--with-key]\n"
        "                      copy the log, the chain and set-aside files (the key only\n"
        "                      with --with-key) into DIR, then verify the copy\n"
        "  init-key            make the station key Pregledi.key (mode 0600) for a keyed chain\n"
        "\n"
        "Two-speed tests (the archive Protokoli-YYYY-MM.jsonl; --training: Obuchenie-*):\n"
        "  tests [--json] [--training] [filters as for list]\n"
        "                      one line per test (or a JSON array); a test without its\n"
        "                      result is \"in progress or interrupted\" (JSON: \"unfinished\")\n"
        "  show-test N [--training]\n"
        "                      every field of test N, its samples and its seal\n"
        "  reprint-test N -o FILE.pdf [--training]\n"
        "                      the protocol of test N again, marked as a copy\n"
        "  export --tests --csv|--json [--training] [-o FILE] [filters]\n"
        "                      the tests instead of the examinations\n"
        "verify checks the archive's chains and its months as one series too; seal adds a\n"
        "line P2026-12/45 HEX, the protocol archive's head with its month, and --expect-head\n"
        "takes it as P2026-12/45:HEX (or P45:HEX; E123:HEX, or 123:HEX, is an examination's).\n"
        "\n"
        "Options:\n"
        "  --dir DIR           the station directory (default: the current directory)\n"
        "  --reg TEXT          registration numbers holding TEXT\n"
        "  --text TEXT         examinations with TEXT in any field\n"
        "  --from DATE, --to DATE\n"
        "                      dates as the log holds them (07.12.2026) or yyyy-mm-dd\n"
        "  -o FILE             write to FILE (whole, through a temporary file, mode 0640);\n"
        "                      never a file of the station directory or a station file's name\n"
        "  -h, --help          this text\n"
        "  --version           the version\n"
        "\n"
        "Exit status: 0 done; 1 a problem in the log, or a file not written; 2 bad arguments\n"
        "or a station directory that cannot be read. verify, and backup of its copy: 0 every\n"
        "record sealed, no break; 1 tampering (or, for backup, a file not copied); 3 no\n"
        "tampering, but crash remnants, recorded breaks or unsealed examinations.\n");
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
            else if (arg == u"--expect-head") {
                QString& head = value.trimmed().startsWith(u'P', Qt::CaseInsensitive)
                                    ? options.expectProtocolHead
                                    : options.expectHead;
                if (!head.isEmpty())
                    fail(QStringLiteral("--expect-head: one examination head and one protocol head at most"));
                head = value;
            } else if (arg == u"--key")
                options.keyFile = value;
            else
                options.output = value;
        } else if (arg == u"--csv") {
            options.csv = true;
        } else if (arg == u"--json") {
            options.json = true;
        } else if (arg == u"--with-key") {
            options.withKey = true;
        } else if (arg == u"--tests") {
            options.tests = true;
        } else if (arg == u"--training") {
            options.training = true;
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
    const bool testNumbered = options.command == u"show-test" || options.command == u"reprint-test";
    if (numbered || testNumbered) {
        bool ok = false;
        options.number = positional.isEmpty() ? 0 : positional.takeFirst().toInt(&ok);
        if (!ok || options.number < 1)
            fail(QStringLiteral("%1 needs %2")
                     .arg(options.command, numbered ? QStringLiteral("an examination number")
                                                    : QStringLiteral("a test number")));
    }
    if (options.command == u"backup") {
        if (positional.isEmpty())
            fail(QStringLiteral("backup needs a directory to copy into"));
        else
            options.backupDir = positional.takeFirst();
    }
    if (!positional.isEmpty())
        fail(QStringLiteral("unexpected argument '%1'").arg(positional.front()));
    if ((!options.expectHead.isEmpty() || !options.expectProtocolHead.isEmpty() ||
         !options.keyFile.isEmpty()) &&
        options.command != u"verify")
        fail(QStringLiteral("--expect-head and --key go with verify"));
    if (!options.expectHead.isEmpty() && !parseExpectedHead(options.expectHead))
        fail(QStringLiteral("--expect-head: '%1' is not NUMBER:HEX with at least %2 hex digits")
                 .arg(options.expectHead)
                 .arg(kMinHeadHexDigits));
    if (!options.expectProtocolHead.isEmpty() && !parseProtocolHead(options.expectProtocolHead))
        fail(QStringLiteral("--expect-head: '%1' is not P45:HEX with at least %2 hex digits")
                 .arg(options.expectProtocolHead)
                 .arg(kMinHeadHexDigits));
    const bool testCommand = options.command == u"tests" || testNumbered;
    if (options.tests && options.command != u"export")
        fail(QStringLiteral("--tests goes with export"));
    if (options.training && !testCommand && !(options.command == u"export" && options.tests))
        fail(QStringLiteral("--training goes with tests, show-test, reprint-test and export --tests"));
    if (options.csv && options.command == u"tests")
        fail(QStringLiteral("tests lists or gives JSON; for CSV use export --tests --csv"));
    if (options.withKey && options.command != u"backup")
        fail(QStringLiteral("--with-key goes with backup"));
    if (!from.isEmpty() && !(options.filter.from = parseLogDate(from)))
        fail(QStringLiteral("--from: '%1' is not a date").arg(from));
    if (!to.isEmpty() && !(options.filter.to = parseLogDate(to)))
        fail(QStringLiteral("--to: '%1' is not a date").arg(to));
    if (options.command == u"export" && options.csv == options.json)
        fail(QStringLiteral("export needs one of --csv and --json"));
    if ((options.command == u"reprint" || options.command == u"reprint-test") && options.output.isEmpty())
        fail(QStringLiteral("%1 needs -o FILE.pdf").arg(options.command));
    if (parsed.error.isEmpty())
        parsed.options = options;
    return parsed;
}

int runPregledi(const PreglediOptions& options, QTextStream& out, QTextStream& err) {
    if (options.command == u"init-key") {
        QString error;
        if (!createStationKey(options.dir, &error)) {
            reportError(err, error);
            return 1;
        }
        out << "made " << terminalText(QDir(options.dir).filePath(QString::fromLatin1(kStationKeyFileName)))
            << " (readable by its owner only); from the next examination on the chain is keyed\n";
        return 0;
    }

    if (options.command == u"verify")
        return runVerifyCommand(options.dir, options.expectHead, options.keyFile, out, err,
                                options.expectProtocolHead);
    const ArchiveSeries series = options.training ? ArchiveSeries::Training : ArchiveSeries::Official;
    if (options.command == u"tests")
        return runTestsCommand(options.dir, series, options.filter, options.json, out, err);
    if (options.command == u"show-test")
        return runShowTestCommand(options.dir, series, options.number, out, err);
    if (options.command == u"reprint-test")
        return runReprintTest(options, err);
    if (options.command == u"seal")
        return runSealCommand(options.dir, out, err);
    if (options.command == u"backup")
        return runBackupCommand(options.dir, options.backupDir, options.withKey, out, err);
    if (options.command == u"reprint")
        return runReprint(options, err);
    if (options.command == u"show")
        return runShow(options, out, err);
    if (options.command == u"list")
        return runList(options, out, err);
    return runExport(options, out, err);
}

} // namespace vz
