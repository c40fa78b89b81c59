// The real pregledi program on the trail: verify's report and exit statuses, seal and the
// anchors against it, backup, and that none of them writes in the station directory.
#include "ProtocolArchive.h"
#include "TrailFixture.h"

#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <sys/stat.h>
#include <unistd.h>

using namespace vz;
using vz::test::TrailFixture;

namespace {

struct ToolRun {
    int status = -1;
    QString out;
    QString err;
};

// The program with `args`; a run that has not finished in 30 s is ended and told so.
ToolRun runTool(const QStringList& args) {
    const QByteArray fromEnv = qgetenv("VZ_BIN_DIR");
    const QString bin =
        fromEnv.isEmpty() ? QStringLiteral(VZ_DEFAULT_BIN_DIR) : QString::fromLocal8Bit(fromEnv);
    QProcess process;
    process.start(bin + QStringLiteral("/pregledi"), args);
    ToolRun run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("did not finish");
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// Every name in a directory with its kind, size, mode and modification time.
QStringList snapshot(const QString& dir) {
    QStringList entries;
    for (const QFileInfo& info : QDir(dir).entryInfoList(
             QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name)) {
        struct stat st {};
        ::lstat(QFile::encodeName(info.absoluteFilePath()).constData(), &st);
        entries.append(QStringLiteral("%1 %2 %3 %4 %5")
                           .arg(info.fileName())
                           .arg(st.st_mode, 0, 8)
                           .arg(st.st_size)
                           .arg(st.st_mtim.tv_sec)
                           .arg(st.st_mtim.tv_nsec));
    }
    return entries;
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

class TrailCommandsTest : public TrailFixture {
protected:
    QString dir() const { return scratch.path(); }
    ToolRun verifyRun(const QStringList& more = {}) {
        return runTool(QStringList{"--dir", dir(), "verify"} + more);
    }
};

TEST_F(TrailCommandsTest, VerifyReportsEveryFindingAndExitsByItsClass) {
    ToolRun run = runTool({"--help"});
    EXPECT_EQ(run.status, 0);
    for (const char* text : {"verify [--expect-head NUMBER:HEX] [--key FILE]", "seal",
                             "backup DIR [--with-key]", "3 no\ntampering"})
        EXPECT_TRUE(run.out.contains(QLatin1StringView(text))) << text << " in\n" << run.out.toStdString();

    station(12);
    run = verifyRun();
    EXPECT_EQ(run.status, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("chain: 12 entries (12 matching their records")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("summary: 0 signs of tampering, 0 crash remnants or recorded breaks\n"))
        << run.out.toStdString();

    logRecords(13, 13);
    run = verifyRun();
    EXPECT_EQ(run.status, 3) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("BREAK examination 13 (Pregledi00000.GPG record 13): the last record has no "
                                 "chain entry"))
        << run.out.toStdString();

    putRecord(4, recordOf(40));
    putRecord(9, recordOf(90));
    run = verifyRun();
    EXPECT_EQ(run.status, 1) << run.out.toStdString();
    const qsizetype four = run.out.indexOf("TAMPERING examination 4 (Pregledi00000.GPG record 4)");
    const qsizetype nine = run.out.indexOf("TAMPERING examination 9 (Pregledi00000.GPG record 9)");
    const qsizetype thirteen = run.out.indexOf("BREAK examination 13");
    EXPECT_TRUE(four >= 0 && four < nine && nine < thirteen) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("summary: 2 signs of tampering, 1 crash remnant or recorded break\n"))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("verify: TAMPERING")) << run.out.toStdString();

