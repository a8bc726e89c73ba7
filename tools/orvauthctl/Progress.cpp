#include "Progress.h"

#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace orvauthctl {

Progress::Progress(std::string label) : label(std::move(label))
{
    if (isatty(STDERR_FILENO)) {
        drawer = std::thread(&Progress::Run, this);
    }
}

Progress::~Progress()
{
    if (!drawer.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        done = true;
    }
    wake.notify_one();
    drawer.join();
}

void Progress::Run()
{
    static const char SPINNER[] = "|/-\\";
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> guard(lock);
    for (unsigned frame = 0; !done; ++frame) {
        auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
        std::fprintf(stderr, "\r%c %s %llds", SPINNER[frame % 4], label.c_str(),
                     static_cast<long long>(seconds.count()));
        std::fflush(stderr);
        wake.wait_for(guard, std::chrono::milliseconds(250), [this] { return done; });
    }
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

}  // namespace orvauthctl
