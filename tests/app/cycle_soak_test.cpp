// A soak of the measurement cycle: a million cycle ticks against an analyser that answers,
// keeps silent, garbles and floods its line at random, while the operator presses buttons,
// the port drops, the line rate changes and demo mode comes and goes. After every event the
// state, the command step and every frame sent are checked, message boxes are counted against
// their causes, and the heap must not grow between the end of a warm-up and the end.
//
// VZ_SOAK_SEED chooses another seed (the one used is printed), VZ_SOAK_TICKS another length.
#include "cycle_env.h"
#include "soak_analyser.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <utility>

#ifdef VZ_ASAN_BUILD
#if __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#else
// g++ 12 ships no header for the sanitizer allocator's statistics, but its run-time library
// exports them all the same.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif
#else
#include <malloc.h>
#endif

using namespace cycletest;

namespace {

constexpr uint64_t kDefaultSeed = 20240611;
constexpr uint64_t kDefaultTicks = 1'000'000;
constexpr uint64_t kWarmUpTicks = 100'000;

// The heap may differ by this much between the end of the warm-up and the end of the run
// without counting as growth. What the soak holds between ticks has a bounded but varying
// size: the five frame slots keep whatever frames the last blocks held (up to a few hundred
// bytes each), the reading and caption strings change length, the line buffer and the list of
// frames keep the capacity of the largest burst so far, and Qt's strings round their
// allocations up. Together that is a few kilobytes; 32 KiB leaves room for that and still
// catches a leak of a single byte per tick over the 900 000 ticks after the warm-up.
constexpr int64_t kHeapSlackBytes = 32 * 1024;

// The command steps the cycle can hold. The cycle keeps its command table as a switch
// (commandForStep) and exports no list of steps, so they are listed here with the reason
// each one is reached:
//   0         stop requested turns into stopped: OU blank goes out
//   1 .. 6    the running round RG, RM or OU A, RG, IN, RG, RS; 1 while stopped (RG every
//             2 s); 5 and 6 in warm-up
//   7 .. 12   zeroing: OU P, the three silent steps 8 to 10, ZP, ZE
//   13        the end of zeroing and the entry to initialising; sending turns it into 2, so
//             it stays 13 only while the port is closed
//   14 .. 17  initialising: the reset and start frames, then RG
//   18        initialising is over: the start command runs, and step 18 sends nothing
// Nothing goes below 0 or past 18 at 9600 or 1200 baud. At 9600 the start command always
// leaves initialising from 18; at 1200 the watchdog keeps TicksSinceResult below 10, so each
// initialising tick sets 17 again before it counts up.
constexpr int32_t kFirstStep = 0;
constexpr int32_t kLastStep = 18;

// Where CmdStep stands after a tick in each state, when no demo replay ran in it (a replayed
// "W-" or "SP" can change the state in the middle of a tick).
bool stepFitsState(uint8_t state, int32_t step) {
    switch (state) {
    case 1: // the round; or just entered from zeroing (13, sent as 2) or initialising (18)
        return (step >= 1 && step <= 6) || step == 13 || step == 18;
    case 2: // one step further each tick until past 5; or just stopped at the run limit
        return step >= 1 && step <= 6;
    case 3: // 0 on the tick that enters it, then 1
        return step == 0 || step == 1;
    case 4: // settles into 5 and 6
        return step >= 1 && step <= 6;
    case 5: // 2 from a zero command inside the tick (over-range), then 3 .. 12
        return step >= 2 && step <= 12;
    case 6: // entered at 13 (sent as 2), then 14 .. 18
        return step == 2 || (step >= 13 && step <= 18);
    default: // idle keeps whatever step the last failed send left
        return true;
    }
}

// The eleven frames the analyser understands.
const std::array<QByteArray, 11> kFrames = {RG, RM, IN, RS, OUBlank, OUA, OUP, ZP, ZE, Start, Reset};
const std::array<const char*, 11> kFrameNames = {"RG",   "RM", "IN", "RS",          "OU blank",   "OU A",
                                                 "OU P", "ZP", "ZE", "64 01 04 04", "64 01 00 00"};

int frameIndex(const QByteArray& frame) {
    for (size_t i = 0; i < kFrames.size(); ++i)
        if (frame == kFrames[i])
            return static_cast<int>(i);
    return -1;
}

uint64_t numberFromEnvironment(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0')
        return fallback;
    uint64_t value = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    return error == std::errc() && stop == end ? value : fallback;
}

// Bytes the program holds on the heap now, as its allocator counts them. Under
// AddressSanitizer the allocator is the sanitizer's, and glibc's counters stay still.
int64_t heapInUse() {
#ifdef VZ_ASAN_BUILD
    return static_cast<int64_t>(__sanitizer_get_current_allocated_bytes());
#else
    return static_cast<int64_t>(mallinfo2().uordblks);
#endif
}

// Printed, not checked. Under AddressSanitizer the peak climbs all through the run while the
// heap in use stays flat: freed blocks wait in the sanitizer's quarantine (256 MiB by default)
// and every allocation's call stack is kept in its stack store. With
// ASAN_OPTIONS=quarantine_size_mb=0:malloc_context_size=0 it stays flat there too.
long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss; // kilobytes on Linux
}

