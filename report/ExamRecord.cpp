#include "ExamRecord.h"

#include "Cp1251.h"

namespace vz {
namespace {

QString cleanField(const QString& text, int longest) {
    QString cut = text.left(longest);
    for (QChar& ch : cut) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            ch = u' ';
    }
    return cut;
}

// The text never grows beyond 163 characters; whatever would go further is dropped.
constexpr int kLongestText = 163;

void appendPadded(QString& text, const QString& item, int padTo) {
    text = (text + item).left(kLongestText);
    do {
        if (text.size() >= kLongestText)
            return;
        text += u' ';
    } while (text.size() < padTo);
}

} // namespace

ReportFields cutReportFields(const ReportFields& raw) {
    ReportFields f;
    f.date = cleanField(raw.date, 15);
    f.time = cleanField(raw.time, 15);
    f.operatorName = cleanField(raw.operatorName, 25);
    f.owner = cleanField(raw.owner, 25);
    f.makeModel = cleanField(raw.makeModel, 25);
    f.year = cleanField(raw.year, 4);
    f.regNumber = cleanField(raw.regNumber, 8);
    f.co = cleanField(raw.co, 5);
    f.co2 = cleanField(raw.co2, 5);
    f.hc = cleanField(raw.hc, 5);
    f.o2 = cleanField(raw.o2, 5);
    f.oilTemp = cleanField(raw.oilTemp, 5);
    f.rpm = cleanField(raw.rpm, 5);
    f.lambda = cleanField(raw.lambda, 5);
    return f;
}

QString examRecordText(const ReportFields& f) {
    QString text;
    appendPadded(text, f.date, 14);
    appendPadded(text, f.time, 23);
    appendPadded(text, f.owner, 48);
    appendPadded(text, f.makeModel, 74);
    appendPadded(text, f.year, 78);
    appendPadded(text, QStringLiteral("\r\n") + f.regNumber, 91);
    appendPadded(text, QStringLiteral("/CO ") + f.co + u'%', 101);
    appendPadded(text, QStringLiteral("/CO2 ") + f.co2 + u'%', 111);
    appendPadded(text, QStringLiteral("/HC ") + f.hc + QStringLiteral("ppm"), 121);
    appendPadded(text, QStringLiteral("/O2 ") + f.o2 + u'%', 131);
    appendPadded(text, QStringLiteral("/ ") + f.rpm + QStringLiteral("RPM"), 141);
    appendPadded(text, QStringLiteral("/ ") + f.oilTemp + QChar(96) + u'C', 160);

    text = text.left(kExamRecordSize);
    text[kExamRecordSize - 2] = u'\r';
    text[kExamRecordSize - 1] = u'\n';
    return text;
}

QByteArray examRecordBytes(const ReportFields& fields) {
    // Every character becomes one byte (a character outside the code page becomes '?').
    // A character outside the 16-bit range takes two places in the text, so the record
    // always stays 160 bytes.
    return toCp1251(examRecordText(fields));
}

} // namespace vz