    // A FIFO in the chain's place is a finding, and nothing waits for a writer.
    ASSERT_TRUE(QFile::remove(kChainFileName));
    ASSERT_EQ(::mkfifo(kChainFileName, 0600), 0);
    run = verifyRun();
    EXPECT_EQ(run.status, 1) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("TAMPERING Pregledi.chain: a FIFO")) << run.out.toStdString();

    // Arguments that do not make a verify.
    for (const QStringList& bad :
         {QStringList{"verify", "--expect-head", "12"}, QStringList{"verify", "--expect-head", "12:abc"},
          QStringList{"list", "--key", "k"}, QStringList{"verify", "--with-key"}, QStringList{"backup"},
          QStringList{"seal", "--expect-head", "1:0123456789abcdef"}}) {
        run = runTool(QStringList{"--dir", dir()} + bad);
        EXPECT_EQ(run.status, 2) << bad.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith("pregledi: ")) << run.err.toStdString();
    }
    run = verifyRun({"--key", "no-such-key"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.contains("no-such-key: no such file")) << run.err.toStdString();
    run = runTool({"--dir", dir() + "/nowhere", "verify"});
    EXPECT_EQ(run.status, 2);
}

TEST_F(TrailCommandsTest, SealGivesTheHeadThatVerifyChecksAgainst) {
    ToolRun run = runTool({"--dir", dir(), "seal"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("there is no chain to seal")) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());

    useKey();
    station(7);
    run = runTool({"--dir", dir(), "seal"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("7 %1\n").arg(QString::fromLatin1(entryOf(7).hash.toHex())));
    const QStringList head = run.out.trimmed().split(u' ');
    ASSERT_EQ(head.size(), 2);

    // As the manager writes it down: the number and the first 16 digits.
    const QString kept = head[0] + u':' + head[1].left(16);
    run = verifyRun({"--expect-head", kept});
    EXPECT_EQ(run.status, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("seal: 7 " + head[1].left(16) + " is in the chain, and every record"))
        << run.out.toStdString();
    run = verifyRun({"--expect-head", head.join(u' ')});
    EXPECT_EQ(run.status, 0) << run.out.toStdString();

    // The next day's records keep the seal; a chain made again with the station's key does not.
    station(9, 8);
    EXPECT_EQ(verifyRun({"--expect-head", kept}).status, 0);
    putRecord(2, recordOf(20));
    rewriteChain(9, &key_);
    EXPECT_EQ(verifyRun().status, 0);
    run = verifyRun({"--expect-head", kept});
    EXPECT_EQ(run.status, 1) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("seal: 7 " + head[1].left(16) + " is NOT in the chain"))
        << run.out.toStdString();

    // The key kept off the station, in a file of its own.
    writeFile("offstation.key", key_.toHex() + '\n');
    EXPECT_EQ(verifyRun({"--key", dir() + "/offstation.key"}).status, 0);
    rewriteChain(9, nullptr);
    run = verifyRun({"--key", dir() + "/offstation.key"});
    EXPECT_EQ(run.status, 1) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("not keyed with " + dir() + "/offstation.key")) << run.out.toStdString();

    // A torn end after the last entry: the head is still the last whole entry.
    appendTo(kChainFileName, "0000001");
    run = runTool({"--dir", dir(), "seal"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.startsWith("9 ")) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains("torn")) << run.err.toStdString();
}

