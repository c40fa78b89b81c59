// The simulated vehicle on an injected clock: the profile over time, hold and go, the seeded
// spread, the probe and a leak, the commands of a car played by hand, and the result records
// the analyser model builds from it.
#include "Vehicle.h"
#include "AnalyserModel.h"
#include "SimOptions.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace sim;

namespace {

// 0-10 s: idle; 10-13 s: up to high idle; held from then on.
const char* const kProfile = "0  800  0.100 14.80 40 0.20 80.0\n"
                             "10 800  0.100 14.80 40 0.20 80.0\n"
                             "13 2700 0.400 14.50 70 0.50 86.0\n";

Vehicle::Settings scripted(bool hold = false) {
    std::string error;
    Vehicle::Settings s;
    s.script = VehicleScript::parse(kProfile, error);
    s.hold = hold;
    return s;
}

Vehicle::Settings played() {
    Vehicle::Settings s;
    s.start = {850, 0.5, 14.5, 100, 0.5, 85.3};
    return s;
}

std::string columns(const std::string& frame, int first, int last) {
    return frame.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1));
}

} // namespace

TEST(Vehicle, FollowsItsProfileOverTimeHeldUntilGoAndFromWhereGoPutsIt) {
    Vehicle free(scripted(), 5000); // the clock's origin is 5 s
    EXPECT_EQ(free.engineAt(5000).rpm, 800);
    EXPECT_EQ(free.engineAt(16500).rpm, 1750); // 11.5 s: half way up
    const Readings high = free.engineAt(18000);
    EXPECT_EQ(high.rpm, 2700);
    EXPECT_EQ(high.coMilli, 400);
    EXPECT_EQ(high.co2Centi, 1450);
    EXPECT_EQ(high.hcPpm, 70);
    EXPECT_EQ(high.o2Centi, 50);
    EXPECT_EQ(high.oilDeci, 860);

    Vehicle held(scripted(true), 0);
    EXPECT_EQ(held.engineAt(60000).rpm, 800);
    EXPECT_EQ(held.command("status", 60000).text.substr(0, 24), "ok script 0.0 s held rpm");
    EXPECT_EQ(held.command("go", 60000).text, "ok script at 0 s");
    EXPECT_EQ(held.engineAt(71500).rpm, 1750);
    EXPECT_EQ(held.command("GO  12", 80000).text, "ok script at 12 s");
    EXPECT_DOUBLE_EQ(held.scriptSeconds(80500), 12.5);
    EXPECT_EQ(held.engineAt(80000).rpm, 2067); // 800 + 1900 * 2/3
    EXPECT_EQ(held.command("go -1", 80000).text.substr(0, 12), "error: usage");

    Vehicle::Settings fast = scripted();
    fast.timeScale = 4;
    EXPECT_EQ(Vehicle(fast, 0).engineAt(2875).rpm, 1750); // 11.5 s of profile in 2.875 s
}

TEST(Vehicle, SpreadsSpeedAndGasesRepeatablyBySeedWithinItsPercentage) {
    auto run = [](uint64_t seed) {
        Vehicle::Settings s = scripted();
        s.jitterPercent = 5;
        s.seed = seed;
        Vehicle v(s, 0);
        std::vector<Readings> out;
        for (int i = 0; i < 400; ++i)
            out.push_back(v.engineAt(20000));
        return out;
    };
    const std::vector<Readings> a = run(7);
    const std::vector<Readings> b = run(7);
    const std::vector<Readings> c = run(8);
    double sumCo = 0, sumRpm = 0;
    int differentFromOtherSeed = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].rpm, b[i].rpm);
        EXPECT_EQ(a[i].coMilli, b[i].coMilli);
        EXPECT_EQ(a[i].o2Centi, b[i].o2Centi);
        differentFromOtherSeed += a[i].coMilli != c[i].coMilli ? 1 : 0;
        EXPECT_NEAR(a[i].rpm, 2700, 135);
        EXPECT_NEAR(a[i].coMilli, 400, 20);
        EXPECT_NEAR(a[i].hcPpm, 70, 4);
        EXPECT_EQ(a[i].oilDeci, 860); // the oil temperature does not jitter
        sumCo += a[i].coMilli;
        sumRpm += a[i].rpm;
    }
    EXPECT_GT(differentFromOtherSeed, 300);
    EXPECT_NEAR(sumCo / 400, 400, 3); // the spread averages out
    EXPECT_NEAR(sumRpm / 400, 2700, 15);
    // Without a spread every reading is the profile's.
    Vehicle plain(scripted(), 0);
    EXPECT_EQ(plain.engineAt(20000).coMilli, 400);
    EXPECT_EQ(plain.engineAt(20000).coMilli, 400);
}

