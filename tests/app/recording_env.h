#pragma once
// A station environment that plays the serial component in memory: it records every frame
// the cycle writes, byte for byte, and lets its user decide the line rate, whether the port
// opens and whether a send fails. Free of the test framework, so the fuzz targets use it too.
#include "StationEnv.h"
#include "StationState.h"

#include <QByteArray>
#include <QList>

namespace cycletest {

// The command frames as they must appear on the line.
inline const QByteArray RG = QByteArray::fromHex("02315247434103");
inline const QByteArray RM = QByteArray::fromHex("0231524D443003");
inline const QByteArray IN = QByteArray::fromHex("0231494E433803");
inline const QByteArray RS = QByteArray::fromHex("02315253443603");
inline const QByteArray OUBlank = QByteArray::fromHex("02314F5517203043"
                                                      "03");
inline const QByteArray OUA = QByteArray::fromHex("02314F551741324403");
inline const QByteArray OUP = QByteArray::fromHex("02314F551750334303");
inline const QByteArray ZP = QByteArray::fromHex("02315A50444203");
inline const QByteArray ZE = QByteArray::fromHex("02315A45443003");
inline const QByteArray Start = QByteArray::fromHex("64010404");
inline const QByteArray Reset = QByteArray::fromHex("64010000");

class RecordingEnv : public vz::StationEnv {
public:
    bool connected = false;
    bool connectSucceeds = true;
    bool sendFails = false;
    uint32_t rate = 9600;
    bool lineCheck = false;
    int connectCalls = 0;
    int failedConnects = 0;
    int failedSends = 0; // non-empty writes refused: port closed or sendFails
    int disconnectCalls = 0;
    int demoSteps = 0;
    int beeps = 0;
    QList<QByteArray> frames; // every non-empty write, in order
    int emptySends = 0;

    bool IsConnected() const override { return connected; }
    bool Connect() override {
        ++connectCalls;
        connected = connectSucceeds;
        if (!connected)
            ++failedConnects;
        return connected;
    }
    void Disconnect() override {
        ++disconnectCalls;
        connected = false;
    }
    bool SendText(const QByteArray& bytes) override {
        if (bytes.isEmpty()) {
            ++emptySends;
            return true; // nothing to write is a successful write
        }
        if (!connected || sendFails) {
            ++failedSends;
            return false;
        }
        frames.append(bytes);
        return true;
    }
    uint32_t BaudRateValue() const override { return rate; }
    bool CheckLineStatus() const override { return lineCheck; }
    // With demoLines set, each step puts the next two of them into slots 1 and 2, starting
    // over after the last, as a demo file of those lines replays; without, the slots stay.
    bool DemoReplayStep(vz::StationState& state) override {
        ++demoSteps;
        if (!demoReadOk)
            return false;
        for (int slot = 0; slot < 2 && !demoLines.isEmpty(); ++slot) {
            state.FrameSlots[slot] = demoLines[demoNext];
            demoNext = (demoNext + 1) % demoLines.size();
        }
        return true;
    }
    bool demoReadOk = true;
    QList<QByteArray> demoLines;
    qsizetype demoNext = 0;
    void Beep() override { ++beeps; }
};

} // namespace cycletest
