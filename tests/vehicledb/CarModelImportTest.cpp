#include "CarModelImport.h"
#include "CarModelTable.h"
#include "Cp1251.h"
#include "LimitTexts.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTextStream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

struct ToolRun {
    int ExitCode = -1;
    QString Err;
};

ToolRun runTool(const QStringList& args) {
    QProcess p;
    p.start(vztest::binDir() + "/carmodel-import", args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
}
} // namespace

TEST(CarModelImport, TheSampleCsvRoundTripsThroughTheToolInRowOrder) {
    vztest::ScratchDir dir;
    const QString csv = vztest::sourceDir() + "/data/CarModel.csv";
    const ToolRun run = runTool({csv, "CarModel.DB"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();

    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    lines.removeFirst();
    vz::CarModelTable table;
    ASSERT_TRUE(table.open("CarModel.DB"));
    ASSERT_EQ(table.rowCount(), lines.size());
    ASSERT_GE(table.rowCount(), 24);
    for (const QString& line : lines) {
        ASSERT_FALSE(table.atEnd());
        // The sample quotes only a model with a comma in it; unquote by hand for the check.
        QStringList expected;
        if (line.contains('"')) {
            const qsizetype open = line.indexOf('"'), close = line.indexOf('"', open + 1);
            expected = line.left(open).split(',');
            expected.removeLast();
            expected << line.mid(open + 1, close - open - 1);
            expected << line.mid(close + 2).split(',');
        } else {
            expected = line.split(',');
        }
        ASSERT_EQ(expected.size(), 8) << line.toStdString();
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(table.field(vz::CarModelTable::fieldNames()[i]), expected[i]) << line.toStdString();
        table.next();
    }
    EXPECT_TRUE(table.atEnd());
}

TEST(CarModelImport, ABadRowIsListedWithItsLineNumberAndNothingIsWritten) {
    vztest::ScratchDir dir;
    writeFile("station.csv", "Mark,Model,COmx,COmn,CO2mx,O2mx,CHmx,RPM\r\n"
                             "LADA,2107,350,0,125,200,1000,800\r\n"
                             "LADA,2105,350,0,125,200,1000\r\n" // line 3: 7 fields
                             "VW,GOLF,50,0,135,100,300,800\r\n"
                             "VW,,50,0,135,100,300,800\r\n"        // line 5: empty Model
                             "OPEL,ASTRA,5O,0,135,100,300,800\r\n" // line 6: letter O
                             "OPEL,CORSA,50,0,135,100,70000,800\r\n"
                             "FIAT,\"UNO,1.0,350,0,120,200,800,900\r\n");
    const ToolRun run = runTool({"station.csv", "CarModel.DB"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains("station.csv:3: 7 fields, expected 8")) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains("station.csv:5: Model is empty")) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains("station.csv:6: COmx '5O' is not a number")) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains("station.csv:7: CHmx 70000 is above 65535")) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains("station.csv:8: a quote is not closed")) << run.Err.toStdString();
    EXPECT_FALSE(run.Err.contains(":2:"));
    EXPECT_FALSE(run.Err.contains(":4:"));
    EXPECT_FALSE(QFile::exists("CarModel.DB"));
    EXPECT_EQ(QDir(".").entryList(QDir::Files | QDir::Hidden), QStringList{"station.csv"});
}

TEST(CarModelImport, AFieldHoldingANulByteIsABadRow) {
    // A NUL would be stored but read back as the end of the field, so the window would show
    // another row than the CSV gave.
    vztest::ScratchDir dir;
    QByteArray csv = "Mark,Model,COmx,COmn,CO2mx,O2mx,CHmx,RPM\r\nLADA,2107,350,0,125,200,1000,800\r\n";
    csv += QByteArray("R\0ENAULT,CLIO,30,0,140,50,200,750\r\n", 35);
    csv += QByteArray("VW,\"GOLF\0II\",50,0,135,100,300,800\r\n", 35);
    writeFile("station.csv", csv);
    const ToolRun run = runTool({"station.csv", "CarModel.DB"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains("station.csv:3: a field holds a NUL byte")) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains("station.csv:4: a field holds a NUL byte")) << run.Err.toStdString();
    EXPECT_FALSE(QFile::exists("CarModel.DB"));
}

