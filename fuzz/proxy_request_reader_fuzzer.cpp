// The service's reading of a request body: any bytes are refused with a
// status the client is told (87 or 1210) or read into a host name that
// names a machine account and a container inside the domain or refused.
#include "tools/orvauth-proxyd/AccountRequest.h"

#include <cstdint>
#include <cstdlib>

using namespace orvauth_proxyd;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const AccountRequest request = ReadAccountRequest(std::string(reinterpret_cast<const char*>(data), size));
        if (ComputerNameForHost(request.hostName).size() - 1 >= 15) {
            std::abort();
        }
        if (!request.container.empty()) {
            ContainerInDomain(request.container, "DC=corp,DC=example,DC=test");
        }
    } catch (const RequestFailure& failure) {
        if (failure.status != 87 && failure.status != 1210) {
            std::abort();
        }
    }
    return 0;
}
