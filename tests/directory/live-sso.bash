# Single sign-on: sshd with GSSAPI on the loopback, and alice (permitted,
# logged in once) runs a command on the host over ssh with a ticket from
# kinit and no password. Only the join's Kerberos settings (krb5.conf, the
# host keytab) and SSSD's local-name mapping make this work. Sourced by
# live-logins.sh.
sso=$LIVE_WORK/sso
mkdir -p "$sso" && mkdir -p -m 0755 /run/sshd
ssh-keygen -q -t ed25519 -N '' -f "$sso/host_key"
cat >"$sso/sshd_config" <<CONFIG
ListenAddress 127.0.0.11:2222
HostKey $sso/host_key
PidFile $sso/sshd.pid
UsePAM yes
GSSAPIAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
PubkeyAuthentication no
CONFIG
/usr/sbin/sshd -f "$sso/sshd_config" -E "$sso/sshd.log" || { step=sshd; fail "sshd: $(cat "$sso/sshd.log")"; }
step_start "single sign-on: kinit"
KRB5CCNAME=FILE:$sso/ccache kinit "alice@${domain^^}" <<<'Alice#Secret1' >/dev/null || fail "kinit alice"
step_end
step_start "single sign-on: ssh with GSSAPI, no password"
out=$(KRB5CCNAME=FILE:$sso/ccache ssh -F /dev/null -p 2222 -o BatchMode=yes -o PasswordAuthentication=no \
  -o GSSAPIAuthentication=yes -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR \
  -l "alice@$domain" "node01.$domain" id -un 2>&1) || fail "ssh: $out; sshd: $(tail -n 5 "$sso/sshd.log")"
step_end
[ "$out" = "alice@$domain" ] || fail "ssh ran the command as '$out'"
kill "$(cat "$sso/sshd.pid")"