TEST_F(TrailCommandsTest, BackupCopiesTheTrailAndVerifiesTheCopy) {
    useKey();
    station(205);
    logRecords(206, 206); // the last record, not yet sealed
    writeFile("Pregledi.chain.torn-20261209-081500", "00000");
    writeFile("SERVICE.ini", "not part of the trail");
    // The two-speed tests' archive goes with the trail.
    ProtocolArchive archive(dir());
    ASSERT_TRUE(archive.begin(ArchiveSeries::Official, {{"registration", "CA1234BK"}}).ok);
    ASSERT_TRUE(archive.finish(ArchiveSeries::Official, 1, {{"verdict", "pass"}}).ok);
    const QString lines = ProtocolArchive::fileName(ArchiveSeries::Official, QDate::currentDate());
    const QString linesChain = lines.chopped(5) + QStringLiteral("chain");
    const QString target = dir() + "/../" + QFileInfo(dir()).fileName() + "-copy/day1";
    const QStringList before = snapshot(dir());

    ToolRun run = runTool({"--dir", dir(), "backup", target});
    EXPECT_EQ(run.status, 3) << run.out.toStdString() << run.err.toStdString();
    for (const QString& name : {QStringLiteral("Pregledi00000.GPG"), QStringLiteral("Pregledi00001.GPG"),
                                QStringLiteral("Pregledi.chain"),
                                QStringLiteral("Pregledi.chain.torn-20261209-081500"), lines, linesChain}) {
        EXPECT_EQ(readFile(target + '/' + name), readFile(name)) << name.toStdString();
        EXPECT_EQ(modeOf(target + '/' + name), 0640u) << name.toStdString();
    }
    EXPECT_FALSE(QFile::exists(target + "/Pregledi.key"));
    EXPECT_FALSE(QFile::exists(target + "/SERVICE.ini"));
    EXPECT_TRUE(run.out.contains("backup: copied 2 log files, Pregledi00000.GPG to Pregledi00001.GPG"))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("Pregledi.key not copied")) << run.out.toStdString();
    // The copy is checked with the station's key, which stayed behind.
    EXPECT_TRUE(run.out.contains("205 keyed, checked with the station's Pregledi.key (not copied)"))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("verify: no sign of tampering")) << run.out.toStdString();
    EXPECT_EQ(snapshot(dir()), before);

    // Without --with-key an earlier copy's key would stay beside a new copy: refused.
    run = runTool({"--dir", dir(), "backup", target, "--with-key"});
    EXPECT_EQ(run.status, 3) << run.out.toStdString();
    EXPECT_EQ(readFile(target + "/Pregledi.key"), readFile(kStationKeyFileName));
    EXPECT_EQ(modeOf(target + "/Pregledi.key"), 0600u);
    EXPECT_TRUE(run.out.contains("checked with Pregledi.key")) << run.out.toStdString();
    run = runTool({"--dir", dir(), "backup", target});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.contains("Pregledi.key from before")) << run.err.toStdString();

    // Never into the station directory itself, by any name.
    run = runTool({"--dir", dir(), "backup", dir() + "/."});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.contains("is the station directory itself")) << run.err.toStdString();

    // A log file that is a link is not followed: not copied, and the backup fails.
    ASSERT_TRUE(QFile::rename("Pregledi00001.GPG", "elsewhere.GPG"));
    ASSERT_TRUE(QFile::link(dir() + "/elsewhere.GPG", "Pregledi00001.GPG"));
    const QString second = target + "-2";
    run = runTool({"--dir", dir(), "backup", second});
    EXPECT_EQ(run.status, 1) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("backup: NOT COPIED Pregledi00001.GPG")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("a symbolic link")) << run.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(second + "/Pregledi00001.GPG"));
    EXPECT_FALSE(QFileInfo(second + "/Pregledi00001.GPG").isSymLink());
    QDir(QFileInfo(target).absolutePath()).removeRecursively();
}

TEST_F(TrailCommandsTest, VerifyAndSealWriteNothingInTheStationDirectory) {
    useKey();
    station(5);
    logRecords(6, 6);
    appendTo(kChainFileName, "000000");
    const QStringList before = snapshot(dir());
    const QString head = QString::fromLatin1(entryOf(5).hash.toHex());
    for (const QStringList& args :
         {QStringList{"verify"}, QStringList{"verify", "--expect-head", "5:" + head},
          QStringList{"verify", "--key", dir() + "/Pregledi.key"}, QStringList{"seal"}}) {
        const ToolRun run = runTool(QStringList{"--dir", dir()} + args);
        EXPECT_NE(run.status, 2) << args.join(' ').toStdString() << run.err.toStdString();
        EXPECT_EQ(snapshot(dir()), before) << args.join(' ').toStdString();
    }
    // What the station's next start would repair is told, not done.
    const ToolRun verify = runTool({"--dir", dir(), "verify"});
    EXPECT_TRUE(verify.out.contains("the station's next start:\n")) << verify.out.toStdString();
    EXPECT_TRUE(verify.out.contains("Pregledi.chain: the torn end after byte")) << verify.out.toStdString();
    EXPECT_EQ(snapshot(dir()), before);
}
