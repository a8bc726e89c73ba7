// Results handed to the library. Every result is one malloc'd block, so the
// single release function the plug-ins hand back is free(): a string array
// or a record array is laid out as its pointers followed by everything they
// point to, and freeing the array frees its strings with it.
#pragma once

#include "common/StatusError.h"

#include <orvane/authentication/ActiveDirectoryClient.h>

#include <cstdint>

#include <string>
#include <utility>
#include <vector>

namespace orvauth_plugin {

// These throw StatusError 8 when memory runs out.
char* CopyString(const char* text, std::size_t size);
inline char* CopyString(const std::string& text) { return CopyString(text.data(), text.size()); }
char** CopyStringArray(const std::vector<std::string>& texts);
// Records of (DNS name, NetBIOS name).
ActiveDirectoryClientDomainName** CopyDomainNameArray(const std::vector<std::pair<std::string, std::string>>& pairs);

void ReleaseResult(void* pointer);
// For results that hold a secret: the text is wiped before it is freed.
void WipeAndRelease(void* pointer);

// An operation that answers one string (answer(argument)) or a list of them
// (answer()): the out pointers are set only once nothing can fail.
inline std::int32_t ReturnString(char** out, ActiveDirectoryClientReleaseFunction* release,
                                 std::string (*answer)(const char*), const char* argument)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (out == nullptr || release == nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        *out = CopyString(answer(argument));
        *release = ReleaseResult;
    }));
}

template <typename Answer>
std::int32_t ReturnStrings(char*** out, ActiveDirectoryClientReleaseFunction* release, Answer answer)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (out == nullptr || release == nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        *out = CopyStringArray(answer());
        *release = ReleaseResult;
    }));
}

// The words of a null-terminated array the library hands in; a null array
// or an entry that fails isWord is an invalid parameter.
template <typename IsWord>
std::vector<std::string> WordList(const char* const* array, IsWord isWord)
{
    if (array == nullptr) {
        Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
    }
    std::vector<std::string> words;
    for (; *array != nullptr; ++array) {
        if (!isWord(*array)) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        words.push_back(*array);
    }
    return words;
}

}  // namespace orvauth_plugin
