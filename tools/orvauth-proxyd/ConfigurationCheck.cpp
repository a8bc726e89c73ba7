#include "ConfigurationCheck.h"

#include <boost/asio/ip/address.hpp>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orvauth_proxyd {

void CheckStartable(const ServiceConfiguration& settings)
{
    boost::system::error_code error;
    boost::asio::ip::make_address(settings.listenAddress, error);
    if (error) {
        throw ConfigurationRefused("listen_address \"" + settings.listenAddress +
                                   "\" is not an IP address: give the address to listen on (names are not resolved)");
    }
    // The directory's CA is read only when the first connection is made:
    // a missing file would otherwise show as an unreachable directory.
    const std::string& path = settings.directoryCaFile;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "re"), std::fclose);
    if (!file) {
        throw ConfigurationRefused("directory_ca_file " + path + ": " + std::strerror(errno));
    }
    X509* certificate = PEM_read_X509(file.get(), nullptr, nullptr, nullptr);
    ERR_clear_error();
    if (certificate == nullptr) {
        throw ConfigurationRefused("directory_ca_file " + path + ": no PEM certificate can be read");
    }
    X509_free(certificate);
}

}  // namespace orvauth_proxyd
