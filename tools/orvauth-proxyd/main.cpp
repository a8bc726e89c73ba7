// orvauth-proxyd: creates machine accounts in an Active Directory domain on
// behalf of hosts that must not hold an administrator's password, and tells
// them which domain it serves. Hosts authenticate with a certificate and
// get only their own account; they trust the service by the SHA-1
// thumbprint of its certificate.
//
// SIGTERM or SIGINT end it after the requests in progress; SIGHUP reloads
// its certificate and key, the client CA and CRL, the rate limit and the
// directory credentials without dropping requests in progress.
#include "Directory.h"
#include "ProxyService.h"
#include "ServiceConfiguration.h"
#include "TlsContext.h"
#include "WipingMemory.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <iostream>
#include <pthread.h>
#include <syslog.h>
#include <thread>

namespace {

constexpr const char DEFAULT_CONFIGURATION[] = ORVAUTH_PROXYD_CONFIG;

constexpr const char USAGE[] =
    "usage: orvauth-proxyd [--config <file>] [--stderr]\n"
    "       orvauth-proxyd --check-config [--config <file>]\n"
    "       orvauth-proxyd --help | --version\n"
    "\n"
    "  --config <file>   the configuration (default " ORVAUTH_PROXYD_CONFIG ")\n"
    "  --stderr          log to standard error as well as to syslog\n"
    "  --check-config    check the configuration and the files it names (the\n"
    "                    directory is not contacted), say what is wrong, exit 0 or 1\n";

// Says why on standard error (unless syslog already copies there) and in
// syslog.
int Refused(const std::string& what, bool logCopiedToStderr)
{
    if (!logCopiedToStderr) {
        std::cerr << "orvauth-proxyd: " << what << "\n";
    }
    syslog(LOG_ERR, "%s", what.c_str());
    return 1;
}

// Everything the service reads at start, checked the same way.
struct Loaded {
    orvauth_proxyd::ServiceConfiguration settings;
    orvauth_proxyd::DirectoryCredentials credentials;
};

Loaded Load(const std::string& path)
{
    Loaded loaded{orvauth_proxyd::ReadServiceConfiguration(path), {}};
    loaded.credentials = orvauth_proxyd::ReadCredentials(loaded.settings.credentials);
    orvauth_proxyd::ServerTlsContext(loaded.settings);
    return loaded;
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
    bool checkOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--config") == 0 && i + 1 < argc) {
            configurationPath = argv[++i];
        } else if (std::strcmp(argv[i], "--stderr") == 0) {
            logOptions |= LOG_PERROR;
        } else if (std::strcmp(argv[i], "--check-config") == 0) {
            checkOnly = true;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::cout << USAGE;
            return 0;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "orvauth-proxyd " ORVAUTH_VERSION "\n";
            return 0;
        } else {
            std::cerr << USAGE;
            return 2;
        }
    }
    openlog("orvauth-proxyd", logOptions, LOG_DAEMON);
    const bool logCopiedToStderr = (logOptions & LOG_PERROR) != 0;

    if (checkOnly) {
        try {
            Load(configurationPath);
        } catch (const orvauth_proxyd::ConfigurationRefused& refused) {
            std::cerr << "orvauth-proxyd: " << refused.what() << "\n";
            return 1;
        }
        std::cout << configurationPath << ": the configuration can be used\n";
        return 0;
    }

    // Signals are taken by one thread; every other thread blocks them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        Loaded loaded = Load(configurationPath);
        orvauth_proxyd::Directory directory(loaded.settings, std::move(loaded.credentials));
        orvauth_proxyd::ProxyService service(loaded.settings, directory);
        // An over-privileged account is refused now; a directory that cannot
        // be asked yet is asked again before the first account is touched.
        try {
            directory.CheckServiceAccount();
        } catch (const orvauth_proxyd::ServiceAccountRefused& refused) {
            return Refused(std::string("refusing to start: ") + refused.what(), logCopiedToStderr);
        } catch (const orvauth_proxyd::RequestFailure& failure) {
            syslog(LOG_WARNING, "the service's own directory account cannot be checked yet: %s", failure.what());
        }

        std::atomic<bool> served{false};
        std::thread handler([&] {
            for (;;) {
                int signal = 0;
                sigwait(&signals, &signal);
                if (served) {
                    return;
                }
                if (signal != SIGHUP) {
                    syslog(LOG_INFO, "stopping on signal %d", signal);
                    service.Stop();
                    return;
                }
                try {
                    Loaded fresh = Load(configurationPath);
                    service.Reload(fresh.settings);
                    directory.Reconfigure(fresh.settings, std::move(fresh.credentials));
                    syslog(LOG_NOTICE, "reloaded %s", configurationPath.c_str());
                } catch (const orvauth_proxyd::ConfigurationRefused& refused) {
                    syslog(LOG_ERR, "not reloaded, still serving with the previous configuration: %s", refused.what());
                }
            }
        });
        const bool listened = service.Run();
        served = true;
        pthread_kill(handler.native_handle(), SIGTERM);
        handler.join();
        if (!listened) {
            return Refused("refusing to start: cannot listen on " + loaded.settings.listenAddress + " port " +
                               std::to_string(loaded.settings.listenPort) + " (see the log above)",
                           logCopiedToStderr);
        }
        syslog(LOG_INFO, "stopped");
        return 0;
    } catch (const orvauth_proxyd::ConfigurationRefused& refused) {
        return Refused(std::string("refusing to start: ") + refused.what(), logCopiedToStderr);
    }
}
