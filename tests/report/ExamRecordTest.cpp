#include "ExamRecord.h"

#include "ReportTestSupport.h"
#include <QByteArray>

using namespace vz;

TEST(ExamRecord, MatchesTheExpectedCp1251BytesExactly) {
    // Column by column; Cyrillic letters as their code page 1251 bytes.
    const QByteArray expected = QByteArray("07.12.2026    ")                  // 1-14 date
                                + "14:05:09 "                                 // 15-23 time
                                + "\xC8\xE2\xE0\xED \xCF\xE5\xF2\xF0\xEE\xE2" // 24- owner "Иван Петров"
                                + " \xC8\xE2\xE0\xED\xEE\xE2"                 //    " Иванов"
                                + "       "                                   // to 48
                                + "VW Golf 1.6               "                // 49-74 make and model
                                + "2008 "                                     // 75-79 year
                                + "\r\n"                                      // 80-81
                                + "\xD1\xC0"
                                  "1234"
                                  "\xC2\xCA"
                                  "  "            // 82-91 "СА1234ВК"
                                + "/CO 0.500% "   // 92-102
                                + "/CO2 14.50% "  // 103-114
                                + "/HC  0100ppm " // 115-127
                                + "/O2 00.50% "   // 128-138
                                + "/  0850RPM "   // 139-149
                                + "/ 085.0`C"     // 150-158
                                + "\r\n";         // 159-160
    ASSERT_EQ(expected.size(), 160);
    EXPECT_EQ(examRecordBytes(vz::test::sampleFields()), expected);
}

TEST(ExamRecord, AnOwnerOfTwentyFiveCharactersShiftsTheMakeOneColumn) {
    ReportFields f = vz::test::sampleFields();
    f.owner = QStringLiteral("Александър Стоянов Петков"); // 25 characters
    ASSERT_EQ(f.owner.size(), 25);
    const QString text = examRecordText(f);
    EXPECT_EQ(text.mid(23, 25), f.owner);
    EXPECT_EQ(text[48], u' ');
    EXPECT_EQ(text.mid(49, 11), "VW Golf 1.6"); // column 50 instead of 49
    EXPECT_EQ(text.mid(74, 4), "2008");         // the padding takes the shift up
    EXPECT_EQ(text.mid(79, 2), "\r\n");

    f.owner = f.owner.left(24);
    EXPECT_EQ(examRecordText(f).mid(48, 11), "VW Golf 1.6");
}

TEST(ExamRecord, IsAlways160BytesEndingInCrLfHoweverLongItsFields) {
    ReportFields f;
    f.date = QString(15, u'Д');
    f.time = QString(15, u'9');
    f.owner = QString(25, u'О');
    f.makeModel = QString(25, u'M');
    f.year = "2026";
    f.regNumber = QString(8, u'Р');
    f.co = f.co2 = f.hc = f.o2 = f.oilTemp = f.rpm = QString(5, u'8');
    const QByteArray longRecord = examRecordBytes(f);
    ASSERT_EQ(longRecord.size(), 160);
    EXPECT_TRUE(longRecord.endsWith("\r\n"));
    EXPECT_EQ(longRecord.count('\n'), 2);

    const QByteArray emptyRecord = examRecordBytes(ReportFields{});
    ASSERT_EQ(emptyRecord.size(), 160);
    EXPECT_TRUE(emptyRecord.endsWith("\r\n"));
    EXPECT_EQ(emptyRecord.indexOf("\r\n"), 78); // empty items still keep their columns
    EXPECT_EQ(emptyRecord.indexOf("/CO "), 91);
}

TEST(ExamRecord, CapturedFieldsAreCutAndCannotSplitTheRecord) {
    ReportFields raw = vz::test::sampleFields();
    raw.owner = QStringLiteral("Иван\r\nПетров Иванов Георгиев Стоянов");
    raw.regNumber = "CA1234BKXX";
    raw.co = "0.5000";
    raw.date = "Monday, 07 December 2026";
    const ReportFields f = cutReportFields(raw);
    EXPECT_EQ(f.owner, QStringLiteral("Иван  Петров Иванов Георг"));
    EXPECT_EQ(f.regNumber, "CA1234BK");
    EXPECT_EQ(f.co, "0.500");
    EXPECT_EQ(f.date.size(), 15);
    const QByteArray record = examRecordBytes(f);
    EXPECT_EQ(record.count('\n'), 2);
    EXPECT_EQ(record.size(), 160);
}
