#include "LogFiles.h"

#include <QDir>

namespace vz {

QString examLogFileName(int logFileIndex) {
    return QStringLiteral("Pregledi%1.GPG").arg(logFileIndex, 5, 10, QLatin1Char('0'));
}

std::optional<int> logFileIndexOf(const QString& name) {
    if (name.size() != 17 || !name.startsWith(QLatin1StringView("Pregledi")) ||
        !name.endsWith(QLatin1StringView(".GPG")))
        return std::nullopt;
    int index = 0;
    for (int i = 8; i < 13; ++i) {
        const char16_t c = name[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        index = index * 10 + (c - u'0');
    }
    return index <= kLastLogFileIndex ? std::optional<int>(index) : std::nullopt;
}

ExamPlace examPlace(int examNumber) {
    return {(examNumber - 1) / kRecordsPerLogFile, (examNumber - 1) % kRecordsPerLogFile + 1};
}

namespace {

// The record text laid out as the station lays out every record: each item followed by at
// least one blank and padded to its column; the last two bytes CR LF.
QByteArray layFillerOut() {
    struct Item {
        const char* text;
        int padTo;
    };
    constexpr Item items[] = {
        {"00.00.0000", 14}, {"00:00:00", 23}, {"MISSING EXAMINATION", 48},
        {"", 74},           {"", 78},         {"\r\n", 91},
        {"/CO %", 101},     {"/CO2 %", 111},  {"/HC ppm", 121},
        {"/O2 %", 131},     {"/ RPM", 141},   {"/ `C", 160},
    };
    QByteArray text;
    for (const Item& item : items) {
        text += item.text;
        do
            text += ' ';
        while (text.size() < item.padTo);
    }
    text.truncate(kLogRecordSize - 2);
    return text + "\r\n";
}

} // namespace

const QByteArray& fillerRecord() {
    static const QByteArray record = layFillerOut();
    return record;
}

LogFileNames listLogFiles(const QString& dir) {
    LogFileNames names;
    const QStringList entries = QDir(dir).entryList({QStringLiteral("Pregledi*.GPG")},
                                                    QDir::AllEntries | QDir::System | QDir::Hidden |
                                                        QDir::CaseSensitive | QDir::NoDotAndDotDot,
                                                    QDir::Name);
    for (const QString& name : entries) {
        if (const std::optional<int> index = logFileIndexOf(name))
            names.indexes.append(*index);
        else
            names.strays.append(name);
    }
    std::sort(names.indexes.begin(), names.indexes.end());
    return names;
}

} // namespace vz
