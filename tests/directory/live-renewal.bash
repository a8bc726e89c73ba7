# SSSD renews the machine password by itself, from live-logins.sh (sourced,
# joined, SSSD running): the controller ages the password (a password the
# test knows, set with pwdLastSet 40 days back, as Samba lets an import do),
# the host keytab gets that password's keys, and SSSD, told to check 3 s
# after it starts, renews it: the key version rises with no renew, and the
# host still authenticates.
step_start "SSSD's scheduled renewal of a password 40 days old"
account="CN=NODE01,CN=Computers,DC=ad,DC=example,DC=test" password='Aged#Machine#Pass1'
aged=$(( ($(date +%s) - 40 * 86400 + 11644473600) * 10000000 ))  # FILETIME
ldbmodify --configfile="$LIVE_SMB_CONF" -H "$LIVE_SAM" --controls=local_oid:1.3.6.1.4.1.7165.4.3.20:0 >/dev/null <<LDIF ||
dn: $account
changetype: modify
replace: unicodePwd
unicodePwd:: $(printf '"%s"' "$password" | iconv -t UTF-16LE | base64 -w0)
-
replace: pwdLastSet
pwdLastSet: $aged
LDIF
  fail "the controller did not take the aged password"
on_dc_value() { ldbsearch --configfile="$LIVE_SMB_CONF" -H "$LIVE_SAM" -b "$account" -s base "$1" | sed -n "s/^$1: //p"; }
[ "$(on_dc_value pwdLastSet)" = "$aged" ] || fail "pwdLastSet $(on_dc_value pwdLastSet), not $aged"
kvno_aged=$(on_dc_value msDS-KeyVersionNumber)
for enctype in aes256-cts-hmac-sha1-96 aes128-cts-hmac-sha1-96; do
  printf 'addent -password -p NODE01$@AD.EXAMPLE.TEST -k %s -e %s -f\n%s\nwkt %s\n' "$kvno_aged" "$enctype" "$password" "$keytab"
done | ktutil >/dev/null 2>&1 || fail "ktutil"
KRB5CCNAME=MEMORY:aged kinit -k -t "$keytab" 'NODE01$@AD.EXAMPLE.TEST' || fail "the aged password's keys do not log in"
ctl renew --every 30 --checks 3600:3 >/dev/null || fail "renew --every --checks"
sssd_restart
for _ in $(seq 200); do
  kvno_sssd=$(klist -k "$keytab" | awk '/NODE01\$@/ {print $1}' | sort -n | tail -1)
  ((kvno_sssd > kvno_aged)) && break
  sleep 0.1
done
((kvno_sssd > kvno_aged)) || fail "SSSD did not renew: key version $kvno_sssd; $(tail -n 5 /var/log/sssd/sssd_ad.example.test.log 2>&1)"
KRB5CCNAME=MEMORY:renewed kinit -k -t "$keytab" 'NODE01$@AD.EXAMPLE.TEST' || fail "the host does not authenticate after SSSD's renewal"
[ "$(on_dc_value pwdLastSet)" != "$aged" ] || fail "pwdLastSet unchanged"
step_end
echo "SSSD's renewal: key version $kvno_aged -> $kvno_sssd"
