// Reading the log back: the records the station wrote, and files that are not such records.
#include "ExamLogReader.h"
#include "Cp1251.h"
#include "PreglediTestSupport.h"

#include <QFileInfo>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace vz;
using vz::test::examFields;
using vz::test::StationDirTest;

namespace {

bool anyProblem(const ExamLogScan& scan, const QString& file, int record, const QString& part) {
    for (const LogProblem& p : scan.problems) {
        if (p.fileName == file && p.record == record && p.text.contains(part))
            return true;
    }
    return false;
}

QString allProblems(const ExamLogScan& scan) {
    QString text;
    for (const LogProblem& p : scan.problems)
        text += describeProblem(p) + u'\n';
    return text;
}

} // namespace

class ExamLogReaderTest : public StationDirTest {};

TEST_F(ExamLogReaderTest, ReadsEveryExaminationTheStationLoggedAcrossFiles) {
    logExams(203);
    const ExamLogScan scan = scanExamLog(QStringLiteral("."));
    EXPECT_TRUE(scan.problems.isEmpty()) << allProblems(scan).toStdString();
    ASSERT_EQ(scan.files, (QList<QString>{"Pregledi00000.GPG", "Pregledi00001.GPG"}));
    ASSERT_EQ(scan.exams.size(), 203);
    for (const LoggedExam& exam : scan.exams) {
        ASSERT_TRUE(exam.fields) << exam.number;
        const ReportFields expected = examFields(exam.number);
        for (const ExamRecordItem& item : examRecordLayout())
            EXPECT_EQ((*exam.fields).*(item.field), expected.*(item.field)) << exam.number << ' ' << item.key;
    }
    const LoggedExam* exam = scan.find(201);
    ASSERT_TRUE(exam);
    EXPECT_EQ(exam->fileName, "Pregledi00001.GPG");
    EXPECT_EQ(exam->recordInFile, 1);
    EXPECT_FALSE(scan.find(204));
}

TEST_F(ExamLogReaderTest, BadFilesAreToldByFileAndRecordAndNeverChanged) {
    logExams(3);
    QByteArray log = readFile("Pregledi00000.GPG");
    // Record 2: a byte that code page 1251 does not have. Record 3: no CR LF at its end.
    log[160 + 30] = '\x98';
    log[320 + 159] = 'x';
    // And a torn fourth record.
    log += QByteArray(70, 'z');
    writeFile("Pregledi00000.GPG", log);
    const QByteArray before = readFile("Pregledi00000.GPG");
    ASSERT_EQ(::chmod("Pregledi00000.GPG", 0444), 0); // read-only is all the reader needs

    const ExamLogScan scan = scanExamLog(QStringLiteral("."));
    const QString problems = allProblems(scan);
    EXPECT_TRUE(anyProblem(scan, "Pregledi00000.GPG", 0, "not a whole number")) << problems.toStdString();
    EXPECT_TRUE(anyProblem(scan, "Pregledi00000.GPG", 2, "byte 31 (0x98) is not code page 1251"))
        << problems.toStdString();
    EXPECT_TRUE(anyProblem(scan, "Pregledi00000.GPG", 3, "159-160 are not CR LF")) << problems.toStdString();
    EXPECT_TRUE(anyProblem(scan, "Pregledi00000.GPG", 4, "cut short: 70 of 160")) << problems.toStdString();
    ASSERT_EQ(scan.exams.size(), 3);
    EXPECT_TRUE(scan.exams[0].fields);
    EXPECT_FALSE(scan.exams[1].fields);
    EXPECT_EQ(readFile("Pregledi00000.GPG"), before);
}

