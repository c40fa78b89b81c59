// The archive of two-speed tests as a crash or a hand may leave a month's file: lines of any
// bytes, torn at the end, with a chain of any bytes. The station's archive must record an
// unfinished test once, keep every whole line as it was and give a new test a number above
// every test the file began and every number its register holds; the log tool's verify must
// read it without failing, and its test commands read it back.
//
// Input: a flags byte (bit 0: training series; bit 1: a station key; bit 2: the same bytes are
// the series' register of numbers too; bit 3: the station's clock is a year behind the file's
// month, so that the new test begins a month file of its own with a link and, behind the
// file's tests, a clock line), the chain's bytes (a length byte in 8-byte steps and its
// bytes), then the archive file's bytes.
#include "ArchiveAnchors.h"
#include "FuzzSupport.h"
#include "ProtocolArchive.h"
#include "TestArchive.h"
#include "TwoSpeedRecord.h"
#include "Verify.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <limits>

namespace {

using vzfuzz::require;

const QByteArray kKeyHex = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";

// The highest number of a line of `kind` among the file's whole lines.
int highestOf(const QByteArray& file, const char* kind) {
    int highest = 0;
    const qsizetype end = file.lastIndexOf('\n');
    for (const QByteArray& line : file.left(end + 1).split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.value(QStringLiteral("kind")).toString() == QLatin1StringView(kind))
            highest = std::max(highest, object.value(QStringLiteral("number")).toInt());
    }
    return highest;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vzfuzz::ScratchDir& dir = vzfuzz::ScratchDir::fresh();
    vzfuzz::Input in(data, size);
    const uint8_t flags = in.byte();
    const QByteArray chain = in.bytes(size_t(in.byte()) * 8);
    const QByteArray file = in.rest();
    const vz::ArchiveSeries series = (flags & 1) ? vz::ArchiveSeries::Training : vz::ArchiveSeries::Official;
    const QDateTime now(QDate(2026, 12, 9), QTime(12, 0));
    const QString name = vz::ProtocolArchive::fileName(series, now.date());
    dir.write(name, file);
    if (!chain.isEmpty())
        dir.write(name.chopped(5) + QStringLiteral("chain"), chain);
    if (flags & 2)
        dir.write(QStringLiteral("Pregledi.key"), kKeyHex + '\n');
    const QString registry = vz::archiveRegisterName(series);
    if (flags & 4)
        dir.write(registry, file);

    // The log tool reads whatever is there.
    const vz::VerifyResult verified = vz::verifyTrail(dir.path(), {}, [](const vz::VerifyFinding&) {});
    require(verified.error.isEmpty(), "verify could not read the scratch directory");

    // An unfinished test is recorded once.
    vz::ProtocolArchive archive(dir.path(), [&] { return now; });
    const auto complete = [](const QJsonObject& started, const QList<QJsonObject>& samples) {
        return vz::twospeed::interruptedResult(started, samples);
    };
    archive.recordInterrupted(series, complete);
    require(archive.recordInterrupted(series, complete).isEmpty(), "an interrupted test was recorded twice");
    const QByteArray whole = file.left(file.lastIndexOf('\n') + 1);
    require(dir.read(name).startsWith(whole), "a whole line of the archive changed");

    // A new test gets a number above every started test the file holds and every number the
    // register gives.
    const int highest = std::max(highestOf(dir.read(name), "started"),
                                 (flags & 4) ? highestOf(dir.read(registry), "numbered") : 0);
    const QDateTime start = (flags & 8) ? now.addYears(-1) : now;
    vz::ProtocolArchive later(dir.path(), [&] { return start; });
    const vz::ArchiveWrite begun =
        later.begin(series, {{QStringLiteral("registration"), QStringLiteral("CA1234BK")}});
    if (highest == std::numeric_limits<int>::max() && !begun.ok)
        return 0; // no number is left after that one
    require(begun.ok, "a new test could not begin in a writable directory");
    require(begun.number > highest || highest <= 0, "a new test got a number the archive already holds");
    require(later.finish(series, begun.number, {{QStringLiteral("verdict"), QStringLiteral("pass")}}).ok,
            "the new test could not finish");
    require(dir.read(name).startsWith(whole), "a whole line of the archive changed");

    // The log tool reads it all back, and finds the new test where it is.
    vz::verifyTrail(dir.path(), {}, [](const vz::VerifyFinding&) {});
    vz::readTests(
        dir.path(), series, {}, {}, [](const vz::RecordedTest&) {}, [](const vz::ArchiveProblem&) {});
    require(vz::findTest(dir.path(), series, begun.number).test.has_value(), "the new test cannot be found");
    return 0;
}
