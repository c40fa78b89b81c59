#pragma once
// Shared by the layout tests: one QApplication for the executable and a bare main window
// (no start-up) shown on the offscreen platform, so that resizing it runs RestWin.
#include "TChart.h"
#include "TLabel.h"
#include "VEZAro.h"

#include <QApplication>
#include <QFont>
#include <QWidget>
#include <memory>

namespace vz::test {

inline QApplication& layoutApp() {
    static int argc = 1;
    static char name[] = "app_layout_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv); // never torn down in the exit handlers
    return *app;
}

inline std::unique_ptr<TMnGASForm> shownMainWindow() {
    layoutApp();
    auto w = std::make_unique<TMnGASForm>(TMnGASForm::Options{false});
    w->show();
    return w;
}

inline int pointSize(const QWidget* w) {
    return w->font().pointSize();
}
inline int bottom(const QWidget* w) {
    return w->y() + w->height();
}
inline int right(const QWidget* w) {
    return w->x() + w->width();
}

} // namespace vz::test