TEST(Vehicle, CommandsPlayTheEngineTheProbeAndALeak) {
    Vehicle v(played(), 0);
    const struct {
        const char* command;
        const char* answer;
        int rpm, coMilli, co2Centi, hcPpm, o2Centi, oilDeci;
    } steps[] = {
        {"rpm 2700", "ok rpm 2700", 2700, 500, 1450, 100, 50, 853},
        {"co 0.6", "ok co 0.600", 2700, 600, 1450, 100, 50, 853},
        {"oil 91.5", "ok oil 91.5", 2700, 600, 1450, 100, 50, 915},
        {"leak 20", "ok leak 20 %", 2700, 480, 1160, 80, 457, 915}, // 80 % exhaust, 20 % air
        {"probe out", "ok probe out", 2700, 0, 0, 0, 2085, 915},    // the speed pick-up stays on
        {"probe in", "ok probe in", 2700, 480, 1160, 80, 457, 915},
        {"leak 0", "ok leak 0 %", 2700, 600, 1450, 100, 50, 915},
        {"  Idle \r", "ok idle rpm 850", 850, 600, 1450, 100, 50, 915},
        {"rpm 10000", "error: usage: rpm N, from 0 to 9999", 850, 600, 1450, 100, 50, 915},
        {"leak 101", "error: usage: leak PCT", 850, 600, 1450, 100, 50, 915},
        {"probe sideways", "error: usage: probe out | probe in", 850, 600, 1450, 100, 50, 915},
        {"go", "error: go starts a profile", 850, 600, 1450, 100, 50, 915},
        {"accelerate", "error: unknown command 'accelerate'", 850, 600, 1450, 100, 50, 915},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.command);
        const Vehicle::Reply reply = v.command(s.command, 1000);
        EXPECT_EQ(reply.text.substr(0, std::strlen(s.answer)), s.answer) << reply.text;
        EXPECT_FALSE(reply.quit);
        const Readings r = v.engineAt(1000);
        EXPECT_EQ(r.rpm, s.rpm);
        EXPECT_EQ(r.coMilli, s.coMilli);
        EXPECT_EQ(r.co2Centi, s.co2Centi);
        EXPECT_EQ(r.hcPpm, s.hcPpm);
        EXPECT_EQ(r.o2Centi, s.o2Centi);
        EXPECT_EQ(r.oilDeci, s.oilDeci);
    }
    EXPECT_EQ(v.command("status", 0).text,
              "ok rpm 850 co 0.600 co2 14.50 hc 100 o2 0.50 oil 91.5 probe in leak 0 %");
    EXPECT_EQ(v.command("", 0).text, "");
    EXPECT_TRUE(v.command("quit", 0).quit);

    // A car on a profile takes the probe and a leak, not the accelerator.
    Vehicle s(scripted(), 0);
    EXPECT_EQ(s.command("rpm 2700", 0).text.substr(0, 40), "error: rpm: this car follows its profile");
    EXPECT_EQ(s.command("probe out", 20000).text, "ok probe out");
    EXPECT_EQ(s.engineAt(20000).rpm, 2700);
    EXPECT_EQ(s.engineAt(20000).co2Centi, 0);
}

