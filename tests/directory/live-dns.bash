# The host's DNS records and SSSD's renewal settings, on the
# joined host of live-logins.sh (sourced there with `ctl`, `keytab`, the
# step helpers; SSSD running). Samba's updates skip loopback addresses: the
# host gets one on a veth pair of this namespace, in a reverse zone of its
# own. The tool registers at once; SSSD keeps the records afterwards.
dns_a() { dig +short +time=5 +tries=2 @127.0.0.10 "node01.$domain" A; }
dns_ptr() { dig +short +time=5 +tries=2 @127.0.0.10 -x "$1" PTR; }
newest_kvno() { klist -k "$keytab" | awk '/NODE01\$@/ {print $1}' | sort -n | tail -1; }

ip link add orvdns0 type veth peer name orvdns1
ip addr add 192.0.2.50/24 dev orvdns0 && ip link set orvdns0 up && ip link set orvdns1 up
samba-tool dns zonecreate 127.0.0.10 2.0.192.in-addr.arpa -U Administrator --password='Adm1n#Pass' >/dev/null ||
  fail "no reverse zone"

step_start "dns-update on registers the A and PTR records"
out=$(ctl dns-update on) || fail "$out"
[ "$(dns_a)" = 192.0.2.50 ] && [ "$(dns_ptr 192.0.2.50)" = "node01.$domain." ] || fail "A '$(dns_a)': $out"
grep -q '^dyndns_update = True' /etc/sssd/conf.d/orvauth-logins.conf || fail "SSSD does not keep them"
step_end

# SSSD 2.8 makes its first update 10 s plus a random 0-300 s after it
# starts, and has no setting for that: the plain build alone waits for it.
if [ "${LIVE_LONG_STEPS:-}" = 1 ]; then
  step_start "the A record follows the host's new address (SSSD's first update after it starts)"
  ip addr del 192.0.2.50/24 dev orvdns0 && ip addr add 192.0.2.51/24 dev orvdns0
  sssd_restart
  deadline=$((SECONDS + 330))
  while [ "$(dns_a)" != 192.0.2.51 ] && ((SECONDS < deadline)); do sleep 0.5; done
  [ "$(dns_a)" = 192.0.2.51 ] || fail "A '$(dns_a)' 330 s after the address changed"
  step_end
  ip addr del 192.0.2.51/24 dev orvdns0 && ip addr add 192.0.2.50/24 dev orvdns0
fi

# SSSD's own timing of the renewal checks, as an administrator sets it, and
# what the status makes of the password and the records.
ctl renew --every 30 --checks 86400:750 >/dev/null || fail "renew --every --checks"
grep -q '^ad_machine_account_password_renewal_opts = 86400:750' /etc/sssd/conf.d/orvauth-logins.conf ||
  fail "$(cat /etc/sssd/conf.d/orvauth-logins.conf)"
ctl logins status | grep -qx "DNS registration: on (SSSD keeps the host's records)" || fail "$(ctl logins status)"
ctl logins status | grep -q "^machine password: set .* (today), key version $(newest_kvno); SSSD renews it when it is 30 days old" ||
  fail "$(ctl logins status)"

step_start "dns-update off removes the records, on brings them back"
out=$(ctl dns-update off) || fail "$out"
[ -z "$(dns_a)" ] && [ -z "$(dns_ptr 192.0.2.50)" ] || fail "records stayed: $(dns_a) $out"
out=$(ctl dns-update on) || fail "$out"
[ "$(dns_a)" = 192.0.2.50 ] || fail "A '$(dns_a)': $out"
step_end
# The host joins again without --dns-update: in a trial, the new account's
# registration right after leave --user deleted the old one did not take
# (the controller seems to keep the deleted records' owner).
step_start "leave --user removes the records"
ctl leave --user Administrator --password-stdin <<<'Adm1n#Pass' >"$LIVE_WORK/leave" || fail "$(cat "$LIVE_WORK/leave")"
[ -z "$(dns_a)" ] && [ -z "$(dns_ptr 192.0.2.50)" ] || fail "records stayed: $(dns_a) $(cat "$LIVE_WORK/leave")"
step_end
ctl join "$domain" --user Administrator --password-stdin <<<'Adm1n#Pass' >/dev/null || fail "join again"
ctl dns-update off >/dev/null || fail "dns-update off"  # no SSSD updates for the rest of the run
ip link del orvdns0
sssd_restart
for _ in $(seq 300); do getent passwd "alice@$domain" >/dev/null && break; sleep 0.1; done