TEST_F(ExamLogReaderTest, FilesOfAnotherProgramAreRefusedWithoutACrash) {
    struct Case {
        const char* what;
        QByteArray bytes;
        int record;
        const char* problem;
    };
    const Case cases[] = {
        {"binary", QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(152, '\0'), 1, "are not CR LF"},
        {"binary ending in CR LF", QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(150, '\0') + "\r\n", 1,
         "(0x1a) is not code page 1251"},
        {"text lines", QByteArray("hello world\n").repeated(20).left(158) + "\r\n", 1, "not code page 1251"},
        {"one long line", QByteArray(158, 'x') + "\r\n", 1, "no line break after the year"},
        {"the break in the wrong place", QByteArray(40, 'x') + "\r\n" + QByteArray(116, 'y') + "\r\n", 1,
         "not where the layout puts them"},
        {"empty fields moved one column", " " + examRecordBytes(ReportFields{}).left(157) + "\r\n", 1,
         "not where the layout puts them"},
        {"a few bytes", QByteArray("abc"), 1, "cut short: 3 of 160"},
    };
    for (const Case& c : cases) {
        writeFile("Pregledi00000.GPG", c.bytes);
        const ExamLogScan scan = scanExamLog(QStringLiteral("."));
        EXPECT_TRUE(anyProblem(scan, "Pregledi00000.GPG", c.record, c.problem))
            << c.what << ": " << allProblems(scan).toStdString();
        for (const LoggedExam& exam : scan.exams)
            EXPECT_FALSE(exam.fields) << c.what;
    }
}

TEST_F(ExamLogReaderTest, FilesOutOfSequenceAreProblems) {
    logExams(201);
    ASSERT_TRUE(QFile::rename("Pregledi00001.GPG", "Pregledi00003.GPG"));
    writeFile("Pregledi7.GPG", "x");
    const ExamLogScan scan = scanExamLog(QStringLiteral("."));
    const QString problems = allProblems(scan);
    // The files missing between two that exist are one range, told once.
    EXPECT_TRUE(anyProblem(scan, "Pregledi00001.GPG-Pregledi00002.GPG", 0, "missing"))
        << problems.toStdString();
    EXPECT_EQ(scan.problems.size(), 2) << problems.toStdString();
    EXPECT_TRUE(anyProblem(scan, "Pregledi7.GPG", 0, "not a log file name")) << problems.toStdString();
    ASSERT_TRUE(scan.find(601));
    EXPECT_EQ(scan.find(601)->fields->regNumber, examFields(201).regNumber);

    // A file short of 200 records with a later file after it.
    ASSERT_TRUE(QFile::rename("Pregledi00003.GPG", "Pregledi00001.GPG"));
    ASSERT_TRUE(QFile::remove("Pregledi7.GPG"));
    writeFile("Pregledi00000.GPG", readFile("Pregledi00000.GPG").left(160 * 199));
    const ExamLogScan shortFile = scanExamLog(QStringLiteral("."));
    EXPECT_TRUE(
        anyProblem(shortFile, "Pregledi00000.GPG", 0, "holds 199 records, but a later log file exists"))
        << allProblems(shortFile).toStdString();
}

TEST(LogDates, ReadTheStationsShortDatesAndIso) {
    struct Case {
        const char* text;
        QDate date;
    };
    for (const Case& c : {Case{"07.12.2026", QDate(2026, 12, 7)}, Case{"7.12.26", QDate(2026, 12, 7)},
                          Case{"07.12.2026 г.", QDate(2026, 12, 7)}, Case{"12/7/2026", QDate(2026, 12, 7)},
                          Case{"2026-12-07", QDate(2026, 12, 7)}, Case{"07-12-2026", QDate(2026, 12, 7)}})
        EXPECT_EQ(parseLogDate(QString::fromUtf8(c.text)), std::optional<QDate>(c.date)) << c.text;
    for (const char* bad : {"", "yesterday", "32.12.2026", "2026-13-01", "07.12", "07.12-2026"})
        EXPECT_FALSE(parseLogDate(QString::fromUtf8(bad))) << bad;
}

namespace {

// The records of examinations first..first+count-1 as the station writes them.
QByteArray records(int first, int count) {
    QByteArray bytes;
    for (int n = first; n < first + count; ++n)
        bytes += examRecordBytes(examFields(n));
    return bytes;
}

// Text for a field: letters of both alphabets, digits, blanks and the characters the layout's
// own prefixes and suffixes are made of, so that values can look like their neighbours.
QString randomValue(std::mt19937& random, int longest) {
    static const QString alphabet = QStringLiteral("aZ09 ./%`CRPMО2ОАЯж -");
    const int length = std::uniform_int_distribution<int>(0, longest)(random);
    QString value;
    for (int i = 0; i < length; ++i)
        value += alphabet[std::uniform_int_distribution<int>(0, alphabet.size() - 1)(random)];
    return value;
}

bool sameFields(const std::optional<ReportFields>& a, const std::optional<ReportFields>& b) {
    if (a.has_value() != b.has_value())
        return false;
    if (!a)
        return true;
    for (const ExamRecordItem& item : examRecordLayout()) {
        if ((*a).*(item.field) != (*b).*(item.field))
            return false;
    }
    return true;
}

} // namespace

