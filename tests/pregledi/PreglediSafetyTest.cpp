// The real pregledi program among files that are not what their names say, with outputs aimed
// at the station's own files, and with text that a terminal or a spreadsheet would act on.
#include "LogFiles.h"
#include "PreglediRun.h"
#include "PreglediTestSupport.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace vz;
using vz::test::examFields;
using vz::test::parseCsv;
using vz::test::pregledi;
using vz::test::ProgramRun;
using vz::test::StationDirTest;

namespace {

QByteArray records(int first, int count) {
    QByteArray bytes;
    for (int n = first; n < first + count; ++n)
        bytes += examRecordBytes(examFields(n));
    return bytes;
}

QByteArray record(const ReportFields& fields) {
    return examRecordBytes(cutReportFields(fields));
}

// Every name of a directory with what it is and what it holds, to tell that nothing changed.
std::map<QString, QString> snapshot(const QString& dir) {
    std::map<QString, QString> files;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        QString what = info.isSymLink() ? QStringLiteral("link to ") + info.symLinkTarget()
                       : info.isDir()   ? QStringLiteral("directory")
                                        : QStringLiteral("file");
        if (!info.isSymLink() && info.isFile()) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                what += QString::fromLatin1(file.readAll().toHex());
            what += QString::number(info.lastModified().toMSecsSinceEpoch());
        }
        files[info.fileName()] = what;
    }
    return files;
}

bool validUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

int lineCount(const QString& text) {
    return static_cast<int>(text.count(u'\n'));
}

} // namespace

class PreglediSafetyTest : public StationDirTest {
protected:
    QString dir() const { return scratch.path(); }
};

