#pragma once
// Shared pieces of the report tests: the application object, a scratch directory made
// current, a message-box recorder and a fixed clock.
#include "Clock.h"
#include "ExamRecord.h"
#include "MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "../ScratchFiles.h"
#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace vz::test {

// One application for the whole run, made by the first test that needs it and destroyed
// when the tests are over, before the program's static objects go (Qt's input devices
// cannot outlive it).
inline QApplication*& appInstance() {
    static QApplication* application = nullptr;
    return application;
}

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "report_tests";
    static char* argv[] = {name, nullptr};
    if (!appInstance())
        appInstance() = new QApplication(argc, argv);
    return *appInstance();
}

class QtEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        delete appInstance();
        appInstance() = nullptr;
    }
};
inline const bool qtEnvironmentRegistered = (::testing::AddGlobalTestEnvironment(new QtEnvironment), true);

struct RecordedMessage {
    QString caption;
    QString text;
    MsgIcon icon;
    MsgButtons buttons;
};

// Every test runs in a fresh current directory with a recorded message box and a fixed
// date and time; all of it is undone afterwards.
class ReportTest : public ::testing::Test, public ScratchFiles {
protected:
    void SetUp() override {
        app();
        ASSERT_TRUE(scratch.isValid());
        setMessageBoxHandler(
            [this](QWidget*, const QString& caption, const QString& text, MsgIcon icon, MsgButtons buttons) {
                messages.append({caption, text, icon, buttons});
                return nextAnswer;
            });
        setShortDateSource([] { return QStringLiteral("07.12.2026"); });
        setLongTimeSource([] { return QStringLiteral("14:05:09"); });
    }
    void TearDown() override {
        setMessageBoxHandler({});
        setShortDateSource({});
        setLongTimeSource({});
    }

    ScratchCurrentDir scratch;
    QList<RecordedMessage> messages;
    MsgAnswer nextAnswer = MsgAnswer::Ok;
};

// One examination's fields as a report window captures them.
inline ReportFields sampleFields(const QString& owner = QStringLiteral("Иван Петров Иванов")) {
    ReportFields f;
    f.date = "07.12.2026";
    f.time = "14:05:09";
    f.operatorName = QStringLiteral("Мария Иванова");
    f.owner = owner;
    f.makeModel = "VW Golf 1.6";
    f.year = "2008";
    f.regNumber = QStringLiteral("СА1234ВК");
    f.co = "0.500";
    f.co2 = "14.50";
    f.hc = " 0100";
    f.o2 = "00.50";
    f.oilTemp = "085.0";
    f.rpm = " 0850";
    f.lambda = "1.005";
    return f;
}

} // namespace vz::test
