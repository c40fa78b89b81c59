#pragma once
// The fixture of the end-to-end runs: a scratch station directory, a private X server, the
// analyser simulator behind COM1 on demand and the real station binary.
#include "E2eHarness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <iostream>

namespace e2e {

class Station : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths_findXvfb().isEmpty())
            GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    }

    void TearDown() override {
        if (station.state() != QProcess::NotRunning) {
            station.kill();
            station.waitForFinished(3000);
        }
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            sim.waitForFinished(3000);
        }
        // A failed run shows the end of what the station printed (sanitizer reports included).
        if (HasFailure()) {
            const QString err = stationErrors();
            if (!err.isEmpty())
                std::cerr << "--- station stderr (last 4 KB) ---\n" << err.right(4096).toStdString() << "\n";
        }
    }

    static QString QStandardPaths_findXvfb() {
        return QFile::exists("/usr/bin/Xvfb") ? "/usr/bin/Xvfb" : QString();
    }

    void startSim(const QStringList& extra = {}) {
        sim.setWorkingDirectory(dir.path());
        sim.setProcessChannelMode(QProcess::MergedChannels);
        sim.setStandardOutputFile(dir.filePath("sim.out"));
        sim.start(binDir() + "/analyser-sim", QStringList{"--link-dir", dir.path(), "--com", "1",
                                                          "--log-requests", dir.filePath("requests.log")} +
                                                  extra);
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(waitFor([&] { return QFileInfo(dir.filePath("COM1")).isSymLink(); }, 5000))
            << "no COM1 link";
    }

    // Starts the station in the scratch directory; `wrapper` runs it under another program
    // (e.g. prlimit) when given.
    void startStation(const QStringList& wrapper = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", x.display());
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.remove("WAYLAND_DISPLAY");
        for (const QString& key : extraEnv.keys())
            env.insert(key, extraEnv.value(key));
        for (const QString& key : removedEnv)
            env.remove(key);
        station.setProcessEnvironment(env);
        station.setWorkingDirectory(dir.path());
        // The output goes to files: the waits poll without an event loop, so a pipe nobody
        // reads would fill and stop the station at its next diagnostic line.
        station.setStandardOutputFile(dir.filePath("station.out"));
        station.setStandardErrorFile(dir.filePath("station.err"));
        if (wrapper.isEmpty())
            station.start(binDir() + "/vezaro", {});
        else
            station.start(wrapper.first(), wrapper.mid(1) + QStringList{binDir() + "/vezaro"});
        ASSERT_TRUE(station.waitForStarted(5000));
    }

    // Dismisses the start-up message box with the given title by pressing Enter.
    void answerStartupBox(const QString& title) {
        const QString box = findWindow(x.display(), title);
        ASSERT_FALSE(box.isEmpty()) << "no message box " << title.toStdString();
        typeKeys(x.display(), box, {"Return"});
    }

    QString mainWindow() {
        const QString id = findWindow(x.display(), "ZAN GAS ANALISER");
        EXPECT_FALSE(id.isEmpty());
        return id;
    }

    QByteArray requests() const { return fileBytes("requests.log"); }

    // What the station wrote to its standard error so far.
    QString stationErrors() const { return QString::fromLocal8Bit(fileBytes("station.err")); }

    QByteArray fileBytes(const QString& name) const {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    void writeFile(const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    void copyDemoFile() {
        ASSERT_TRUE(QFile::copy(sourceDir() + "/data/demo/VEZARO.DMO", dir.filePath("VEZARO.DMO")));
    }

    QProcessEnvironment extraEnv; // set for the station on top of the fixture's own
    QStringList removedEnv;       // taken out of the station's environment
    QTemporaryDir dir;
    XServer x;
    QProcess sim;
    QProcess station;
};

} // namespace e2e
