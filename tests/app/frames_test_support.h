#pragma once
// Shared pieces of the frame and display tests: a recording station environment, a message
// box recorder and a builder for analyser frames.
#include "AnalyserFrames.h"
#include "MessageBox.h"
#include "StationEnv.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace vz::test {

// Plays the serial component: records every call in order.
class FakeEnv : public StationEnv {
public:
    bool connected = false;
    bool connectSucceeds = true;
    uint32_t baud = 9600;
    bool checkLineStatus = false;
    QStringList calls;
    std::vector<QByteArray> sent;

    bool IsConnected() const override { return connected; }
    bool Connect() override {
        calls << QStringLiteral("Connect");
        connected = connectSucceeds;
        return connectSucceeds;
    }
    void Disconnect() override {
        calls << QStringLiteral("Disconnect");
        connected = false;
    }
    bool SendText(const QByteArray& bytes) override {
        calls << QStringLiteral("SendText");
        sent.push_back(bytes);
        return true;
    }
    uint32_t BaudRateValue() const override { return baud; }
    bool CheckLineStatus() const override { return checkLineStatus; }
    bool DemoReplayStep(StationState&) override {
        calls << QStringLiteral("DemoReplayStep");
        return true;
    }
    void Beep() override { calls << QStringLiteral("Beep"); }
};

struct RecordedBox {
    QString caption;
    QString text;
    MsgIcon icon;
    MsgButtons buttons;
    bool portOpenWhenShown;
};

// Installs itself as the message-box handler for its lifetime and answers OK at once.
class MessageRecorder {
public:
    explicit MessageRecorder(const FakeEnv* env = nullptr) {
        setMessageBoxHandler([this, env](QWidget*, const QString& caption, const QString& text, MsgIcon icon,
                                         MsgButtons buttons) {
            boxes.push_back({caption, text, icon, buttons, env && env->connected});
            return MsgAnswer::Ok;
        });
    }
    ~MessageRecorder() { setMessageBoxHandler({}); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<RecordedBox> boxes;
};

// A frame as the analyser sends it: start byte, address "1", the type, the body, end byte.
inline QByteArray frame(const char* type, const QByteArray& body) {
    return QByteArray(1, analyser::kStart) + "1" + type + body + QByteArray(1, analyser::kEnd);
}

// A 43-character result record with the given fields (6, 5, 5, 5 and 4 characters).
inline QByteArray resultRecord(const char* co, const char* co2, const char* hc, const char* o2,
                               const char* rpm = "0000") {
    return frame("RG", QByteArray(1, analyser::kEtb) + " " + co + " " + co2 + " " + hc + " " + o2 + " 00000" +
                           rpm + "30");
}

} // namespace vz::test
