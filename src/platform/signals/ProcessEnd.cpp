#include "platform/signals/ProcessEnd.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace orv {

void EndProcessWithin(int graceMs, int exitCode)
{
    std::thread([graceMs, exitCode] {
        std::this_thread::sleep_for(std::chrono::milliseconds(graceMs));
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }).detach();
}

} // namespace orv
