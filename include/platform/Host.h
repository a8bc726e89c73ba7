// The host as the management library sees it.
#pragma once

#include <platform/AdvancedOptions.h>
#include <platform/PlatformExport.h>

namespace NodeCtl {

class ORVPLATFORM_API Host {
public:
    virtual ~Host();

    // The root of the advanced-option tree in the configured database
    // (owned by the caller). Throws NodeCtl::Lib::NodeCtlException when
    // the database cannot be used.
    virtual Adv::AdvancedOptionBranch* GetAdvancedOptions();
};

class ORVPLATFORM_API HostFactory {
public:
    // The process's host object; never null, never deleted by the caller.
    static Host* GetHost();
};

}  // namespace NodeCtl
