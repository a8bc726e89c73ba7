// stores, activate, status.
#include "Command.h"
#include "Json.h"
#include "StatusReport.h"

#include <orvane/host/Stores.h>

#include <iostream>
#include <stdexcept>

namespace orvauthctl {
namespace {

using namespace orvane::host;

const OptionDefinition JSON_OPTION{"json", "", "print one JSON object instead of text"};

int ListStores(const Invocation& call)
{
    std::vector<std::string> names = RegisteredStores();
    Outcome<std::string> active = Attempt<std::string>(RecordedActiveStore);
    if (call.arguments.Has("json")) {
        Json stores = Json::array();
        for (const std::string& name : names) {
            stores.push_back({{"name", name}, {"active", active.ok && active.value == name}});
        }
        PrintJson(call.out, {{"stores", stores}, {"active", active.ok ? Json(active.value) : Json(nullptr)}});
    } else {
        for (const std::string& name : names) {
            call.out << (active.ok && active.value == name ? "* " : "  ") << name << '\n';
        }
    }
    if (!active.ok) {
        // The names are still worth showing; the missing record is the failure.
        throw std::runtime_error(active.error);
    }
    return EXIT_OK;
}

int Activate(const Invocation& call)
{
    const std::string& name = call.arguments.operands[0];
    std::unique_ptr<orvane::authentication::AuthenticationStore> store;
    try {
        store = CreateStore(name);
    } catch (const UnknownStoreName& e) {
        throw UsageError(e.what());
    }
    store->MakeActive();
    call.out << "Active store: " << store->GetDisplayName() << '\n';
    return EXIT_OK;
}

int Status(const Invocation& call)
{
    const StatusReport report = GatherStatus(call.files);
    if (call.arguments.Has("json")) {
        call.out << StatusJson(report) << '\n';
    } else {
        PrintStatusText(call.out, report, call.arguments.Has("verbose"));
    }
    // The report shows every failure in its place; the one that makes the
    // host's authentication unusable is also the command's failure.
    bool directoryActive = report.activeStore.ok && report.activeStore.value == DIRECTORY_STORE;
    if (!report.activeStore.ok) {
        throw std::runtime_error(report.activeStore.error);
    }
    if (directoryActive && !report.directory.loadError.empty()) {
        throw std::runtime_error(report.directory.loadError);
    }
    if (!report.unreadable.empty()) {
        throw std::runtime_error("status cannot read " + report.unreadable + " without root's rights, so what it " +
                                 "shows is not the host's membership: run it as root");
    }
    return EXIT_OK;
}

}  // namespace

std::vector<Command> StoreCommands()
{
    return {
        {"stores", "[--json]", "list the registered authentication stores, the active one marked with '*'",
         "Lists the stores the library can make active, in byte order, and marks the one recorded in\n"
         "authentication.conf. Fails (after listing) when that record cannot be read.",
         {JSON_OPTION}, 0, 0, ListStores, {}},
        {"activate", "<store>", "make a store the host's active remote authentication store",
         "Records <store> (a name as listed by 'stores', e.g. \"Active Directory\" or None) in\n"
         "authentication.conf. Activating None also deactivates the store recorded before.",
         {}, 1, 1, Activate, {}},
        {"status", "[--json] [--verbose]", "show the host's domain membership, who may log in and the host's records",
         "Shows on one screen the joined domain, its realm, the host's computer account and its\n"
         "container, the trust state, the active store, whether directory logins are enabled and who\n"
         "may log in, administrators, ID mapping, DNS registration and the machine password's age; a\n"
         "host that is not joined says so. --verbose adds everything the directory client reports\n"
         "(preferred domain controllers, machine account, trusted domains, the PAM and NSS modules it\n"
         "declares) and the host's records (membership record, trusted proxy certificates, certificate\n"
         "check setting), each item that cannot be read with its error; --json prints all of it. When\n"
         "no controller of the joined domain answers within 2.6 seconds, the directory's facts are the\n"
         "last known answers, marked cached with their time; otherwise directory queries wait at most\n"
         "60 seconds each. Fails when the active store cannot be determined or is the directory store\n"
         "and its client cannot be loaded.",
         {JSON_OPTION}, 0, 0, Status, {}},
    };
}

}  // namespace orvauthctl
