#include <orvane/host/HostFiles.h>

#ifndef ORVAUTHHOST_SSSD_CONF
#error "ORVAUTHHOST_SSSD_CONF and ORVAUTHHOST_STATE_DIR are set by the build"
#endif

namespace orvane::host {

HostFiles HostFiles::Defaults()
{
    return HostFiles{"/etc/nsswitch.conf", "/etc/pam.d", ORVAUTHHOST_SSSD_CONF, ORVAUTHHOST_STATE_DIR, "/etc/sudoers.d"};
}

}  // namespace orvane::host
