#include "cli/StopSignals.h"

#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kelvora::cli {

namespace {

constexpr std::array kStopSignals{SIGINT, SIGTERM, SIGHUP};

std::atomic<bool> g_stop{false};
std::atomic<int> g_signal{0};
std::atomic<int> g_wakeFd{-1};  // the window's socket, written from the handler
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "set from a signal handler");

extern "C" void onStopSignal(int signal)
{
    int none = 0;
    (void)g_signal.compare_exchange_strong(none, signal);
    g_stop.store(true);
    if (const int fd = g_wakeFd.load(); fd >= 0) {
        const auto byte = static_cast<unsigned char>(signal);
        (void)!::write(fd, &byte, 1);  // a full socket already holds a wake-up
    }
}

void install(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a blocked write to a slow terminal goes on, then the save stops
    for (const int signal : kStopSignals)
        ::sigaction(signal, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

StopSignals::StopSignals()
{
    g_stop.store(false);
    g_signal.store(0);
    install(onStopSignal);
}

StopSignals::~StopSignals()
{
    for (const int signal : kStopSignals)
        ::signal(signal, SIG_DFL);
}

const std::atomic<bool>& StopSignals::stopRequested() const { return g_stop; }

int StopSignals::signal() const { return g_signal.load(); }

void callOnStopSignals(QObject& context, std::function<void(int)> onSignal)
{
    std::array<int, 2> ends{-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends.data()) != 0)
        return;  // the signals keep their default: the window ends at once, as before
    auto* notifier = new QSocketNotifier(ends[1], QSocketNotifier::Read, &context);
    QObject::connect(notifier, &QSocketNotifier::activated, &context, [fd = ends[1], onSignal = std::move(onSignal)] {
        unsigned char byte = 0;
        while (::read(fd, &byte, 1) == 1)
            onSignal(byte);
    });
    QObject::connect(&context, &QObject::destroyed, [ends, notifier] {
        g_wakeFd.store(-1);
        delete notifier;  // before its socket closes
        ::close(ends[0]);
        ::close(ends[1]);
    });
    g_wakeFd.store(ends[0]);
    install(onStopSignal);
}

}  // namespace kelvora::cli