TEST(Vehicle, DrivesTheResultRecordsAndTheOilTemperatureTheStationReads) {
    Vehicle::Settings settings = scripted();
    settings.rpmFactor = 2; // the station set to RPM/2 halves the field
    Vehicle v(settings, 0);
    AnalyserModel model(AnalyserModel::Settings{}, 0);
    model.setEngine(&v);
    const Request rg{RequestKind::Command, "RG", 0};
    const Request rm{RequestKind::Command, "RM", 0};

    // Before the start frame the analyser reports no speed and clean air; the oil probe reads.
    EXPECT_EQ(columns(model.answer(rg, 2000), 37, 40), "0000");
    EXPECT_EQ(columns(model.answer(rm, 2000), 18, 22), "080.0");

    model.answer(Request{RequestKind::Start, {}, 0}, 2000);
    const std::string idle = model.answer(rg, 2000);
    EXPECT_EQ(columns(idle, 7, 12), "00.100");
    EXPECT_EQ(columns(idle, 14, 18), "14.80");
    EXPECT_EQ(columns(idle, 20, 24), "00040");
    EXPECT_EQ(columns(idle, 26, 30), "00.20");
    EXPECT_EQ(columns(idle, 37, 40), "1600");

    const std::string ramp = model.answer(rg, 11500); // half way from 800 to 2700
    EXPECT_EQ(columns(ramp, 7, 12), "00.250");
    EXPECT_EQ(columns(ramp, 37, 40), "3500");
    EXPECT_EQ(columns(model.answer(rm, 11500), 18, 22), "083.0");

    const std::string high = model.answer(rg, 30000);
    EXPECT_EQ(columns(high, 7, 12), "00.400");
    EXPECT_EQ(columns(high, 37, 40), "5400");
    const std::string vacuum = model.answer(rm, 30000);
    EXPECT_NEAR(std::stoi(columns(vacuum, 12, 15)), 900, 6); // the vacuum keeps its set point

    // On zero gas the bench reads clean air whatever the car does.
    model.answer(Request{RequestKind::Command, "OU", 'P'}, 30000);
    EXPECT_EQ(columns(model.answer(rg, 30000), 7, 30), "00.000 00.00 00000 20.85");
}

TEST(VehicleOptions, ChooseTheCarItsControlAndTheirLimits) {
    ParsedOptions p = parseOptions({"--control", "/tmp/s.sock", "--control", "-", "--rpm", "900"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.vehicle, kInteractiveVehicle); // a control channel alone plays a car
    EXPECT_EQ(p.options.controlSocket, "/tmp/s.sock");
    EXPECT_TRUE(p.options.controlStdin);
    std::string error;
    const std::optional<Vehicle::Settings> s = vehicleSettings(p.options, error);
    ASSERT_TRUE(s) << error;
    EXPECT_FALSE(s->script);
    EXPECT_EQ(s->start.rpm, 900);

    p = parseOptions({"--vehicle", "interactive"});
    EXPECT_TRUE(p.options.controlStdin); // played by hand on stdin when no channel is named
    p = parseOptions({"--rpm-mode", "2", "--rpm", "1200"});
    EXPECT_EQ(modelSettings(p.options).setPoint.rpm, 2400);
    p = parseOptions({"--vehicle", "/nonexistent/car.profile"});
    ASSERT_EQ(p.error, "");
    EXPECT_FALSE(vehicleSettings(p.options, error));
    EXPECT_EQ(error, "/nonexistent/car.profile: No such file or directory");
    EXPECT_FALSE(vehicleSettings(SimOptions{}, error));

    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--hold"},
                                               {"--vehicle", "interactive", "--hold"},
                                               {"--time-scale", "2"},
                                               {"--vehicle", "car.profile", "--time-scale", "0"},
                                               {"--vehicle", "car.profile", "--jitter", "25"},
                                               {"--rpm-mode", "4"},
                                               {"--vehicle", "car.profile", "--over-range"},
                                               {"--connect", "s.sock", "--vehicle", "car.profile"},
                                               {"--control", ""}})
        EXPECT_NE(parseOptions(args).error, "") << args[0] << " " << args.back();
}
