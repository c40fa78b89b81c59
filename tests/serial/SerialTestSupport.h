#pragma once
// Test support for the serial component: a pseudo-terminal pair whose master end plays the
// analyser, a scratch current directory, a replaceable tick clock, and event-loop pumping
// with a condition.
#include "../ScratchFiles.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>

// A raw pty. The slave's path is the port name; the master is the far end of the line.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    QString slavePath() const { return path; }
    int slaveFd() const { return slave; }
    // Writes bytes from the far end.
    void send(const QByteArray& bytes);
    // Reads from the far end until `count` bytes came or `ms` passed.
    QByteArray receive(int count, int ms = 1000);
    // Everything the far end can read within `ms`.
    QByteArray receiveAll(int ms = 50);
    // Waits until the line discipline holds at least `count` unread bytes for the port.
    bool waitQueued(int count, int ms = 2000);
    // The far end goes away.
    void closeMaster();

private:
    int master = -1;
    int slave = -1;
    QString path;
};

// A fresh current directory for one test.
using ScratchDir = vz::test::ScratchCurrentDir;

// Installs a fake millisecond clock for the life of the object.
class FakeClock {
public:
    explicit FakeClock(uint32_t start);
    ~FakeClock();
    uint32_t now;
};

// Runs the event loop until `done` holds or `ms` pass; returns whether it held.
bool pumpUntil(const std::function<bool()>& done, int ms);
// Runs the event loop for `ms`.
void pumpFor(int ms);
