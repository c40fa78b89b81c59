#include "TestSupport.h"

#include "../TestApplication.h"
#include "CarModelImport.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QWidget>
#include <gtest/gtest.h>

namespace vztest {

void ensureApp() {
    vz::test::testApplication();
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