QList<QByteArray> demoRecording() {
    using vz::test::frame;
    using vz::test::resultRecord;
    return {resultRecord("01.230", "14.50", "00123", "00.85", "0850"),
            frame("RM", "\x17 0000 0900  085.3"),
            resultRecord("01.250", "14.40", "00130", "00.80", "0860"),
            frame("IN", "\x17"
                        "002"),
            resultRecord("16.000", "25.50", "09500", "00.10", "2500"),
            frame("RS", "\x17OK"),
            resultRecord("00.950", "14.90", "00098", "00.60", "2900"),
            frame("RS", "\x17W-"),
            resultRecord("01.100", "14.70", "00110", "00.70", "0900"),
            frame("RS", "\x17SP"),
            frame("RM", "\x17 0000 0780  090.1")};
}

enum class Event { Command, Tick, Receive, Animation };

const char* eventName(Event e) {
    switch (e) {
    case Event::Command:
        return "operator command";
    case Event::Tick:
        return "cycle tick";
    case Event::Receive:
        return "receive event";
    case Event::Animation:
        return "bar animation";
    }
    return "?";
}

// A stretch of ticks in which the line is at fault.
enum class Fault {
    None,
    Unplugged, // the device is gone: the port is closed and will not open again
    SendsFail, // the port stays open but refuses every write
};

class CycleSoak {
public:
    explicit CycleSoak(uint64_t seed) : seed_(seed), dice_(seed), analyser_(dice_) {
        // As start-up leaves a station without a demo file: idle, step 1, the port closed.
        s_.DemoMode = false;
        env_.connected = false;
        env_.rate = 9600;
        env_.demoLines = demoRecording();
        vz::setMessageBoxHandler(
            [this](QWidget*, const QString& caption, const QString&, vz::MsgIcon, vz::MsgButtons) {
                if (caption == QLatin1String("COM Port Error"))
                    ++portBoxes_;
                else if (caption == QLatin1String("Warning"))
                    ++warningBoxes_;
                else
                    ++otherBoxes_;
                return vz::MsgAnswer::Ok;
            });
    }
    ~CycleSoak() { vz::setMessageBoxHandler({}); }
    CycleSoak(const CycleSoak&) = delete;
    CycleSoak& operator=(const CycleSoak&) = delete;

    // Runs the ticks; false after the first failed check, which has been reported.
    bool run(uint64_t ticks, uint64_t warmUp) {
        const auto started = std::chrono::steady_clock::now();
        if (warmUp == 0) {
            heapAtWarmUp_ = heapInUse();
            rssAtWarmUp_ = peakRssKiB();
        }
        for (tick_ = 1; tick_ <= ticks; ++tick_) {
            if (!oneTick())
                return false;
            if (tick_ == warmUp) {
                heapAtWarmUp_ = heapInUse();
                rssAtWarmUp_ = peakRssKiB();
            }
            if (tick_ % (ticks / 10 == 0 ? 1 : ticks / 10) == 0)
                std::printf("[ soak     ] tick %8llu: heap %lld bytes, peak RSS %ld KiB\n",
                            static_cast<unsigned long long>(tick_), static_cast<long long>(heapInUse()),
                            peakRssKiB());
        }
        heapAtEnd_ = heapInUse();
        rssAtEnd_ = peakRssKiB();
        seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (fault_ != Fault::None)
            return endEpisode();
        return true;
    }

