// The station's examination trail as a crash, a damaged disk or a station user may leave it:
// a log whose last file ends anywhere, a chain of any bytes (or whole entries with any bytes
// after them), a key file of any bytes. The chain readers must agree with each other and
// give back each entry's own bytes; the repair at start must keep every byte it cuts off,
// leave nothing to repair a second time, and the append after it must log the record at the
// place after every number the log or the chain holds, without rewriting either.
//
// Input: a flags byte (bit 0: the chain is whole entries over the records, followed by the
// raw chain bytes; bit 1: a key file of the key bytes; bit 2: the log is the second file;
// bits 3-5: whole records in the log), the raw chain bytes and the key bytes (a length byte
// and its bytes each; the chain's length byte counts in 16-byte steps), then the bytes after
// the log's last whole record.
#include "ChainFile.h"
#include "ExamChain.h"
#include "ExamTrail.h"
#include "FuzzSupport.h"
#include "LogFiles.h"
#include "TrailRecovery.h"

#include <QDir>

namespace {

using vzfuzz::require;

QByteArray recordNumber(int n) {
    return QByteArray(vz::kLogRecordSize - 2, static_cast<char>('A' + n % 26)) + "\r\n";
}

// The forward reader and the tail reader agree on the last whole entry, and each entry line
// is exactly what the writer makes of it.
void checkReaders(const QString& path, const QByteArray& chain) {
    vz::StationFile file;
    require(file.open(path, vz::StationFile::Access::Read), "the chain did not open");
    vz::ChainLineReader reader(file);
    vz::ChainLine line;
    int64_t total = 0;
    std::optional<vz::ChainEntry> last;
    int64_t lastEnd = 0;
    while (reader.next(line)) {
        require(line.offset == total || line.overlong, "a line is not where the previous one ended");
        if (line.entry) {
            require(vz::chainEntryLine(*line.entry) == line.bytes, "an entry is not its own line");
            last = line.entry;
            lastEnd = line.offset + line.bytes.size();
        }
        total = reader.offset();
    }
    require(reader.error().isEmpty(), "the forward reader failed");
    require(total == chain.size(), "the forward reader did not reach the end");
    const vz::ChainTail tail = vz::readChainTail(file);
    require(tail.size == chain.size(), "the tail reader has the wrong size");
    require(tail.last.has_value() == last.has_value(), "the readers disagree on a last entry");
    if (last) {
        require(vz::chainEntryLine(*tail.last) == vz::chainEntryLine(*last),
                "the readers disagree on the last entry");
        require(tail.wholeEnd == lastEnd, "the readers disagree on where the last entry ends");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vzfuzz::ScratchDir& dir = vzfuzz::ScratchDir::fresh();
    vzfuzz::Input in(data, size);
    const uint8_t flags = in.byte();
    const QByteArray rawChain = in.bytes(size_t(in.byte()) * 16);
    const QByteArray keyBytes = in.chunk();
    const QByteArray logTail = in.rest().left(4 * vz::kLogRecordSize);

    const int fileIndex = (flags & 0x04) ? 1 : 0;
    const int records = (flags >> 3) & 0x07;
    QByteArray log;
    QByteArray chain;
    QByteArray previous;
    for (int n = 1; n <= records; ++n) {
        log += recordNumber(n);
        previous = vz::chainHash(previous, recordNumber(n), nullptr);
        chain += vz::chainEntryLine({vz::examNumberAt(fileIndex, n), false, previous});
    }
    log += logTail;
    chain = (flags & 0x01) ? chain + rawChain : rawChain;
    dir.write(vz::examLogFileName(fileIndex), log);
    if (!chain.isEmpty())
        dir.write(QString::fromLatin1(vz::kChainFileName), chain);
    if (flags & 0x02)
        dir.write(QString::fromLatin1(vz::kStationKeyFileName), keyBytes);

    if (!chain.isEmpty())
        checkReaders(dir.filePath(QString::fromLatin1(vz::kChainFileName)), chain);

    // The repair: whatever it cuts off is kept beside, and a second look finds nothing to do.
    const vz::TrailInspection found = vz::inspectTrail(dir.path());
    const vz::RecoveryPlan plan = vz::decideRecovery(found);
    const vz::RecoveryResult result = vz::applyRecovery(found, plan);
    require(result.failed.isEmpty(), "a repair failed in a writable directory");
    const vz::TrailInspection after = vz::inspectTrail(dir.path());
    require(!vz::decideRecovery(after).repairs(), "the repair left something to repair");
    const QByteArray keptChain = dir.read(QString::fromLatin1(vz::kChainFileName));
    if (!plan.setAsideChain)
        require(keptChain.startsWith(plan.setAsideChainTail ? chain.left(plan.chainKeepSize) : chain),
                "the repair changed the chain before its end");
    const QByteArray keptLog = dir.read(vz::examLogFileName(fileIndex));
    require(keptLog.startsWith(log.left(log.size() - (plan.setAsideLogFile >= 0 ? found.log.tornBytes : 0))),
            "the repair changed a whole record");
    require(keptLog.size() % vz::kLogRecordSize == 0 || keptLog.size() > vz::kFullLogFileSize,
            "the log file is not whole records after the repair");

    // The append: the place after every number the log or the chain holds.
    const int highest = std::max(after.log.lastNumber, after.chain.last ? after.chain.last->examNumber : 0);
    const vz::TrailAppend appended = vz::appendExam(dir.path(), recordNumber(0));
    require(appended.logged, "the append failed in a writable directory");
    require(appended.examNumber == highest + 1, "the append did not take the next place");
    const vz::ExamPlace place = vz::examPlace(appended.examNumber);
    const QByteArray written = dir.read(vz::examLogFileName(place.fileIndex));
    require(written.mid(place.offset(), vz::kLogRecordSize) == recordNumber(0),
            "the record is not at its place");
    require(dir.read(QString::fromLatin1(vz::kChainFileName)).startsWith(keptChain),
            "the append rewrote the chain");
    return 0;
}
