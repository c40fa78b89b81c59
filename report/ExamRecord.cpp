#include "ExamRecord.h"

#include "Cp1251.h"

#include <array>
#include <bitset>

namespace vz {
namespace {

using namespace Qt::StringLiterals;

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
// The last two characters of the record are always CR LF, whatever the text held there.
constexpr int kKeptText = kExamRecordSize - 2;

void appendPadded(QString& text, const QString& item, int padTo) {
    text = (text + item).left(kLongestText);
    do {
        if (text.size() >= kLongestText)
            return;
        text += u' ';
    } while (text.size() < padTo);
}

const std::array<ExamRecordItem, 12> kLayout = {{
    {&ReportFields::date, "date", "Date", 15, ""_L1, ""_L1, 14},
    {&ReportFields::time, "time", "Time", 15, ""_L1, ""_L1, 23},
    {&ReportFields::owner, "owner", "Owner", 25, ""_L1, ""_L1, 48},
    {&ReportFields::makeModel, "make_model", "Make and model", 25, ""_L1, ""_L1, 74},
    {&ReportFields::year, "year", "Year", 4, ""_L1, ""_L1, 78},
    {&ReportFields::regNumber, "registration", "Registration", 8, "\r\n"_L1, ""_L1, 91},
    {&ReportFields::co, "co", "CO %", 5, "/CO "_L1, "%"_L1, 101},
    {&ReportFields::co2, "co2", "CO2 %", 5, "/CO2 "_L1, "%"_L1, 111},
    {&ReportFields::hc, "hc", "HC ppm", 5, "/HC "_L1, "ppm"_L1, 121},
    {&ReportFields::o2, "o2", "O2 %", 5, "/O2 "_L1, "%"_L1, 131},
    {&ReportFields::rpm, "rpm", "Engine speed RPM", 5, "/ "_L1, "RPM"_L1, 141},
    {&ReportFields::oilTemp, "oil_temp", "Oil temperature C", 5, "/ "_L1, "`C"_L1, 160},
}};

QString itemText(const ExamRecordItem& item, const QString& value) {
    return item.prefix + value + item.suffix;
}

// The parse walks the layout item by item. After each item the writer's text so far must
// agree with the record wherever the record still shows it (its first 158 characters); the
// writer's text before an item is then the record's own beginning, so an item's outcome
// depends only on where it starts, and a start that once led nowhere is not tried again.
class RecordParser {
public:
    explicit RecordParser(const QString& text) : target_(text.left(kKeptText)) {}

    std::optional<ReportFields> parse() {
        QString built;
        if (!walk(0, built))
            return std::nullopt;
        return fields_;
    }

private:
    bool agrees(const QString& built, int from) const {
        const int end = std::min<int>(built.size(), kKeptText);
        for (int i = from; i < end; ++i) {
            if (built[i] != target_[i])
                return false;
        }
        return true;
    }

    bool walk(size_t step, const QString& built) {
        if (step == kLayout.size())
            return built.size() >= kKeptText;
        const int start = static_cast<int>(built.size());
        const int memo = std::min(start, kLongestText);
        if (deadEnds_[step][memo])
            return false;
        const ExamRecordItem& item = kLayout[step];
        const int valueStart = start + static_cast<int>(item.prefix.size());
        // A value can only hold characters the record still shows; past them it is lost.
        const int visible = std::clamp(kKeptText - valueStart, 0, item.longest);
        for (int length = 0; length <= visible; ++length) {
            const QString value = target_.mid(valueStart, length);
            bool clean = true;
            for (QChar ch : value)
                clean = clean && ch.unicode() >= 0x20 && ch.unicode() != 0x7F;
            if (!clean)
                break; // a longer value would hold the same control character
            QString next = built;
            appendPadded(next, itemText(item, value), item.padTo);
            if (!agrees(next, start))
                continue;
            fields_.*(item.field) = value;
            if (walk(step + 1, next))
                return true;
        }
        deadEnds_[step][memo] = true;
        return false;
    }

    QString target_;
    ReportFields fields_;
    std::array<std::bitset<kLongestText + 1>, kLayout.size()> deadEnds_{};
};

} // namespace

std::span<const ExamRecordItem> examRecordLayout() {
    return kLayout;
}

ReportFields cutReportFields(const ReportFields& raw) {
    ReportFields f;
    for (const ExamRecordItem& item : kLayout)
        f.*(item.field) = cleanField(raw.*(item.field), item.longest);
    // The two fields the page shows but the log does not keep.
    f.operatorName = cleanField(raw.operatorName, 25);
    f.lambda = cleanField(raw.lambda, 5);
    return f;
}

QString examRecordText(const ReportFields& f) {
    QString text;
    for (const ExamRecordItem& item : kLayout)
        appendPadded(text, itemText(item, f.*(item.field)), item.padTo);

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

std::optional<ReportFields> parseExamRecordText(const QString& text) {
    if (text.size() != kExamRecordSize || !text.endsWith(u"\r\n"))
        return std::nullopt;
    return RecordParser(text).parse();
}

} // namespace vz
