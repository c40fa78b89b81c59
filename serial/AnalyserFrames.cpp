#include "AnalyserFrames.h"

namespace analyser {

QByteArray checksumText(const QByteArray& body) {
    unsigned sum = 0;
    for (char c : body)
        sum += static_cast<unsigned char>(c);
    return QByteArray::number(sum & 0xFF, 16).toUpper().rightJustified(2, '0');
}

QByteArray commandFrame(const char command[2], char parameter) {
    QByteArray body("1");
    body.append(command, 2);
    if (parameter != 0) {
        body.append(kEtb);
        body.append(parameter);
    }
    QByteArray frame(1, kStx);
    frame += body + checksumText(body);
    frame.append(kEnd);
    return frame;
}

QByteArray frameRG() {
    return commandFrame("RG");
}
QByteArray frameRM() {
    return commandFrame("RM");
}
QByteArray frameIN() {
    return commandFrame("IN");
}
QByteArray frameRS() {
    return commandFrame("RS");
}
QByteArray frameOUBlank() {
    return commandFrame("OU", ' ');
}
QByteArray frameOUA() {
    return commandFrame("OU", 'A');
}
QByteArray frameOUP() {
    return commandFrame("OU", 'P');
}
QByteArray frameZP() {
    return commandFrame("ZP");
}
QByteArray frameZE() {
    return commandFrame("ZE");
}
// Sized constructors: these frames hold zero bytes, which must go out too.
QByteArray frameStart() {
    return QByteArray("\x64\x01\x04\x04", 4);
}
QByteArray frameReset() {
    return QByteArray("\x64\x01\x00\x00", 4);
}

QByteArray defaultResultRecord() {
    QByteArray r(1, kStart);
    r += "1RG";
    r += kEtb;
    r += " 00.000 00.00 00000 20.85 00000000030";
    r += kEnd;
    return r;
}

} // namespace analyser
