#!/usr/bin/env bash
# Directory users log in, end to end, on a stock Debian host (live-host.bash)
# joined to the live DC: logins enable, nobody permitted until permit
# --group, a full sshd-shaped login with the home made, a user outside the
# group refused with a log line, single sign-on over ssh (live-sso.bash),
# administrators through sudo (live-admins.bash), offline logins with the
# controller's packets dropped, renew (and a failed one that leaves the
# keytab working), the DNS records (live-dns.bash); then logins disable and
# leave give every file back byte for byte, IDs from the directory on two
# host names (live-id-mapping.bash), AES and LDAPS only (live-hardened.bash), and
# pam-auth-update --enable mkhomedir still works. discover is timed
# against the live and the dropping controller. Steps print figures.
#   live-logins.sh <work dir> <orvauthctl> <library configuration directory>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" != --steps ]; then
  exec "$here/live-directory.sh" "$1" "$0" --steps "$2" "$3"
fi
tool=$2 config=$3
rm -f "$config/adclient.conf"  # the hardened steps' settings, when a failed run left them
domain=ad.example.test
. "$here/live-host.bash"
pam_files=(/etc/pam.d/common-auth /etc/pam.d/common-account /etc/pam.d/common-password /etc/pam.d/common-session
           /etc/pam.d/common-session-noninteractive)
files=(/etc/nsswitch.conf "${pam_files[@]}" /etc/sssd/sssd.conf /etc/sssd/conf.d/orvauth-logins.conf /etc/krb5.conf)

snapshot() {  # every file's bytes, or "absent"
  for f in "${files[@]}"; do
    if [ -e "$f" ]; then echo "== $f"; cat "$f"; echo "== end"; else echo "== $f absent"; fi
  done
}

host_prepare
# No Kerberos settings of the host's own (the harness copied the
# controller's): the join writes them, and leave removes them again.
rm -f /etc/krb5.conf

step_start "users created on the controller"
for user in alice bob carol; do samba-tool user create $user "${user^}#Secret1" -H "$LIVE_SAM" >/dev/null; done
samba-tool group add orvauth-operators -H "$LIVE_SAM" >/dev/null
samba-tool group addmembers orvauth-operators alice,carol -H "$LIVE_SAM" >/dev/null
# The controller's DNS answers slowly for a moment after these writes: the
# timed discover below starts once it answers again.
for _ in $(seq 50); do dig +short +time=1 +tries=1 @127.0.0.10 "_ldap._tcp.dc._msdcs.$domain" SRV | grep -q . && break; sleep 0.2; done
step_end

printf 'provider = "adclient"\n' >"$config/provider.conf"
printf 'remote-authentication-store = "None"\n' >"$config/authentication.conf"
ctl leave >/dev/null 2>&1 || true  # a membership an earlier run left in the plug-in's state
before=$(snapshot)

step_start "discover"
out=$(ctl discover "$domain") || fail "$out"
[ "$(grep -cE "^(Realm: +AD.EXAMPLE.TEST|NetBIOS name: +ADEX|Answering controller: +dc1.$domain)$" <<<"$out")" = 3 ] || fail "$out"
step_end

step_start "permit on a host that is not joined"
out=$(ctl logins permit --all 2>&1) && fail "permit accepted: $out"
grep -q "not joined to a domain" <<<"$out" || fail "$out"
step_end

step_start "join"
ctl join "$domain" --user Administrator --password-stdin <<<'Adm1n#Pass' >/dev/null || fail "join"
ctl activate "Active Directory" >/dev/null
grep -q "^\[domain/$domain\]" /etc/sssd/sssd.conf || fail "no domain section in sssd.conf"
keytab=$(sed -n 's/^krb5_keytab = //p' /etc/sssd/sssd.conf)
step_end

