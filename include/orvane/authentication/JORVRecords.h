// Records that travel from the authentication proxy to the directory client
// during a join through the proxy, and the string type that carries the
// machine account's secret in them.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string.h>

namespace orvane {
namespace authentication {

// An allocator that overwrites every block with zeros (explicit_bzero,
// which the compiler may not drop) before handing it back to Base.
template <class T, class Base = std::allocator<T>>
struct WipingAllocator : Base {
    using value_type = T;
    template <class U>
    struct rebind {
        using other = WipingAllocator<U, typename std::allocator_traits<Base>::template rebind_alloc<U>>;
    };

    WipingAllocator() = default;
    template <class U, class B>
    WipingAllocator(const WipingAllocator<U, B>& other) noexcept : Base(other)
    {
    }

    void deallocate(T* block, std::size_t count)
    {
        explicit_bzero(block, count * sizeof(T));
        Base::deallocate(block, count);
    }
};

template <class T, class B, class U, class C>
bool operator==(const WipingAllocator<T, B>&, const WipingAllocator<U, C>&) noexcept
{
    return true;
}
template <class T, class B, class U, class C>
bool operator!=(const WipingAllocator<T, B>&, const WipingAllocator<U, C>&) noexcept
{
    return false;
}

// A string for secrets: no heap block it used is freed with the secret
// still in it, and a short secret kept inside the object itself is wiped
// when the object goes. Copies are secret strings too.
class SecretString : public std::basic_string<char, std::char_traits<char>, WipingAllocator<char>> {
public:
    using Base = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;
    using Base::Base;
    using Base::operator=;

    SecretString() = default;
    // From ordinary text, so that records can be filled from it; there is
    // deliberately no way back to an ordinary string but an explicit copy.
    SecretString(const std::string& text) : Base(text.data(), text.size()) {}
    SecretString(const SecretString&) = default;
    SecretString(SecretString&&) = default;
    SecretString& operator=(const SecretString&) = default;
    SecretString& operator=(SecretString&&) = default;
    ~SecretString()
    {
        // Growing within the capacity allocates nothing; it makes every
        // byte the object may still hold part of the text to wipe.
        Base::resize(Base::capacity());
        explicit_bzero(&Base::operator[](0), Base::size());
    }
};

// What the proxy returns when it creates a machine account. The created
// values include the account's one-time password.
struct ComputerPrincipalInfo {
    std::string spareText;  // never filled by the library
    SecretString createdValue1;
    SecretString createdValue2;
};

namespace JORV {

struct DirectoryDomainInfo {
    std::string domainController;  // left empty by the library
    std::string netbiosName;
    std::string dnsName;
    std::string sid;  // the domain's security identifier, in the proxy's text form
};

struct MachineAccountInfo {
    std::string hostName;  // the host's short name
    std::string dnsDomainName;
    std::string spareText;  // never filled
    SecretString createdValue1;
    SecretString createdValue2;
};

}  // namespace JORV
}  // namespace authentication
}  // namespace orvane
