#include "common/Results.h"

#include "common/StatusError.h"

#include <cstdlib>
#include <cstring>
#include <string.h>

namespace orvauth_plugin {

namespace {

void* Allocate(std::size_t size)
{
    void* block = std::malloc(size);
    if (block == nullptr) {
        Fail(ORVAUTH_STATUS_NOT_ENOUGH_MEMORY);
    }
    return block;
}

// Copies text with its terminator to cursor and moves cursor past it.
char* Place(char*& cursor, const std::string& text)
{
    char* placed = cursor;
    std::memcpy(placed, text.c_str(), text.size() + 1);
    cursor += text.size() + 1;
    return placed;
}

}  // namespace

char* CopyString(const char* text, std::size_t size)
{
    char* copy = static_cast<char*>(Allocate(size + 1));
    std::memcpy(copy, text, size);
    copy[size] = '\0';
    return copy;
}

char** CopyStringArray(const std::vector<std::string>& texts)
{
    const std::size_t pointers = (texts.size() + 1) * sizeof(char*);
    std::size_t size = pointers;
    for (const std::string& text : texts) {
        size += text.size() + 1;
    }
    char** array = static_cast<char**>(Allocate(size));
    char* cursor = reinterpret_cast<char*>(array) + pointers;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        array[i] = Place(cursor, texts[i]);
    }
    array[texts.size()] = nullptr;
    return array;
}

ActiveDirectoryClientDomainName** CopyDomainNameArray(const std::vector<std::pair<std::string, std::string>>& pairs)
{
    const std::size_t pointers = (pairs.size() + 1) * sizeof(ActiveDirectoryClientDomainName*);
    const std::size_t records = pairs.size() * sizeof(ActiveDirectoryClientDomainName);
    std::size_t size = pointers + records;
    for (const auto& pair : pairs) {
        size += pair.first.size() + 1 + pair.second.size() + 1;
    }
    auto** array = static_cast<ActiveDirectoryClientDomainName**>(Allocate(size));
    auto* record = reinterpret_cast<ActiveDirectoryClientDomainName*>(reinterpret_cast<char*>(array) + pointers);
    char* cursor = reinterpret_cast<char*>(record) + records;
    for (std::size_t i = 0; i < pairs.size(); ++i, ++record) {
        record->dnsName = Place(cursor, pairs[i].first);
        record->netbiosName = Place(cursor, pairs[i].second);
        array[i] = record;
    }
    array[pairs.size()] = nullptr;
    return array;
}

void ReleaseResult(void* pointer) { std::free(pointer); }

void WipeAndRelease(void* pointer)
{
    if (pointer != nullptr) {
        explicit_bzero(pointer, std::strlen(static_cast<const char*>(pointer)));
    }
    std::free(pointer);
}

}  // namespace orvauth_plugin
