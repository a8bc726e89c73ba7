// Shows on a terminal that a long library call is still at work.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace orvauthctl {

// While the object lives, and only when standard error is a terminal, a
// helper thread redraws "<spinner> <label> <seconds>s" on standard error
// a few times a second. The line is cleared when the object goes, so the
// command's own output starts on a clean line.
class Progress {
public:
    explicit Progress(std::string label);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

private:
    void Run();

    std::string label;
    std::mutex lock;
    std::condition_variable wake;
    bool done = false;
    std::thread drawer;
};

}  // namespace orvauthctl