    void printSummary() const {
        std::printf("[ soak     ] %.1f s for %llu ticks\n", seconds_,
                    static_cast<unsigned long long>(tick_ - 1));
        std::printf("[ soak     ] ticks per state:");
        for (int st = 1; st <= 7; ++st)
            std::printf(" %d:%llu", st, static_cast<unsigned long long>(stateTicks_[st]));
        std::printf("\n[ soak     ] frames sent:");
        for (size_t i = 0; i < kFrames.size(); ++i)
            std::printf(" %s:%llu", kFrameNames[i], static_cast<unsigned long long>(frameCounts_[i]));
        std::printf("\n");
        std::printf("[ soak     ] message boxes %llu: COM Port Error %llu, Warning %llu, other %llu; most in "
                    "one fault stretch %llu\n",
                    ull(boxes()), ull(portBoxes_), ull(warningBoxes_), ull(otherBoxes_),
                    ull(mostEpisodeBoxes_));
        std::printf("[ soak     ] heap after warm-up %lld bytes, at the end %lld bytes (%+lld); peak RSS "
                    "after warm-up %ld KiB, at the end %ld KiB\n",
                    static_cast<long long>(heapAtWarmUp_), static_cast<long long>(heapAtEnd_),
                    static_cast<long long>(heapAtEnd_ - heapAtWarmUp_), rssAtWarmUp_, rssAtEnd_);
    }

    // Every state, frame and step was reached: the run exercised the whole cycle.
    void expectFullCoverage() const {
        for (int st = 1; st <= 7; ++st)
            EXPECT_GT(stateTicks_[st], 0u) << "state " << st << " never reached";
        for (size_t i = 0; i < kFrames.size(); ++i)
            EXPECT_GT(frameCounts_[i], 0u) << kFrameNames[i] << " never sent";
        for (int32_t step = kFirstStep; step <= kLastStep; ++step)
            EXPECT_TRUE(stepSeen_[step]) << "CmdStep " << step << " never held";
        EXPECT_GT(portBoxes_, 0u) << "no port failure reached the operator";
        EXPECT_GT(warningBoxes_, 0u) << "no failed send reached the operator";
    }

    int64_t heapGrowth() const { return heapAtEnd_ - heapAtWarmUp_; }
    uint64_t boxes() const { return portBoxes_ + warningBoxes_ + otherBoxes_; }

private:
    static unsigned long long ull(uint64_t v) { return static_cast<unsigned long long>(v); }

    bool oneTick() {
        if (!lineEvents())
            return false;
        // The line is healthy for the whole tick when it can open and write: then nothing may
        // reach the operator.
        const bool healthy = env_.connectSucceeds && !env_.sendFails;
        const uint64_t boxesBefore = boxes();

        if (!operatorEvents())
            return false;

        const bool demo = s_.DemoMode;
        vz::Timer1Timer(s_, env_);
        if (!checkEvent(Event::Tick))
            return false;
        if (!demo && !stepFitsState(s_.OpState, s_.CmdStep))
            return fail(Event::Tick, "CmdStep does not fit the state after the tick");
        ++stateTicks_[s_.OpState];

        // The analyser until the next tick: its replies and its own sending, read by the
        // serial component's 400 ms polls; and the bar animation every 100 ms.
        analyser_.nextTick();
        const int interval = s_.Display.Timer1Interval;
        analyser_.between(env_.rate, interval);
        const int polls = std::max(1, interval / 400) + static_cast<int>(dice_.below(2));
        for (int p = 0; p < polls; ++p) {
            if (!env_.IsConnected()) {
                analyser_.dropLine(); // a closed port reads nothing
                break;
            }
            const QByteArray block = analyser_.nextBlock();
            // The serial component raises no event for an empty poll; now and then one comes
            // anyway, which must change nothing.
            if (block.isEmpty() && !dice_.oneIn(50))
                continue;
            vz::cpDrvReceiveData(s_, env_, block.constData(), static_cast<uint32_t>(block.size()));
            if (!checkEvent(Event::Receive))
                return false;
        }
        for (int a = 0; a < std::max(1, interval / 100); ++a)
            vz::Timer2Timer(s_);
        if (!checkEvent(Event::Animation))
            return false;

        const uint64_t newBoxes = boxes() - boxesBefore;
        if (healthy && newBoxes > 0)
            return fail(Event::Tick, "a message box while the line was healthy");
        if (fault_ != Fault::None)
            episodeBoxes_ += newBoxes;
        return true;
    }

