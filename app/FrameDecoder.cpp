// Cutting received blocks into analyser frames, and turning the 1200-baud lettered-field text
// into the result record in slot 5; beside it, the tap that finds the 1200-baud lines.
#include "AnalyserFrames.h"
#include "StationLogic.h"

namespace vz {

namespace {

constexpr qsizetype kFrameSlotsCut = 4; // slots 1..4 take the frames of a block
constexpr uint32_t kLetteredFieldBaud = 1200;

// One lettered field: its letter, the padding around its four characters and the 1-based
// record columns it replaces.
struct LetteredField {
    char letter;
    const char* prefix;
    const char* suffix;
    qsizetype firstColumn;
    qsizetype width;
};

// Taken in this order; each field writes its own columns, so the order only matters for
// which letter is searched first.
constexpr LetteredField kLetteredFields[] = {
    {'A', "0", "", 20, 5}, // HC, four digits
    {'B', "", "0", 14, 5}, // CO2, two digits, point, one decimal
    {'C', "0", "0", 7, 6}, // CO, one digit, point, two decimals
    {'D', "", "0", 26, 5}, // O2, two digits, point, one decimal
    {'G', "", "", 37, 4},  // engine speed, four digits
};

} // namespace

QByteArray cutFrames(StationState& s, QByteArray block) {
    if (block.isEmpty())
        return block;
    block.replace(',', '.');
    block.replace('\r', ' ');
    for (qsizetype k = 0; k < kFrameSlotsCut; ++k)
        s.FrameSlots[k].clear();

    for (qsizetype k = 0; k < kFrameSlotsCut; ++k) {
        const qsizetype start = block.indexOf(analyser::kStart);
        const qsizetype end = block.indexOf(analyser::kEnd);
        // A pass that finds no start, no end, or an end byte before the first start byte cuts
        // nothing and removes nothing. Nothing is lost by that: the bytes stay in the block
        // and, at 1200 baud, in the lettered-field text. Removing a stray leading end byte
        // instead would turn "0x03 then a complete frame" into a frame, which the analyser
        // contract rules out; the later passes then see the same block and stay empty too.
        if (start < 0 || end < 0 || start >= end)
            continue;
        s.FrameSlots[k] = block.mid(start, end - start + 1);
        block.remove(start, end - start + 1);
    }
    return block;
}

void ConvData(StationState& s) {
    QByteArray& record = s.FrameSlots[4];
    // Slot 5 is filled at start-up only when the station starts at 1200 baud. When the rate
    // is switched to 1200 later, start from the default record so the fields have a place.
    if (record.isEmpty())
        record = analyser::defaultResultRecord();

    // Positions are 1-based as in the record layout. The text is searched whole, whatever
    // its length: the condition below keeps every read inside it.
    const QByteArray& text = s.CurFrame;
    const qsizetype length = text.size();
    for (const LetteredField& f : kLetteredFields) {
        const qsizetype index = text.indexOf(f.letter);
        if (index < 0)
            continue;
        const qsizetype p = index + 1;
        // At least three characters must follow the four of the field.
        if (!(p + 1 < length - 5))
            continue;
        const QByteArray padded = f.prefix + text.mid(p, 4) + f.suffix;
        const qsizetype lastColumn = f.firstColumn + f.width - 1;
        if (padded.size() != f.width || lastColumn > record.size())
            continue;
        record.replace(f.firstColumn - 1, f.width, padded);
    }

    s.Display.Label45Visible = true;
    s.Display.Label45Colour = kGreen;
    s.Display.Label45Caption = QStringLiteral("    R U N N I N G    ");
    s.FrameSlots[0] = record;
}

void tapAnalyserLines(StationState& s, uint32_t baudRate, std::string_view bytes) {
    if (baudRate != kLetteredFieldBaud) {
        // Nothing to find; and a line begun before a change of rate must not be finished by
        // the bytes after a change back.
        s.LineTap.dropPartialLine();
        return;
    }
    std::vector<AnalyserLine>& recent = s.RecentAnalyserLines;
    for (const AnalyserLine& line : s.LineTap.feed(bytes)) {
        if (line.overRange())
            ++s.LineOverRangeCount;
        recent.push_back(line);
    }
    if (recent.size() > StationState::kRecentAnalyserLines)
        recent.erase(recent.begin(), recent.end() - qsizetype(StationState::kRecentAnalyserLines));
}

void cpDrvReceiveData(StationState& s, StationEnv& env, const void* DataPtr, uint32_t DataSize) {
    if (DataPtr == nullptr || DataSize == 0)
        return;
    // Kept as received for the line tap: the handling below may reach the port (a zeroing
    // request), and the driver's buffer is not ours to read after that.
    const QByteArray received(static_cast<const char*>(DataPtr), qsizetype(DataSize));
    const QByteArray rest = cutFrames(s, received);
    if (env.BaudRateValue() == kLetteredFieldBaud) {
        s.CurFrame = rest;
        ConvData(s);
    }
    ShowResData(s, env);
    // After the described handling, on the block as it was received.
    tapAnalyserLines(s, env.BaudRateValue(),
                     std::string_view(received.constData(), std::size_t(received.size())));
}

} // namespace vz
