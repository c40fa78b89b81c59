#pragma once
// The analyser as the cycle soak plays it: it hears the frames the station sent, answers them
// (or not) in a mood that lasts a while, sends its lettered text by itself at 1200 baud, and
// puts its bytes on a line that the station's polls read in blocks, sometimes cutting a frame
// across two blocks. Everything is drawn from one seeded generator, so a seed replays a run.
#include "cycle_env.h"
#include "frames_test_support.h"

#include <QByteArray>
#include <algorithm>
#include <cstdint>
#include <random>

namespace soak {

// The seeded source of every random choice in the soak.
class Dice {
public:
    explicit Dice(uint64_t seed) : engine_(seed) {}
    // A number from 0 to n - 1.
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(engine_() % n); }
    int between(int lo, int hi) { return lo + static_cast<int>(below(static_cast<uint32_t>(hi - lo + 1))); }
    bool oneIn(uint32_t n) { return below(n) == 0; }
    bool percent(uint32_t p) { return below(100) < p; }

private:
    std::mt19937_64 engine_;
};

// How the analyser behaves for a stretch of ticks.
enum class Mood {
    Healthy,     // answers every request correctly
    Flaky,       // answers some requests, with noise and cut blocks in between
    Silent,      // answers nothing: the station re-initialises it
    WarmingUp,   // reports "W-" to every status request
    ZeroRequest, // now and then reports "SP" to a status request
    OverRange,   // readings above the station's over-range limits
    LowVacuum,   // the intake vacuum below 810
    Garbled,     // cut-short frames, letters in numeric fields, foreign bytes
};
constexpr int kMoodCount = 8;

// The frames a result record or a lettered text carries, in the units of the last digit shown.
struct Reading {
    int coMilli;  // CO, thousandths of %
    int co2Centi; // CO2, hundredths of %
    int hcPpm;
    int o2Centi; // O2, hundredths of %
    int rpm;
};

// value in units of 10^-decimals as zero-padded text with intDigits integer digits; values
// beyond the field show its largest value, as the analyser's display does.
inline QByteArray fixedText(int value, int intDigits, int decimals, char point = '.') {
    int largest = 1;
    for (int i = 0; i < intDigits + decimals; ++i)
        largest *= 10;
    value = std::clamp(value, 0, largest - 1);
    QByteArray digits = QByteArray::number(value).rightJustified(intDigits + decimals, '0');
    if (decimals > 0)
        digits.insert(intDigits, point);
    return digits;
}

class Analyser {
public:
    explicit Analyser(Dice& dice) : dice_(dice) {}

    Mood mood() const { return mood_; }

    // Called once a tick: the mood changes now and then.
    void nextTick() {
        if (--moodTicksLeft_ > 0)
            return;
        // Healthy stretches are the most common, as on a real station.
        const uint32_t pick = dice_.below(100);
        mood_ = pick < 35   ? Mood::Healthy
                : pick < 50 ? Mood::Flaky
                : pick < 60 ? Mood::Silent
                : pick < 68 ? Mood::WarmingUp
                : pick < 75 ? Mood::ZeroRequest
                : pick < 85 ? Mood::OverRange
                : pick < 93 ? Mood::LowVacuum
                            : Mood::Garbled;
        moodTicksLeft_ = dice_.between(20, 3000);
    }

    // One frame the station wrote to the line. The polled analyser answers the requests that
    // have a reply; the self-sending one (1200 baud) answers nothing.
    void hear(const QByteArray& frame, uint32_t rate) {
        if (rate != 9600 || mood_ == Mood::Silent)
            return;
        const uint32_t answerPercent = mood_ == Mood::Flaky ? 60 : mood_ == Mood::Garbled ? 50 : 97;
        if (!dice_.percent(answerPercent))
            return;
        if (frame == cycletest::RG)
            put(resultRecord());
        else if (frame == cycletest::RM)
            put(vacuumFrame());
        else if (frame == cycletest::IN)
            put(infoFrame());
        else if (frame == cycletest::RS)
            put(statusFrame());
        // OU, ZP, ZE and the two 4-byte frames have no reply.
    }

    // What the analyser sends by itself in the intervalMs between two cycle ticks: at 1200 baud
    // its lettered text, about one every 300 ms; at either rate, now and then, foreign bytes,
    // an unasked status, or the other rate's kind of data.
    void between(uint32_t rate, int intervalMs) {
        if (rate == 1200 && mood_ != Mood::Silent) {
            int texts = intervalMs / 300 + static_cast<int>(dice_.below(2));
            while (texts-- > 0) {
                if (mood_ == Mood::Flaky && dice_.percent(40))
                    continue;
                put(letteredText());
            }
        }
        if (dice_.oneIn(mood_ == Mood::Flaky || mood_ == Mood::Garbled ? 4 : 25))
            put(noise());
        if (rate == 9600 && dice_.oneIn(100))
            put(letteredText()); // a self-sending analyser on a polled station's line
        if (rate == 1200 && dice_.oneIn(100))
            put(resultRecord()); // and the other way round
        if (dice_.oneIn(3000))
            put(vz::test::frame("RS", "\x17W-"));
        if (dice_.oneIn(2000))
            put(vz::test::frame("RS", "\x17SP"));
    }

