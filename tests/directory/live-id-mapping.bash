# IDs from the directory, sourced by live-logins.sh after its leave: alice
# gets uidNumber 10001 (Domain Users gidNumber 10000), bob none. The host
# joins with --id-mapping posix as node01, then, after a leave, as node02
# (another host's name and machine account); each time with SSSD's cache
# emptied, alice resolves to the directory's IDs and bob does not resolve;
# the command the join names lists bob as lacking them. Leave removes the
# choice.
sssd_fresh() {  # SSSD with an empty cache: what a host that never resolved anyone knows
  kill "$(cat /run/sssd.pid)" 2>/dev/null && for _ in $(seq 100); do [ -e /run/sssd.pid ] || break; sleep 0.1; done
  rm -f /var/lib/sss/db/*
  sssd_restart
  for _ in $(seq 300); do getent passwd "alice@$domain" >/dev/null && break; sleep 0.1; done
}
host_named() {  # the host's name, and its management address's in the hosts file
  hostname "$1.$domain"
  sed -i '/^127\.0\.0\.11[[:space:]]/d' /etc/hosts && echo "127.0.0.11 $1.$domain $1" >>/etc/hosts
}
step_start "POSIX attributes on the controller"
samba-tool group addunixattrs 'Domain Users' 10000 -H "$LIVE_SAM" >/dev/null
samba-tool user addunixattrs alice 10001 -H "$LIVE_SAM" >/dev/null
step_end
for node in node01 node02; do
  host_named "$node"
  step_start "join --id-mapping posix as $node"
  out=$(ctl join "$domain" --user Administrator --password-stdin --id-mapping posix <<<'Adm1n#Pass' 2>&1) || fail "$out"
  grep -qx 'ldap_id_mapping = False' /etc/sssd/conf.d/orvauth-id-mapping.conf || fail "$out"
  step_end
  step_start "alice resolves to the directory's IDs on $node, bob does not"
  sssd_fresh
  entry=$(getent passwd "alice@$domain") || fail "alice@$domain does not resolve"
  [ "$(cut -d: -f3,4 <<<"$entry")" = 10001:10000 ] || fail "alice: $entry"
  getent passwd "bob@$domain" && fail "bob resolves without POSIX attributes"
  step_end
  echo "$node: $entry"
  step_start "the users lacking POSIX IDs, as the join says to list them"
  command=$(sed -n 's/^  ldapsearch /ldapsearch /p' <<<"$out")
  keytab=$(sed -n 's/^krb5_keytab = //p' /etc/sssd/sssd.conf)
  export KRB5CCNAME=FILE:$LIVE_WORK/ccache
  kinit -k -t "$keytab" "${node^^}\$@AD.EXAMPLE.TEST" || fail "no ticket for $node"
  listed=$(eval "$command" 2>&1) || fail "$command: $listed"
  unset KRB5CCNAME
  grep -qx 'sAMAccountName: bob' <<<"$listed" && ! grep -qx 'sAMAccountName: alice' <<<"$listed" || fail "$listed"
  step_end
  step_start "leave as $node"
  ctl leave >/dev/null || fail "leave"
  [ ! -e /etc/sssd/conf.d/orvauth-id-mapping.conf ] || fail "the ID mapping stayed after leave"
  step_end
done
host_named node01
kill "$(cat /run/sssd.pid)" 2>/dev/null || true
