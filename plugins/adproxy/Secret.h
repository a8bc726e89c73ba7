// Memory for secrets (one-time passwords, directory passwords): every block
// a Secret* container frees is wiped first, so a one-time password leaves no
// copy behind in freed heap memory, on every path, exceptions included.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <map>
#include <new>
#include <string>
#include <string.h>
#include <vector>

namespace orvauth_proxy {

template <typename T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() noexcept = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}
    T* allocate(std::size_t count) { return static_cast<T*>(::operator new(count * sizeof(T))); }
    void deallocate(T* pointer, std::size_t count) noexcept
    {
        explicit_bzero(pointer, count * sizeof(T));
        ::operator delete(pointer);
    }
    template <typename U>
    bool operator==(const WipingAllocator<U>&) const noexcept { return true; }
    template <typename U>
    bool operator!=(const WipingAllocator<U>&) const noexcept { return false; }
};

using SecretString = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;
using SecretBytes = std::vector<unsigned char, WipingAllocator<unsigned char>>;

// A JSON document whose strings, keys and parser buffers live in wiped memory.
using SecretJson = nlohmann::basic_json<std::map, std::vector, SecretString>;

// Short strings live inside the string object itself (on the stack for a
// local), not in the allocator's memory; this clears the stack region below
// the caller that parsing or formatting a secret used.
__attribute__((noinline)) inline void ScrubStack()
{
    unsigned char scratch[32768];
    explicit_bzero(scratch, sizeof scratch);
    asm volatile("" : : "r"(scratch) : "memory");
}

// Wipes a string's characters in place, whatever its storage.
template <typename String>
void Wipe(String& text) noexcept
{
    if (!text.empty()) {
        explicit_bzero(&text[0], text.size());
    }
    text.clear();
}

}  // namespace orvauth_proxy
