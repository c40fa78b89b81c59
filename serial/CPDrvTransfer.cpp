// TCommPortDriver: sending with a no-progress time-out, and the polling tick that hands
// received bytes to the owner in data mode or packet mode.
#include "CPDrv.h"

#include "Clock.h"
#include "Diagnostics.h"
#include "PortNames.h"

#include <QElapsedTimer>
#include <QSerialPort>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
constexpr uint32_t kNoTick = 0xFFFFFFFFu;
// The longest single wait for room in the output queue, like a write that gives up after
// about 10 ms with whatever the driver took.
constexpr int kWriteSliceMs = 10;
} // namespace

// ---- Output --------------------------------------------------------------------------

uint32_t TCommPortDriver::OutputQueued() {
    uint32_t queued = static_cast<uint32_t>(PortHandle->bytesToWrite());
    int kernelQueued = 0;
    if (::ioctl(PortHandle->handle(), TIOCOUTQ, &kernelQueued) == 0 && kernelQueued > 0)
        queued += static_cast<uint32_t>(kernelQueued);
    return queued;
}

uint16_t TCommPortDriver::OutputRoom() {
    if (!IsConnected())
        return 65535;
    if (!DeviceUsable())
        return 0;
    // The kernel may hold more than OutBufSize; that is no room rather than a wrapped count.
    const uint32_t queued = OutputQueued();
    return queued >= FOutBufSize ? 0 : static_cast<uint16_t>(FOutBufSize - queued);
}

TModemLines TCommPortDriver::ModemLines() {
    if (!DeviceUsable())
        return 0;
    // A port without modem lines (a pty) fails the query, which reads as no line on.
    const QSerialPort::PinoutSignals pins = PortHandle->pinoutSignals();
    TModemLines lines = 0;
    if (pins & QSerialPort::ClearToSendSignal)
        lines |= mlCTS;
    if (pins & QSerialPort::DataSetReadySignal)
        lines |= mlDSR;
    if (pins & QSerialPort::RingIndicatorSignal)
        lines |= mlRING;
    if (pins & QSerialPort::DataCarrierDetectSignal)
        lines |= mlRLSD;
    return lines;
}

// The descriptor is non-blocking, so a full queue gives 0 rather than a stall. Errors that
// mean the device is gone end the transfer; anything else is retried until the time-out.
uint32_t TCommPortDriver::WriteDevice(const char* data, uint32_t size, int& lostError) {
    const ssize_t written = ::write(PortHandle->handle(), data, size);
    if (written > 0)
        return static_cast<uint32_t>(written);
    if (written < 0 &&
        (errno == EIO || errno == ENXIO || errno == ENODEV || errno == EBADF || errno == EPIPE)) {
        lostError = errno;
        MarkDeviceLost(QString::fromLocal8Bit(std::strerror(lostError)));
    }
    return 0;
}

void TCommPortDriver::WaitWritable(int ms) {
    if (ms <= 0)
        return;
    pollfd pfd{PortHandle->handle(), POLLOUT, 0};
    ::poll(&pfd, 1, ms);
}

uint32_t TCommPortDriver::SendBytes(const void* data, uint32_t size, uint32_t timeout) {
    uint32_t sent = 0;
    const uint32_t total = size;
    // Why a send stopped short, for the diagnostic line.
    auto reportShort = [&](const QString& why) {
        if (sent < total)
            qCWarning(vz::lcPort, "send to %s failed: %s (%u of %u bytes sent)",
                      qUtf8Printable(OpenedAs.isEmpty() ? shortPortName(FPortName) : OpenedAs),
                      qUtf8Printable(why), sent, total);
    };
    if (!IsConnected()) {
        reportShort(QStringLiteral("port not open"));
        return 0;
    }
    const char* next = static_cast<const char*>(data);
    uint32_t lastProgress = vz::GetTickCount();
    // The tick count can be replaced (and frozen) in tests; a real clock bounds the wait too.
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    int lostError = 0;
    QString why;
    while (size > 0 && DeviceUsable()) {
        const uint16_t room = OutputRoom();
        if (room > 0) {
            if (FCheckLineStatus && ModemLines() == 0) {
                why = QStringLiteral("no modem line on");
                break;
            }
            const uint32_t written = WriteDevice(next, std::min<uint32_t>(size, room), lostError);
            if (written > 0) {
                sent += written;
                next += written;
                size -= written;
                lastProgress = vz::GetTickCount();
                sinceProgress.restart();
                continue;
            }
        }
        if (!DeviceUsable())
            break;
        const qint64 waited = sinceProgress.elapsed();
        if (vz::GetTickCount() - lastProgress > timeout || waited > static_cast<qint64>(timeout)) {
            why = QStringLiteral("no progress for %1 ms").arg(timeout);
            break;
        }
        if (room > 0) {
            WaitWritable(static_cast<int>(std::min<qint64>(kWriteSliceMs, timeout - waited + 1)));
        } else {
            ::usleep(1000); // the queue drains at line speed; poll() can't wait for that
        }
    }
    if (why.isEmpty())
        why =
            lostError != 0 ? QString::fromLocal8Bit(std::strerror(lostError)) : QStringLiteral("device lost");
    reportShort(why);
    return sent;
}