TEST(RecordFields, ReadingByColumnsAgreesWithTheFullSearch) {
    std::mt19937 random(7);
    int readable = 0;
    for (int round = 0; round < 6000; ++round) {
        ReportFields fields;
        for (const ExamRecordItem& item : examRecordLayout()) {
            // Mostly values that fit their column, now and then the longest (which overflows).
            const int longest =
                std::uniform_int_distribution<int>(0, 3)(random) == 0 ? item.longest : item.longest / 2 + 1;
            fields.*(item.field) = randomValue(random, longest);
        }
        QString text = examRecordText(fields);
        if (round % 2 == 1) {
            // A text the writer may not make: a few characters changed.
            for (int n = std::uniform_int_distribution<int>(1, 3)(random); n > 0; --n)
                text[std::uniform_int_distribution<int>(0, 157)(random)] =
                    randomValue(random, 1).leftJustified(1)[0];
        }
        const std::optional<ReportFields> quick = parseRecordFields(text);
        ASSERT_TRUE(sameFields(quick, parseExamRecordText(text))) << round << ": " << text.toStdString();
        if (round % 2 == 0) {
            ASSERT_TRUE(quick) << text.toStdString();
            EXPECT_EQ(examRecordText(*quick), text);
        }
        readable += quick ? 1 : 0;
    }
    EXPECT_GT(readable, 3000);
}

TEST_F(ExamLogReaderTest, LostRecordsAreMissingAndBytesThatAreNoTextAreMarked) {
    QByteArray log = records(1, 5);
    log.replace(2 * 160, 160, fillerRecord());
    // Examination 4: a byte code page 1251 does not have inside the owner, and an escape
    // byte inside the make and model; examination 5: a CR inside the owner.
    log[3 * 160 + 25] = '\x98';
    log[3 * 160 + 50] = '\x1b';
    log[4 * 160 + 30] = '\r';
    writeFile("Pregledi00000.GPG", log);

    const ExamLogScan scan = scanExamLog(QStringLiteral("."));
    ASSERT_EQ(scan.exams.size(), 5);
    const LoggedExam& lost = scan.exams[2];
    EXPECT_TRUE(lost.missing);
    EXPECT_TRUE(lost.problem.isEmpty());
    EXPECT_EQ(lost.shownFields(), nullptr);
    EXPECT_FALSE(anyProblem(scan, "Pregledi00000.GPG", 3, "")) << allProblems(scan).toStdString();

    const LoggedExam& marked = scan.exams[3];
    EXPECT_FALSE(marked.fields);
    EXPECT_TRUE(anyProblem(scan, "Pregledi00000.GPG", 4, "byte 26 (0x98)"))
        << allProblems(scan).toStdString();
    ASSERT_TRUE(marked.marked);
    const ReportFields expected = examFields(4);
    QString owner = expected.owner;
    owner[25 - 23] = QChar(QChar::ReplacementCharacter);
    QString make = expected.makeModel;
    make[50 - 48] = QChar(QChar::ReplacementCharacter);
    EXPECT_EQ(marked.marked->owner, owner);
    EXPECT_EQ(marked.marked->makeModel, make);
    EXPECT_EQ(marked.marked->regNumber, expected.regNumber);
    ASSERT_EQ(marked.shownFields(), &*marked.marked);

    EXPECT_TRUE(anyProblem(scan, "Pregledi00000.GPG", 5, "byte 31 (0x0d)"))
        << allProblems(scan).toStdString();
    ASSERT_TRUE(scan.exams[4].marked);
    EXPECT_TRUE(scan.exams[4].marked->owner.contains(QChar(QChar::ReplacementCharacter)));
}

