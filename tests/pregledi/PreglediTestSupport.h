#pragma once
// Shared pieces of the log tool's tests: a scratch station directory made current, logs
// written there by the station's own append, and small file helpers.
#include "ExamLog.h"
#include "ExamRecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "../ScratchFiles.h"
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace vz::test {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "pregledi_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QCoreApplication(argc, argv);
    }
    void TearDown() override { delete app_; }

private:
    QCoreApplication* app_ = nullptr;
};
inline const bool qtEnvironmentRegistered = (::testing::AddGlobalTestEnvironment(new QtEnvironment), true);

// The fields of the n-th test examination: each one different, Cyrillic where a station
// has it, and some with the blanks and punctuation that an export must keep.
inline ReportFields examFields(int n) {
    ReportFields f;
    f.date = QStringLiteral("%1.12.2026").arg(1 + n % 28, 2, 10, QLatin1Char('0'));
    f.time = QStringLiteral("14:%1:09").arg(n % 60, 2, 10, QLatin1Char('0'));
    f.operatorName = QStringLiteral("Мария Иванова");
    f.owner = n % 3 == 0 ? QStringLiteral("Иван Петров Иванов") : QStringLiteral("\"Авто, ООД\" №%1").arg(n);
    f.makeModel = n % 2 == 0 ? QStringLiteral("VW Golf 1.6") : QStringLiteral("Лада 2107");
    f.year = QString::number(1990 + n % 30);
    f.regNumber = QStringLiteral("СА%1ВК").arg(1000 + n);
    f.co = QStringLiteral("0.%1").arg(n % 1000, 3, 10, QLatin1Char('0'));
    f.co2 = "14.50";
    f.hc = QStringLiteral(" %1").arg(100 + n, 4, 10, QLatin1Char('0'));
    f.o2 = "00.50";
    f.oilTemp = "085.0";
    f.rpm = " 0850";
    f.lambda = "1.005";
    return f;
}

class StationDirTest : public ::testing::Test, public ScratchFiles {
protected:
    void SetUp() override { ASSERT_TRUE(scratch.isValid()); }

    // Logs examinations 1..count (from the current log on) as PRINT does.
    void logExams(int count, int first = 1) {
        uint16_t index = 0;
        for (int n = first; n < first + count; ++n) {
            const LogAppendResult result = appendExamRecord(index, examRecordBytes(examFields(n)));
            ASSERT_TRUE(result.ok) << result.error.toStdString();
        }
    }

    ScratchCurrentDir scratch;
};

} // namespace vz::test
