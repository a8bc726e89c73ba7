#!/usr/bin/env bash
# Two controllers, the first one dead: a second Samba DC joins the domain
# live-directory.sh provisioned (in the same namespaces, on 127.0.0.12, with
# private directories), its DNS records are registered, then every packet
# to the first is dropped. Through the second alone, each within its bound:
# join, the library's queries, domain-controller, discover, status (the
# test program), a directory login and leave --user. Steps print figures.
#   live-two-controllers.sh <work dir> <orvauthctl> <library configuration directory> <test program>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" != --steps ]; then
  exec "$here/live-directory.sh" "$1" "$0" --steps "$2" "$3" "$4"
fi
tool=$2 config=$3 program=$4
domain=ad.example.test
. "$here/live-host.bash"
host_prepare
printf 'provider = "adclient"\n' >"$config/provider.conf"
printf 'remote-authentication-store = "None"\n' >"$config/authentication.conf"
within() {  # within <seconds>: the step just ended took less
  (($(elapsed) < $1 * 1000)) || fail "took $(elapsed) ms, more than $1 s"
}

# Created before the second controller joins, which replicates them.
samba-tool user create alice 'Alice#Secret1' -H "$LIVE_SAM" >/dev/null
samba-tool group add orvauth-operators -H "$LIVE_SAM" >/dev/null
samba-tool group addmembers orvauth-operators alice -H "$LIVE_SAM" >/dev/null

step_start "second controller joined"
dc2=$LIVE_WORK/dc2
mkdir -p "$dc2/run" "$dc2/log"
ip addr add 127.0.0.12/8 dev lo
echo "127.0.0.12 dc2.$domain dc2" >>/etc/hosts
# Every path of its own: pid files, sockets and logs would otherwise be
# the first controller's.
samba-tool domain join $domain DC -U Administrator --password='Adm1n#Pass' --server=dc1.$domain \
  --dns-backend=SAMBA_INTERNAL --targetdir="$dc2" --option='netbios name=DC2' \
  --option='interfaces=127.0.0.12' --option='bind interfaces only=yes' --option="pid directory=$dc2/run" \
  --option="winbindd socket directory=$dc2/run/winbindd" --option="ncalrpc dir=$dc2/run/ncalrpc" \
  --option="log file=$dc2/log/log" >"$LIVE_WORK/log/join-dc2" 2>&1 || fail "$(tail -n 20 "$LIVE_WORK/log/join-dc2")"
step_end

# Its SRV records go to its own DNS, which the host asks first from now on.
step_start "second controller ready, its records in DNS"
printf 'nameserver 127.0.0.12\nnameserver 127.0.0.10\nsearch %s\n' $domain >/etc/resolv.conf
samba -s "$dc2/etc/smb.conf" -D
SECONDS=0
until (exec 3<>/dev/tcp/127.0.0.12/389) 2>/dev/null; do
  ((SECONDS < 180)) || fail "dc2 does not listen: $(tail -n 20 "$dc2/log/log")"
  sleep 0.5
done
# Its own registration skips loopback addresses and runs minutes after the
# start: here it runs at once, for its address, over RPC to itself.
samba_dnsupdate --configfile="$dc2/etc/smb.conf" --current-ip=127.0.0.12 --use-samba-tool --verbose >"$LIVE_WORK/log/dnsupdate-dc2" 2>&1 ||
  fail "$(tail -n 20 "$LIVE_WORK/log/dnsupdate-dc2")"
adcli info $domain 2>/dev/null | grep -q "^domain-controllers = .*dc2\.$domain" || fail "dc2 not in DNS: $(adcli info $domain 2>&1)"
step_end
adcli info $domain | grep '^domain-controllers'

nft -f - <<'NFT'
table inet dead {
  chain output { type filter hook output priority 0; ip daddr 127.0.0.10 drop; }
}
NFT
(exec 3<>/dev/tcp/127.0.0.10/389) 2>/dev/null & sleep 2
kill -0 $! 2>/dev/null || fail "the first controller still answers"
kill $! 2>/dev/null || true

step=queries
LIVE_SMB_CONF=$dc2/etc/smb.conf LIVE_SAM=$dc2/private/sam.ldb "$program" || fail "the test program failed"

step_start "activate, logins enable, permit"
ctl activate "Active Directory" >/dev/null || fail "activate"
ctl logins enable >/dev/null || fail "enable"
ctl logins permit --group orvauth-operators >/dev/null || fail "permit"
step_end
step_start "sssd start until alice resolves"
sssd_restart
for _ in $(seq 300); do getent passwd "alice@$domain" >/dev/null && break; sleep 0.1; done
getent passwd "alice@$domain" >/dev/null || fail "alice@$domain does not resolve"
step_end
step_start "full login of alice through the second controller"
login "alice@$domain" 'Alice#Secret1' || fail "$(cat "$LIVE_WORK/pamtester")"
step_end
within 15

step_start "leave --user"
ctl leave --user Administrator --password-stdin <<<'Adm1n#Pass' >/dev/null || fail "leave"
step_end
within 15
[ -z "$(ldbsearch --configfile="$dc2/etc/smb.conf" -H "$dc2/private/sam.ldb" '(sAMAccountName=NODE01$)' dn | grep '^dn:')" ] ||
  fail "the account is still on the second controller"
kill "$(cat /run/sssd.pid)" 2>/dev/null || true
echo "live two controllers: all steps passed"