TEST_F(PreglediSafetyTest, FilesThatAreNoLogFilesAreToldOnceAndNeverWaitedOn) {
    writeFile("Pregledi00000.GPG", records(1, 200));
    ASSERT_EQ(::mkfifo("Pregledi00001.GPG", 0600), 0);
    writeFile("elsewhere.bin", records(401, 200));
    ASSERT_EQ(::symlink("elsewhere.bin", "Pregledi00002.GPG"), 0);
    ASSERT_TRUE(QDir().mkdir("Pregledi00003.GPG"));
    writeFile("Pregledi00004.GPG", records(801, 260));
    writeFile("Pregledi00009.GPG", records(1801, 2));
    writeFile("Pregledi99999.GPG", records(1, 1));
    writeFile(QStringLiteral("Pregledi\x1b]2;owned\x07.GPG"), records(1, 1));

    ProgramRun run = pregledi({"--dir", dir(), "list"});
    EXPECT_EQ(run.status, 1) << run.err.toStdString();
    EXPECT_EQ(lineCount(run.out), 1 + 200 + 200 + 2) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("\n    1801  "))) << run.out.right(300).toStdString();
    EXPECT_EQ(lineCount(run.err), 7) << run.err.toStdString();
    for (const char* told :
         {"pregledi: Pregledi00001.GPG: a FIFO, not read\n",
          "pregledi: Pregledi00002.GPG: a symbolic link, not read\n",
          "pregledi: Pregledi00003.GPG: a directory, not read\n",
          "pregledi: Pregledi00004.GPG: 41600 bytes: more than 200 records; only the first "
          "200 are read\n",
          "pregledi: Pregledi00005.GPG-Pregledi00008.GPG: missing: a later log file exists\n",
          "pregledi: Pregledi99999.GPG: a file number past the last one a station uses",
          "pregledi: Pregledi\\x1b]2;owned\\x07.GPG: not a log file name"})
        EXPECT_EQ(run.err.count(QString::fromUtf8(told)), 1) << told << " in\n" << run.err.toStdString();
    EXPECT_FALSE(run.errBytes.contains('\x1b'));

    run = pregledi({"--dir", dir(), "export", "--csv"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(parseCsv(run.out).size(), 1 + 402);
    EXPECT_EQ(lineCount(run.err), 7) << run.err.toStdString();

    // show goes to the examination's own file: the FIFO is told only when asked for.
    run = pregledi({"--dir", dir(), "show", "1801"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith("Examination: 1801\nLogged in: Pregledi00009.GPG, record 1\n"));
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    run = pregledi({"--dir", dir(), "show", "205"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "pregledi: Pregledi00001.GPG: a FIFO, not read\npregledi: examination 205 cannot be read\n");
    run = pregledi({"--dir", dir(), "reprint", "405", "-o", "copy.pdf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("Pregledi00002.GPG: a symbolic link, not read")) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists("copy.pdf"));
    EXPECT_EQ(readFile("elsewhere.bin"), records(401, 200));
}

TEST_F(PreglediSafetyTest, OutputIsNeverWrittenOverTheStationsFiles) {
    logExams(3);
    writeFile("CarModel.DB", "SQLite format 3");
    writeFile("SERVICE.ini", "station\r\n");
    writeFile("notes.txt", "the operator's notes");
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    const QString out = elsewhere.path();
    const QString log = dir() + "/Pregledi00000.GPG";
    ASSERT_EQ(::symlink(log.toLocal8Bit().constData(), (out + "/link.csv").toLocal8Bit().constData()), 0);
    ASSERT_EQ(::link(log.toLocal8Bit().constData(), (out + "/hard.csv").toLocal8Bit().constData()), 0);
    ASSERT_EQ(::symlink((dir() + "/VEZARO.ini").toLocal8Bit().constData(),
                        (out + "/dangling.csv").toLocal8Bit().constData()),
              0);
    ASSERT_EQ(::symlink(dir().toLocal8Bit().constData(), (out + "/station").toLocal8Bit().constData()), 0);
    ASSERT_EQ(::mkfifo((out + "/fifo.csv").toLocal8Bit().constData(), 0600), 0);
    const auto stationBefore = snapshot(dir());
    const auto elsewhereBefore = snapshot(out);

    const struct {
        QString target;
        const char* why;
    } refused[] = {
        {out + "/link.csv", "an existing file of the station directory"},
        {out + "/hard.csv", "the same file as Pregledi00000.GPG of the station directory"},
        {dir() + "/Pregledi.chain", "an existing file of the station directory"},
        {dir() + "/CarModel.DB", "an existing file of the station directory"},
        {dir() + "/notes.txt", "an existing file of the station directory"},
        {"Pregledi-export.csv", "the name of a station file"},
        {dir() + "/carmodel.db-journal", "the name of a station file"},
        {dir() + "/export.lock", "the name of a station file"},
        {out + "/dangling.csv", "the name of a station file"},
        {out + "/station/Pregledi00000.GPG", "an existing file of the station directory"},
        {out + "/station/Pregledi00001.GPG", "the name of a station file"},
        {out + "/fifo.csv", "a FIFO; only a regular file is written"},
        {out + "/station", "a directory; only a regular file is written"},
    };
    for (const auto& c : refused) {
        for (const QStringList& command :
             {QStringList{"export", "--csv"}, QStringList{"export", "--json"}, QStringList{"reprint", "2"}}) {
            const ProgramRun run =
                pregledi(QStringList{"--dir", dir()} + command + QStringList{"-o", c.target});
            const std::string what = (command.join(' ') + " -o " + c.target).toStdString();
            EXPECT_EQ(run.status, 1) << what;
            EXPECT_TRUE(run.messages().startsWith("pregledi: -o " + c.target + ": " + c.why))
                << what << '\n'
                << run.err.toStdString();
            EXPECT_TRUE(run.messages().endsWith("; nothing written\n")) << what << '\n'
                                                                        << run.err.toStdString();
            EXPECT_EQ(run.messages().count(u'\n'), 1) << what << '\n' << run.err.toStdString();
            EXPECT_TRUE(run.out.isEmpty()) << what;
        }
    }
    EXPECT_EQ(snapshot(dir()), stationBefore);
    EXPECT_EQ(snapshot(out), elsewhereBefore);

    // What may be written is written whole, mode 0640, with no temporary file left behind: a
    // new name in the station directory, an existing file elsewhere (replaced), a link's file.
    writeFile(out + "/old.csv", "old");
    ASSERT_EQ(::chmod((out + "/old.csv").toLocal8Bit().constData(), 0604), 0);
    ASSERT_EQ(::symlink("old.csv", (out + "/to-old.csv").toLocal8Bit().constData()), 0);
    for (const QString& target : {dir() + "/export.csv", out + "/old.csv", out + "/to-old.csv"}) {
        const ProgramRun run = pregledi({"--dir", dir(), "export", "--csv", "-o", target});
        ASSERT_EQ(run.status, 0) << target.toStdString() << ": " << run.err.toStdString();
        const QString written = QFileInfo(target).canonicalFilePath();
        EXPECT_EQ(parseCsv(QString::fromUtf8(readFile(written))).size(), 4) << target.toStdString();
        struct stat info {};
        ASSERT_EQ(::stat(written.toLocal8Bit().constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0640u) << target.toStdString();
    }
    EXPECT_TRUE(QFileInfo(out + "/to-old.csv").isSymLink());
    const ProgramRun run = pregledi({"--dir", dir(), "reprint", "2", "-o", out + "/copy.pdf"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(readFile(out + "/copy.pdf").startsWith("%PDF"));
    EXPECT_FALSE(run.err.contains(".new-")) << run.err.toStdString();
    for (const QString& where : {dir(), out})
        EXPECT_TRUE(QDir(where).entryList({"*.new-*"}, QDir::AllEntries | QDir::Hidden).isEmpty());
}

TEST_F(PreglediSafetyTest, CsvCellsASpreadsheetWouldRunAreNeutralisedAndJsonKeepsThem) {
    ReportFields f = examFields(1);
    f.owner = "=HYPERLINK(\"http://x\")";
    f.makeModel = "+359 888 123 456";
    f.regNumber = "-2+3";
    f.hc = "@SUM";
    f.co = "0.1=2"; // not at the beginning: as it is
    writeFile("Pregledi00000.GPG", record(f) + records(2, 1));

    ProgramRun run = pregledi({"--dir", dir(), "export", "--csv"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QList<QStringList> rows = parseCsv(run.out);
    ASSERT_EQ(rows.size(), 3);
    const QStringList& header = rows[0];
    auto cell = [&](int row, const char* key) { return rows[row][header.indexOf(QString::fromLatin1(key))]; };
    EXPECT_EQ(cell(1, "owner"), "'" + f.owner);
    EXPECT_EQ(cell(1, "make_model"), "'" + f.makeModel);
    EXPECT_EQ(cell(1, "registration"), "'" + f.regNumber);
    EXPECT_EQ(cell(1, "hc"), "'" + f.hc);
    EXPECT_EQ(cell(1, "co"), f.co);
    EXPECT_EQ(cell(2, "owner"), examFields(2).owner);

    run = pregledi({"--dir", dir(), "export", "--json"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QJsonObject exam = QJsonDocument::fromJson(run.outBytes).array()[0].toObject();
    EXPECT_EQ(exam["owner"].toString(), f.owner);
    EXPECT_EQ(exam["make_model"].toString(), f.makeModel);
    EXPECT_EQ(exam["registration"].toString(), f.regNumber);
    EXPECT_EQ(exam["hc"].toString(), f.hc);
}

TEST_F(PreglediSafetyTest, BytesThatAreNoTextAreMarkedAndNeverReachTheTerminal) {
    QByteArray log = records(1, 3);
    log[23 + 4] = '\x1b';       // examination 1: an escape inside the owner
    log[160 + 48 + 2] = '\x98'; // examination 2: a byte code page 1251 does not have
    writeFile("Pregledi00000.GPG", log);

    ProgramRun run = pregledi({"--dir", dir(), "list"});
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(run.outBytes.contains('\x1b'));
    EXPECT_FALSE(run.errBytes.contains('\x1b'));
    QString owner = examFields(1).owner;
    owner[4] = QChar(QChar::ReplacementCharacter);
    EXPECT_TRUE(run.out.contains(owner)) << run.out.toStdString();
    QString make = examFields(2).makeModel;
    make[2] = QChar(QChar::ReplacementCharacter);
    EXPECT_TRUE(run.out.contains(make)) << run.out.toStdString();
    EXPECT_EQ(run.err,
              "pregledi: Pregledi00000.GPG record 1 (examination 1): byte 28 (0x1b) is not code page "
              "1251 text\npregledi: Pregledi00000.GPG record 2 (examination 2): byte 51 (0x98) is "
              "not code page 1251 text\n");

    run = pregledi({"--dir", dir(), "show", "1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.contains("Damaged: byte 28 (0x1b) is not code page 1251 text\n"))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("Owner: " + owner + "\n")) << run.out.toStdString();

    run = pregledi({"--dir", dir(), "export", "--csv"});
    EXPECT_TRUE(validUtf8(run.outBytes));
    QList<QStringList> rows = parseCsv(run.out);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_TRUE(rows[1].contains(owner));
    EXPECT_EQ(rows[1].back(), "damaged: byte 28 (0x1b) is not code page 1251 text");
    EXPECT_EQ(rows[3].back(), "");
    run = pregledi({"--dir", dir(), "export", "--json"});
    EXPECT_TRUE(validUtf8(run.outBytes));
    const QJsonArray exams = QJsonDocument::fromJson(run.outBytes).array();
    ASSERT_EQ(exams.size(), 3);
    EXPECT_EQ(exams[1].toObject()["make_model"].toString(), make);
    EXPECT_EQ(exams[1].toObject()["damaged"].toString(), "byte 51 (0x98) is not code page 1251 text");
    EXPECT_FALSE(exams[2].toObject().contains("damaged"));
    // A damaged record is not drawn as if it were the examination's page.
    run = pregledi({"--dir", dir(), "reprint", "2", "-o", "copy.pdf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(QFile::exists("copy.pdf"));

    // Control characters in names and arguments are escaped in every message.
    run = pregledi({"--dir", dir() + "/no\x1b[31msuch\r", "list"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("no\\x1b[31msuch\\r: no such directory")) << run.err.toStdString();
    run = pregledi({"--dir", dir(), "export", "--csv", "-o", "Pregledi\x1b[1m.csv"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.startsWith("pregledi: -o Pregledi\\x1b[1m.csv: the name of a station file"))
        << run.err.toStdString();
    EXPECT_FALSE(run.errBytes.contains('\x1b'));
}

TEST_F(PreglediSafetyTest, LostRecordsAreShownAsMissing) {
    logExams(4);
    QByteArray log = readFile("Pregledi00000.GPG");
    log.replace(160, 160, fillerRecord());
    writeFile("Pregledi00000.GPG", log);

    ProgramRun run = pregledi({"--dir", dir(), "list"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[2], "       2  (missing: the examination's record was lost)");
    run = pregledi({"--dir", dir(), "list", "--text", "MISSING"});
    EXPECT_EQ(run.out.split(u'\n', Qt::SkipEmptyParts).size(), 1) << run.out.toStdString();

    run = pregledi({"--dir", dir(), "show", "2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.contains("Missing: the examination's record was lost")) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("00.00.0000"));

    run = pregledi({"--dir", dir(), "export", "--csv"});
    EXPECT_EQ(run.status, 0);
    const QList<QStringList> rows = parseCsv(run.out);
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[2].mid(0, 3), (QStringList{"2", "Pregledi00000.GPG", "2"}));
    EXPECT_EQ(rows[2].back(), "missing");
    EXPECT_EQ(rows[2].mid(3, rows[2].size() - 4), QStringList(rows[2].size() - 4, QString()));
    run = pregledi({"--dir", dir(), "export", "--json"});
    const QJsonObject lost = QJsonDocument::fromJson(run.outBytes).array()[1].toObject();
    EXPECT_EQ(lost["number"].toInt(), 2);
    EXPECT_TRUE(lost["missing"].toBool());
    EXPECT_FALSE(lost.contains("owner"));

    run = pregledi({"--dir", dir(), "reprint", "2", "-o", "copy.pdf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("examination 2 is missing")) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists("copy.pdf"));
}

TEST_F(PreglediSafetyTest, ShowAndReprintFindTheirPlaceInABigSparseSeries) {
    writeFile("Pregledi00000.GPG", records(1, 200));
    writeFile("Pregledi50000.GPG", records(1, 10));
    const int number = examNumberAt(50000, 3);

    ProgramRun run = pregledi({"--dir", dir(), "show", QString::number(number)});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("Logged in: Pregledi50000.GPG, record 3\n"));
    EXPECT_TRUE(run.out.contains("Registration: " + examFields(3).regNumber + "\n")) << run.out.toStdString();
    run = pregledi({"--dir", dir(), "reprint", QString::number(number), "-o", "copy.pdf"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(readFile("copy.pdf").startsWith("%PDF"));

    run = pregledi({"--dir", dir(), "show", QString::number(examNumberAt(25000, 1))});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              QStringLiteral("pregledi: examination %1 is not in the log\n").arg(examNumberAt(25000, 1)));
    run = pregledi({"--dir", dir(), "list"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(lineCount(run.out), 211);
    EXPECT_EQ(run.err, "pregledi: Pregledi00001.GPG-Pregledi49999.GPG: missing: a later log file exists\n");
}
