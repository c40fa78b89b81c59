// The demo file VEZARO.DMO replayed as the station replays it: the cycle tick in demo mode
// reads two lines into frame slots 1 and 2 and decodes them, the bars animate between ticks.
// A plain model of the file (lines up to the first 0x1A, each without its line end, long
// lines in MaxLineBytes pieces, rewound at the end) says what each slot must hold.
//
// Input: a ticks byte (1..32 cycle ticks), a flags byte (bits 0-1: engine-speed mode;
// bits 2-4: fuel box), a name byte (the spelling of the file name), then the file's bytes.
#include "DemoFile.h"
#include "Files.h"
#include "FuzzSupport.h"
#include "StationEnv.h"
#include "StationLogic.h"
#include "StationState.h"

#include <QList>

namespace {

using vzfuzz::require;

// The station environment in demo mode: the port stays closed, the replay reads the file.
class DemoEnv : public vz::StationEnv {
public:
    explicit DemoEnv(vz::DemoFile& file) : m_file(file) {}
    bool IsConnected() const override { return false; }
    bool Connect() override { return false; }
    void Disconnect() override {}
    bool SendText(const QByteArray&) override { return false; }
    uint32_t BaudRateValue() const override { return 9600; }
    bool CheckLineStatus() const override { return false; }
    bool DemoReplayStep(vz::StationState& state) override {
        ++steps;
        return m_file.replayStep(state.FrameSlots);
    }
    void Beep() override {}
    int steps = 0;

private:
    vz::DemoFile& m_file;
};

// What the replay hands out, one entry per slot filled, in file order.
QList<QByteArray> expectedPieces(const QByteArray& content) {
    const qsizetype mark = content.indexOf('\x1A');
    const QByteArray text = mark >= 0 ? content.left(mark) : content;
    QList<QByteArray> pieces;
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype lf = text.indexOf('\n', at);
        QByteArray line = text.mid(at, lf < 0 ? -1 : lf - at);
        at = lf < 0 ? text.size() : lf + 1;
        if (line.endsWith('\r')) // CR LF, or a lone CR at the end of the file
            line.chop(1);
        if (line.isEmpty())
            pieces.append(line);
        for (qsizetype p = 0; p < line.size(); p += vz::MaxLineBytes)
            pieces.append(line.mid(p, vz::MaxLineBytes));
    }
    return pieces;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString kNames[] = {QStringLiteral("VEZARO.DMO"), QStringLiteral("vezaro.dmo"),
                                     QStringLiteral("Vezaro.Dmo")};
    static constexpr uint8_t kModes[] = {1, 2, 4, 1};
    const vzfuzz::ScratchDir& dir = vzfuzz::ScratchDir::fresh();
    vzfuzz::Input in(data, size);
    const int ticks = 1 + in.byte() % 32;
    const uint8_t flags = in.byte();
    const QString& name = kNames[in.byte() % 3];
    const QByteArray content = in.rest();
    dir.write(name, content);

    vz::DemoFile file;
    require(file.open(vz::findFileNoCase(dir.path(), QStringLiteral("VEZARO.DMO"))),
            "the demo file could not be opened");
    const QList<QByteArray> pieces = expectedPieces(content);
    qsizetype next = 0;

    vz::StationState s;
    s.DemoMode = true;
    s.RpmMode = kModes[flags & 0x03];
    s.GASBoxItemIndex = static_cast<int>((flags >> 2) & 0x07) - 1;
    DemoEnv env(file);
    std::array<QByteArray, 2> expected;
    for (int t = 0; t < ticks; ++t) {
        for (QByteArray& slot : expected) {
            if (next == pieces.size())
                next = 0; // rewound: the slot keeps what it held
            else
                slot = pieces[next++];
        }
        vz::Timer1Timer(s, env);
        require(env.steps == t + 1, "a tick did not replay the demo file");
        require(s.FrameSlots[0] == expected[0], "slot 1 does not hold the expected demo line");
        require(s.FrameSlots[1] == expected[1], "slot 2 does not hold the expected demo line");
        for (int step = 0; step < 3; ++step)
            vz::Timer2Timer(s);
    }
    file.close();
    return 0;
}
