# A hardened domain, from live-logins.sh (sourced, on a host that has left):
# the host's Kerberos permits AES only, and TCP 389 carries adcli's NetLogon
# ping and nothing else: a connection the host grows past 1000 bytes (any
# bind or search of ours would) is dropped and counted, and the count must
# stay 0. adcli 0.9.1 pings over TCP 389 even with --use-ldaps and hangs on
# the next ping when one fails, so the port cannot be closed outright (the
# controller's CLDAP, UDP 389, answers too: clients locate controllers by
# it). join --use-ldaps --description, the queries, a login, renew and
# kinit -k all work; the keytab holds no RC4 or DES key; the description is
# on the computer object.
step_start "hardened: AES only, LDAPS only (TCP 389 for adcli's ping alone), join --use-ldaps --description"
rm -f "$LIVE_WORK/krb5.conf.stock" && { [ ! -e /etc/krb5.conf ] || cp /etc/krb5.conf "$LIVE_WORK/krb5.conf.stock"; }
aes='aes256-cts-hmac-sha1-96 aes128-cts-hmac-sha1-96'
grep -q '^\[libdefaults\]' /etc/krb5.conf 2>/dev/null || echo '[libdefaults]' >>/etc/krb5.conf
sed -i "/^\[libdefaults\]/a\    permitted_enctypes = $aes\n    default_tkt_enctypes = $aes\n    default_tgs_enctypes = $aes" /etc/krb5.conf
# The controller's own CA, instead of the machine's (a minimal host has no ldap.conf at all).
rm -f "$LIVE_WORK/ldap.conf.stock" && { [ ! -e /etc/ldap/ldap.conf ] || cp /etc/ldap/ldap.conf "$LIVE_WORK/ldap.conf.stock"; }
mkdir -p /etc/ldap
echo "TLS_CACERT $(dirname "$LIVE_SAM")/tls/ca.pem" >/etc/ldap/ldap.conf
nft -f - <<<'table inet ldaponly { counter beyond_ping { }
  chain input { type filter hook input priority 0; tcp dport 389 ct original bytes > 1000 counter name beyond_ping drop; }; }'
acct=$(sysctl -n net.netfilter.nf_conntrack_acct) && sysctl -qw net.netfilter.nf_conntrack_acct=1
[ "$(sysctl -n net.netfilter.nf_conntrack_acct)" = 1 ] || fail "no connection byte counts: nothing on TCP 389 could be told apart"
# The users' shell and homes from adclient.conf; the join keeps these lines.
printf 'default_shell = /bin/dash\nhome_directory = /home/%%d-%%u\n' >"$config/adclient.conf"
out=$(ctl join "$domain" --user Administrator --password-stdin --activate --use-ldaps --description 'Rack 4, row B' <<<'Adm1n#Pass' 2>&1) ||
  fail "$out"
step_end
grep -qx 'ad_use_ldaps = True' /etc/sssd/sssd.conf || fail "no ad_use_ldaps in sssd.conf"
ldbsearch --configfile="$LIVE_SMB_CONF" -H "$LIVE_SAM" '(sAMAccountName=NODE01$)' description | grep -qx 'description: Rack 4, row B' ||
  fail "description: $(ldbsearch --configfile="$LIVE_SMB_CONF" -H "$LIVE_SAM" '(sAMAccountName=NODE01$)' description)"
keytab=$(sed -n 's/^krb5_keytab = //p' /etc/sssd/sssd.conf)
step_start "hardened: domain-controller and status over LDAPS"
out=$(ctl domain-controller "$domain" 2>&1) && grep -q "dc1.$domain" <<<"$out" || fail "$out"
out=$(ctl status --verbose 2>&1) && grep -q "Machine account.*CN=NODE01,CN=Computers" <<<"$out" || fail "$out"
out=$(ctl status 2>&1) && grep -qF "users' homes:       /home/%d-%u (shell /bin/dash where the directory gives none)" <<<"$out" || fail "$out"
step_end
step_start "hardened: full login of alice"
ctl logins enable >/dev/null && ctl logins permit --group orvauth-operators >/dev/null || fail "logins"
sssd_restart
for _ in $(seq 300); do getent passwd "alice@$domain" >/dev/null && break; sleep 0.1; done
login "alice@$domain" 'Alice#Secret1' || fail "$(cat "$LIVE_WORK/pamtester")"
# bob has no POSIX attributes: adclient.conf's shell and home pattern are his.
entry=$(getent passwd "bob@$domain") && [ "$(cut -d: -f6- <<<"$entry")" = "/home/$domain-bob:/bin/dash" ] || fail "bob: $entry"
step_end
step_start "hardened: renew and kinit -k"
out=$(ctl renew 2>&1) || fail "$out"
KRB5CCNAME=MEMORY:hardened kinit -k -t "$keytab" 'NODE01$@AD.EXAMPLE.TEST' || fail "kinit -k"
klist -ke "$keytab" | grep -iE '\((des|arcfour|rc4|deprecated)' && fail "the keytab (old and new keys) holds RC4 or DES"
step_end
ctl logins disable >/dev/null && ctl leave >/dev/null || fail "hardened: leave"
beyond=$(nft list counter inet ldaponly beyond_ping | grep -o 'packets [0-9]*')
[ "$beyond" = "packets 0" ] || fail "more than a NetLogon ping went over TCP 389: $beyond dropped"
nft delete table inet ldaponly && sysctl -qw net.netfilter.nf_conntrack_acct="$acct"
if [ -e "$LIVE_WORK/krb5.conf.stock" ]; then cp "$LIVE_WORK/krb5.conf.stock" /etc/krb5.conf; else rm /etc/krb5.conf; fi
if [ -e "$LIVE_WORK/ldap.conf.stock" ]; then cp "$LIVE_WORK/ldap.conf.stock" /etc/ldap/ldap.conf; else rm /etc/ldap/ldap.conf; fi
rm "$config/adclient.conf"
