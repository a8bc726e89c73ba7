// adclient.conf: the settings of the adclient plug-in, in the library's
// configuration directory, as `key = value` lines (KeyValueLine.h). The
// plug-in reads it at every operation (plugins/adclient/ClientSettings.h);
// orvauthctl's join records the settings its flags name in it, so that they
// hold for every later operation too. One home for the file's name, its keys,
// what each takes, and the edit that keeps every other line.
#pragma once

#include <cstddef>
#include <string>

namespace orvauth_base {
namespace adclient_settings {

constexpr const char* FILE_NAME = "adclient.conf";
// "yes": the directory connections over LDAPS (TCP 636), for domains that
// want every LDAP operation over TLS (adcli still pings TCP 389).
constexpr const char* USE_LDAPS = "use_ldaps";
// Text for the computer account's description attribute.
constexpr const char* DESCRIPTION = "description";
// The directory's bound on a description (its schema's rangeUpper).
constexpr std::size_t DESCRIPTION_LIMIT = 1024;
// The shell of users the directory gives no loginShell (SSSD's
// default_shell); unset: the one useradd gives a new local user.
constexpr const char* DEFAULT_SHELL = "default_shell";
// The users' home directories, as SSSD's fallback_homedir template (%u the
// user's name, %d the domain, ...); unset: /home/%d/%u.
constexpr const char* HOME_DIRECTORY = "home_directory";

// What is wrong with value for key, in the operator's words, or "" when the
// plug-in takes it. Unknown keys are refused: a misspelt setting must not
// silently do nothing.
std::string ValueProblem(const std::string& key, const std::string& value);

// text with key set to value, every other line kept as it was: the first
// line that sets key is replaced where it stands and any later ones go;
// without one, the new line follows the commented-out default ("#key = ...")
// when the file has it, else it ends the file.
std::string WithSetting(const std::string& text, const std::string& key, const std::string& value);

}  // namespace adclient_settings
}  // namespace orvauth_base
