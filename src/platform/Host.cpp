#include "SqliteDatabase.h"

#include <platform/Host.h>
#include <platform/PlatformSettings.h>
#include <platform/QelConfigStore.h>

namespace NodeCtl {

Host::~Host() = default;

Adv::AdvancedOptionBranch* Host::GetAdvancedOptions()
{
    std::string databasePath = OrvPlatform::Settings::GetConfigStorePath();
    // Opening (and creating) the database here reports an unusable one at
    // once instead of as a missing branch later.
    try {
        OrvPlatform::Detail::SqliteDatabase check(databasePath, OrvPlatform::Settings::GetConfigStoreBusyTimeout());
    } catch (const QelConfigStore::ConfigStoreException& e) {
        throw Lib::NodeCtlException(e.what());
    }
    return new Adv::AdvancedOptionBranch(databasePath, "");
}

Host* HostFactory::GetHost()
{
    static Host host;
    return &host;
}

}  // namespace NodeCtl