step_start "logins enable"
out=$(ctl logins enable --offline-days 3) || fail "$out"
grep -q "No directory user may log in yet" <<<"$out" || fail "enable did not say nobody is permitted: $out"
grep -q 'pam_mkhomedir.so umask=0077' /etc/pam.d/common-session || fail "no home directories: $(cat /etc/pam.d/common-session)"
grep -q '^# end of pam-auth-update config' /etc/pam.d/common-session || fail "markers lost"
enabled=$(snapshot)
ctl logins enable >/dev/null
[ "$(snapshot)" = "$enabled" ] || fail "a second enable changed a file"
ctl logins status | grep -q '^  nobody' || fail "$(ctl logins status)"
step_end

step_start "sssd start until alice resolves"
sssd_restart
for _ in $(seq 300); do getent passwd "alice@$domain" >/dev/null && break; sleep 0.1; done
step_end
getent passwd "alice@$domain" >/dev/null || fail "alice@$domain does not resolve"
# The directory gives alice no loginShell: she gets the shell useradd gives,
# and a home under /home/<domain>.
entry=$(getent passwd "alice@$domain")
[ "$(cut -d: -f7 <<<"$entry")" = "$(useradd -D | sed -n 's/^SHELL=//p')" ] && [ "$(cut -d: -f6 <<<"$entry")" = "/home/$domain/alice" ] ||
  fail "shell and home: $entry"
id "alice@$domain" | grep -q "orvauth-operators@$domain" || fail "groups: $(id "alice@$domain")"
step_start "nobody permitted: alice refused at account management"
login "alice@$domain" 'Alice#Secret1' && fail "alice let in before any permit"
grep -q 'successfully authenticated' "$LIVE_WORK/pamtester" && grep -q 'Permission denied' "$LIVE_WORK/pamtester" ||
  fail "$(cat "$LIVE_WORK/pamtester")"
step_end

step_start "permit an unknown group refused"
out=$(ctl logins permit --group no-such-group 2>&1) && fail "accepted: $out"
grep -q "'no-such-group'" <<<"$out" || fail "the name is not named: $out"
step_end
step_start "permit the operators group"
ctl logins permit --group orvauth-operators >/dev/null || fail "permit"
ctl logins status --json | grep -q "\"groups\":\[\"orvauth-operators@$domain\"\]" || fail "$(ctl logins status --json)"
sssd_restart
step_end

. "$here/live-admins.bash"

step_start "full login of alice (authenticate, acct_mgmt, open/close session)"
login "alice@$domain" 'Alice#Secret1' || fail "$(cat "$LIVE_WORK/pamtester")"
step_end
home=$(getent passwd "alice@$domain" | cut -d: -f6)
[ "$(stat -c '%a %U' "$home")" = "700 alice@$domain" ] || fail "home $home: $(stat -c '%a %U' "$home" 2>&1)"
[ -e "$home/.bashrc" ] || fail "home not from /etc/skel: $(ls -a "$home")"
echo "alice: home $home $(stat -c '%a' "$home")"
. "$here/live-sso.bash"
step_start "bob (not in the group) refused at account management"
login "bob@$domain" 'Bob#Secret1' && fail "bob let in"
grep -q 'successfully authenticated' "$LIVE_WORK/pamtester" && grep -q 'Permission denied' "$LIVE_WORK/pamtester" ||
  fail "$(cat "$LIVE_WORK/pamtester")"
step_end
grep -q "pam_sss(orvauth-login:account): Access denied for user bob@$domain" "$LIVE_WORK/syslog" ||
  fail "no log line for bob's refusal"
step_start "login with a wrong password refused"
pamtester orvauth-login "alice@$domain" authenticate <<<'Wrong#Secret1' >/dev/null 2>&1 && fail "wrong password accepted"
step_end

