// The service's reading of a request body: any bytes are refused (87, 1210) or
// read into a machine account's host name and a container checked against the domain.
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
        ContainerInDomain(request.container.empty() ? "CN=Computers" : request.container, "DC=corp,DC=example,DC=test");
    } catch (const RequestFailure& failure) {
        if (failure.status != 87 && failure.status != 1210) {
            std::abort();
        }
    }
    return 0;
}
