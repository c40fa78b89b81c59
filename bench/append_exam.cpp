// The station's PRINT as far as the trail goes: COUNT records appended to the station
// directory DIR (the repair check, the record, its seal, the syncs), timed one by one. Prints
// the median and the slowest in milliseconds; exits 1 when an append fails or gives a number
// other than the next.
//
//     bench-append DIR COUNT
#include "ExamTrail.h"
#include "LogFiles.h"
#include "TrailRecovery.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench-append DIR COUNT\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const int count = std::atoi(argv[2]);
    const vz::TrailInspection before = vz::inspectTrail(dir);
    int expected = before.log.lastNumber + 1;
    std::vector<double> ms;
    for (int i = 0; i < count; ++i, ++expected) {
        const QByteArray record =
            QByteArray(vz::kLogRecordSize - 2, static_cast<char>('a' + i % 26)) + "\r\n";
        QElapsedTimer timer;
        timer.start();
        const vz::TrailAppend appended = vz::appendExam(dir, record);
        ms.push_back(timer.nsecsElapsed() / 1e6);
        if (!appended.logged || appended.examNumber != expected || !appended.sealTrouble.isEmpty()) {
            std::fprintf(stderr, "append %d: logged %d as %d (expected %d) %s %s\n", i, appended.logged,
                         appended.examNumber, expected, qPrintable(appended.logError),
                         qPrintable(appended.sealTrouble));
            return 1;
        }
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%.2f ms median, %.2f ms slowest over %d appends\n", ms[ms.size() / 2], ms.back(), count);
    return 0;
}
