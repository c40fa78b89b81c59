// analyser-sim: plays the analyser on a pseudo-terminal until SIGTERM or SIGINT, or until a
// vehicle's control channel says "quit".
#include "ControlChannel.h"
#include "SerialLine.h"
#include "SimOptions.h"
#include "SimRunner.h"
#include "Vehicle.h"
#include "VzVersion.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace {

int g_wakeWrite = -1;
volatile std::sig_atomic_t g_stop = 0;

void onSignal(int) {
    g_stop = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_wakeWrite, &byte, 1);
}

int fail(const std::string& message) {
    std::cerr << "analyser-sim: " << message << '\n';
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const sim::ParsedOptions parsed = sim::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::cerr << "analyser-sim: " << parsed.error << " (see --help)\n";
        return 2;
    }
    const sim::SimOptions& options = parsed.options;
    if (options.help) {
        std::cout << sim::helpText();
        return 0;
    }
    if (options.version) {
        std::cout << "analyser-sim " VZ_VERSION "\n";
        return 0;
    }
    if (!options.connectPath.empty()) {
        std::signal(SIGPIPE, SIG_IGN);
        return sim::runControlClient(options.connectPath);
    }

    // A profile that cannot be read is a bad command line: refused before any line is opened.
    std::string error;
    std::optional<sim::Vehicle> vehicle;
    if (std::optional<sim::Vehicle::Settings> settings = sim::vehicleSettings(options, error))
        vehicle.emplace(std::move(*settings), sim::SimRunner::monotonicMs());
    else if (!error.empty()) {
        std::cerr << "analyser-sim: " << error << '\n';
        return 2;
    }

    // The signal handler only writes to this pipe; the loop polls it and ends cleanly, so the
    // link is removed on every ordinary way of stopping the simulator.
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return fail("pipe failed");
    g_wakeWrite = wake[1];
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Commands read on stdin from a background job: a read error, not a stopped simulator.
    if (options.controlStdin)
        std::signal(SIGTTIN, SIG_IGN);

    sim::SerialLine line;
    const bool opened = options.device.empty() ? line.openPty(options.baud, error)
                                               : line.openDevice(options.device, options.baud, error);
    if (!opened)
        return fail(error);

    sim::ComLink link;
    if (!options.linkDir.empty() && !link.create(options.linkDir, options.com, line.path(), error))
        return fail(error);

    sim::ControlChannel control;
    if (!options.controlSocket.empty() && !control.listen(options.controlSocket, error))
        return fail(error);
    if (options.controlStdin)
        control.useStdin();

    sim::SimRunner runner(options, line.fd(), line.slaveFd(), sim::SimRunner::monotonicMs());
    if (vehicle)
        runner.setEngine(&*vehicle);
    if (!options.recordPath.empty()) {
        if (!runner.record(options.recordPath, error))
            return fail(error);
        if (options.commas || options.crBeforeEnd)
            std::cerr << "analyser-sim: note: the recording keeps the commas/CR; a demo file "
                         "needs decimal points and no CR inside a frame\n";
    }

    if (!options.requestLogPath.empty() && !runner.logRequests(options.requestLogPath, error))
        return fail(error);

    std::cout << "PTY " << line.path() << std::endl;

    bool quit = false;
    const sim::ControlChannel::Handler handler = [&](const std::string& command) {
        const sim::Vehicle::Reply reply = vehicle->command(command, sim::SimRunner::monotonicMs());
        quit = quit || reply.quit;
        return reply.text;
    };
    std::vector<pollfd> controlFds;
    while (!g_stop && !quit) {
        controlFds.clear();
        if (vehicle)
            control.addPollFds(controlFds);
        if (!runner.step(1000, wake[0], &controlFds)) {
            control.close();
            link.remove();
            return fail(runner.lastError());
        }
        if (vehicle)
            control.handle(controlFds, handler);
    }
    control.close();
    link.remove();
    return 0;
}
