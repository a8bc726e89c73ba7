// Memory for secrets (one-time passwords, directory passwords): every block
// a Secret* container frees is wiped first, so a one-time password leaves no
// copy behind in freed heap memory, on every path, exceptions included.
#pragma once

#include <orvane/authentication/JORVRecords.h>

#include <nlohmann/json.hpp>

#include <cstddef>
#include <map>
#include <new>
#include <string>
#include <string.h>
#include <vector>

namespace orvauth_proxy {

// The library's wiping allocator: header-only, so the plug-in and the
// service use it without linking the library for it.
template <typename T>
using WipingAllocator = orvane::authentication::WipingAllocator<T>;

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
