// The settings file's diagnostic lines (vezaro.files): read at start, written at close, and
// what went wrong when either fails.
#include "../DiagnosticsCapture.h"
#include "SettingsFile.h"
#include "SettingsTestSupport.h"

#include <QDir>
#include <gtest/gtest.h>

using vz::test::DiagnosticsCapture;

namespace {
std::string text(const DiagnosticsCapture& capture) {
    return capture.all().toStdString();
}
} // namespace

TEST(SettingsFileDiagnostics, AMissingFileThenAWrittenOneThenReadingItBack) {
    ScratchDir dir;
    DiagnosticsCapture capture;
    EXPECT_FALSE(vz::readSettingsFile().has_value());
    ASSERT_TRUE(vz::writeSettingsFile(vz::SettingsToWrite{}));
    ASSERT_TRUE(vz::readSettingsFile().has_value());

    ASSERT_EQ(capture.lines().size(), 3) << text(capture);
    EXPECT_EQ(capture.lines()[0].text, "vezaro.files: no VEZARO.ini: the defaults stay");
    EXPECT_EQ(capture.lines()[1].text, "vezaro.files: wrote VEZARO.INI");
    EXPECT_EQ(capture.lines()[2].text, "vezaro.files: read VEZARO.INI"); // the name found on disk
    for (const auto& line : capture.lines())
        EXPECT_EQ(line.type, QtInfoMsg) << line.text.toStdString();
}

TEST(SettingsFileDiagnostics, AFileThatCannotBeReadOrWrittenIsAWarningWithItsReason) {
    ScratchDir dir;
    QDir(dir.path()).mkdir("VEZARO.ini"); // a directory where the file should be
    QDir(dir.path()).mkdir("sub");
    QDir(dir.path() + "/sub").mkdir("VEZARO.INI");

    DiagnosticsCapture capture;
    EXPECT_FALSE(vz::readSettingsFile().has_value());
    EXPECT_FALSE(vz::writeSettingsFile(vz::SettingsToWrite{}, dir.path() + "/sub"));
    EXPECT_FALSE(vz::writeSettingsFile(vz::SettingsToWrite{}, dir.path() + "/no/such/dir"));

    ASSERT_EQ(capture.lines().size(), 3) << text(capture);
    EXPECT_EQ(capture.lines()[0].text, "vezaro.files: read VEZARO.ini failed: file to open is a directory");
    EXPECT_TRUE(capture.lines()[1].text.startsWith("vezaro.files: write VEZARO.INI failed: "))
        << text(capture);
    EXPECT_TRUE(capture.lines()[2].text.startsWith("vezaro.files: write VEZARO.INI failed: "))
        << text(capture);
    for (const auto& line : capture.lines()) {
        EXPECT_EQ(line.type, QtWarningMsg) << line.text.toStdString();
        EXPECT_FALSE(line.text.endsWith("failed: ")) << "a reason follows: " << line.text.toStdString();
    }
}

TEST(SettingsFileDiagnostics, TheFilterRulesSilenceThem) {
    ScratchDir dir;
    DiagnosticsCapture capture;
    {
        vz::test::DiagnosticsSilenced silenced;
        EXPECT_FALSE(vz::readSettingsFile().has_value());
        ASSERT_TRUE(vz::writeSettingsFile(vz::SettingsToWrite{}));
        ASSERT_TRUE(vz::readSettingsFile().has_value());
    }
    EXPECT_TRUE(capture.lines().isEmpty()) << text(capture);
}
