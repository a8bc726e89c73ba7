// The host's membership of a domain: joins and leaves through adcli, the
// intent journal around them (IntentJournal.h), and the settling of those a
// killed process left half done; the trust check and the password renewal,
// which use the membership's keytab. Every operation holds the state lock
// and first settles what an interrupted one left, so a kill at any instant
// leaves the host joined or not, never in between.
//
// Failures are thrown as orvauth_plugin::StatusError.
#pragma once

#include "adclient/AdClientState.h"
#include "adclient/AdcliProcess.h"
#include "adclient/KerberosConfig.h"
#include "adclient/SssdConfig.h"
#include "common/StateFile.h"

#include <string>

namespace adclient {

class Membership {
public:
    // kerberosConfig: the krb5.conf the join adds the domain's settings to.
    Membership(AdcliRunner& adcli, SssdSettings identityService, std::string kerberosConfig);

    // Joins domain with an administrator's login ("user" or "user@REALM")
    // and password; organizationalUnit, when not empty, in path or DN form.
    void Join(const std::string& domain, const std::string& organizationalUnit, const std::string& hostFqdn,
              const std::string& login, const char* password);
    // Joins with the computer account an administrator preset for the host
    // (adcli preset-computer --one-time-password) and its one-time password.
    void JoinPreset(const std::string& domain, const std::string& organizationalUnit, const std::string& hostFqdn,
                    const char* oneTimePassword);
    // Joins with the account an authentication proxy preset, by its one-time
    // password. expectedSid, when not empty, is the domain's SID the proxy
    // reported: a join that lands elsewhere is taken back.
    void JoinWithAccount(const std::string& domain, const std::string& hostFqdn, const char* oneTimePassword,
                         const std::string& expectedSid);
    // Leaves; with userName (not null) and password the machine account is
    // deleted first.
    void Leave(const char* userName, const char* password);

    // adcli testjoin with the host keytab: returns when the directory
    // accepts it, throws the status of the failure otherwise.
    void CheckTrust();
    // A new password for the machine account now (adcli update).
    void RenewPassword();

    // What only the journal decides is settled; the rest waits for the
    // next operation, which may ask the directory. For the plug-in's load.
    void SettleWithoutDirectory();

private:
    enum class Keytab { Accepted, Refused, Unknown };

    // login: adcli's option saying who logs in to join.
    void JoinAs(AdcliCommand command, const std::string& login, const std::string& domain,
                const std::string& organizationalUnit, const std::string& hostFqdn, const char* secret);
    JoinedDomain SettledMembership();
    // repairable: a host joined to domain whose keytab the directory refuses
    // (restored from an older backup, its password reset) joins again.
    std::vector<std::string> JoinArguments(const std::string& domain, const std::string& hostFqdn,
                                           bool repairable = false);
    bool KeytabRefusedBy(const orvauth_plugin::StateFile& state, const std::string& domain);
    Keytab CheckKeytab(const std::string& domain, const std::string& controller, const std::string& keytab);
    void SettleInterrupted(bool mayAskDirectory);
    void SettleStartedJoin(const orvauth_plugin::StateFile& journal);
    void SettleStagedKeytab();
    void SettleLeave(const orvauth_plugin::StateFile& journal, bool mayAskDirectory);
    AdcliOutcome JournaledAdcli(AdcliCommand command, const std::vector<std::string>& arguments, const char* secret);
    void FinishJoin(const orvauth_plugin::StateFile& details);
    void ConfigureIdentityService();
    void LeaveLocally(const std::string& domain);
    void RemoveKerberosSettings();

    AdcliRunner& adcli;
    SssdConfig identityService;
    KerberosConfig kerberos;
};

}  // namespace adclient
