#pragma once
// A station directory written by hand for the trail's tests: records at their places and a
// chain written entry by entry the way the station writes it, so that each test can then
// damage either as an intruder or a crash would, and verify what is left.
#include "ExamChain.h"
#include "ExamRecord.h"
#include "LogFiles.h"
#include "PreglediTestSupport.h"
#include "Verify.h"

#include <QDirIterator>

namespace vz::test {

class TrailFixture : public StationDirTest {
protected:
    static QByteArray recordOf(int n) { return examRecordBytes(examFields(n)); }
    static QString logName(int n) { return examLogFileName(examPlace(n).fileIndex); }

    // Writes `bytes` at examination n's place.
    static void putRecord(int n, const QByteArray& bytes) {
        const ExamPlace place = examPlace(n);
        QFile file(examLogFileName(place.fileIndex));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.seek(place.offset()));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    static QByteArray recordAt(int n) {
        const ExamPlace place = examPlace(n);
        return readFile(examLogFileName(place.fileIndex)).mid(place.offset(), kLogRecordSize);
    }
    static void appendTo(const QString& name, const QByteArray& bytes) {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    void logRecords(int first, int last) {
        for (int n = first; n <= last; ++n)
            putRecord(n, recordOf(n));
    }
    // The entry of the record now at n's place, after the previous entry.
    void seal(int n, ChainEntryKind kind = ChainEntryKind::Record) {
        const ChainEntry entry{
            n, keyed_, chainHash(previous_, recordAt(n), keyed_ ? &key_ : nullptr), kind, {}};
        appendTo(kChainFileName, chainEntryLine(entry));
        previous_ = entry.hash;
    }
    void breakEntry(int n, const QByteArray& reason) {
        const ChainEntry entry{n, keyed_, breakHash(previous_, n, reason, keyed_ ? &key_ : nullptr),
                               ChainEntryKind::Break, reason};
        appendTo(kChainFileName, chainEntryLine(entry));
        previous_ = entry.hash;
    }
    // Examinations first..last logged and sealed, as PRINT does.
    void station(int last, int first = 1) {
        for (int n = first; n <= last; ++n) {
            putRecord(n, recordOf(n));
            seal(n);
        }
    }
    // A station key in Pregledi.key; the entries from here on are keyed with it.
    void useKey(char fill = '7') {
        key_ = QByteArray(kChainHashSize, fill);
        keyed_ = true;
        writeFile(kStationKeyFileName, key_.toHex() + '\n');
        QFile::setPermissions(kStationKeyFileName, QFile::ReadOwner | QFile::WriteOwner);
    }
    // A new chain over the records now in the log, 1..last, as someone who can write the files
    // (and, with `key`, read the station's key) would make it.
    void rewriteChain(int last, const QByteArray* key) {
        QByteArray chain;
        QByteArray previous;
        for (int n = 1; n <= last; ++n) {
            const ChainEntry entry{
                n, key != nullptr, chainHash(previous, recordAt(n), key), ChainEntryKind::Record, {}};
            chain += chainEntryLine(entry);
            previous = entry.hash;
        }
        writeFile(kChainFileName, chain);
    }
    // The chain's entry for examination n (the first one with that number).
    static ChainEntry entryOf(int n) {
        const QByteArray chain = readFile(kChainFileName);
        for (const QByteArray& line : chain.split('\n')) {
            const std::optional<ChainEntry> entry = parseChainEntryLine(line + '\n');
            if (entry && entry->examNumber == n)
                return *entry;
        }
        ADD_FAILURE() << "no entry for " << n;
        return {};
    }
    // A head as `pregledi seal` gives it, taken now at examination n.
    static ExpectedHead headAt(int n, int digits = 64) {
        return ExpectedHead{n, entryOf(n).hash.toHex().left(digits)};
    }
    // Every file of the scratch directory gone, and the chain state with it.
    void clearStation() {
        QDirIterator files(QStringLiteral("."),
                           QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
        while (files.hasNext()) {
            const QString path = files.next();
            if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink())
                QDir(path).removeRecursively();
            else
                QFile::remove(path);
        }
        previous_.clear();
        keyed_ = false;
        key_.clear();
    }

    struct Verified {
        VerifyResult result;
        QList<VerifyFinding> findings;
        int status = -1;
        int count(FindingClass kind) const {
            return static_cast<int>(std::count_if(findings.begin(), findings.end(),
                                                  [&](const VerifyFinding& f) { return f.kind == kind; }));
        }
        QList<VerifyFinding> of(FindingClass kind) const {
            QList<VerifyFinding> found;
            for (const VerifyFinding& f : findings) {
                if (f.kind == kind)
                    found.append(f);
            }
            return found;
        }
        std::string text() const {
            QString lines;
            for (const VerifyFinding& f : findings)
                lines += describeFinding(f) + u'\n';
            return lines.toStdString();
        }
    };
    static Verified verify(const VerifyOptions& options = {}) {
        Verified verified;
        verified.result = verifyTrail(QStringLiteral("."), options,
                                      [&](const VerifyFinding& f) { verified.findings.append(f); });
        verified.status = verified.result.status();
        return verified;
    }
    static VerifyOptions expecting(const ExpectedHead& head) {
        VerifyOptions options;
        options.expectHead = head;
        return options;
    }
    static VerifyOptions withKey(const QByteArray& key) {
        VerifyOptions options;
        options.offStationKey = key;
        options.offStationKeyName = QStringLiteral("the off-station key");
        return options;
    }

    QByteArray key_;
    bool keyed_ = false;
    QByteArray previous_;
};

} // namespace vz::test
