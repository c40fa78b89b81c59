#include "LogFiles.h"

#include <QFile>
#include <algorithm>
#include <cstring>
#include <dirent.h>

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
    // readdir, not QDir: the names alone are wanted, without a stat of each of a busy
    // station's hundreds of files at every PRINT.
    LogFileNames names;
    DIR* directory = ::opendir(QFile::encodeName(dir.isEmpty() ? QStringLiteral(".") : dir).constData());
    if (!directory)
        return names;
    while (const dirent* entry = ::readdir(directory)) {
        const char* name = entry->d_name;
        if (std::strncmp(name, "Pregledi", 8) != 0)
            continue;
        const size_t length = std::strlen(name);
        if (length < 12 || std::strcmp(name + length - 4, ".GPG") != 0)
            continue;
        const QString text = QFile::decodeName(name);
        if (const std::optional<int> index = logFileIndexOf(text))
            names.indexes.append(*index);
        else
            names.strays.append(text);
    }
    ::closedir(directory);
    std::sort(names.indexes.begin(), names.indexes.end());
    std::sort(names.strays.begin(), names.strays.end());
    return names;
}

} // namespace vz
