// TCommPortDriver: properties, setter rules, opening, closing and line settings.
// Sending and polling live in CPDrvTransfer.cpp.
#include "CPDrv.h"
#include "Diagnostics.h"
#include "PortNames.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

const uint32_t BaudRateTable[16] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                    14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

namespace {
constexpr uint32_t kMinBufSize = 128;
constexpr uint32_t kMaxBufSize = 8192;

uint32_t clampBufSize(uint32_t value) {
    return std::clamp(value, kMinBufSize, kMaxBufSize);
}

QSerialPort::Parity qtParity(TParity parity) {
    switch (parity) {
    case ptODD:
        return QSerialPort::OddParity;
    case ptEVEN:
        return QSerialPort::EvenParity;
    case ptMARK:
        return QSerialPort::MarkParity;
    case ptSPACE:
        return QSerialPort::SpaceParity;
    case ptNONE:
        break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits qtStopBits(TStopBits stopBits) {
    switch (stopBits) {
    case sb1HALFBITS:
        return QSerialPort::OneAndHalfStop;
    case sb2BITS:
        return QSerialPort::TwoStop;
    case sb1BITS:
        break;
    }
    return QSerialPort::OneStop;
}

bool isPseudoTerminal(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned int majorNumber = major(st.st_rdev);
    return majorNumber >= 136 && majorNumber <= 143; // the Unix98 pty slaves
}

// The port name resolved to the device itself, so that every name of one device (a COMn
// link, a by-id link, the node) takes the same lock.
QString openablePath(const QString& devicePath) {
    const QFileInfo info(devicePath);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

// Why an open device went away, for the diagnostic line. A hung-up line reads as the end of
// the input, which leaves no error of its own (the port's text would be a stale one).
QString lossReason(QSerialPort& port) {
    pollfd pfd{port.handle(), POLLIN, 0};
    if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLHUP))
        return QStringLiteral("the line hung up");
    return port.errorString();
}

// The port as the diagnostic lines name it: the port name and the device it opens, or the
// device alone when the name is the device's own path.
QString portDescription(const QString& portName, const QString& device) {
    const QString name = shortPortName(portName);
    return name == device ? device : name + QStringLiteral(" -> ") + device;
}
} // namespace

TCommPortDriver::TCommPortDriver(QObject* owner)
    : QObject(owner), ReceiveBuffer(FInBufSize, 0), PollTimer(new QTimer(this)) {
    connect(PollTimer, &QTimer::timeout, this, &TCommPortDriver::PollTick);
}

TCommPortDriver::~TCommPortDriver() {
    Disconnect();
}

// ---- Properties ----------------------------------------------------------------------

void TCommPortDriver::SetPort(TPortNumber value) {
    if (IsConnected())
        return;
    FPort = value;
    if (value != pnCustom)
        FPortName = QStringLiteral("\\\\.\\COM%1").arg(static_cast<int>(value));
}

void TCommPortDriver::SetPortName(const QString& value) {
    if (IsConnected())
        return;
    FPort = pnCustom;
    FPortName = value;
}

void TCommPortDriver::SetBaudRate(TBaudRate value) {
    FBaudRate = value;
    if (value != brCustom && value < std::size(BaudRateTable))
        FBaudRateValue = BaudRateTable[value];
    if (IsConnected())
        ApplyLineSettings();
}

void TCommPortDriver::SetBaudRateValue(uint32_t value) {
    FBaudRate = brCustom;
    FBaudRateValue = value;
    if (IsConnected())
        ApplyLineSettings();
}

void TCommPortDriver::SetDataBits(TDataBits value) {
    FDataBits = value;
    if (IsConnected())
        ApplyLineSettings();
}

void TCommPortDriver::SetStopBits(TStopBits value) {
    FStopBits = value;
    if (IsConnected())
        ApplyLineSettings();
}

void TCommPortDriver::SetParity(TParity value) {
    FParity = value;
    if (IsConnected())
        ApplyLineSettings();
}

void TCommPortDriver::SetHwFlow(THwFlowControl value) {
    FHwFlow = value;
    if (IsConnected())
        ApplyLineSettings();
}

void TCommPortDriver::SetSwFlow(TSwFlowControl value) {
    FSwFlow = value;
    if (IsConnected())
        ApplyLineSettings();
}

void TCommPortDriver::SetInBufSize(uint32_t value) {
    if (IsConnected())
        return;
    FInBufSize = clampBufSize(value);
    FitPacketToBuffer();
    ReceiveBuffer.assign(FInBufSize, 0);
}

void TCommPortDriver::SetOutBufSize(uint32_t value) {
    if (IsConnected())
        return;
    FOutBufSize = clampBufSize(value);
}

void TCommPortDriver::SetPacketSize(int16_t value) {
    if (value <= 0) {
        FPacketSize = -1;
        return;
    }
    FPacketSize = value;
    if (static_cast<uint32_t>(value) > FInBufSize)
        SetInBufSize(static_cast<uint32_t>(value)); // ignored while connected
    FitPacketToBuffer();
}

// A packet must fit the receive buffer: the buffer grows to the packet size while the port
// is closed, up to its largest size. A packet that still doesn't fit (above 8192, or any
// growth while connected) is cut down to the buffer size.
void TCommPortDriver::FitPacketToBuffer() {
    if (FPacketSize <= 0 || static_cast<uint32_t>(FPacketSize) <= FInBufSize)
        return;
    if (!IsConnected())
        FInBufSize = std::min(static_cast<uint32_t>(FPacketSize), kMaxBufSize);
    if (static_cast<uint32_t>(FPacketSize) > FInBufSize)
        FPacketSize = static_cast<int16_t>(FInBufSize);
    if (ReceiveBuffer.size() != FInBufSize)
        ReceiveBuffer.assign(FInBufSize, 0);
}

void TCommPortDriver::SetPacketTimeout(int32_t value) {
    if (value <= 0)
        FPacketTimeout = -1;
    else if (value < FPollingDelay)
        FPacketTimeout = FPollingDelay + FPollingDelay * 40 / 100;
    else
        FPacketTimeout = value;
}

void TCommPortDriver::SetPollingDelay(uint16_t value) {
    value = std::max<uint16_t>(value, 5);
    if (value == FPollingDelay)
        return;
    if (IsConnected()) {
        PollTimer->stop();
        FPollingDelay = value;
        PollTimer->start(FPollingDelay);
    } else {
        FPollingDelay = value;
    }
    SetPacketTimeout(FPacketTimeout);
}

QString TCommPortDriver::DevicePath() const {
    return mapPortName(FPortName);
}

// ---- Opening and closing -------------------------------------------------------------

bool TCommPortDriver::IsConnected() const {
    return PortHandle != nullptr;
}

bool TCommPortDriver::DeviceUsable() const {
    return PortHandle && !DeviceLost && PortHandle->isOpen();
}

bool TCommPortDriver::Connect() {
    if (IsConnected())
        return true;

    // QSerialPort opens the device exclusively: its lock file, then TIOCEXCL (which a pty or
    // a privileged process may ignore; that never aborts the open).
    const QString device = openablePath(DevicePath());
    const QString name = portDescription(FPortName, device);
    auto* port = new QSerialPort(this);
    port->setPortName(device);
    if (!port->open(QIODevice::ReadWrite)) {
        qCWarning(vz::lcPort, "open %s failed: %s", qUtf8Printable(name),
                  qUtf8Printable(port->errorString()));
        delete port;
        return false;
    }
    // Programs that take an advisory lock on the device itself hold it, too.
    if (::flock(port->handle(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        port->close();
        delete port;
        qCWarning(vz::lcPort, "open %s failed: locked by another program (%s)", qUtf8Printable(name),
                  std::strerror(error));
        return false;
    }

    PortHandle = port;
    DeviceLost = false;
    OpenedAs = name;
    PacketStartTick = 0xFFFFFFFFu;
    connect(port, &QSerialPort::errorOccurred, this, [this, port](QSerialPort::SerialPortError error) {
        // A vanished device shows up as read or resource errors, possibly over and over.
        if (port == PortHandle && (error == QSerialPort::ReadError || error == QSerialPort::ResourceError))
            MarkDeviceLost(lossReason(*port));
    });

    if (!ApplyLineSettings()) {
        qCWarning(vz::lcPort, "open %s failed: line settings refused at %u baud", qUtf8Printable(name),
                  FBaudRateValue);
        OpenedAs.clear(); // it never counted as open
        Disconnect();
        return false;
    }
    PollTimer->start(FPollingDelay);
    qCInfo(vz::lcPort, "opened %s at %u baud", qUtf8Printable(name), FBaudRateValue);
    return true;
}

void TCommPortDriver::Disconnect() {
    if (!IsConnected())
        return;
    PollTimer->stop();
    QSerialPort* port = PortHandle;
    PortHandle = nullptr;
    DeviceLost = false;
    port->close();
    delete port;
    if (!OpenedAs.isEmpty())
        qCInfo(vz::lcPort, "closed %s", qUtf8Printable(OpenedAs));
    OpenedAs.clear();
}

// Reading stops at once; the descriptor itself is closed from the event loop, because the
// error may be reported from inside the port's own notifier. The component stays
// "connected" until its owner disconnects; every send fails meanwhile.
void TCommPortDriver::MarkDeviceLost(const QString& reason) {
    if (DeviceLost)
        return;
    DeviceLost = true;
    qCWarning(vz::lcPort, "lost %s: %s", qUtf8Printable(OpenedAs), qUtf8Printable(reason));
    QPointer<QSerialPort> port = PortHandle;
    QMetaObject::invokeMethod(
        this,
        [this, port] {
            if (port && port == PortHandle && DeviceLost)
                port->close();
        },
        Qt::QueuedConnection);
}

// ---- Line settings -------------------------------------------------------------------

bool TCommPortDriver::ApplyLineSettings() {
    if (!DeviceUsable())
        return false;
    QSerialPort& port = *PortHandle;

    // The line parameters proper; any refusal fails the whole call. Received parity is not
    // checked (QSerialPort ignores parity errors on input).
    const auto baud = FBaudRateValue <= INT32_MAX ? static_cast<qint32>(FBaudRateValue) : -1;
    QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
    if (FHwFlow == hfRTSCTS)
        flow = QSerialPort::HardwareControl;
    else if (FSwFlow == sfXONXOFF)
        flow = QSerialPort::SoftwareControl;
    // A pseudo-terminal has no line to frame: the kernel holds it at 8 data bits without
    // parity and refuses anything else, which is no fault of the settings.
    const bool framingFixed = isPseudoTerminal(port.handle());
    if (baud <= 0 || !port.setBaudRate(baud))
        return false;
    if (!port.setDataBits(static_cast<QSerialPort::DataBits>(FDataBits + 5)) && !framingFixed)
        return false;
    if (!port.setParity(qtParity(FParity)) && !framingFixed)
        return false;
    if (!port.setStopBits(qtStopBits(FStopBits)) || !port.setFlowControl(flow))
        return false;

    // QSerialPort knows one kind of flow control at a time; RTS/CTS together with XON/XOFF
    // is set on the terminal directly.
    if (FHwFlow == hfRTSCTS && FSwFlow == sfXONXOFF) {
        termios tio{};
        if (::tcgetattr(port.handle(), &tio) != 0)
            return false;
        tio.c_iflag |= IXON | IXOFF;
        tio.c_cflag |= CRTSCTS;
        tio.c_cc[VSTART] = 0x11;
        tio.c_cc[VSTOP] = 0x13;
        if (::tcsetattr(port.handle(), TCSANOW, &tio) != 0)
            return false;
    }

    // DTR and RTS are optional controls: a port without modem lines (a pty) refuses them,
    // which reads as "no line on" and doesn't fail the settings.
    port.setDataTerminalReady(FEnableDTROnOpen);
    if (FHwFlow != hfRTSCTS)
        port.setRequestToSend(FHwFlow == hfNONERTSON);

    if (!PurgeQueues(true, true))
        return false;
    port.setReadBufferSize(FInBufSize);
    return true;
}

bool TCommPortDriver::PurgeQueues(bool input, bool output) {
    if (!DeviceUsable())
        return false;
    QSerialPort::Directions directions;
    if (input)
        directions |= QSerialPort::Input;
    if (output)
        directions |= QSerialPort::Output;
    if (directions != QSerialPort::Directions() && !PortHandle->clear(directions))
        return false;
    PacketStartTick = 0xFFFFFFFFu;
    return true;
}
