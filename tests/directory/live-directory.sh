#!/usr/bin/env bash
# Live directory tests: provisions a Samba AD domain controller in private
# network, UTS, mount and PID namespaces (on loopback 127.0.0.10, or
# LIVE_DC_ADDRESS on a LAN-like eth0 whose .21 is the host's; LIVE_DOMAIN)
# and runs the test program against it. The machine's own files are never
# touched: /etc and /dev are overlaid (this domain's hosts, resolv.conf,
# krb5.conf, a /dev/log the test reads); /run, /var/log, /tmp and the
# plug-in's state directory are private.
#   live-directory.sh <work dir> <test program> [test program arguments]
set -euo pipefail
if [ "${1:-}" != --inside ]; then
  if [ "$(id -u)" != 0 ] || ! unshare --net --uts --mount --pid --fork true 2>/dev/null; then
    echo "live directory tests SKIPPED: they need root and private namespaces (unshare)"
    exit 77
  fi
  exec unshare --net --uts --mount --pid --fork --mount-proc "$0" --inside "$@"
fi
work=$2; shift 2
domain=${LIVE_DOMAIN:-ad.example.test}
realm=${domain^^}
dc_address=${LIVE_DC_ADDRESS:-127.0.0.10}
rm -rf "$work" && mkdir -p "$work"/{etc,dev}/{upper,work} "$work/log"
mount --make-rprivate /
for dir in etc dev; do
  mount -t overlay overlay -o "lowerdir=/$dir,upperdir=$work/$dir/upper,workdir=$work/$dir/work" "/$dir"
done
# Samba keeps its pid files and sockets in /run/samba and logs to
# /var/log/samba: private empty ones, so that neither the machine nor a
# controller in another namespace is disturbed.
for dir in /run /var/log; do mount -t tmpfs tmpfs "$dir"; done
# /tmp is private as well (kinit's credential cache, adcli's leftovers), but
# the trees this run works in may lie under it (a clone in /tmp): each top
# directory of /tmp that a path of this run names is bound back in place.
mkdir /run/host-tmp && mount --bind /tmp /run/host-tmp
mount -t tmpfs tmpfs /tmp
for path in "$work" "$0" "$@"; do
  case $path in
    /tmp/?*)
      top=${path#/tmp/} && top=${top%%/*}
      if [ -e "/run/host-tmp/$top" ] && ! mountpoint -q "/tmp/$top"; then
        if [ -d "/run/host-tmp/$top" ]; then mkdir -p "/tmp/$top"; else touch "/tmp/$top"; fi
        mount --bind "/run/host-tmp/$top" "/tmp/$top"
      fi ;;
  esac
done
umount /run/host-tmp && rmdir /run/host-tmp
mkdir -p /var/log/samba
# The adclient plug-in's state directory of the build (LIVE_PRIVATE_DIRS,
# set by the test registration) starts empty for every run, so no run
# inherits another's membership.
for dir in ${LIVE_PRIVATE_DIRS:-}; do mkdir -p "$dir" && mount -t tmpfs -o mode=0700 tmpfs "$dir"; done
ip link set lo up
case $dc_address in
  127.*) ip addr add "$dc_address/8" dev lo && interfaces=lo ;;
  *) ip link add eth0 type veth peer name eth1
     ip addr add "${dc_address%.*}.21/24" dev eth0 && ip addr add "$dc_address/24" dev eth0
     ip link set eth0 up && ip link set eth1 up && ip route add default via "${dc_address%.*}.1"
     interfaces=$dc_address ;;
esac
hostname "node01.$domain"
printf '127.0.0.1 localhost\n%s dc1.%s dc1\n127.0.0.11 node01.%s node01\n' "$dc_address" $domain $domain >/etc/hosts
printf 'nameserver %s\nsearch %s\n' "$dc_address" $domain >/etc/resolv.conf
rm -f /etc/samba/smb.conf /etc/krb5.keytab

# The controller's database is provisioned once per build (per domain and
# address, and anew when this script changes) into a template beside the
# work directories, and each run starts a copy of it: provisioning is the
# slowest part of a start. The provisioned paths are absolute, so each run
# mounts its copy over the template's path inside its own namespace.
# Short: Samba's sockets live under it, and a socket's path is bounded.
template=$(dirname "$work")/dc-$({ echo "$domain $dc_address"; cat "$0"; } | sha1sum | cut -c1-8)
provision() {
  # SASL binds over LDAPS (adcli, SSSD and the plug-in with use_ldaps):
  # Windows takes them, Samba only with allow_sasl_over_tls.
  samba-tool domain provision --server-role=dc --dns-backend=SAMBA_INTERNAL --use-rfc2307 \
    --realm=$realm --domain=ADEX --adminpass='Adm1n#Pass' --host-name=dc1 --host-ip="$dc_address" \
    --targetdir="$template" --option="interfaces=$interfaces" --option='bind interfaces only=yes' \
    --option='ldap server require strong auth = allow_sasl_over_tls' >"$work/log/provision" 2>&1 ||
    { tail -n 20 "$work/log/provision"; return 1; }
  local sam="$template/private/sam.ldb"
  # One trust for the trusted-domain queries. The KDC needs its SID.
  ldbadd --configfile="$template/etc/smb.conf" -H "$sam" >/dev/null <<LDIF
dn: CN=partner.example.org,CN=System,DC=${domain//./,DC=}
objectClass: trustedDomain
trustPartner: partner.example.org
flatName: PARTNER
trustDirection: 3
trustType: 2
trustAttributes: 0
securityIdentifier: S-1-5-21-1-2-3
LDIF
  samba-tool ou create OU=Servers -H "$sam" >/dev/null
  # Bad logons are counted only under a lockout policy, and never for the
  # built-in administrator: a second administrator for the wrong password.
  samba-tool domain passwordsettings set --account-lockout-threshold=5 -H "$sam" >/dev/null
  samba-tool user create joiner 'J0iner#Pass' -H "$sam" >/dev/null
  samba-tool group addmembers 'Domain Admins' joiner -H "$sam" >/dev/null
  touch "$template/.complete"
}
start=$(date +%s%N)
(
  flock 9
  if [ ! -e "$template/.complete" ]; then
    rm -rf "$template" && mkdir -p "$template" && provision
  fi
) 9>"$template.lock"
provisioned=$(date +%s%N)
cp -a "$template" "$work/dc"
mount --bind "$work/dc" "$template"
cp "$work/dc/private/krb5.conf" /etc/krb5.conf
samba -s "$work/dc/etc/smb.conf" -D
# DNS answers before LDAP does: wait for discovery and the LDAP port both.
# A loaded machine can take a while to start the controller's services.
SECONDS=0
until adcli info $domain >/dev/null 2>&1 && (exec 3<>/dev/tcp/$dc_address/389) 2>/dev/null; do
  ((SECONDS < 180)) || { echo "the domain controller did not come up within 180 s"; tail -n 20 /var/log/samba/log.samba; exit 1; }
  sleep 0.2
done
echo "figure: provision (or the copy of this build's) $(((provisioned - start) / 1000000)) ms, controller ready $((($(date +%s%N) - provisioned) / 1000000)) ms"
sam="$work/dc/private/sam.ldb"

LIVE_WORK=$work LIVE_SAM=$sam LIVE_SMB_CONF=$work/dc/etc/smb.conf "$@"
