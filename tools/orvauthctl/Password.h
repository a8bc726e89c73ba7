// Reading an account's password: never from the command line or the
// environment, only from the terminal (without echo) or, when asked, from
// standard input.
#pragma once

#include <memory>
#include <string>

namespace orvauthctl {

// Wipes every block before handing it back, so a buffer the text outgrew
// leaves nothing behind either.
template <typename T>
struct WipingAllocator : std::allocator<T> {
    using value_type = T;
    template <typename U>
    struct rebind {
        using other = WipingAllocator<U>;
    };
    WipingAllocator() = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}
    void deallocate(T* block, std::size_t count);
};

template <typename T, typename U>
bool operator==(const WipingAllocator<T>&, const WipingAllocator<U>&) { return true; }
template <typename T, typename U>
bool operator!=(const WipingAllocator<T>&, const WipingAllocator<U>&) { return false; }

using SecretText = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;

// A password that is wiped from memory when it goes.
class Secret {
public:
    Secret() = default;
    ~Secret();
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    SecretText& Text() { return text; }
    const char* CString() const { return text.c_str(); }

private:
    SecretText text;
};

// fromStdin: the first line of standard input, without its line end; a
// terminal is refused (UsageError), since it would echo what is typed.
// Otherwise standard input must be a terminal: prompts on standard error
// and reads one line with echo turned off (restored also when a signal
// ends the process meanwhile). UsageError when there is no terminal,
// std::runtime_error when reading fails or the line holds a NUL byte (the
// library would see only the text before it).
void ReadPassword(Secret& password, const std::string& account, bool fromStdin);

}  // namespace orvauthctl
