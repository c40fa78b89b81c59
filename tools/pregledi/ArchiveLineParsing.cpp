// A line's kind and number found without parsing it, and its object parsed with the long
// values left out.
#include "TestArchive.h"

#include "ArchiveReading.h"

#include <QJsonDocument>
#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

namespace vz {

namespace archive_reading {

qsizetype find(QByteArrayView hay, QByteArrayView needle, qsizetype from) {
    if (from >= hay.size())
        return -1;
    const void* at =
        ::memmem(hay.data() + from, size_t(hay.size() - from), needle.data(), size_t(needle.size()));
    return at ? static_cast<const char*>(at) - hay.data() : -1;
}

} // namespace archive_reading

namespace {

// The end of the JSON value that begins at `from` (the index just after it), or -1 when the
// line ends first. Strings are skipped whole, so brackets inside them do not count. Most of
// what is skipped is samples, so the loop looks at each byte once, through a table.
qsizetype valueEnd(QByteArrayView s, qsizetype from) {
    static const std::array<bool, 256> special = [] {
        std::array<bool, 256> table{};
        for (unsigned char c : {'"', '[', ']', '{', '}'})
            table[c] = true;
        return table;
    }();
    const char* const begin = s.data();
    const char* const end = begin + s.size();
    const char* p = begin + from;
    if (p >= end)
        return -1;
    // From an opening quote to its closing one, or nullptr.
    auto skipString = [&](const char* q) -> const char* {
        for (++q; q < end; ++q) {
            if (*q == '\\')
                ++q;
            else if (*q == '"')
                return q;
        }
        return nullptr;
    };
    if (*p == '"') {
        const char* close = skipString(p);
        return close ? close + 1 - begin : -1;
    }
    if (*p == '[' || *p == '{') {
        int depth = 0;
        for (; p < end; ++p) {
            if (!special[static_cast<unsigned char>(*p)])
                continue;
            const char c = *p;
            if (c == '"') {
                p = skipString(p);
                if (!p)
                    return -1;
            } else if (c == '[' || c == '{') {
                ++depth;
            } else if (--depth == 0) {
                return p + 1 - begin;
            }
        }
        return -1;
    }
    while (p < end && *p != ',' && *p != '}' && *p != ']' && *p != '\n')
        ++p;
    return p - begin;
}

} // namespace

using archive_reading::find;

LinePeek peekLine(QByteArrayView line) {
    LinePeek peek;
    static const QByteArray kind = "\"kind\":\"";
    static const QByteArray number = "\"number\":";
    const qsizetype k = find(line, kind);
    qsizetype from = 0;
    if (k >= 0) {
        from = k + kind.size();
        const qsizetype close = line.indexOf('"', from);
        if (close > from && close - from <= 16)
            peek.kind = line.sliced(from, close - from);
    }
    // "number" follows "kind" in a line's keys; a line without a kind is looked at whole.
    qsizetype n = find(line, number, from);
    if (n < 0 && from > 0)
        n = find(line, number);
    if (n >= 0) {
        qint64 value = 0;
        qsizetype i = n + number.size();
        const qsizetype start = i;
        while (i < line.size() && line[i] >= '0' && line[i] <= '9' && i - start < 10)
            value = value * 10 + (line[i++] - '0');
        if (i > start && value <= INT_MAX)
            peek.number = static_cast<int>(value);
    }
    return peek;
}

QJsonObject parseArchiveLine(QByteArrayView line, std::initializer_list<QByteArrayView> dropped) {
    if (dropped.size() == 0)
        return QJsonDocument::fromJson(line.toByteArray()).object();
    // The nearest of the keys from `from` on. Each key is looked for only up to the nearest one
    // found so far, so that no search runs across values about to be skipped.
    QList<QByteArray> keys;
    for (QByteArrayView key : dropped)
        keys.append('"' + key.toByteArray() + "\":");
    QByteArray kept;
    kept.reserve(std::min<qsizetype>(line.size(), 64 * 1024));
    qsizetype from = 0;
    for (;;) {
        qsizetype at = -1;
        qsizetype length = 0;
        for (const QByteArray& key : keys) {
            const QByteArrayView hay = at < 0 ? line : line.first(at + key.size());
            const qsizetype found = find(hay, key, from);
            if (found >= 0 && (at < 0 || found < at)) {
                at = found;
                length = key.size();
            }
        }
        if (at < 0)
            break;
        // A key, not text: inside a string every quote is escaped, so `"key":` is a key.
        const qsizetype end = valueEnd(line, at + length);
        if (end < 0)
            break;
        qsizetype cut = at;
        qsizetype resume = end;
        if (at > from && line[at - 1] == ',')
            cut = at - 1; // drop the comma before it
        else if (resume < line.size() && line[resume] == ',')
            ++resume; // the first member: drop the comma after it
        kept.append(line.sliced(from, cut - from));
        from = resume;
    }
    kept.append(line.sliced(from));
    return QJsonDocument::fromJson(kept).object();
}

} // namespace vz
