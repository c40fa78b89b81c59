// Qt's own options next to the programs' own: every option Qt's application object takes is
// known in both spellings, and Qt itself reads the two-dash one.
#include "CommandLine.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

TEST(QtOptions, AreKnownWithOneDashOrTwoAndNothingElseIs) {
    for (const char* option : {"platform",
                               "platformpluginpath",
                               "platformtheme",
                               "plugin",
                               "qwindowgeometry",
                               "qwindowicon",
                               "qwindowtitle",
                               "reverse",
                               "session",
                               "style",
                               "stylesheet",
                               "widgetcount",
                               "display",
                               "geometry",
                               "name",
                               "title",
                               "visual",
                               "ncols",
                               "cmap",
                               "nograb",
                               "dograb",
                               "sync",
                               "fn",
                               "font",
                               "bg",
                               "background",
                               "fg",
                               "foreground",
                               "btn",
                               "button",
                               "im",
                               "inputstyle",
                               "qmljsdebugger"}) {
        EXPECT_TRUE(vz::isQtOption(std::string("-") + option)) << option;
        EXPECT_TRUE(vz::isQtOption(std::string("--") + option)) << option;
    }
    for (const char* form :
         {"-style=fusion", "--style=fusion", "--stylesheet=a.qss", "-qmljsdebugger=port:3768"})
        EXPECT_TRUE(vz::isQtOption(form)) << form;
    for (const char* other :
         {"--help", "--version", "-h", "--platforms", "---platform", "--", "-", "platform",
          "--platform=offscreen", "--reverse=1", "--no-such-option", "--Platform"})
        EXPECT_FALSE(vz::isQtOption(other)) << other;
}

TEST(QtOptions, QtReadsTheTwoDashSpellingItself) {
    int argc = 3;
    char name[] = "common_tests";
    char option[] = "--platform";
    char value[] = "minimal";
    char* argv[] = {name, option, value, nullptr};
    QGuiApplication app(argc, argv);
    EXPECT_EQ(QGuiApplication::platformName(), "minimal");
    EXPECT_EQ(argc, 1) << "Qt took the option and its value out of the arguments";
}
