#include "ArchiveSeriesCheck.h"

#include "ArchiveAnchors.h"
#include "ArchiveLines.h"
#include "TestRecordFields.h"

#include <QJsonDocument>
#include <algorithm>

namespace vz {

QString testNumbersText(ArchiveSeries series, QList<int> numbers) {
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    QStringList ranges;
    for (qsizetype i = 0; i < numbers.size();) {
        qsizetype j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1)
            ++j;
        if (ranges.size() == 6) {
            ranges.append(QStringLiteral("..."));
            break;
        }
        // "tests 1-10, 14": the word once, before the first.
        ranges.append(testRangeText(series, numbers[i], numbers[j]).section(u' ', 1));
        i = j + 1;
    }
    const bool one = numbers.size() == 1;
    return (one ? QStringLiteral("test ") : QStringLiteral("tests ")) + ranges.join(QStringLiteral(", "));
}

using test_fields::str;

namespace {

QString shortHex(const QByteArray& hex) {
    return QString::fromLatin1(hex.left(16));
}

} // namespace

ArchiveSeriesCheck::Month& ArchiveSeriesCheck::monthOf(const ArchiveFile& file) {
    for (Month& month : months_) {
        if (month.file.name == file.name)
            return month;
    }
    months_.append({file, false, 0, {}, {}, {}, 0});
    return months_.last();
}

void ArchiveSeriesCheck::plan(const QString& dir, const QList<ArchiveFile>& months) {
    for (const ArchiveFile& file : months) {
        series_ = file.series;
        monthOf(file);
        ArchiveLineReader reader;
        ArchiveLine first;
        if (!reader.open(stationPath(dir, file.name)) || !reader.next(first) || first.overlong)
            continue;
        if (peekLine(first.bytes).kind != QByteArrayView(kLinkKind))
            continue;
        const QJsonObject link = parseArchiveLine(first.bytes);
        const QString previous = str(link, "previous");
        if (!previous.isEmpty() && link.value(QStringLiteral("previousEntry")).toInt() > 0)
            wanted_[previous].insert(link.value(QStringLiteral("previousEntry")).toInt());
    }
}

bool ArchiveSeriesCheck::wantsEntry(const QString& file, int entry) const {
    const auto found = wanted_.constFind(file);
    return found != wanted_.cend() && found->contains(entry);
}

void ArchiveSeriesCheck::keepEntry(const QString& file, int entry, const QByteArray& hash) {
    kept_[file][entry].append(hash);
}

void ArchiveSeriesCheck::line(const ArchiveFile& file, int number, QByteArrayView bytes,
                              const LinePeek& peek) {
    if (file.isRegister) {
        if (peek.kind == QByteArrayView(kNumberedKind) && peek.number > 0)
            registered_[peek.number] = {str(parseArchiveLine(bytes), "file"), number};
        return;
    }
    Month& month = monthOf(file);
    month.lines = true;
    if (peek.kind == QByteArrayView(kStartedKind) && peek.number > 0) {
        const QJsonObject started = parseArchiveLine(bytes);
        starts_.emplace(peek.number,
                        Start{file.name, number, QDateTime::fromString(str(started, "time"), Qt::ISODate)});
        month.lowest = month.lowest == 0 ? peek.number : std::min(month.lowest, peek.number);
    } else if (peek.kind == QByteArrayView(kLinkKind)) {
        if (number == 1) {
            month.linkLine = 1;
            month.link = parseArchiveLine(bytes);
        } else {
            month.strayLinks.append(number);
        }
    } else if (peek.kind == QByteArrayView(kClockKind) && peek.number > 0) {
        month.clocks.insert(peek.number);
    }
}

QStringList ArchiveSeriesCheck::filesOfTest(int number) const {
    QStringList files;
    for (auto [it, end] = starts_.equal_range(number); it != end; ++it) {
        if (!files.contains(it->second.file))
            files.append(it->second.file);
    }
    return files;
}