    // The next block a poll reads: everything on the line, or now and then only its first
    // bytes, the rest staying for the next poll. Empty when nothing waits.
    QByteArray nextBlock() {
        if (line_.size() > 1 && dice_.percent(15)) {
            const qsizetype cut = 1 + dice_.below(static_cast<uint32_t>(line_.size() - 1));
            QByteArray first = line_.left(cut);
            line_.remove(0, cut);
            return first;
        }
        QByteArray all = line_;
        line_.clear();
        return all;
    }

    // The port closed: whatever was on its way is lost.
    void dropLine() { line_.clear(); }

private:
    void put(const QByteArray& bytes) { line_ += bytes; }

    Reading reading() {
        Reading r{dice_.between(0, 4000), dice_.between(1200, 1550), dice_.between(0, 600),
                  dice_.between(0, 300), dice_.between(700, 3500)};
        if (mood_ == Mood::OverRange && dice_.percent(70)) {
            r.coMilli = dice_.between(15000, 99999);
            r.co2Centi = dice_.between(2500, 9999);
            r.hcPpm = dice_.between(9000, 99999);
        }
        return r;
    }

    // A decimal comma, or a CR before the end byte, as some analysers write them.
    char point() { return dice_.percent(15) ? ',' : '.'; }
    QByteArray finish(QByteArray frame) {
        if (dice_.percent(8))
            frame.insert(frame.size() - 1, '\r');
        return frame;
    }
    // A frame cut short somewhere after its type, still closed by its end byte.
    QByteArray cutShort(const QByteArray& frame) {
        const qsizetype keep = dice_.between(4, static_cast<int>(frame.size()) - 2);
        return frame.left(keep) + QByteArray(1, analyser::kEnd);
    }

    QByteArray resultRecord() {
        const Reading r = reading();
        const char p = point();
        QByteArray co = fixedText(r.coMilli, 2, 3, p);
        if (mood_ == Mood::Garbled && dice_.percent(30))
            co[dice_.below(6)] = 'x';
        const QByteArray record = finish(vz::test::resultRecord(
            co.constData(), fixedText(r.co2Centi, 2, 2, p).constData(), fixedText(r.hcPpm, 5, 0).constData(),
            fixedText(r.o2Centi, 2, 2, p).constData(), fixedText(r.rpm, 4, 0).constData()));
        return mood_ == Mood::Garbled && dice_.percent(30) ? cutShort(record) : record;
    }

    QByteArray vacuumFrame() {
        QByteArray vacuum =
            fixedText(mood_ == Mood::LowVacuum ? dice_.between(600, 809) : dice_.between(850, 950), 4, 0);
        if (mood_ == Mood::Garbled && dice_.percent(30))
            vacuum[dice_.below(4)] = '-';
        const QByteArray frame = finish(vz::test::frame(
            "RM", "\x17 0000 " + vacuum + "  " + fixedText(dice_.between(600, 1100), 3, 1, point())));
        return mood_ == Mood::Garbled && dice_.percent(30) ? cutShort(frame) : frame;
    }

    QByteArray infoFrame() {
        // '2' (bit 1 set, bit 0 clear) asks for RM; the others do not.
        static constexpr char kStatus[] = {'0', '1', '2', '3', '2', '2'};
        const QByteArray frame =
            finish(vz::test::frame("IN", QByteArray("\x17") + "00" + kStatus[dice_.below(6)]));
        return mood_ == Mood::Garbled && dice_.percent(30) ? cutShort(frame) : frame;
    }

    QByteArray statusFrame() {
        QByteArray status = "OK";
        if (mood_ == Mood::WarmingUp)
            status = "W-";
        else if (mood_ == Mood::ZeroRequest && dice_.percent(20))
            status = "SP";
        else if (mood_ == Mood::Garbled && dice_.percent(30))
            status = "W+";
        return finish(vz::test::frame("RS", "\x17" + status));
    }

    QByteArray letteredText() {
        const Reading r = reading();
        const char p = point();
        QByteArray text = 'C' + fixedText((r.coMilli + 5) / 10, 1, 2, p);
        text += 'B' + fixedText((r.co2Centi + 5) / 10, 2, 1, p);
        text += 'A' + fixedText(r.hcPpm, 4, 0);
        text += 'D' + fixedText((r.o2Centi + 5) / 10, 2, 1, p);
        text += 'G' + fixedText(r.rpm, 4, 0);
        text += "\r\n";
        if (mood_ == Mood::Garbled && dice_.percent(30))
            text.truncate(dice_.below(static_cast<uint32_t>(text.size())));
        return text;
    }

    QByteArray noise() {
        // Any byte value, the frame bytes and the field letters among them.
        QByteArray bytes(dice_.between(1, 40), '\0');
        for (char& c : bytes)
            c = static_cast<char>(dice_.below(256));
        return bytes;
    }

    Dice& dice_;
    Mood mood_ = Mood::Healthy;
    int moodTicksLeft_ = 0;
    QByteArray line_;
};

} // namespace soak
