#pragma once
// TCommPortDriver: the station's only path to the analyser. A non-visual component that
// opens a serial device by name, sets its line parameters, writes byte blocks with a
// no-progress time-out and hands received bytes to its owner from a polling timer that
// runs on the GUI thread. QSerialPort sits underneath.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

class QSerialPort;
class QTimer;

enum TPortNumber : uint8_t {
    pnCustom,
    pnCOM1,
    pnCOM2,
    pnCOM3,
    pnCOM4,
    pnCOM5,
    pnCOM6,
    pnCOM7,
    pnCOM8,
    pnCOM9,
    pnCOM10,
    pnCOM11,
    pnCOM12,
    pnCOM13,
    pnCOM14,
    pnCOM15,
    pnCOM16
};
enum TBaudRate : uint8_t {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TDataBits : uint8_t { db5BITS, db6BITS, db7BITS, db8BITS };
enum TStopBits : uint8_t { sb1BITS, sb1HALFBITS, sb2BITS };
enum TParity : uint8_t { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
enum THwFlowControl : uint8_t { hfNONE, hfNONERTSON, hfRTSCTS };
enum TSwFlowControl : uint8_t { sfNONE, sfXONXOFF };
enum TPacketMode : uint8_t { pmDiscard, pmPass };
enum TModemLine : uint8_t { mlCTS = 1, mlDSR = 2, mlRING = 4, mlRLSD = 8 };
using TModemLines = uint8_t; // a set of TModemLine bits

// Bit rates by TBaudRate ordinal; brCustom has none.
extern const uint32_t BaudRateTable[16];

class TCommPortDriver;
using TReceiveDataEvent =
    std::function<void(TCommPortDriver* Sender, const void* DataPtr, uint32_t DataSize)>;
using TReceivePacketEvent =
    std::function<void(TCommPortDriver* Sender, const void* Packet, uint32_t DataSize)>;

class TCommPortDriver : public QObject {
    Q_OBJECT
public:
    explicit TCommPortDriver(QObject* owner = nullptr);
    ~TCommPortDriver() override;

    // Published properties, each with the setter rules of the component.
    TPortNumber Port() const { return FPort; }
    void SetPort(TPortNumber value);
    QString PortName() const { return FPortName; }
    void SetPortName(const QString& value);
    TBaudRate BaudRate() const { return FBaudRate; }
    void SetBaudRate(TBaudRate value);
    uint32_t BaudRateValue() const { return FBaudRateValue; }
    void SetBaudRateValue(uint32_t value);
    TDataBits DataBits() const { return FDataBits; }
    void SetDataBits(TDataBits value);
    TStopBits StopBits() const { return FStopBits; }
    void SetStopBits(TStopBits value);
    TParity Parity() const { return FParity; }
    void SetParity(TParity value);
    THwFlowControl HwFlow() const { return FHwFlow; }
    void SetHwFlow(THwFlowControl value);
    TSwFlowControl SwFlow() const { return FSwFlow; }
    void SetSwFlow(TSwFlowControl value);
    uint32_t InBufSize() const { return FInBufSize; }
    void SetInBufSize(uint32_t value);
    uint32_t OutBufSize() const { return FOutBufSize; }
    void SetOutBufSize(uint32_t value);
    int16_t PacketSize() const { return FPacketSize; }
    void SetPacketSize(int16_t value);
    int32_t PacketTimeout() const { return FPacketTimeout; }
    void SetPacketTimeout(int32_t value);
    TPacketMode PacketMode() const { return FPacketMode; }
    void SetPacketMode(TPacketMode value) { FPacketMode = value; }
    uint16_t PollingDelay() const { return FPollingDelay; }
    void SetPollingDelay(uint16_t value);
    bool EnableDTROnOpen() const { return FEnableDTROnOpen; }
    void SetEnableDTROnOpen(bool value) { FEnableDTROnOpen = value; }
    uint16_t OutputTimeout() const { return FOutputTimeout; }
    void SetOutputTimeout(uint16_t value) { FOutputTimeout = value; }
    uint32_t InputTimeout() const { return FInputTimeout; }
    void SetInputTimeout(uint32_t value) { FInputTimeout = value; }
    bool CheckLineStatus() const { return FCheckLineStatus; }
    void SetCheckLineStatus(bool value) { FCheckLineStatus = value; }
    TReceiveDataEvent OnReceiveData;
    TReceivePacketEvent OnReceivePacket;

    bool Connect();
    void Disconnect();
    bool IsConnected() const;
    bool ApplyLineSettings();
    bool PurgeQueues(bool input, bool output);
    TModemLines ModemLines();
    uint16_t OutputRoom();
    uint32_t SendBytes(const void* data, uint32_t size, uint32_t timeout);
    uint32_t SendBytes(const void* data, uint32_t size);
    bool SendText(const QByteArray& text);

    // One polling tick; the polling timer calls it every PollingDelay ms while connected.
    void PollTick();
    // Milliseconds to send n characters at the line's rate (ten bit times a character).
    uint32_t PacketTime(uint32_t n) const;

    // The device path a port name opens on this system (see PortNames.h).
    QString DevicePath() const;

private:
    TPortNumber FPort = pnCOM2;
    QString FPortName = QStringLiteral("\\\\.\\COM2");
    TBaudRate FBaudRate = br9600;
    uint32_t FBaudRateValue = 9600;
    TDataBits FDataBits = db8BITS;
    TStopBits FStopBits = sb1BITS;
    TParity FParity = ptNONE;
    THwFlowControl FHwFlow = hfNONERTSON;
    TSwFlowControl FSwFlow = sfNONE;
    uint32_t FInBufSize = 2048;
    uint32_t FOutBufSize = 2048;
    int16_t FPacketSize = -1;
    int32_t FPacketTimeout = -1;
    TPacketMode FPacketMode = pmDiscard;
    uint16_t FPollingDelay = 50;
    bool FEnableDTROnOpen = true;
    uint16_t FOutputTimeout = 500;
    uint32_t FInputTimeout = 200;
    bool FCheckLineStatus = false;

    std::vector<char> ReceiveBuffer;
    uint32_t PacketStartTick = 0xFFFFFFFFu;
    QSerialPort* PortHandle = nullptr; // null while closed
    QTimer* PollTimer = nullptr;
    bool DeviceLost = false; // a read or resource error: stop reading until reconnect
    QString OpenedAs;        // "COM1 -> /dev/pts/3" while open, for the diagnostic lines

    // Raises InBufSize to PacketSize where it can, and caps PacketSize where it can't.
    void FitPacketToBuffer();
    // True while the device can be read and written (open and not lost).
    bool DeviceUsable() const;
    // Marks the device as gone and releases it once control is back in the event loop;
    // `reason` says why, for the diagnostic line.
    void MarkDeviceLost(const QString& reason);
    // Moves whatever the kernel holds for us into the port's read buffer, without waiting.
    void PullPending();
    // The bytes waiting in the device's output queue.
    uint32_t OutputQueued();
    // One non-blocking write; a failure counts as zero bytes written. An error that means
    // the device is gone is left in `lostError` (an errno value).
    uint32_t WriteDevice(const char* data, uint32_t size, int& lostError);
    // Waits at most `ms` for room in the output queue.
    void WaitWritable(int ms);
    void ReadPacketMode(uint32_t waiting);
};
