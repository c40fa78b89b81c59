#pragma once
// The fixture of the two-speed end-to-end runs: the station with no printer, the analyser
// simulator playing a car from data/vehicles/ held at its first point and driven through its
// control socket, the vehicle typed into the test window (F5) and the procedure brought to
// its phases. The line is a pseudo-terminal, so every test is a training test and its lines
// go to the training archive (Obuchenie-YYYY-MM.jsonl), which is what the runs read back.
#include "StationFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QThread>

namespace e2e {

class TwoSpeedStationFixture : public Station {
protected:
    // The test window's caption, and that of the questions it asks.
    static inline const QString kTestCaption = QStringLiteral("TWO-SPEED TEST");

    void SetUp() override {
        Station::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (findTool("xdotool").isEmpty())
            GTEST_SKIP() << "xdotool is not installed";
        // No printer: the print system is asked at a socket where none answers.
        extraEnv.insert("CUPS_SERVER", dir.filePath("no-cups.sock"));
        removedEnv << "LPDEST"
                   << "PRINTER";
    }

    // The full path of a program from the system's bin directories; empty when it is missing.
    static QString findTool(const QString& name) {
        for (const QString& bin : {QStringLiteral("/usr/bin"), QStringLiteral("/bin")}) {
            if (QFile::exists(bin + u'/' + name))
                return bin + u'/' + name;
        }
        return {};
    }

    static QList<QJsonObject> ofKind(const QList<QJsonObject>& lines, const QString& kind) {
        QList<QJsonObject> found;
        for (const QJsonObject& line : lines)
            if (line["kind"].toString() == kind)
                found << line;
        return found;
    }

    // The simulator playing `profile`, held at its first point (the probe in clean air at idle).
    void startCar(const QString& profile) {
        startSim({"--vehicle", sourceDir() + "/data/vehicles/" + profile + ".profile", "--hold", "--control",
                  dir.filePath("engine.sock")});
    }

    // One command to the simulator's control socket; its answer.
    QString control(const QString& command) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(binDir() + "/analyser-sim", {"--connect", dir.filePath("engine.sock")});
        if (!p.waitForStarted(5000))
            return QStringLiteral("error: not started");
        p.write(command.toUtf8() + '\n');
        p.closeWriteChannel();
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAll()).trimmed();
    }

    // A command the simulator must accept (e.g. "go 13": on to the profile's 13th second).
    void drive(const QString& command) {
        const QString answer = control(command);
        EXPECT_TRUE(answer.startsWith("ok")) << command.toStdString() << ": " << answer.toStdString();
    }

    void typeText(const QString& win, const QString& text) {
        run(x.display(), "xdotool", {"windowfocus", "--sync", win});
        run(x.display(), "xdotool", {"type", "--clearmodifiers", "--delay", "40", text});
    }

    // The station started, F5 pressed and the vehicle typed in until the archive holds the
    // test's started line; returns the test window, empty (the failure added) when any step
    // did not come.
    QString openTestWindow(const QString& registration) {
        startStation();
        answerStartupBox("DEMO FILE NOT FOUND");
        const QString main = mainWindow();
        if (main.isEmpty())
            return {};
        typeKeys(x.display(), main, {"F5"});
        const QString win = findWindow(x.display(), kTestCaption, 15000);
        EXPECT_FALSE(win.isEmpty()) << "F5 did not open the two-speed window";
        if (win.isEmpty())
            return {};
        known = {main, win};
        // Registration, make, model, first registration; fuel, control and approval stay.
        typeText(win, registration);
        typeKeys(x.display(), win, {"Tab"});
        typeText(win, "VW");
        typeKeys(x.display(), win, {"Tab"});
        typeText(win, "Golf");
        typeKeys(x.display(), win, {"Tab"});
        typeText(win, "14.03.2005");
        typeKeys(x.display(), win, {"Return"});
        if (!waitFor([&] { return !ofKind(archive(), "started").isEmpty(); }, 10000)) {
            ADD_FAILURE() << "the vehicle step did not start a test";
            return {};
        }
        return win;
    }

    // F2 starts the run; Enter is pressed until the procedure is in its phases (the gate
    // waits for 5 s of clean air, conditioning for the oil temperature). Enter does nothing
    // in a step that is not ready, nor once the phases run. The first journal line of
    // samples tells that the phases run.
    bool enterPhases(const QString& win) {
        typeKeys(x.display(), win, {"F2"});
        return waitFor(
            [&] {
                typeKeys(x.display(), win, {"Return"});
                QThread::msleep(900);
                return !ofKind(archive(), "samples").isEmpty();
            },
            45000);
    }

    void reachPhases(const QString& win) {
        ASSERT_TRUE(enterPhases(win)) << "the test never reached its phases";
    }

    // The test window opened for `registration` and its procedure in its phases; empty (the
    // failure added) when it did not get there.
    QString openTestWindowInPhases(const QString& registration) {
        const QString win = openTestWindow(registration);
        if (win.isEmpty())
            return {};
        if (!enterPhases(win)) {
            ADD_FAILURE() << "the test never reached its phases";
            return {};
        }
        return win;
    }

    // The training series' month files (Obuchenie-YYYY-MM.jsonl); the series' register of
    // numbers is none of them.
    QStringList archiveFiles() const {
        return QDir(dir.path()).entryList({"Obuchenie-\?\?\?\?-\?\?.jsonl"}, QDir::Files, QDir::Name);
    }

    // Every line of the training archive's month files, in order.
    QList<QJsonObject> archive() const {
        QList<QJsonObject> lines;
        for (const QString& name : archiveFiles())
            for (const QByteArray& line : fileBytes(name).split('\n'))
                if (!line.trimmed().isEmpty())
                    lines << QJsonDocument::fromJson(line).object();
        return lines;
    }

    // The names of the phases the samples lines say have ended.
    QStringList endedPhases() const {
        QStringList names;
        for (const QJsonObject& line : ofKind(archive(), "samples"))
            for (const QJsonValue& phase : line["ended"].toArray())
                names << phase["name"].toString();
        return names;
    }

    // A visible window named `name` that is none of the windows known so far.
    QString newWindow(const QString& name, int timeoutMs = 15000) {
        QString id;
        waitFor(
            [&] {
                const QString out = QString::fromLatin1(
                    run(x.display(), "xdotool", {"search", "--onlyvisible", "--name", name}));
                for (const QString& w : out.split(u'\n', Qt::SkipEmptyParts)) {
                    if (!known.contains(w.trimmed())) {
                        id = w.trimmed();
                        return true;
                    }
                }
                return false;
            },
            timeoutMs);
        return id;
    }

    void closeStation() {
        station.terminate();
        ASSERT_TRUE(station.waitForFinished(15000));
    }

    // pregledi on the scratch directory; its exit status (-1: it crashed), its standard
    // output in `out` when given.
    int pregledi(const QStringList& args, QString* out = nullptr) {
        QProcess p;
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start(binDir() + "/pregledi", QStringList{"--dir", dir.path()} + args);
        p.waitForFinished(20000);
        if (out)
            *out = QString::fromUtf8(p.readAllStandardOutput());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    // The one test pregledi lists in the training series, as JSON.
    QJsonObject listedTest() {
        QString out;
        EXPECT_EQ(pregledi({"tests", "--json", "--training"}, &out), 0) << out.toStdString();
        const QJsonArray tests = QJsonDocument::fromJson(out.toUtf8()).array();
        EXPECT_EQ(tests.size(), 1) << out.toStdString();
        return tests.at(0).toObject();
    }

    QStringList known; // the windows open before a message box
};

} // namespace e2e