    // The line's faults: a stretch in which the device is unplugged or writes fail, and now
    // and then the port closed under the station, which opens again at the next try.
    bool lineEvents() {
        if (fault_ != Fault::None && --faultTicksLeft_ <= 0 && !endEpisode())
            return false;
        if (fault_ == Fault::None && dice_.oneIn(2500)) {
            fault_ = dice_.percent(50) ? Fault::Unplugged : Fault::SendsFail;
            faultTicksLeft_ = dice_.between(1, 600);
            episodeBoxes_ = 0;
            episodeCommands_ = 0;
            if (fault_ == Fault::Unplugged) {
                env_.connected = false;
                env_.connectSucceeds = false;
                analyser_.dropLine();
            } else {
                env_.sendFails = true;
            }
        }
        if (dice_.oneIn(5000) && env_.connected) {
            env_.connected = false;
            analyser_.dropLine();
        }
        return true;
    }

    // Once the line is at fault, each stint of the cycle away from idle ends in at most two
    // boxes (the port cannot open, the send fails) and idle, which nothing but a command leaves.
    // So a stretch shows at most two boxes for the stint it began in, and three for each start,
    // zero, rate switch or demo switch in it (a zero command that cannot open the port warns
    // at once and its stint ends in two more).
    bool endEpisode() {
        mostEpisodeBoxes_ = std::max(mostEpisodeBoxes_, episodeBoxes_);
        const uint64_t allowed = 2 + 3 * episodeCommands_;
        fault_ = Fault::None;
        env_.connectSucceeds = true;
        env_.sendFails = false;
        if (episodeBoxes_ > allowed)
            return fail(Event::Tick,
                        "too many message boxes in one fault stretch: " + std::to_string(episodeBoxes_) +
                            " for " + std::to_string(episodeCommands_) + " commands");
        return true;
    }

    bool operatorEvents() {
        if (dice_.oneIn(400)) {
            countCommand();
            vz::Button2Click(s_, env_);
            if (!checkEvent(Event::Command))
                return false;
        }
        if (dice_.oneIn(900)) {
            countCommand();
            vz::Button3Click(s_, env_);
            if (!checkEvent(Event::Command))
                return false;
        }
        if (dice_.oneIn(600)) {
            vz::Label5Click(s_);
            if (!s_.Display.RPMGroupVisible)
                return fail(Event::Command, "the engine-speed group did not show");
        }
        if (dice_.oneIn(600)) {
            // Every item, and no item selected.
            const int item = dice_.between(-1, 2);
            vz::RPMGroupClick(s_, item);
            const uint8_t expected = item == 2 ? 4 : item == 1 ? 2 : 1;
            if (s_.RpmMode != expected || s_.Display.RPMGroupVisible)
                return fail(Event::Command, "engine-speed item " + std::to_string(item) + " gave mode " +
                                                std::to_string(s_.RpmMode));
            if (!checkEvent(Event::Command))
                return false;
        }
        if (dice_.oneIn(6000)) {
            countCommand();
            env_.rate = env_.rate == 9600 ? 1200 : 9600;
        }
        if (!s_.DemoMode && dice_.oneIn(8000)) {
            countCommand();
            s_.DemoMode = true;
        } else if (s_.DemoMode && dice_.oneIn(1500)) {
            countCommand();
            s_.DemoMode = false;
        }
        // A demo file that fails to read now and then.
        env_.demoReadOk = !s_.DemoMode || !dice_.oneIn(300);
        return true;
    }

    void countCommand() {
        if (fault_ != Fault::None)
            ++episodeCommands_;
    }

