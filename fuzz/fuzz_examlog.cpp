// The examination log as the log tool reads it: the bytes of a log file (and, when asked,
// a chain beside it) in a scratch station directory, scanned record by record, checked
// against the chain, listed, shown and exported. Every record the parser accepts must be
// the writer's own bytes for the fields it gives back; a chain made by the station's chain
// functions over the records must vouch for all of them, and one changed byte in it must be
// found.
//
// Input: a flags byte (bits 0-1: no chain, a chain made over the records, that chain with
// one byte changed, or a chain taken from the input; bit 2: a keyed chain with a station
// key; bit 3: the log is the second file, the first one missing; bit 4: a stray file whose
// name is no log name), two bytes for the changed position and its change, a filter text
// (a length byte and its bytes), a raw chain (a length byte and its bytes), then the log
// file's bytes.
#include "ExamChain.h"
#include "ExamLogReader.h"
#include "ExamRecord.h"
#include "FuzzSupport.h"
#include "LogExport.h"
#include "Pregledi.h"
#include "Verify.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

namespace {

using vzfuzz::require;

const QByteArray kKeyHex = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";

// The chain the station would have written beside these records.
QByteArray chainFor(const QList<vz::LoggedExam>& exams, const QByteArray* key) {
    QByteArray chain;
    QByteArray previous;
    for (const vz::LoggedExam& exam : exams) {
        vz::ChainEntry entry;
        entry.examNumber = exam.number;
        entry.keyed = key != nullptr;
        entry.hash = vz::chainHash(previous, exam.bytes, key);
        chain += vz::chainEntryLine(entry);
        previous = entry.hash;
    }
    return chain;
}

void checkRecords(const vz::ExamLogScan& scan) {
    for (const vz::LoggedExam& exam : scan.exams) {
        require(exam.bytes.size() == vz::kExamRecordSize, "a logged record is not 160 bytes");
        require(exam.fields.has_value() == !vz::recordProblem(exam.bytes).has_value(),
                "the fields and the record's problem disagree");
        if (!exam.fields)
            continue;
        require(vz::examRecordBytes(*exam.fields) == exam.bytes,
                "an accepted record is not the writer's bytes");
        const vz::ReportFields cut = vz::cutReportFields(*exam.fields);
        for (const vz::ExamRecordItem& item : vz::examRecordLayout())
            require(cut.*(item.field) == (*exam.fields).*(item.field),
                    "a parsed field is longer than its column");
    }
}

void checkExports(const vz::ExamLogScan& scan, const QString& filterText) {
    QList<const vz::LoggedExam*> all;
    qsizetype withFields = 0;
    for (const vz::LoggedExam& exam : scan.exams) {
        all.append(&exam);
        withFields += exam.fields ? 1 : 0;
        vz::examListLine(exam);
        vz::examShowText(exam);
        if (exam.fields)
            vz::parseLogDate(exam.fields->date);
    }
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(vz::examsJson(all), &error);
    require(error.error == QJsonParseError::NoError && json.isArray(), "the JSON export does not parse");
    require(json.array().size() == all.size(), "the JSON export does not hold every record");
    const QString csv = vz::examsCsv(all);
    require(csv.count(QStringLiteral("\r\n")) >= withFields + 1, "the CSV export misses lines");

    vz::ExamFilter filter;
    filter.reg = filterText;
    filter.text = filterText;
    filter.from = vz::parseLogDate(filterText);
    for (const vz::LoggedExam* exam : all)
        vz::examMatches(*exam, filter);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vzfuzz::ScratchDir& dir = vzfuzz::ScratchDir::fresh();
    vzfuzz::Input in(data, size);
    const uint8_t flags = in.byte();
    const int chainMode = flags & 0x03;
    const bool keyed = flags & 0x04;
    const int changeAt = in.byte() | (in.byte() << 8);
    const char change = static_cast<char>(in.byte() | 0x01); // never zero: the byte does change
    const QString filterText = QString::fromUtf8(in.chunk());
    const QByteArray rawChain = in.chunk();
    const QByteArray log = in.rest();

    const QString logName =
        (flags & 0x08) ? QStringLiteral("Pregledi00001.GPG") : QStringLiteral("Pregledi00000.GPG");
    dir.write(logName, log);
    if (flags & 0x10)
        dir.write(QStringLiteral("Pregledi1.GPG"), log.left(160));
    if (keyed)
        dir.write(QString::fromLatin1(vz::kStationKeyFileName), kKeyHex + '\n');

    vz::ExamLogScan scan = vz::scanExamLog(dir.path());
    require(scan.exams.size() == log.size() / vz::kExamRecordSize,
            "the scan did not take every whole record");
    require(scan.files == QList<QString>{logName}, "the scan did not find the log file");
    if (flags & 0x08)
        require(!scan.problems.isEmpty(), "a missing first log file went unreported");
    checkRecords(scan);
    checkExports(scan, filterText);

    // The chain's verdict: a chain made over the records finds no tampering and seals every
    // record; one changed byte in it is found; without a chain nothing is tampering unless a
    // log file is missing before this one.
    if (chainMode != 0) {
        const QByteArray key = QByteArray::fromHex(kKeyHex);
        QByteArray chain = chainMode == 3 ? rawChain : chainFor(scan.exams, keyed ? &key : nullptr);
        if (chainMode == 2 && !chain.isEmpty())
            chain[changeAt % chain.size()] = static_cast<char>(chain[changeAt % chain.size()] ^ change);
        dir.write(QString::fromLatin1(vz::kChainFileName), chain);
    }
    const vz::VerifyResult verified = vz::verifyTrail(dir.path(), {}, [](const vz::VerifyFinding&) {});
    require(verified.error.isEmpty(), "verify could not read the scratch directory");
    if (chainMode == 1 && !(flags & 0x08)) {
        require(verified.tampering == 0, "a chain made over the records is called tampering");
        require(verified.matched == scan.exams.size(), "a chain made over the records does not seal all");
    }
    if (chainMode == 2 && !scan.exams.isEmpty())
        require(verified.status() != vz::kVerifyClean, "a changed byte in the chain went unnoticed");
    if (chainMode == 0 && !(flags & 0x08))
        require(verified.tampering == 0, "records without a chain are called tampering");

    // The whole tool's verify says the same.
    vz::PreglediOptions options;
    options.command = QStringLiteral("verify");
    options.dir = dir.path();
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    require(vz::runPregledi(options, out, err) == verified.status(), "verify's exit code is not its verdict");
    return 0;
}
