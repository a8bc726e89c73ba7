// Directory logins as edits of the library's PAM policy and name-service
// switch models: where the directory's modules go, and taking them out
// again so that the model writes exactly what it wrote before.
#pragma once

#include <SystemConfiguration/NSSConfiguration.h>
#include <SystemConfiguration/PAMPolicy.h>

#include <list>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvane::host {

// The modules a directory plug-in declares for the host.
struct LoginModules {
    std::string pamModule;
    std::list<std::string> pamParameters;
    std::string nssModule;
    std::list<std::string> nssParameters;
};

// A file whose rules leave no sound place for the change; the file is left
// as it is.
class LoginEditRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class LoginState { Off, On, Partly };
const char* LoginStateName(LoginState state);  // "off", "on", "partly on"

// Throws LoginEditRefused for names that a PAM or name-service switch file
// could not hold as one word.
void CheckLoginModules(const LoginModules& modules);

// Whether passwd, group and shadow consult the directory's service.
LoginState GetLoginState(const SystemConfiguration::NSSConfiguration& configuration, const LoginModules& modules);

// Turning logins on and off in nsswitch.conf as text, keeping every byte of every line it
// does not change: the module goes last on each passwd, group and shadow
// line that lacks it (before a trailing comment), where the distribution's
// own packages put it. AddNssService returns the new text and appends the
// databases it added to to added; RemoveNssService takes the module out of
// the named databases' lines only.
std::string AddNssService(const std::string& text, const LoginModules& modules, std::vector<std::string>& added);
std::string RemoveNssService(const std::string& text, const LoginModules& modules,
                             const std::vector<std::string>& databases);

// Every auth, account, password and session stack of the policy gets the
// directory's PAM module with its parameters, where a PAM administrator
// puts a primary or an additional module:
// - auth, password: right after the first pam_unix.so rule, as an
//   alternative to it. When pam_unix.so jumps on success
//   ("[success=N ...]"), the module gets "[success=N default=ignore]" and
//   reaches the same rule; every earlier jump over the insertion point
//   grows by one, so no other rule's target changes. When pam_unix.so is
//   "sufficient", the module is "sufficient" too. Any other pam_unix.so
//   control, or none at all, is refused.
// - account: at the end of the stack, "[default=bad success=ok
//   user_unknown=ignore]": decides for the directory's users and ignores
//   the local ones.
// - session: right after pam_unix.so (at the end without one), "optional".
// A stack that already holds the module is left alone; a policy without
// any of the four stacks is refused. Disable removes every rule of the
// module and shrinks the jumps over it; it refuses a stack in which a rule
// jumps over that rule alone, since the jump would have nowhere to go.
bool EnableLogins(SystemConfiguration::PAMPolicy& policy, const LoginModules& modules);
bool DisableLogins(SystemConfiguration::PAMPolicy& policy, const LoginModules& modules);
LoginState GetLoginState(const SystemConfiguration::PAMPolicy& policy, const LoginModules& modules);

}  // namespace orvane::host
