#include "TestSupport.h"

#include "CarModelImport.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QWidget>
#include <gtest/gtest.h>

namespace vztest {

void ensureApp() {
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "vehicledb_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives to the end of the program
}

ScratchDir::ScratchDir() : Previous(QDir::currentPath()) {
    ensureApp();
    EXPECT_TRUE(Dir.isValid());
    QDir::setCurrent(Dir.path());
}

ScratchDir::~ScratchDir() {
    QDir::setCurrent(Previous);
}

vz::LimitRow row(const QString& mark, const QString& model, const QString& comx, const QString& comn,
                 const QString& co2mx, const QString& o2mx, const QString& chmx, const QString& rpm) {
    return vz::LimitRow{mark, model, comx, comn, co2mx, o2mx, chmx, rpm};
}

void writeTable(const QString& path, const std::vector<vz::LimitRow>& rows) {
    ASSERT_EQ(vz::writeLimitsTable(rows, path), QString());
}

MessageRecorder::MessageRecorder() {
    vz::setMessageBoxHandler(
        [this](QWidget*, const QString& caption, const QString& text, vz::MsgIcon icon, vz::MsgButtons) {
            Messages.push_back({caption, text, icon});
            return vz::MsgAnswer::Ok;
        });
}

MessageRecorder::~MessageRecorder() {
    vz::setMessageBoxHandler({});
}

void pressKey(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

QString sourceDir() {
    const QString env = qEnvironmentVariable("VZ_SOURCE_DIR");
    return env.isEmpty() ? QStringLiteral(VZ_TEST_SOURCE_DIR) : env;
}

QString binDir() {
    const QString env = qEnvironmentVariable("VZ_BIN_DIR");
    return env.isEmpty() ? QStringLiteral(VZ_TEST_BIN_DIR) : env;
}

} // namespace vztest