TEST_F(ExamLogReaderTest, FilesThatAreNoLogFilesAreEachToldOnceAndNotRead) {
    writeFile("Pregledi00000.GPG", records(1, 200));
    writeFile("elsewhere.bin", records(201, 200));
    ASSERT_EQ(::symlink("elsewhere.bin", "Pregledi00001.GPG"), 0);
    ASSERT_TRUE(QDir().mkdir("Pregledi00002.GPG"));
    writeFile("Pregledi00003.GPG", records(601, 250)); // 50 records too many
    writeFile("Pregledi00009.GPG", records(1801, 3));
    writeFile("Pregledi99999.GPG", records(1, 1));
    const QString controlName = QStringLiteral("Pregledi\x1b[2J.GPG");
    writeFile(controlName, records(1, 1));

    QStringList told;
    QList<int> numbers;
    readExamLog(
        QStringLiteral("."), [&](const LoggedExam& exam) { numbers.append(exam.number); },
        [&](const LogProblem& p) { told.append(describeProblem(p)); });
    const QString all = told.join(u'\n');
    EXPECT_EQ(told.size(), 6) << all.toStdString();
    for (const QString& expected :
         {QStringLiteral("Pregledi00001.GPG: a symbolic link, not read"),
          QStringLiteral("Pregledi00002.GPG: a directory, not read"),
          QStringLiteral(
              "Pregledi00003.GPG: 40000 bytes: more than 200 records; only the first 200 are read"),
          QStringLiteral("Pregledi00004.GPG-Pregledi00008.GPG: missing: a later log file exists"),
          QStringLiteral("Pregledi99999.GPG: a file number past the last one a station uses"),
          controlName + QStringLiteral(": not a log file name")})
        EXPECT_TRUE(all.contains(expected)) << expected.toStdString() << " in\n" << all.toStdString();
    // Files 0, 3 (its first 200) and 9; nothing through the link.
    ASSERT_EQ(numbers.size(), 403);
    EXPECT_EQ(numbers[199], 200);
    EXPECT_EQ(numbers[200], 601);
    EXPECT_EQ(numbers[399], 800);
    EXPECT_EQ(numbers.back(), 1803);
    EXPECT_EQ(readFile("elsewhere.bin"), records(201, 200));
}

TEST_F(ExamLogReaderTest, OneExaminationIsReadFromItsOwnPlaceOnly) {
    // A sparse series: the first file unreadable (a FIFO), the last file a station can have.
    ASSERT_EQ(::mkfifo("Pregledi00000.GPG", 0600), 0);
    writeFile("Pregledi65535.GPG", records(1, 199) + QByteArray(70, 'x'));
    const int last = kLastExamNumber;

    ExamLookup lookup = findExam(QStringLiteral("."), last - 1);
    ASSERT_TRUE(lookup.exam);
    EXPECT_EQ(lookup.exam->number, last - 1);
    EXPECT_EQ(lookup.exam->fileName, "Pregledi65535.GPG");
    EXPECT_EQ(lookup.exam->recordInFile, 199);
    ASSERT_TRUE(lookup.exam->fields);
    EXPECT_EQ(lookup.exam->fields->regNumber, examFields(199).regNumber);
    // The torn end of its own file is told; the FIFO, which it never opens, is not.
    ASSERT_EQ(lookup.problems.size(), 1);
    EXPECT_TRUE(
        describeProblem(lookup.problems[0]).contains("Pregledi65535.GPG: 31910 bytes is not a whole"));
    // The torn place itself holds no examination.
    lookup = findExam(QStringLiteral("."), last);
    EXPECT_FALSE(lookup.exam);
    EXPECT_EQ(lookup.problems.size(), 2);

    lookup = findExam(QStringLiteral("."), 200 * 70 + 5); // a file that is not there
    EXPECT_FALSE(lookup.exam);
    EXPECT_TRUE(lookup.problems.isEmpty());
    lookup = findExam(QStringLiteral("."), 3); // the FIFO: told, not waited on
    EXPECT_FALSE(lookup.exam);
    ASSERT_EQ(lookup.problems.size(), 1);
    EXPECT_EQ(describeProblem(lookup.problems[0]), "Pregledi00000.GPG: a FIFO, not read");
    EXPECT_FALSE(findExam(QStringLiteral("."), last + 1).exam);
}
