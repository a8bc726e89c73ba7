// Reads arbitrary bytes as a domain controller's CLDAP reply (message id 1)
// and as the Netlogon value alone: nothing may read outside the bytes or
// loop, and what is accepted must be printable names of DNS length.
#include "base/NetlogonPing.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(const orvauth_base::NetlogonFacts& facts)
{
    for (const std::string* name : {&facts.forest, &facts.domain, &facts.controller, &facts.netbiosDomain,
                                    &facts.netbiosController, &facts.controllerSite, &facts.clientSite}) {
        for (unsigned char c : *name) {
            if (name->size() > 255 || c < 0x20 || c == 0x7f) {
                std::abort();
            }
        }
    }
    if (facts.domain.empty() || facts.controller.empty()) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    orvauth_base::NetlogonFacts facts;
    if (orvauth_base::DecodeNetlogonReply(data, size, 1, facts)) {
        Check(facts);
    }
    if (orvauth_base::ParseSamLogonResponseEx(data, size, facts)) {
        Check(facts);
    }
    return 0;
}
