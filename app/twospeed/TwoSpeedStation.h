#pragma once
// What the two-speed test window needs from the station: the module state the cycle and the
// decoder keep up to date, the serial line it runs on, the vehicle chosen with F1, and the two
// operator commands the window gives on the operator's behalf. The main window provides it;
// `stepped` is emitted after every tick of the cycle timer and every received block, once
// the state is up to date.
#include "SelectedVehicle.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

namespace vz {

struct StationState;

// The vehicle chosen with F1: its limits row, and its make, model and engine speed when
// the limits table gave them.
struct ChosenVehicle {
    SelectedVehicle row;
    QString make;
    QString model;
    std::optional<int> rpm;
};

class TwoSpeedStation : public QObject {
    Q_OBJECT
public:
    ~TwoSpeedStation() override = default;

    virtual const StationState& state() const = 0;
    virtual uint32_t baudRate() const = 0;
    // The port as the settings name it ("COM1") and the device it opens.
    virtual QString portName() const = 0;
    virtual QString devicePath() const = 0;
    // Whether the serial port is open: a port that closes during a test (a failed send closes
    // it) has lost the analyser.
    virtual bool portOpen() const = 0;
    // The vehicle chosen with F1; none when no vehicle is chosen.
    virtual std::optional<ChosenVehicle> chosenVehicle() const = 0;
    // F2 and F3, exactly as the keys on the main window (start or stop the run; zero).
    virtual void pressF2() = 0;
    virtual void pressF3() = 0;
    // The engine-speed mode, as a click on the main window's RPM group item
    // (0 RPM/1, 1 RPM/2, 2 vacuum).
    virtual void chooseRpmMode(int itemIndex) = 0;

signals:
    void stepped();
};

} // namespace vz
