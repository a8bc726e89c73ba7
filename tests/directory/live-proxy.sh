#!/usr/bin/env bash
# Joins through the authentication proxy against the live domain controller
# that live-directory.sh provisions, and runs inside it (LIVE_WORK, LIVE_SAM
# and LIVE_SMB_CONF set, private namespaces, the host is node01):
#   live-directory.sh <work> live-proxy.sh <orvauthctl> <orvauth-proxyd> <config dir> <plug-in dir> <keytab>
# The host side is given no directory credentials at all; the proxy service
# holds its own. What the directory holds is read on the controller's side.
set -uo pipefail
ctl_program=$1 proxyd=$2 config=$3 plugins=$4 keytab=$5
work=$LIVE_WORK/proxy proxy=127.0.0.20 domain=ad.example.test
mkdir -p "$work" && chmod 700 "$work"
failures=0
check() {  # check <what> <command...>
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
ctl() { "$ctl_program" --config-store "$work/configstore.db" --management-interface lo=127.0.0.11 "$@"; }
on_dc() { ldbsearch --configfile="$LIVE_SMB_CONF" -H "$LIVE_SAM" "$@" 2>/dev/null; }
computers() { on_dc '(objectClass=computer)' dn | grep -c '^dn: '; }
account_at() { on_dc "(sAMAccountName=NODE01\$)" dn | grep -qi "^dn: $1"; }
keytab_logs_in() { KRB5CCNAME=MEMORY:proxy kinit -k -t "$keytab" 'NODE01$@AD.EXAMPLE.TEST' 2>/dev/null; }
requests() { grep -c 'machine account for\|domain information for' "$work/proxyd.log"; }
milliseconds() { echo $(($(date +%s%N) / 1000000)); }
refused_with() {  # refused_with <text> <orvauthctl arguments...>: fails, saying text
  local out; out=$(ctl "${@:2}" 2>&1) && return 1
  grep -qF "$1" <<<"$out" || { echo "  got: $out"; return 1; }
}
start_proxy() {
  "$proxyd" --config "$work/proxyd.conf" --stderr 2>>"$work/proxyd.log" &
  proxy_pid=$!
  for _ in $(seq 100); do grep -q listening "$work/proxyd.log" && return 0; sleep 0.1; done
  return 1
}

# The proxy's own side: a directory account of its own, a certificate, and
# the controller's CA for LDAPS.
samba-tool user create proxy-joiner 'Pr0xy#Joiner' -H "$LIVE_SAM" --configfile="$LIVE_SMB_CONF" >/dev/null
# Only what it needs, on the computers container: create computer objects,
# and reset the passwords of the computer objects in it.
sid=$(on_dc '(sAMAccountName=proxy-joiner)' objectSid | sed -n 's/^objectSid: //p')
for ace in "(OA;CI;CC;bf967a86-0de6-11d0-a285-00aa003049e2;;$sid)" \
           "(OA;CIIO;CR;00299570-246d-11d0-a768-00aa006e0529;bf967a86-0de6-11d0-a285-00aa003049e2;$sid)"; do
  samba-tool dsacl set -H "$LIVE_SAM" --configfile="$LIVE_SMB_CONF" --sddl="$ace" \
    --objectdn="CN=Computers,DC=ad,DC=example,DC=test" >/dev/null
done
for name in server other; do
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$name" \
    -keyout "$work/$name.key" -out "$work/$name.pem" 2>/dev/null
done
chmod 600 "$work/server.key"
printf 'user = proxy-joiner@AD.EXAMPLE.TEST\npassword = Pr0xy#Joiner\n' >"$work/credentials"
chmod 600 "$work/credentials"
cat >"$work/proxyd.conf" <<CONF
listen_address = "$proxy"
certificate = "$work/server.pem"
private_key = "$work/server.key"
credentials = "$work/credentials"
directory_uri = "ldaps://dc1.$domain"
directory_ca_file = "$LIVE_WORK/dc/private/tls/ca.pem"
CONF
printf 'provider = "adclient"\n' >"$config/provider.conf"
printf 'provider = "adproxy"\n' >"$config/jorvprovider.conf"
printf 'remote-authentication-store = "None"\n' >"$config/authentication.conf"
printf 'port = 9640\n' >"$plugins/adproxy.conf"
check "the proxy service starts" start_proxy

check "the proxy's certificate is imported" ctl import-cert "$work/server.pem" "$proxy"
started=$(milliseconds)
check "join through the proxy, certificate verified" ctl --verify-proxy-cert 1 join-proxy "$proxy"
echo "figure: proxy join $(($(milliseconds) - started)) ms"
check "the computer object is in the domain" account_at "CN=NODE01,CN=Computers,DC=ad"
check "the host's keytab logs in" keytab_logs_in
check "the membership record names the proxy" grep -q "$proxy" <(ctl status)
check "leave, no credentials" ctl leave
check "the leave kept the account" account_at "CN=NODE01,CN=Computers,DC=ad"
check "a second join through the proxy" ctl --verify-proxy-cert 1 join-proxy "$proxy"
check "it reused the account with a new password" grep -q 'new password for existing CN=NODE01' "$work/proxyd.log"
check "the keytab logs in again" keytab_logs_in
check "leave" ctl leave

started=$(milliseconds)
check "join with credentials" ctl join "$domain" --user Administrator --password-stdin <<<'Adm1n#Pass'
echo "figure: join with credentials $(($(milliseconds) - started)) ms"
check "leave with credentials deletes the account" ctl leave --user Administrator --password-stdin <<<'Adm1n#Pass'

check "another certificate is imported" ctl import-cert "$work/other.pem" "$proxy"
before=$(computers) seen=$(requests)
check "verification on, wrong certificate: refused" \
  refused_with "The JORV server's certificate cannot be verified." --verify-proxy-cert 1 join-proxy "$proxy"
check "nothing was created in the directory" test "$(computers)" = "$before"
check "the service saw no request" test "$(requests)" = "$seen"
check "verification off joins" ctl --verify-proxy-cert 0 join-proxy "$proxy"
check "the account was created afresh" grep -q 'created CN=NODE01,CN=Computers' "$work/proxyd.log"
check "leave" ctl leave

before=$(computers)
bodies=('not json' '[]' '{}' '{"hostName":7}' '{"hostName":"node_01"}' '{"hostName":"sixteen-chars-xx"}'
        '{"hostName":"a..b"}' '{"hostName":"node02","container":"Servers/Hosts"}'
        '{"hostName":"node02","container":"OU=x,DC=other,DC=org"}' '{"hostName":"node02","extra":1}')
answered=0
for round in $(seq 30); do
  for body in "${bodies[@]}"; do
    code=$(curl -sk --max-time 5 -o /dev/null -w '%{http_code}' "https://$proxy:9640/v1/machine-account" -d "$body")
    [ "$code" = 400 ] && answered=$((answered + 1))
  done
done
check "300 malformed requests refused" test "$answered" = 300
check "the container outside the domain reached the directory but created nothing" test "$(computers)" = "$before"
check "the service still runs" kill -0 "$proxy_pid"
check "no log line holds a one-time password" bash -c "! grep -qE '[A-Za-z0-9]{32}' '$work/proxyd.log'"

kill -TERM "$proxy_pid"
wait "$proxy_pid"
check "SIGTERM ends the service cleanly" test $? = 0
check "proxy down: connection refused" \
  refused_with "The remote computer refused the network connection." --verify-proxy-cert 0 join-proxy "$proxy"
nft add table inet proxytest
nft add chain inet proxytest input '{ type filter hook input priority 0; }'
nft add rule inet proxytest input ip daddr "$proxy" tcp dport 9640 drop
started=$(milliseconds)
check "proxy blackholed: timed out" \
  refused_with "did not properly respond after a period of time" --verify-proxy-cert 0 join-proxy "$proxy"
echo "figure: blackholed proxy answered after $(($(milliseconds) - started)) ms"
nft delete table inet proxytest

echo "live proxy: $failures failed"
[ "$failures" = 0 ]
