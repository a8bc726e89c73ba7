#!/usr/bin/env bash
# A directory user logs in, end to end, against the live Samba AD DC that
# live-directory.sh provisions in private namespaces: join with credentials
# (the adclient plug-in writes sssd.conf), `orvauthctl logins enable`, sssd
# started in the namespace, then alice (created on the controller) resolves
# with her groups and authenticates through PAM; `logins disable` and leave
# give every file back byte for byte and alice no longer resolves.
#   live-logins.sh <work dir> <orvauthctl> <library configuration directory>
# Each step prints "figure: <step> <ms> ms". Root and unshare are needed;
# exit 77 (skipped) otherwise.
#
# /etc inside the namespace is the harness's private overlay, so the files
# the tool edits there are private copies of the host's; they are not
# bind-mounted one by one because a file that is a mount point cannot be
# replaced by rename, and the tool replaces files atomically.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" != --steps ]; then
  exec "$here/live-directory.sh" "$1" "$0" --steps "$2" "$3"
fi
tool=$2 config=$3
domain=ad.example.test
files=(/etc/nsswitch.conf /etc/pam.d/common-auth /etc/pam.d/common-account /etc/pam.d/common-password
       /etc/pam.d/common-session /etc/sssd/sssd.conf)

ctl() { "$tool" --config-store "$LIVE_WORK/configstore.db" --management-interface lo=127.0.0.11 "$@"; }
step_start() { step=$1; t0=$(date +%s%N); }
step_end() { echo "figure: $step $((($(date +%s%N) - t0) / 1000000)) ms"; }
fail() {
  echo "FAILED at '$step': $*" >&2
  tail -n 20 "/var/log/sssd/sssd_$domain.log" 2>/dev/null >&2 || true
  exit 1
}
snapshot() {  # every file's bytes, or "absent"
  for f in "${files[@]}"; do
    if [ -e "$f" ]; then echo "== $f"; cat "$f"; echo "== end"; else echo "== $f absent"; fi
  done
}

# sssd's state, logs and pid file stay in the namespace; /run also hides a
# service manager of the host, so nothing restarts a service out there.
for dir in /var/lib/sss /var/log/sssd /run; do mkdir -p "$dir" && mount -t tmpfs -o mode=0755 tmpfs "$dir"; done
mkdir -p -m 0700 /var/lib/sss/db /var/lib/sss/pipes/private
mkdir -p -m 0755 /var/lib/sss/pipes /var/lib/sss/pubconf/krb5.include.d /var/lib/sss/gpo_cache /var/lib/sss/mc
printf 'auth required pam_env.so\n@include common-auth\n@include common-account\n' >/etc/pam.d/orvauth-login

step_start "user created on the controller"
samba-tool user create alice 'Al1ce#Secret' -H "$LIVE_SAM" >/dev/null
samba-tool group add orvauth-operators -H "$LIVE_SAM" >/dev/null
samba-tool group addmembers orvauth-operators alice -H "$LIVE_SAM" >/dev/null
step_end

printf 'provider = "adclient"\n' >"$config/provider.conf"
printf 'remote-authentication-store = "None"\n' >"$config/authentication.conf"
ctl leave >/dev/null 2>&1 || true  # a membership an earlier run left in the plug-in's state
# The host as a packaged sssd leaves it may already list sss: start from
# the files without the directory's modules.
ctl logins disable >/dev/null || fail "baseline: $(ctl logins status)"
before=$(snapshot)

step_start "join"
ctl join "$domain" --user Administrator --password-stdin <<<'Adm1n#Pass' >/dev/null || fail "join"
ctl activate "Active Directory" >/dev/null
grep -q "^\[domain/$domain\]" /etc/sssd/sssd.conf || fail "no domain section in sssd.conf"
step_end

step_start "logins enable"
ctl logins enable >/dev/null || fail "$(ctl logins status)"
enabled=$(snapshot)
ctl logins enable >/dev/null
[ "$(snapshot)" = "$enabled" ] || fail "a second enable changed a file"
[ "$(ctl logins status | grep -c ': on$')" = 5 ] || fail "$(ctl logins status)"
step_end

step_start "sssd start until alice resolves"
sssd -D --logger=files
for _ in $(seq 300); do getent passwd "alice@$domain" >/dev/null && break; sleep 0.1; done
step_end
entry=$(getent passwd "alice@$domain") || fail "alice@$domain does not resolve"
[ "$(getent passwd alice)" = "$entry" ] || fail "the short name is not taken as alice@$domain"
id "alice@$domain" | grep -q "orvauth-operators@$domain" || fail "groups: $(id "alice@$domain")"
echo "alice: $entry; $(id "alice@$domain")"

step_start "login authentication (pamtester)"
pamtester orvauth-login "alice@$domain" authenticate <<<'Al1ce#Secret' >/dev/null 2>&1 || fail "alice refused"
step_end
step_start "login with a wrong password refused"
! pamtester orvauth-login "alice@$domain" authenticate <<<'Wrong#Secret1' >/dev/null 2>&1 || fail "wrong password accepted"
step_end

step_start "logins disable"
ctl logins disable >/dev/null || fail "$(ctl logins status)"
ctl logins disable >/dev/null
step_end
step_start "leave"
ctl leave >/dev/null || fail "leave"
step_end
[ "$(snapshot)" = "$before" ] || { diff <(echo "$before") <(snapshot) >&2; fail "files differ from before the join"; }
! getent passwd "alice@$domain" >/dev/null || fail "alice still resolves"
kill "$(cat /run/sssd.pid)" 2>/dev/null || true
echo "live logins: all steps passed"
