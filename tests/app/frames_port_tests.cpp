// Opening and closing the port on the operator's behalf, and the send-failure warning.
#include "StationLogic.h"
#include "frames_test_support.h"

#include <gtest/gtest.h>

using namespace vz;
using namespace vz::test;

TEST(PortOperations, ConnectOpensOnlyAClosedPortOutsideDemoModeAndReportsFailure) {
    FakeEnv env;
    MessageRecorder boxes(&env);
    StationState s;
    s.DemoMode = true;
    ConnectToolButtonClick(s, env);
    EXPECT_TRUE(env.calls.isEmpty());

    s.DemoMode = false;
    ConnectToolButtonClick(s, env);
    EXPECT_EQ(env.calls, QStringList{"Connect"});
    EXPECT_TRUE(env.connected);
    ConnectToolButtonClick(s, env); // already open
    EXPECT_EQ(env.calls.size(), 1);
    EXPECT_TRUE(boxes.boxes.empty());

    env.connected = false;
    env.connectSucceeds = false;
    ConnectToolButtonClick(s, env);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, "COM Port Error");
    EXPECT_EQ(boxes.boxes[0].text,
              "Could not connect to serial port.\r\nPlease, check settings and try again.");
    EXPECT_EQ(boxes.boxes[0].icon, MsgIcon::Error);
}

TEST(PortOperations, DisconnectClosesOnlyAnOpenPort) {
    FakeEnv env;
    DisconnectToolButtonClick(env);
    EXPECT_TRUE(env.calls.isEmpty());
    env.connected = true;
    DisconnectToolButtonClick(env);
    EXPECT_EQ(env.calls, QStringList{"Disconnect"});
    EXPECT_FALSE(env.connected);
}

TEST(PortOperations, SendErrorClosesThePortBeforeWarningByTheLineCheckSetting) {
    const std::pair<bool, const char*> cases[] = {
        {true, "Could not send data.\r\nNo device connected to serial port or device is off. Please, turn it "
               "on.\r\nTry setting Device Check to Off in the settings dialog box.\r\nAlso, replace your two "
               "wires serial cable with a full wires cable."},
        {false,
         "Could not send data.\r\nPlease, check connections and try again.\r\nTurn serial device on, or "
         "try setting Device Check to On in the settings dialog box.\r\nAlso, disable Hardware Flow "
         "Control if you are using a two wires cable."},
    };
    for (auto [check, text] : cases) {
        FakeEnv env;
        env.connected = true;
        env.checkLineStatus = check;
        MessageRecorder boxes(&env);
        ShowSendError(env);
        EXPECT_EQ(env.calls, QStringList{"Disconnect"});
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_FALSE(boxes.boxes[0].portOpenWhenShown);
        EXPECT_EQ(boxes.boxes[0].caption, "Warning");
        EXPECT_EQ(boxes.boxes[0].text, text);
        EXPECT_EQ(boxes.boxes[0].icon, MsgIcon::Information);
        EXPECT_EQ(boxes.boxes[0].buttons, MsgButtons::Ok);
    }
}