uint32_t TCommPortDriver::SendBytes(const void* data, uint32_t size) {
    return SendBytes(data, size, FOutputTimeout);
}

// The text goes out by its length: zero bytes inside it are sent like any other.
bool TCommPortDriver::SendText(const QByteArray& text) {
    const auto length = static_cast<uint32_t>(text.size());
    return SendBytes(text.constData(), length, FOutputTimeout) == length;
}

// ---- Input ---------------------------------------------------------------------------

void TCommPortDriver::PullPending() {
    pollfd pfd{PortHandle->handle(), POLLIN, 0};
    if (::poll(&pfd, 1, 0) <= 0)
        return;
    if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        MarkDeviceLost(pfd.revents & POLLHUP   ? QStringLiteral("the line hung up")
                       : pfd.revents & POLLERR ? QStringLiteral("line error")
                                               : QStringLiteral("descriptor no longer valid"));
        return;
    }
    if (pfd.revents & POLLIN)
        PortHandle->waitForReadyRead(0); // reads what is there now into the port's buffer
}

void TCommPortDriver::PollTick() {
    if (!DeviceUsable())
        return;
    PullPending();
    if (!DeviceUsable())
        return;
    // The port's read buffer holds at most InBufSize bytes; the rest waits in the kernel
    // for the following ticks.
    const auto waiting = static_cast<uint32_t>(PortHandle->bytesAvailable());
    if (FPacketSize > 0) {
        ReadPacketMode(waiting);
        return;
    }
    if (waiting == 0)
        return;
    const qint64 count =
        PortHandle->read(ReceiveBuffer.data(), std::min<qint64>(waiting, qint64(ReceiveBuffer.size())));
    if (count > 0 && OnReceiveData)
        OnReceiveData(this, ReceiveBuffer.data(), static_cast<uint32_t>(count));
}

void TCommPortDriver::ReadPacketMode(uint32_t waiting) {
    const auto packetSize = static_cast<uint32_t>(FPacketSize); // never above InBufSize
    const uint32_t now = vz::GetTickCount();

    if (waiting < packetSize) {
        const bool started = PacketStartTick != kNoTick;
        if (FPacketTimeout > 0 && started && now - PacketStartTick > static_cast<uint32_t>(FPacketTimeout)) {
            // The partial packet timed out: pass it on as a short packet, or drop it.
            const qint64 count = waiting > 0 ? PortHandle->read(ReceiveBuffer.data(), waiting) : 0;
            PacketStartTick = kNoTick;
            if (count > 0 && FPacketMode == pmPass && OnReceivePacket)
                OnReceivePacket(this, ReceiveBuffer.data(), static_cast<uint32_t>(count));
            return;
        }
        if (waiting > 0 && !started)
            PacketStartTick = now;
        return;
    }

    while (waiting >= packetSize) {
        const qint64 count = PortHandle->read(ReceiveBuffer.data(), packetSize);
        waiting -= packetSize;
        if (waiting == 0) {
            PacketStartTick = kNoTick;
        } else if (PacketStartTick != kNoTick) {
            // The rest is taken to have started one packet's transmission time later, but
            // never later than now: a pty delivers faster than the line rate, and a start
            // in the future would read as a long-expired time-out.
            PacketStartTick += PacketTime(packetSize);
            if (static_cast<int32_t>(now - PacketStartTick) < 0)
                PacketStartTick = now;
        }
        if (count > 0 && OnReceivePacket) {
            OnReceivePacket(this, ReceiveBuffer.data(), static_cast<uint32_t>(count));
            if (!DeviceUsable())
                return; // the owner disconnected from inside the event
            waiting = std::min(waiting, static_cast<uint32_t>(PortHandle->bytesAvailable()));
        }
    }
    // A remainder whose packet had no recorded start is timed from this tick.
    if (waiting > 0 && PacketStartTick == kNoTick)
        PacketStartTick = now;
}

uint32_t TCommPortDriver::PacketTime(uint32_t n) const {
    if (FBaudRateValue == 0)
        return 0; // no rate, no transmission time
    const double ms = std::round(double(n) / (double(FBaudRateValue) / 10.0) * 1000.0);
    return ms >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(ms);
}
