#!/usr/bin/env bash
# full-disk.sh <orvauthctl> <configuration dir> <plug-in dir> <host dir>: every writing command on filled tmpfs disks
# fails naming the file and "No space left on device", changing nothing; status still reads the store.
set -uo pipefail
if [ "${1:-}" != --inside ]; then
  unshare --mount --propagation private "$0" --inside "$@"
  status=$? && rm -f "$3"/*.state && exit $status
fi
shift
. "$(dirname "$0")/../../scripts/sandbox.bash"
sandbox_create "$@" || exit 77
export ASAN_OPTIONS=${ASAN_OPTIONS:-}:verify_asan_link_order=0
host=$sandbox_host failures=0 disks=("$sandbox_config" "$sandbox_host" "$sandbox_plugins")
printf 'Secret#1\n' | orvauthctl join corp.example.test --user administrator --password-stdin --activate >/dev/null &&
  orvauthctl import-cert "$host/pki/jorv.pem" >/dev/null || exit 1
mkdir "$host/pam.d" && printf 'auth sufficient pam_unix.so\nauth required pam_deny.so\n' >"$host/pam.d/system-auth" && printf 'passwd: files\ngroup: files\nshadow: files\n' >"$host/nsswitch.conf"
logins=(--nsswitch-conf "$host/nsswitch.conf" --pam-dir "$host/pam.d" --state-dir "$host/tool" --sssd-conf "$host/sssd.conf" logins)
for dir in "${disks[@]}"; do  # each on a tmpfs of its own, with what the commands use
  keep=$(mktemp -d) || exit 1
  if [ "$dir" = "$sandbox_plugins" ]; then cp -a "$dir"/libsim*.so "$dir"/*.state "$keep"/; else cp -a "$dir"/. "$keep"/; fi
  mount -t tmpfs -o size=$(($(du -sk "$keep" | cut -f1) + 512))k,mode=755 tmpfs "$dir" || exit 77
  cp -a "$keep"/. "$dir"/ && rm -rf "$keep" || exit 1
done
fill() { for dir in "${disks[@]}"; do dd if=/dev/zero of="$dir/.filler" bs=4k 2>/dev/null; done; true; }
snapshot() { find "${disks[@]}" -type f ! -name .filler -printf '%p %s %m ' -exec md5sum {} \; | sort; }
t() {  # t <the file named> <standard input> <arguments...>
  local file=$1 input=$2 output before=$(snapshot) && shift 2
  output=$(printf '%s\n' "$input" | orvauthctl "$@" 2>&1) ||
    [[ $output != *"No space left on device"* || $output != *"$file"* || $output == *"must exist"* ]] &&
    { printf 'FAIL: orvauthctl %s: %s\n' "$*" "$output" && failures=$((failures + 1)); }
  [ "$before" = "$(snapshot)" ] || { echo "FAIL: orvauthctl $* changed: $(diff <(echo "$before") <(snapshot))"; failures=$((failures + 1)); }
}
fill
t authentication.conf - activate None
t jorvservers.conf - --no-config-store import-cert "$host/pki/jorv.pem" 192.0.2.10
t configstore.db - import-cert "$host/pki/jorv.pem"
t configstore.db - --verify-proxy-cert 0 status
t simdirectory.state - smartcard set sshd
t simdirectory.state 'Secret#1' leave --user administrator --password-stdin
t logins.json - "${logins[@]}" enable system-auth
[ ! -e "$host/configstore.db-wal" ] && output=$(orvauthctl status --verbose 2>&1) && [[ $output == *"Recorded domain:"*"corp.example.test"* ]] ||
  { printf 'FAIL: status on the full disk: %s\n' "$output"; failures=$((failures + 1)); }
rm -f "${disks[@]/%//.filler}" && orvauthctl "${logins[@]}" enable system-auth >/dev/null && fill || exit 1
t nsswitch.conf - "${logins[@]}" disable
rm -f "${disks[@]/%//.filler}" && orvauthctl leave >/dev/null && fill || exit 1  # a join, from a host that left
t .hosts 'Secret#1' join corp.example.test --user administrator --password-stdin
echo "full disk: $failures failed"
exit $((failures > 0))
