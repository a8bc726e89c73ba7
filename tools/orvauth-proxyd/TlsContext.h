// The TLS side of the service: its own certificate and key, and the client
// certificates it accepts (issued by a CA in client_ca_file, not revoked by
// a CRL in client_crl_file when one is set), with forward-secret AEAD suites
// only. Built afresh on every reload.
#pragma once

#include "ServiceConfiguration.h"

#include <memory>

namespace boost::asio::ssl {
class context;
}

namespace orvauth_proxyd {

// Throws ConfigurationRefused naming the file that cannot be used.
std::shared_ptr<boost::asio::ssl::context> ServerTlsContext(const ServiceConfiguration& settings);

}  // namespace orvauth_proxyd
