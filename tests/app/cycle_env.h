#pragma once
// The cycle tests' fixture: a live station on the in-memory serial component of
// recording_env.h, with message boxes recorded through the message-box seam.
#include "MessageBox.h"
#include "StationLogic.h"
#include "recording_env.h"

#include <QString>
#include <gtest/gtest.h>

namespace cycletest {

struct Box {
    QString caption;
    QString text;
};

// A live station at 9600 baud with its port open, and a recorder for message boxes.
class CycleTest : public ::testing::Test {
protected:
    vz::StationState s;
    RecordingEnv env;
    QList<Box> boxes;

    void SetUp() override {
        s.DemoMode = false;
        env.connected = true;
        vz::setMessageBoxHandler(
            [this](QWidget*, const QString& caption, const QString& text, vz::MsgIcon, vz::MsgButtons) {
                boxes.append({caption, text});
                return vz::MsgAnswer::Ok;
            });
    }
    void TearDown() override { vz::setMessageBoxHandler({}); }

    // One cycle tick; returns the frames it wrote.
    QList<QByteArray> tick() {
        const qsizetype before = env.frames.size();
        vz::Timer1Timer(s, env);
        return env.frames.mid(before);
    }
    // The one frame a tick wrote, or an empty array when it wrote none.
    QByteArray tickFrame() {
        const QList<QByteArray> sent = tick();
        EXPECT_LE(sent.size(), 1);
        return sent.isEmpty() ? QByteArray() : sent.front();
    }
};

} // namespace cycletest
