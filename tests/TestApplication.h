#pragma once
// The one QApplication of a widget test program.
#include <QApplication>

namespace vz::test {

inline QApplication& testApplication() {
    static int argc = 1;
    static char name[] = "vezaro_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing the application down in the exit handlers, after the
    // platform's input devices, crashes in Qt.
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

} // namespace vz::test
