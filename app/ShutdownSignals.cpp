#include "ShutdownSignals.h"

#include "MessageBox.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QWidget>
#include <atomic>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};
// A process-directed signal goes to any thread that does not block it, and Qt and the
// system libraries start threads of their own, so two requests sent together can run this
// handler on two threads at the same moment. Only an atomic exchange tells exactly one of
// them that it came first.
std::atomic<int> signalsSeen{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

// How long an orderly shutdown may take before the process ends without finishing it. A
// build under AddressSanitizer runs several times slower and scans for leaks on its way out,
// which the deadline must not cut short.
#ifdef VZ_ASAN_BUILD
constexpr unsigned kShutdownDeadlineSeconds = 20;
#else
constexpr unsigned kShutdownDeadlineSeconds = 2;
#endif

void onSignal(int sig) {
    if (signalsSeen.exchange(1) != 0) {
        // A second request: the operator or the system will not wait any longer.
        ::signal(sig, SIG_DFL);
        ::raise(sig);
        return;
    }
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1); // async-signal-safe
}

void onShutdownDeadline(int) {
    static const char text[] = "vezaro: shutdown did not finish in time; ending now\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text, sizeof text - 1);
    ::_exit(1);
}

void install(int sig, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(sig, &action, nullptr);
}

void shutDown(QWidget* window) {
    install(SIGALRM, onShutdownDeadline);
    ::alarm(kShutdownDeadlineSeconds);
    // From here on no handler opens a modal loop: a handler that resumes after its box or
    // dialog is closed below takes the box's escape answer and returns.
    vz::setShuttingDown(true);
    // Modal windows first (limits, report, settings, a message box): their nested loops
    // must end before the main window's close can end the program.
    for (int guard = 0; guard < 16; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (modal->isVisible())
            modal->hide();
    }
    window->close();
    // Every running loop, nested or not, returns now, and a loop started later returns at
    // once, so the process cannot be left waiting for a person.
    QCoreApplication::exit(0);
}
} // namespace

void closeOnTerminationSignals(QWidget* window) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window, notifier] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        shutDown(window);
    });
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        install(sig, onSignal);
}

void ignoreFileSizeLimitSignal() {
    ::signal(SIGXFSZ, SIG_IGN);
}
