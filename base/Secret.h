// Memory for secrets (passwords, one-time passwords): the public SecretString
// and WipingAllocator, and the few helpers the service and the plug-ins add.
#pragma once

#include <orvane/authentication/JORVRecords.h>

#include <string.h>
#include <vector>

namespace orvauth_base {

using orvane::authentication::SecretString;
template <typename T>
using WipingAllocator = orvane::authentication::WipingAllocator<T>;
using SecretBytes = std::vector<unsigned char, WipingAllocator<unsigned char>>;

// Code outside our control copies secrets through its own stack: cpp-httplib
// reads a body through a 4 KiB array on its stack before the content
// receiver sees it, and the JSON lexer and formatters hold characters in
// locals. This clears the stack region below the caller that such work used.
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

}  // namespace orvauth_base
