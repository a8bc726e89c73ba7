// A file descriptor that is closed when its owner goes.
#pragma once

#include <unistd.h>

namespace orvauth_base {

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { Close(); }
    void Reset(int value)
    {
        Close();
        fd = value;
    }
    void Close()
    {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
    int Get() const { return fd; }

private:
    int fd = -1;
};

}  // namespace orvauth_base
