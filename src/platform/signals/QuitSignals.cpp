#include "platform/signals/QuitSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace orv {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler may only touch these: the write end of a pipe the event loop watches (the
// self-pipe), that of a pipe nobody reads (readable from the first signal on), and whether a
// signal is already on its way.
int pipeFds[2] = {-1, -1};
int requestedFds[2] = {-1, -1};
volatile std::sig_atomic_t pending = 0;

void onSignal(int sig)
{
    if (pending) {
        // The first one has not ended the program yet: whatever holds it up, end now.
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        sigemptyset(&dfl.sa_mask);
        ::sigaction(sig, &dfl, nullptr);
        ::raise(sig);
        return;
    }
    pending = 1;
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
    [[maybe_unused]] const ssize_t m = ::write(requestedFds[1], &byte, 1);
    errno = savedErrno;
}

void setHandler(void (*handler)(int))
{
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : kSignals)
        ::sigaction(sig, &sa, nullptr);
}

} // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent)
{
    Q_ASSERT(pipeFds[0] < 0);
    // Not inherited by the catalogue reader or programs the shell starts.
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeFds[0] = pipeFds[1] = -1;
        return;
    }
    if (::pipe2(requestedFds, O_CLOEXEC | O_NONBLOCK) != 0)
        requestedFds[0] = requestedFds[1] = -1;
    pending = 0;
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::drain);
    setHandler(onSignal);
}

QuitSignals::~QuitSignals()
{
    if (pipeFds[0] < 0)
        return;
    setHandler(SIG_DFL);
    delete notifier_;
    for (int* fds : {pipeFds, requestedFds}) {
        for (int i = 0; i < 2; ++i)
            if (fds[i] >= 0)
                ::close(fds[i]);
        fds[0] = fds[1] = -1;
    }
}

int QuitSignals::requestedFd() const { return requestedFds[0]; }

void QuitSignals::drain()
{
    unsigned char bytes[16];
    ssize_t n;
    while ((n = ::read(pipeFds[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i)
            emit received(bytes[i]);
    }
}

} // namespace orv