TEST(CarModelImport, AByteOrderMarkInsideTheFileIsNoPartOfAField) {
    // Two UTF-8 files pasted together: the second one's mark starts a row.
    vztest::ScratchDir dir;
    writeFile("station.csv",
              "\xEF\xBB\xBFMark,Model,COmx,COmn,CO2mx,O2mx,CHmx,RPM\nVW,GOLF,50,0,135,100,300,800\n"
              "\xEF\xBB\xBFVW,POLO,50,0,135,100,300,800\n"
              "VW,\"PA\xEF\xBB\xBFSSAT\",50,0,135,100,300,800\n");
    const ToolRun run = runTool({"station.csv", "CarModel.DB"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_FALSE(run.Err.contains("stands apart")) << run.Err.toStdString();
    vz::CarModelTable db;
    ASSERT_TRUE(db.open("CarModel.DB"));
    QStringList rows;
    for (; !db.atEnd(); db.next())
        rows << vz::currentLimitRow(db).Mark + u' ' + vz::currentLimitRow(db).Model;
    EXPECT_EQ(rows, QStringList({"VW GOLF", "VW POLO", "VW PASSAT"}));
}

TEST(CarModelImport, AFailedImportLeavesTheOldTableAsItWas) {
    vztest::ScratchDir dir;
    vztest::writeTable("CarModel.DB", {vztest::row("OLD", "TABLE")});
    writeFile("station.csv", "Mark,Model,COmx,COmn,CO2mx,O2mx,CHmx,RPM\nLADA,2107,350,0,125,200,,800\n");
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    EXPECT_EQ(vz::runCarModelImport("station.csv", "CarModel.DB", out, err), 1);
    EXPECT_TRUE(errText.contains("station.csv:2: CHmx '' is not a number")) << errText.toStdString();
    vz::CarModelTable table;
    ASSERT_TRUE(table.open("CarModel.DB"));
    EXPECT_EQ(table.field("Mark"), "OLD");

    // A good import replaces it whole.
    writeFile("station.csv", "Mark,Model,COmx,COmn,CO2mx,O2mx,CHmx,RPM\nLADA,2107,350,0,125,200,1000,800\n");
    table.close();
    EXPECT_EQ(vz::runCarModelImport("station.csv", "CarModel.DB", out, err), 0);
    ASSERT_TRUE(table.open("CarModel.DB"));
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(table.field("Mark"), "LADA");
    EXPECT_EQ(QDir(".").entryList(QDir::Files | QDir::Hidden), (QStringList{"CarModel.DB", "station.csv"}));
}

TEST(CarModelImport, QuotedFieldsSemicolonsAndCodePage1251AreUnderstood) {
    const QByteArray csv = "\xEF\xBB\xBFmodel;mark;COMX;comn;co2mx;o2mx;chmx;rpm\n"
                           "\"GOLF \"\"GTI\"\"; 1.8\";VW;50;0;135;100;300;800\n"
                           "  PASSAT  ;  VW  ;30;0;140;50;200;750\n";
    const vz::ParsedLimits parsed = vz::parseLimitsCsv(csv);
    ASSERT_TRUE(parsed.Problems.empty()) << parsed.Problems[0].Text.toStdString();
    ASSERT_EQ(parsed.Rows.size(), 2u);
    EXPECT_EQ(parsed.Rows[0].Model, "GOLF \"GTI\"; 1.8");
    EXPECT_EQ(parsed.Rows[0].Mark, "VW");
    EXPECT_EQ(parsed.Rows[0].CO2mx, "135");
    EXPECT_EQ(parsed.Rows[1].Model, "PASSAT");
    EXPECT_EQ(parsed.Rows[1].Mark, "VW");

    const QByteArray cp1251 =
        "Mark,Model,COmx,COmn,CO2mx,O2mx,CHmx,RPM\n" + vz::toCp1251("ВОЛГА,ГАЗ 24,450,0,115,300,1200,650\n");
    const vz::ParsedLimits cyr = vz::parseLimitsCsv(cp1251);
    ASSERT_EQ(cyr.Rows.size(), 1u);
    EXPECT_EQ(cyr.Rows[0].Mark, "ВОЛГА");
    EXPECT_EQ(cyr.Rows[0].Model, "ГАЗ 24");
}

TEST(CarModelImport, AHeaderWithoutTheFieldsOrAFileWithoutRowsIsRefused) {
    EXPECT_EQ(vz::parseLimitsCsv("Mark,Model,COmx\nLADA,2107,350\n").Problems.at(0).Line, 1);
    EXPECT_EQ(vz::parseLimitsCsv("LADA,2107,350,0,125,200,1000,800\n").Problems.at(0).Line, 1);
    EXPECT_FALSE(vz::parseLimitsCsv("Mark,Model,COmx,COmn,CO2mx,O2mx,CHmx,RPM\n\n").Problems.empty());
    EXPECT_FALSE(vz::parseLimitsCsv("").Problems.empty());
}

TEST(CarModelImport, AMakeSplitIntoTwoRunsIsKeptButWarnedAbout) {
    const vz::ParsedLimits parsed = vz::parseLimitsCsv("Mark,Model,COmx,COmn,CO2mx,O2mx,CHmx,RPM\n"
                                                       "LADA,2107,350,0,125,200,1000,800\n"
                                                       "VW,GOLF,50,0,135,100,300,800\n"
                                                       "LADA,NIVA,50,0,135,100,300,850\n");
    EXPECT_TRUE(parsed.Problems.empty());
    ASSERT_EQ(parsed.Rows.size(), 3u);
    EXPECT_EQ(parsed.Rows[2].Model, "NIVA");
    ASSERT_EQ(parsed.Warnings.size(), 1u);
    EXPECT_EQ(parsed.Warnings[0].Line, 4);
}

TEST(CarModelImport, TheToolExplainsItsUsage) {
    vztest::ScratchDir dir;
    const ToolRun run = runTool({"only-one-argument.csv"});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_TRUE(run.Err.contains("usage: carmodel-import <input.csv> <output.db>"));
    const ToolRun missing = runTool({"missing.csv", "CarModel.DB"});
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_FALSE(QFile::exists("CarModel.DB"));
}

namespace {
const QByteArray GoodCsv = "Mark,Model,COmx,COmn,CO2mx,O2mx,CHmx,RPM\nLADA,2107,350,0,125,200,1000,800\n";

// The file type of `path` itself (not of what a link points to); 0 when it does not exist.
mode_t typeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

QStringList entries() {
    QStringList names =
        QDir(".").entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}
} // namespace

// The tool only ever puts its table in place of a regular file. A symbolic link (live or
// dangling), a FIFO or a directory under the output name is refused with one line naming it,
// exit status 1, and nothing is touched: no temporary file is left beside it either.
TEST(CarModelImport, AnOutputThatIsNotARegularFileIsRefusedAndLeftAlone) {
    vztest::ScratchDir dir;
    writeFile("station.csv", GoodCsv);
    writeFile("target.txt", "the link's target\n");
    ASSERT_EQ(::symlink("target.txt", "link.db"), 0);
    ASSERT_EQ(::symlink("nowhere.txt", "dangling.db"), 0);
    ASSERT_EQ(::mkfifo("fifo.db", 0600), 0);
    ASSERT_TRUE(QDir(".").mkdir("folder.db"));
    const QStringList before = entries();

    struct Case {
        const char* output;
        mode_t type;
    };
    for (const Case& c : {Case{"link.db", S_IFLNK}, Case{"dangling.db", S_IFLNK}, Case{"fifo.db", S_IFIFO},
                          Case{"folder.db", S_IFDIR}}) {
        SCOPED_TRACE(c.output);
        const ToolRun run = runTool({"station.csv", c.output});
        EXPECT_EQ(run.ExitCode, 1);
        EXPECT_EQ(run.Err, QString("%1: exists and is not a regular file; left unchanged\n").arg(c.output));
        EXPECT_EQ(typeOf(c.output), c.type);
        EXPECT_EQ(entries(), before) << "no table and no temporary file appear";
    }
    char link[64] = {};
    EXPECT_EQ(::readlink("link.db", link, sizeof link - 1), 10);
    EXPECT_STREQ(link, "target.txt");
    QFile target("target.txt");
    ASSERT_TRUE(target.open(QIODevice::ReadOnly));
    EXPECT_EQ(target.readAll(), "the link's target\n");
    EXPECT_FALSE(QFile::exists("nowhere.txt"));

    // The function the tool calls refuses the same way.
    EXPECT_EQ(vz::writeLimitsTable({vztest::row("LADA", "2107")}, "fifo.db"),
              "exists and is not a regular file; left unchanged");
    EXPECT_EQ(entries(), before);
}

TEST(CarModelImport, AnExistingRegularFileIsReplacedByTheTool) {
    vztest::ScratchDir dir;
    writeFile("station.csv", GoodCsv);
    writeFile("CarModel.DB", "an old file that is not even a table");
    const ToolRun run = runTool({"station.csv", "CarModel.DB"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(typeOf("CarModel.DB"), mode_t(S_IFREG));
    vz::CarModelTable table;
    ASSERT_TRUE(table.open("CarModel.DB"));
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(table.field("Model"), "2107");
    table.close();
    EXPECT_EQ(entries(), (QStringList{"CarModel.DB", "station.csv"}));
}
