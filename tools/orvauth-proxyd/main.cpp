// orvauth-proxyd: creates machine accounts in an Active Directory domain on
// behalf of hosts that must not hold an administrator's password, and tells
// them which domain it serves. Its clients trust it by the SHA-1 thumbprint
// of its certificate.
//
//   orvauth-proxyd [--config <file>] [--stderr]
//
// SIGTERM or SIGINT end it after the requests in progress.
#include "Directory.h"
#include "ProxyService.h"
#include "ServiceConfiguration.h"
#include "WipingMemory.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <iostream>
#include <pthread.h>
#include <syslog.h>
#include <thread>

namespace {

constexpr const char DEFAULT_CONFIGURATION[] = ORVAUTH_PROXYD_CONFIG;

int Usage()
{
    std::cerr << "usage: orvauth-proxyd [--config <file>] [--stderr]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!orvauth_proxyd::WipeLibraryMemoryOnFree()) {
        std::cerr << "orvauth-proxyd: cannot take over the LDAP library's memory\n";
        return 1;
    }
    std::string configurationPath = DEFAULT_CONFIGURATION;
    int logOptions = LOG_PID;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--config") == 0 && i + 1 < argc) {
            configurationPath = argv[++i];
        } else if (std::strcmp(argv[i], "--stderr") == 0) {
            logOptions |= LOG_PERROR;
        } else {
            return Usage();
        }
    }
    openlog("orvauth-proxyd", logOptions, LOG_DAEMON);

    // Signals are taken by one thread; every other thread blocks them.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGTERM);
    sigaddset(&endSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        const orvauth_proxyd::ServiceConfiguration settings = orvauth_proxyd::ReadServiceConfiguration(configurationPath);
        orvauth_proxyd::Directory directory(settings, orvauth_proxyd::ReadCredentials(settings.credentials));
        orvauth_proxyd::ProxyService service(settings, directory);

        std::atomic<bool> served{false};
        std::thread stopper([&] {
            int signal = 0;
            sigwait(&endSignals, &signal);
            if (served) {
                return;
            }
            syslog(LOG_INFO, "stopping on signal %d", signal);
            // The server may not be listening yet: keep asking until it ends.
            while (!served) {
                service.Stop();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        const bool listened = service.Run();
        served = true;
        pthread_kill(stopper.native_handle(), SIGTERM);
        stopper.join();
        syslog(LOG_INFO, "stopped");
        return listened ? 0 : 1;
    } catch (const orvauth_proxyd::ConfigurationRefused& refused) {
        syslog(LOG_ERR, "refusing to start: %s", refused.what());
        return 1;
    }
}