step_start "renew the machine password"
kvno_before=$(klist -k "$keytab" | awk '/NODE01\$@/ {print $1}' | sort -n | tail -1)
out=$(ctl renew 2>&1) || fail "$out"
kvno_after=$(klist -k "$keytab" | awk '/NODE01\$@/ {print $1}' | sort -n | tail -1)
((kvno_after > kvno_before)) || fail "kvno $kvno_before -> $kvno_after"
klist -k "$keytab" | awk '{print $1}' | grep -qx "$kvno_before" || fail "the old key was not kept"
KRB5CCNAME=MEMORY:renew kinit -k -t "$keytab" 'NODE01$@AD.EXAMPLE.TEST' || fail "the host does not authenticate"
step_end
echo "renew: key version $kvno_before -> $kvno_after"
sssd_restart
for _ in $(seq 300); do getent passwd "alice@$domain" >/dev/null && break; sleep 0.1; done
step_start "full login of alice after the renewal"
login "alice@$domain" 'Alice#Secret1' || fail "$(cat "$LIVE_WORK/pamtester")"
step_end
. "$here/live-renewal.bash"  # SSSD's scheduled renewal of a password grown old
. "$here/live-dns.bash"  # DNS registration and SSSD's renewal settings

# A renewal that fails (the controller refuses every connection) leaves the
# keytab as it was, and the host still authenticates with it afterwards.
step_start "renew refused by an unreachable controller"
nft -f - <<'NFT'
table inet refuse {
  chain output { type filter hook output priority 0; ip daddr 127.0.0.10 meta l4proto tcp reject with tcp reset; ip daddr 127.0.0.10 reject; }
}
NFT
keys=$(klist -k "$keytab")
ctl renew >/dev/null 2>&1 && fail "renew succeeded without a controller"
nft delete table inet refuse
[ "$(klist -k "$keytab")" = "$keys" ] || fail "a failed renewal changed the keytab"
KRB5CCNAME=MEMORY:renew kinit -k -t "$keytab" 'NODE01$@AD.EXAMPLE.TEST' || fail "the host no longer authenticates"
step_end

# Every controller unreachable: its packets are dropped where they arrive,
# as a dead host's network does (an output drop fails each send at once).
# SSSD's time-outs (sssd.conf) let the first login in from the cache within
# 3 s; SSSD is then offline and the next takes no wait.
nft -f - <<'NFT'
table inet blackhole {
  chain input { type filter hook input priority 0; ip daddr 127.0.0.10 drop; }
}
NFT
for try in first next; do
  step_start "offline login of alice, $try try (cached credentials)"
  login "alice@$domain" 'Alice#Secret1' || fail "$(cat "$LIVE_WORK/pamtester")"
  took=$(elapsed)
  step_end
  ((took < $([ $try = first ] && echo 3000 || echo 1000))) || fail "$try offline login took $took ms"
done
step_start "offline login of carol (never logged in) refused"
login "carol@$domain" 'Carol#Secret1' && fail "carol let in offline"
took=$(elapsed)
step_end
((took < 10000)) || fail "offline refusal took $took ms"
nft delete table inet blackhole
nft -f - <<<'table inet silent { chain input { type filter hook input priority 0; udp dport 389 drop; }; }'
step_start "discover, the controller's CLDAP port silent (dropped on input)"
out=$(ctl discover "$domain" 2>&1) && fail "discover answered: $out"
took=$(elapsed) && step_end && nft delete table inet silent
grep -q "no domain controller of $domain (dc1.$domain) answered" <<<"$out" && ((took < 3000)) || fail "$took ms: $out"

step_start "logins disable"
out=$(ctl logins disable) || fail "$out"
grep -q "as they were before logins enable" <<<"$out" || fail "$out"
ctl logins disable >/dev/null
step_end
step_start "leave"
ctl leave >/dev/null || fail "leave"
step_end
[ "$(snapshot)" = "$before" ] || { diff <(echo "$before") <(snapshot) >&2; fail "files differ from before the join"; }
. "$here/live-id-mapping.bash"
. "$here/live-hardened.bash"
step_start "pam-auth-update --enable mkhomedir afterwards"
out=$(DEBIAN_FRONTEND=noninteractive pam-auth-update --enable mkhomedir 2>&1) || fail "$out"
grep -q 'pam_mkhomedir.so' /etc/pam.d/common-session || fail "mkhomedir not enabled: $out"
[ -z "$out" ] || fail "pam-auth-update said: $out"
step_end
kill "$(cat /run/sssd.pid)" 2>/dev/null || true
echo "live logins: all steps passed"