    // The checks after every event: the state, the step, the frames it sent, the boxes.
    bool checkEvent(Event event) {
        if (s_.OpState < 1 || s_.OpState > 7)
            return fail(event, "OpState outside 1..7");
        if (s_.CmdStep < kFirstStep || s_.CmdStep > kLastStep)
            return fail(event, "CmdStep outside the command table");
        stepSeen_[s_.CmdStep] = true;

        // A tick sends at most its own frame and the start frame of a start command it runs;
        // an operator command at most its start frame; a received block nothing.
        const qsizetype most = event == Event::Tick ? 2 : event == Event::Command ? 1 : 0;
        if (env_.frames.size() > most)
            return fail(event, std::to_string(env_.frames.size()) + " frames in one event");
        for (const QByteArray& frame : std::as_const(env_.frames)) {
            const int index = frameIndex(frame);
            if (index < 0)
                return fail(event,
                            "sent a frame the analyser does not know: " + frame.toHex(' ').toStdString());
            if (s_.DemoMode)
                return fail(event, std::string("sent ") + kFrameNames[index] + " in demo mode");
            // The self-sending analyser is told nothing but the start command's frame.
            if (env_.rate == 1200 && frame != Start)
                return fail(event, std::string("sent ") + kFrameNames[index] + " at 1200 baud");
            ++frameCounts_[index];
            analyser_.hear(frame, env_.rate);
        }
        env_.frames.clear();

        // Each box has its cause: a port that did not open, or a send that failed.
        if (otherBoxes_ > 0)
            return fail(event, "a message box other than the port's");
        if (portBoxes_ != static_cast<uint64_t>(env_.failedConnects))
            return fail(event, "COM Port Error boxes do not match the failed opens");
        if (warningBoxes_ != static_cast<uint64_t>(env_.failedSends))
            return fail(event, "send warnings do not match the failed sends");
        // A failed send is the last thing its tick or command does: the port is closed and the
        // station idle until a command opens it again.
        if (env_.failedSends != failedSendsSeen_) {
            failedSendsSeen_ = env_.failedSends;
            if (env_.connected || s_.OpState != 7)
                return fail(event, "a failed send left the port open or the station out of idle");
        }
        return true;
    }

    bool fail(Event event, const std::string& what) {
        ADD_FAILURE() << what << "\n  at tick " << tick_ << " (" << eventName(event) << "), seed " << seed_
                      << ": OpState " << int(s_.OpState) << ", CmdStep " << s_.CmdStep << ", SubTicks "
                      << s_.SubTicks << ", TicksSinceResult " << s_.TicksSinceResult << ", rate " << env_.rate
                      << (s_.DemoMode ? ", demo" : "") << (env_.connected ? ", port open" : ", port closed")
                      << ", analyser mood " << static_cast<int>(analyser_.mood());
        return false;
    }

    const uint64_t seed_;
    soak::Dice dice_;
    soak::Analyser analyser_;
    vz::StationState s_;
    RecordingEnv env_;
    uint64_t tick_ = 0;

    Fault fault_ = Fault::None;
    int faultTicksLeft_ = 0;
    uint64_t episodeBoxes_ = 0;
    uint64_t episodeCommands_ = 0;
    uint64_t mostEpisodeBoxes_ = 0;

    uint64_t portBoxes_ = 0, warningBoxes_ = 0, otherBoxes_ = 0;
    int failedSendsSeen_ = 0;
    std::array<uint64_t, 8> stateTicks_{};
    std::array<uint64_t, 11> frameCounts_{};
    std::array<bool, kLastStep + 1> stepSeen_{};

    int64_t heapAtWarmUp_ = 0, heapAtEnd_ = 0;
    long rssAtWarmUp_ = 0, rssAtEnd_ = 0;
    double seconds_ = 0;
};

} // namespace

TEST(CycleSoak, AMillionTicksOfRandomAnalyserBehaviourKeepStatesStepsFramesBoxesAndHeapInBounds) {
    const uint64_t seed = numberFromEnvironment("VZ_SOAK_SEED", kDefaultSeed);
    const uint64_t ticks = numberFromEnvironment("VZ_SOAK_TICKS", kDefaultTicks);
    const uint64_t warmUp = std::min(kWarmUpTicks, ticks / 10);
#ifdef VZ_ASAN_BUILD
    const char* const allocator = "AddressSanitizer";
#else
    const char* const allocator = "glibc";
#endif
    std::printf("[ soak     ] seed %llu (VZ_SOAK_SEED), %llu ticks (VZ_SOAK_TICKS), heap measured after "
                "tick %llu and at the end, allocator: %s\n",
                static_cast<unsigned long long>(seed), static_cast<unsigned long long>(ticks),
                static_cast<unsigned long long>(warmUp), allocator);
    ASSERT_GT(ticks, 0u);

    CycleSoak soak(seed);
    const bool completed = soak.run(ticks, warmUp);
    soak.printSummary();
    ASSERT_TRUE(completed);

    EXPECT_LE(soak.heapGrowth(), kHeapSlackBytes)
        << "the heap grew between tick " << warmUp << " and the end";
    // A shorter run may miss a rare path; the default length reaches them all.
    if (ticks >= 200'000)
        soak.expectFullCoverage();
}
