#pragma once
// Shared pieces of the limits-table tests: the application object, a scratch current
// directory, real SQLite tables and a message-box recorder.
#include "../ScratchFiles.h"
#include "LimitTexts.h"
#include "MessageBox.h"

#include <QString>
#include <QTemporaryDir>
#include <vector>

class QWidget;

namespace vztest {

// The one QApplication of the test program (widgets and the SQL driver need it).
void ensureApp();

// A fresh temporary directory made current for the test's life.
class ScratchDir : public vz::test::ScratchCurrentDir {
public:
    ScratchDir() { ensureApp(); }
    QString path(const QString& name) const { return filePath(name); }
};

vz::LimitRow row(const QString& mark, const QString& model, const QString& comx = "450",
                 const QString& comn = "0", const QString& co2mx = "120", const QString& o2mx = "250",
                 const QString& chmx = "1200", const QString& rpm = "800");

// Writes a real CarModel table (no checks on the field texts) to `path`.
void writeTable(const QString& path, const std::vector<vz::LimitRow>& rows);

struct RecordedMessage {
    QString Caption, Text;
    vz::MsgIcon Icon;
};

// Installs a message-box handler that records and answers Ok; removes it when destroyed.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    std::vector<RecordedMessage> Messages;
};

// Sends a key press and release to a widget the way the window system would deliver them.
void pressKey(QWidget* widget, int key);

QString sourceDir();
QString binDir();

} // namespace vztest
