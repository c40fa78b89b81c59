#pragma once
// Shared pieces of the settings tests: the application object, a scratch current
// directory, and a recorder that answers every message box at once.
#include "../ScratchFiles.h"
#include "MessageBox.h"

#include <QString>
#include <QTemporaryDir>
#include <vector>

class QApplication;

// Creates the one QApplication of the test run on first use.
QApplication& testApp();

// A fresh empty directory made current for the life of the object.
class ScratchDir : public vz::test::ScratchCurrentDir {
public:
    void writeFile(const QString& name, const QByteArray& bytes) const;
    // The file's bytes, or "<missing>".
    QByteArray readFile(const QString& name) const;
};

struct RecordedMessage {
    QString caption;
    QString text;
    vz::MsgIcon icon;
    vz::MsgButtons buttons;
};

// Records every message box and answers with `answer`; restores the real boxes on exit.
class MessageRecorder {
public:
    explicit MessageRecorder(vz::MsgAnswer answer = vz::MsgAnswer::Ok);
    ~MessageRecorder();
    std::vector<RecordedMessage> messages;
};
