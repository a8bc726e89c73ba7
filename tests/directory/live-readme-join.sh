#!/usr/bin/env bash
# The README's "Join a host to a domain" followed as printed: each sh block,
# unchanged and in order, as root against a live DC carrying the README's
# names (corp.example.test, dc1 at 192.0.2.5, node01 on a LAN address),
# from the folder of the built packages, on a host with no compiler; then
# no -dev package is installed, the host is in the OU named and a permitted
# user logs in. Stand-ins for what the namespace lacks: systemctl (SSSD
# only), hostnamectl, timedatectl; apt-get answers yes and finds the
# packages' dependencies already installed. Everything written lands in
# overlays.
#   live-readme-join.sh <work dir> <package dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" != --steps ]; then
  LIVE_DOMAIN=corp.example.test LIVE_DC_ADDRESS=192.0.2.5 exec "$here/live-directory.sh" "$1" "$0" --steps "$(cd "$2" && pwd)"
fi
packages=$2
domain=corp.example.test
. "$here/live-host.bash"

overlay() {  # overlay <lower> <mount point>: writes go to the run's tmpfs
  local name
  name=$(echo "$2" | tr / _) && mkdir -p "/run/readme/$name"/{upper,work}
  mount -t overlay overlay -o "lowerdir=$1,upperdir=/run/readme/$name/upper,workdir=/run/readme/$name/work" "$2"
}
host_private_state
mkdir -p /run/readme && mount -t tmpfs tmpfs /run/readme
for dir in /usr /var/lib /var/cache; do overlay "$dir" "$dir"; done
rm -rf /var/lib/orvane
mkdir -p /var/log/apt
rm -f /usr/bin/cc /usr/bin/c++ /usr/bin/*gcc* /usr/bin/*g++* /usr/bin/clang*
printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d && chmod 0755 /usr/sbin/policy-rc.d
host_syslog
# Terminals of the run's own for the tool's password prompt.
mkdir -p /dev/pts && mount -t devpts -o newinstance,ptmxmode=0666 devpts /dev/pts
mount --bind /dev/pts/ptmx /dev/ptmx

# SSSD restarted by "systemctl" answers before it returns, as under systemd.
mkdir -p /run/systemd/system
cat >/usr/bin/systemctl <<'EOF'
#!/bin/bash
[ "${2%.service}" = sssd ] || { echo "systemctl stand-in: only sssd, not '$*'" >&2; exit 1; }
running() { [ -e /run/sssd.pid ] && kill -0 "$(cat /run/sssd.pid)" 2>/dev/null; }
stop() {
  running || return 0
  pid=$(cat /run/sssd.pid) && kill "$pid"
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
}
case $1 in
  stop) stop ;;
  try-restart|restart|start) { [ "$1" != try-restart ] || running; } || exit 0
    stop && sssd -D --logger=files && for _ in $(seq 100); do [ -S /var/lib/sss/pipes/nss ] && exit 0; sleep 0.1; done; exit 1 ;;
  *) echo "systemctl stand-in: '$1' not supported" >&2; exit 1 ;;
esac
EOF
printf '#!/bin/sh\n[ "$1" = set-hostname ] && hostname "$2" && echo "$2" >/etc/hostname\n' >/usr/bin/hostnamectl
printf '#!/bin/sh\n[ "$1" = set-ntp ]\n' >/usr/bin/timedatectl
chmod 0755 /usr/bin/systemctl /usr/bin/hostnamectl /usr/bin/timedatectl
host_stock_pam

# What the domain holds before the host joins: the OU, the group, its member.
samba-tool ou create OU=Hypervisors,OU=Servers -H "$LIVE_SAM" >/dev/null
samba-tool group add hypervisor-admins -H "$LIVE_SAM" >/dev/null
samba-tool user create jdoe 'Jdoe#Secret1' -H "$LIVE_SAM" >/dev/null
samba-tool group addmembers hypervisor-admins jdoe -H "$LIVE_SAM" >/dev/null

# A terminal of its own, the administrator's password typed at the prompt.
in_terminal() {
  /usr/bin/python3 -c '
import os, pty, sys
password = sys.stdin.readline().encode()
pid, fd = pty.fork()
if pid == 0:
    os.execvp(sys.argv[1], sys.argv[1:])
seen = b""
while True:
    try:
        data = os.read(fd, 4096)
    except OSError:
        break
    if not data:
        break
    sys.stdout.buffer.write(data); sys.stdout.flush()
    seen += data
    if b"Password for " in seen and seen.rstrip().endswith(b":"):
        os.write(fd, password); seen = b""
sys.exit(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))' "$@" <<<'Adm1n#Pass'
}
awk -v dir="$LIVE_WORK" '/^## Join a host to a domain/ { on = 1; next } on && /^## / { exit }
  on && /^ *```sh$/ { file = dir "/block" ++n; next } on && /^ *```$/ { file = ""; next }
  file != "" { sub(/^   /, ""); print > file }' "$here/../../README.md"
steps=$(ls "$LIVE_WORK" | grep -c '^block[0-9]*$' || true)
((steps == 7)) || { step=README; fail "the section has $steps sh blocks, not 7"; }
# A host without Kerberos settings of its own (the harness copied the
# controller's): the join writes what the README no longer asks for.
rm -f /etc/krb5.conf
cd "$packages"
for i in $(seq "$steps"); do
  block=$(cat "$LIVE_WORK/block$i")
  step_start "README step $i"
  echo "== step $i:"$'\n'"$block"
  in_terminal bash -euo pipefail -c "apt-get() { DEBIAN_FRONTEND=noninteractive command apt-get -y \"\$@\"; }; $block" \
    >"$LIVE_WORK/step$i" 2>&1 || fail "$(tail -n 20 "$LIVE_WORK/step$i")"
  step_end
done

out() { tr -d '\r' <"$LIVE_WORK/step$1"; }
step="README's outcomes"
for name in liborvauth1 liborvauthplatform1 liborvauthhost1 orvauth-common orvauthctl orvauth-adclient; do
  dpkg-query -W -f '${Status}' "$name" 2>/dev/null | grep -q 'install ok installed' || fail "$name is not installed: $(out 1 | tail -n 5)"
done
! dpkg-query -W liborvauth-dev >/dev/null 2>&1 && ! command -v g++ cc >/dev/null || fail "a -dev package or a compiler"
out 5 | grep -q "dc1.$domain" || fail "discover: $(out 5)"
out 6 | grep -Eq '^ *(trust|Trust state): +good' || fail "status: $(out 6)"
out 7 | grep -q "^jdoe@$domain:" || fail "getent: $(out 7)"
ldbsearch -H "$LIVE_SAM" '(sAMAccountName=NODE01$)' dn | grep -q '^dn: CN=NODE01,OU=Hypervisors,OU=Servers,DC=corp' ||
  fail "NODE01 is not in OU=Hypervisors,OU=Servers"
grep -qx $'\tdefault_realm = CORP.EXAMPLE.TEST' /etc/krb5.conf && klist -k /etc/krb5.keytab | grep -q " host/node01.$domain@" ||
  fail "Kerberos: $(cat /etc/krb5.conf; klist -k /etc/krb5.keytab)"
step_start "jdoe (in hypervisor-admins) logs in"
login "jdoe@$domain" 'Jdoe#Secret1' || fail "$(cat "$LIVE_WORK/pamtester")"
step_end
systemctl stop sssd
echo "README join: every step passed"
