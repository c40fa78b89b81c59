#pragma once
// A station directory in a scratch directory, and what the trail tests read back from it.
#include "../ScratchFiles.h"
#include "ExamChain.h"
#include "LogFiles.h"

#include <QDir>
#include <QList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vz::test {

inline QByteArray record(char fill) {
    return QByteArray(kLogRecordSize - 2, fill) + "\r\n";
}

class TrailTest : public ::testing::Test, protected ScratchFiles {
protected:
    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }
    void put(const QString& name, const QByteArray& bytes) { writeFile(path(name), bytes); }
    QByteArray get(const QString& name) const { return readFile(path(name)); }
    QByteArray chainBytes() const { return get(QString::fromLatin1(kChainFileName)); }

    // Every line of the chain, which must all be entries.
    QList<ChainEntry> entries() const {
        QList<ChainEntry> all;
        for (const QByteArray& line : chainBytes().split('\n')) {
            if (line.isEmpty())
                continue;
            const std::optional<ChainEntry> entry = parseChainEntryLine(line + '\n');
            EXPECT_TRUE(entry) << "not an entry: " << line.constData();
            if (entry)
                all.append(*entry);
        }
        return all;
    }

    // The files of the directory whose names start with `prefix`.
    QStringList named(const QString& prefix) const {
        return QDir(dir.path())
            .entryList({prefix + u'*'}, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    }

    // A log of `count` records and the chain the station would have written over them.
    QByteArray writeSealedLog(int count, const QByteArray* key = nullptr) {
        QByteArray chain;
        QByteArray previous;
        for (int n = 1; n <= count; ++n) {
            const ExamPlace place = examPlace(n);
            QFile file(path(examLogFileName(place.fileIndex)));
            EXPECT_TRUE(file.open(QIODevice::Append));
            const QByteArray r = record(static_cast<char>('A' + n % 26));
            file.write(r);
            previous = chainHash(previous, r, key);
            chain += chainEntryLine({n, key != nullptr, previous});
        }
        put(QString::fromLatin1(kChainFileName), chain);
        return chain;
    }

    QTemporaryDir dir;
};

} // namespace vz::test