void ArchiveSeriesCheck::checkLinks(const Add& add) const {
    const Month* linkedBefore = nullptr;
    for (const Month& month : months_) {
        const QString& name = month.file.name;
        for (const int stray : month.strayLinks)
            add(FindingClass::Tampering, name, stray,
                QStringLiteral("a link line that is not the file's first: lines of another file put in"));
        if (month.linkLine == 0) {
            if (linkedBefore && month.lines)
                add(FindingClass::Tampering, name, 0,
                    QStringLiteral("its first line is no link, though %1 before it begins with one: a month "
                                   "planted, or its first line removed")
                        .arg(linkedBefore->file.name));
            continue;
        }
        linkedBefore = &month;
        const QJsonObject& link = month.link;
        if (str(link, "file") != name)
            add(FindingClass::Tampering, name, 1,
                QStringLiteral("its link line names it %1: a copy of that month under another name")
                    .arg(str(link, "file")));
        const int highest = link.value(QStringLiteral("highest")).toInt();
        for (const auto& [number, start] : starts_) {
            if (start.file == name && number <= highest)
                add(FindingClass::Tampering, name, start.line,
                    QStringLiteral("test %1 is not past the series' highest number %2, which the month's "
                                   "link seals: a number given twice, or a test planted")
                        .arg(testNumberText(series_, number), testNumberText(series_, highest)));
        }
        const QString previous = str(link, "previous");
        if (previous.isEmpty()) {
            // It says it begins the series: no test may come before its own.
            for (const auto& [number, start] : starts_) {
                if (start.file != name && (month.lowest == 0 || number < month.lowest)) {
                    add(FindingClass::Tampering, name, 1,
                        QStringLiteral(
                            "its link says it begins the series, but test %1 (%2) comes before it: a "
                            "month planted, or its link made anew")
                            .arg(testNumberText(series_, number), start.file));
                    break;
                }
            }
            continue;
        }
        const QString head = str(link, "previousHead");
        if (head.isEmpty()) {
            add(FindingClass::Break, name, 1,
                QStringLiteral(
                    "when this month began, the head of %1 could not be sealed (%2): the months are "
                    "not linked here")
                    .arg(previous, str(link, "previousTrouble")));
            continue;
        }
        const bool present = std::any_of(months_.begin(), months_.end(),
                                         [&](const Month& m) { return m.file.name == previous; });
        if (!present) {
            add(FindingClass::Tampering, name, 1,
                QStringLiteral("its link seals the head of %1, which is missing: a month removed")
                    .arg(previous));
            continue;
        }
        const int entry = link.value(QStringLiteral("previousEntry")).toInt();
        const QList<QByteArray> values = kept_.value(previous).value(entry);
        const QByteArray wanted = head.toLatin1();
        if (std::none_of(values.begin(), values.end(),
                         [&](const QByteArray& v) { return v.toHex() == wanted; }))
            add(FindingClass::Tampering, name, 1,
                QStringLiteral(
                    "its link seals entry %1 of %2 as %3, but %4: %5 was rewritten or cut short after "
                    "this month began, or this month did not follow it (planted or copied)")
                    .arg(entry)
                    .arg(archiveChainName(previous), shortHex(wanted),
                         values.isEmpty()
                             ? QStringLiteral("the chain holds no such entry")
                             : QStringLiteral("that entry is now %1").arg(shortHex(values.last().toHex())),
                         previous));
    }
}

