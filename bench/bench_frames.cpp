// Cutting one received block of four frames and turning its lettered-field rest into the
// result record: the work of one 1200-baud receive event before the display.
#include "AnalyserFrames.h"
#include "StationLogic.h"

#include <benchmark/benchmark.h>

namespace {

QByteArray frame(const char* type, const QByteArray& body) {
    return QByteArray(1, analyser::kStart) + "1" + type + body + QByteArray(1, analyser::kEnd);
}

void BM_CutFourFramesAndConvData(benchmark::State& state) {
    const QByteArray block = frame("RG", "\x17 00,500 14,50 00100 00,50 000000850\r30") +
                             frame("IN", "\x17 01") + frame("RM", "\x17   0900  085,5") +
                             frame("RS", "\x17 R-") + "C1,23B14,5A0123D20,8G0850\r\nX";
    vz::StationState s;
    s.FrameSlots[4] = analyser::defaultResultRecord();
    for (auto _ : state) {
        s.CurFrame = vz::cutFrames(s, block);
        vz::ConvData(s);
        benchmark::DoNotOptimize(s.FrameSlots[0].constData());
    }
}
BENCHMARK(BM_CutFourFramesAndConvData);

} // namespace

BENCHMARK_MAIN();
