#include "platform/signals/QuitSignals.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <vector>

using orv::QuitSignals;

namespace {

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "test_signals";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

std::vector<int> receivedWithin(QuitSignals& q, int ms, std::size_t wanted)
{
    std::vector<int> got;
    QObject::connect(&q, &QuitSignals::received, [&got](int s) { got.push_back(s); });
    QElapsedTimer t;
    t.start();
    while (got.size() < wanted && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return got;
}

bool handledByDefault(int sig)
{
    struct sigaction sa {};
    ::sigaction(sig, nullptr, &sa);
    return sa.sa_handler == SIG_DFL;
}

} // namespace

TEST(QuitSignals, EachSignalArrivesThroughTheEventLoop)
{
    app();
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        QuitSignals q;
        std::vector<int> got;
        QObject::connect(&q, &QuitSignals::received, [&got](int s) { got.push_back(s); });
        ::raise(sig);
        // Not inside the handler: only once the event loop runs.
        EXPECT_TRUE(got.empty());
        EXPECT_EQ(receivedWithin(q, 5000, 1), std::vector<int>{sig}) << sig;
    }
}

// Work that blocks the event loop learns of a quit signal from a descriptor that turns readable
// at the first signal and stays so, whether or not the event loop has run since.
TEST(QuitSignals, TheRequestStaysReadable)
{
    app();
    QuitSignals q;
    ASSERT_GE(q.requestedFd(), 0);
    auto readable = [&] {
        pollfd p{q.requestedFd(), POLLIN, 0};
        return ::poll(&p, 1, 0) == 1;
    };
    EXPECT_FALSE(readable());
    ::raise(SIGTERM);
    EXPECT_TRUE(readable());
    EXPECT_EQ(receivedWithin(q, 5000, 1), std::vector<int>{SIGTERM});
    EXPECT_TRUE(readable());
}

TEST(QuitSignals, DefaultHandlersAreBackAfterwards)
{
    app();
    {
        QuitSignals q;
        EXPECT_FALSE(handledByDefault(SIGTERM));
        EXPECT_FALSE(handledByDefault(SIGHUP));
    }
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        EXPECT_TRUE(handledByDefault(sig)) << sig;
    // A new instance works again after the last one went.
    QuitSignals again;
    ::raise(SIGHUP);
    EXPECT_EQ(receivedWithin(again, 5000, 1), std::vector<int>{SIGHUP});
}

TEST(QuitSignalsDeathTest, ASecondSignalEndsTheProcessAtOnce)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            app();
            QuitSignals q;
            ::raise(SIGINT);
            // The first one is still waiting for the event loop, which never runs here.
            ::raise(SIGTERM);
            std::_Exit(0);
        },
        testing::KilledBySignal(SIGTERM), "");
    EXPECT_EXIT(
        {
            app();
            QuitSignals q;
            ::raise(SIGTERM);
            receivedWithin(q, 5000, 1);
            // Handled, but the program has not ended: the next one ends it.
            ::raise(SIGHUP);
            std::_Exit(0);
        },
        testing::KilledBySignal(SIGHUP), "");
}
