#pragma once
// The analyser contract: the frame types the analyser answers with, and the command frames
// the station sends. A command frame is STX, the address "1", a two-letter command, an
// optional ETB plus one parameter character, a checksum of two uppercase hex digits (the low
// 8 bits of the sum of address, command and parameter bytes) and ETX.
#include <QByteArray>

namespace analyser {

constexpr char kStart = 0x06; // start of every frame the analyser sends (ACK)
constexpr char kEnd = 0x03;   // end of every frame (ETX)
constexpr char kStx = 0x02;
constexpr char kEtb = 0x17;

// Builds a command frame; parameter 0 means none.
QByteArray commandFrame(const char command[2], char parameter = 0);
// The checksum text of the bytes between STX and the checksum.
QByteArray checksumText(const QByteArray& body);

// The frames the station sends.
QByteArray frameRG();      // 02 31 52 47 43 41 03
QByteArray frameRM();      // 02 31 52 4D 44 30 03
QByteArray frameIN();      // 02 31 49 4E 43 38 03
QByteArray frameRS();      // 02 31 52 53 44 36 03
QByteArray frameOUBlank(); // 02 31 4F 55 17 20 30 43 03
QByteArray frameOUA();     // 02 31 4F 55 17 41 32 44 03
QByteArray frameOUP();     // 02 31 4F 55 17 50 33 43 03
QByteArray frameZP();      // 02 31 5A 50 44 42 03
QByteArray frameZE();      // 02 31 5A 45 44 30 03
QByteArray frameStart();   // 64 01 04 04: the start frame, sent whole with no framing
QByteArray frameReset();   // 64 01 00 00

// The default result record: 0x06 "1RG" 0x17 " 00.000 00.00 00000 20.85 00000000030" 0x03.
QByteArray defaultResultRecord();

} // namespace analyser
