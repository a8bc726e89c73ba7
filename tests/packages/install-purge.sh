#!/usr/bin/env bash
# install-purge.sh <package dir> <scratch dir>: every package of <package
# dir> installed with dpkg, installed again over an administrator's edit,
# removed and purged, in a private mount namespace whose /etc, /usr and /var
# are overlays on a tmpfs. Checks what the maintainer scripts make (the
# service's user and directory, the unit left off, the PAM profile known but
# off), that the -dev package builds a program, that a joined host's
# membership outlives the purge with a warning, and that afterwards nothing
# the packages made is left, the PAM files and nsswitch.conf byte for byte
# as before. Needs root and unshare; exits 77 (skipped) without them.
set -euo pipefail
if [ "${1:-}" != --inside ]; then
  [ "$(id -u)" = 0 ] && unshare --mount true 2>/dev/null || { echo "skipped: needs root and unshare"; exit 77; }
  exec unshare --mount --propagation private "$0" --inside "$@"
fi
packages=$(cd "$2" && pwd) scratch=$3 failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
run() { "$@" >"$scratch/log" 2>&1 || fail "$*: $(tail -n 5 "$scratch/log")"; }

mkdir -p "$scratch" && mount -t tmpfs tmpfs "$scratch"
for dir in etc usr var; do
  mkdir -p "$scratch/$dir"/{upper,work}
  mount -t overlay overlay -o "lowerdir=/$dir,upperdir=$scratch/$dir/upper,workdir=$scratch/$dir/work" "/$dir"
done
mount -t tmpfs tmpfs /run  # no service manager to reach
printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d && chmod 0755 /usr/sbin/policy-rc.d
mkdir "$scratch/before" && cp -a /etc/pam.d /etc/nsswitch.conf "$scratch/before/"
unchanged() {
  diff -r "$scratch/before/pam.d" /etc/pam.d >"$scratch/diff" && cmp -s "$scratch/before/nsswitch.conf" /etc/nsswitch.conf ||
    fail "$1: PAM or nsswitch.conf changed: $(head -n 20 "$scratch/diff")"
}
debs=("$packages"/*.deb)
mapfile -t names < <(for deb in "${debs[@]}"; do dpkg-deb -f "$deb" Package; done)
export DEBIAN_FRONTEND=noninteractive

run dpkg -i "${debs[@]}"
run /usr/sbin/orvauthctl --version
run getent passwd orvauth-proxyd
[ "$(stat -c '%a %G' /etc/orvane/orvauth-proxyd)" = "750 orvauth-proxyd" ] || fail "/etc/orvane/orvauth-proxyd"
[ -z "$(find /etc/systemd/system -name 'orvauth-proxyd*')" ] || fail "the unit was enabled"
[ "$(dpkg-query -W -f '${Conffiles}\n' orvauth-common orvauth-adproxy | grep -c ' /etc/orvane/orvauth/')" = 6 ] ||
  fail "not 6 conffiles in /etc/orvane/orvauth"
unchanged "install"
# The -dev package by the code's own include names: pkg-config, CMake.
printf '#include <orvane/authentication/orvauth.h>\n#include <platform/QelConfigStore.h>\nint main() {}\n' >"$scratch/main.cpp"
# shellcheck disable=SC2046
run g++ -std=c++17 -o "$scratch/main" "$scratch/main.cpp" $(pkg-config --cflags --libs orvauth)
printf 'cmake_minimum_required(VERSION 3.20)\nproject(p CXX)\nfind_package(orvauth REQUIRED)\n%s\n%s\n' \
  'add_executable(p main.cpp)' 'target_link_libraries(p orvauth::orvauth)' >"$scratch/CMakeLists.txt"
run sh -c "cmake -S '$scratch' -B '$scratch/cmake' -G Ninja && cmake --build '$scratch/cmake'"

echo 'remote-authentication-store = "Active Directory"' >/etc/orvane/orvauth/authentication.conf
run dpkg -i "${debs[@]}"
grep -q 'Active Directory' /etc/orvane/orvauth/authentication.conf || fail "the administrator's edit was replaced"
# Logins on, as "orvauthctl logins enable" turns the profile on; a joined
# host's state.
pam-auth-update --enable orvauth-mkhomedir
mkdir -p /var/lib/orvane/adclient
printf 'domain = corp.example.test\ncomputer_name = NODE01\n' >/var/lib/orvane/adclient/adclient.state

run dpkg -r "${names[@]}"
[ ! -e /usr/sbin/orvauthctl ] && [ -e /etc/orvane/orvauth/provider.conf ] || fail "remove: programs left or conffiles gone"
unchanged "remove"
dpkg -P "${names[@]}" >"$scratch/purge" 2>&1 || fail "purge: $(tail -n 5 "$scratch/purge")"
grep -q 'still joined to corp.example.test' "$scratch/purge" && [ -e /var/lib/orvane/adclient/adclient.state ] ||
  fail "purge on a joined host: no warning, or the membership state is gone"
rm -r /var/lib/orvane
unchanged "purge"
# Left in the overlays: only dpkg's, ldconfig's, pam-auth-update's records
# and the service's user (Debian keeps system users; sysusers' lock file).
left=$(for dir in etc usr var; do (cd "$scratch/$dir/upper" && find . ! -type d | sed "s|^\.|/$dir|"); done |
  grep -Ev '^/var/(lib/dpkg|log|cache/(man|debconf|ldconfig)|lib/pam)/|^/usr/sbin/policy-rc\.d$' |
  grep -Ev '^/etc/((passwd|group|shadow|gshadow)-?|\.pwd\.lock|ld\.so\.cache|pam\.d/common-[a-z-]+)$' || true)
[ -z "$left" ] || fail "left after the purge: $(echo "$left" | tr '\n' ' ')"
echo "packages: ${#names[@]} installed, installed again, removed, purged; $failures failed"
exit $((failures > 0))