void ArchiveSeriesCheck::checkNumbers(const QString& dir, const Add& add) const {
    // A number begun in more than one file: one finding per pair of files.
    std::map<std::pair<QString, QString>, QList<int>> twice;
    for (auto it = starts_.begin(); it != starts_.end();) {
        const auto end = starts_.upper_bound(it->first);
        QStringList files;
        for (auto k = it; k != end; ++k)
            files.append(k->second.file);
        files.removeDuplicates();
        for (qsizetype i = 1; i < files.size(); ++i)
            twice[{files[0], files[i]}].append(it->first);
        it = end;
    }
    for (const auto& [files, numbers] : twice)
        add(FindingClass::Tampering, files.second, 0,
            QStringLiteral("%1 begun both here and in %2: a month file copied, or tests planted")
                .arg(testNumbersText(series_, numbers) +
                         (numbers.size() == 1 ? QStringLiteral(" is") : QStringLiteral(" are")),
                     files.first));

    // The high-water mark: the register's highest number, and the highest a link seals.
    int mark = 0;
    QString markWhere;
    if (!registered_.empty()) {
        mark = registered_.rbegin()->first;
        markWhere = archiveRegisterFile(series_).name;
    }
    for (const Month& month : months_) {
        const int highest = month.link.value(QStringLiteral("highest")).toInt();
        if (month.linkLine == 1 && highest > mark) {
            mark = highest;
            markWhere = QStringLiteral("the link of %1").arg(month.file.name);
        }
    }
    const int highest = starts_.empty() ? 0 : starts_.rbegin()->first;
    auto registeredFiles = [&](int from, int to) {
        QStringList files;
        for (auto it = registered_.lower_bound(from); it != registered_.end() && it->first <= to; ++it) {
            if (!files.contains(it->second.first))
                files.append(it->second.first);
        }
        return files;
    };
    auto whereGone = [&](int from, int to) {
        const QStringList files = registeredFiles(from, to);
        if (files.isEmpty())
            return QString();
        QStringList told;
        for (const QString& file : files)
            told.append(fileKindAt(stationPath(dir, file)) == FileKind::Missing
                            ? QStringLiteral("%1, which is missing").arg(file)
                            : file);
        return QStringLiteral("; the register gives them to %1").arg(told.join(QStringLiteral(", ")));
    };
    // Numbers missing below the highest.
    int expected = 1;
    for (auto it = starts_.begin(); it != starts_.end(); it = starts_.upper_bound(it->first)) {
        if (it->first > expected) {
            const auto before = it == starts_.begin() ? starts_.end() : std::prev(it);
            const QStringList given = registeredFiles(expected, it->first - 1);
            QList<int> gone;
            for (int n = expected; n < it->first; ++n)
                gone.append(n);
            add(FindingClass::Tampering, given.size() == 1 ? given[0] : it->second.file, 0,
                QStringLiteral("%1 missing from the series, %2test %3 (%4)%5: removed")
                    .arg(testNumbersText(series_, gone) +
                             (gone.size() == 1 ? QStringLiteral(" is") : QStringLiteral(" are")),
                         before == starts_.end()
                             ? QStringLiteral("before ")
                             : QStringLiteral("between test %1 (%2) and ")
                                   .arg(testNumberText(series_, before->first), before->second.file))
                    .arg(testNumberText(series_, it->first), it->second.file,
                         whereGone(expected, it->first - 1)));
        }
        expected = it->first + 1;
    }
    if (mark > highest) {
        const QStringList given = registeredFiles(highest + 1, mark);
        QList<int> gone;
        for (int n = highest + 1; n <= mark; ++n)
            gone.append(n);
        add(FindingClass::Tampering, given.size() == 1 ? given[0] : QString(), 0,
            QStringLiteral("the %1 series ends %2, below its high-water mark %3 (%4): %5 missing%6: a month "
                           "file removed, or cut short")
                .arg(archiveSeriesKey(series_),
                     highest > 0 ? QStringLiteral("at test %1").arg(testNumberText(series_, highest))
                                 : QStringLiteral("before its first test"),
                     testNumberText(series_, mark), markWhere,
                     testNumbersText(series_, gone) +
                         (gone.size() == 1 ? QStringLiteral(" is") : QStringLiteral(" are")),
                     whereGone(highest + 1, mark)));
    }
    // The register and the months agree on where each test began.
    for (const auto& [number, place] : registered_) {
        const QStringList files = filesOfTest(number);
        if (!files.isEmpty() && !files.contains(place.first))
            add(FindingClass::Tampering, archiveRegisterFile(series_).name, place.second,
                QStringLiteral("it gives test %1 to %2, but the test began in %3")
                    .arg(testNumberText(series_, number), place.first, files[0]));
    }
}

void ArchiveSeriesCheck::checkOrder(const Add& add) const {
    auto month = [&](const QString& file) -> const Month* {
        for (const Month& m : months_) {
            if (m.file.name == file)
                return &m;
        }
        return nullptr;
    };
    const Start* before = nullptr;
    int beforeNumber = 0;
    for (auto it = starts_.begin(); it != starts_.end(); it = starts_.upper_bound(it->first)) {
        const Start& start = it->second;
        const Month* here = month(start.file);
        if (before && here && here->linkLine == 1 && !here->clocks.contains(it->first)) {
            const Month* there = month(before->file);
            const bool earlierMonth = there && here->file.month < there->file.month;
            const bool earlierTime =
                start.time.isValid() && before->time.isValid() && start.time < before->time;
            if (earlierMonth || earlierTime)
                add(FindingClass::Tampering, start.file, start.line,
                    QStringLiteral(
                        "test %1 began %2 than test %3 (%4, %5), and no clock line explains it: tests "
                        "moved, or a month planted")
                        .arg(testNumberText(series_, it->first),
                             earlierMonth ? QStringLiteral("in an earlier month") : QStringLiteral("earlier"),
                             testNumberText(series_, beforeNumber), before->file,
                             before->time.toString(Qt::ISODate)));
        }
        before = &start;
        beforeNumber = it->first;
    }
}

void ArchiveSeriesCheck::finish(const QString& dir, const Add& add) const {
    checkLinks(add);
    checkNumbers(dir, add);
    checkOrder(add);
}

} // namespace vz
