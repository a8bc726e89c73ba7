#!/usr/bin/env bash
# The login scenario of live-logins.sh (join, logins, a directory user's
# login, leave) run by the installed orvauthctl on a host with only the
# runtime packages: liborvauth1, liborvauthplatform1, liborvauthhost1, orvauth-common,
# orvauthctl, orvauth-adclient; no -dev package, no compiler. In
# live-directory.sh's namespaces, /usr, /var/lib and /var/cache overlaid.
#   live-packages.sh <work dir> <package dir>
set -euo pipefail
here=$(cd "$(dirname "$0")/../directory" && pwd)
if [ "${1:-}" != --steps ]; then
  exec "$here/live-directory.sh" "$1" "$0" --steps "$(cd "$2" && pwd)"
fi
for dir in /usr /var/lib /var/cache; do
  name=$(echo "$dir" | tr / _) && mkdir -p "$LIVE_WORK/$name"/{upper,work}
  mount -t overlay overlay -o "lowerdir=$dir,upperdir=$LIVE_WORK/$name/upper,workdir=$LIVE_WORK/$name/work" "$dir"
done
rm -f /usr/bin/cc /usr/bin/c++ /usr/bin/*gcc* /usr/bin/*g++* /usr/bin/clang*
printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d && chmod 0755 /usr/sbin/policy-rc.d
runtime=()
for name in liborvauth1 liborvauthplatform1 liborvauthhost1 orvauth-common orvauthctl orvauth-adclient; do
  runtime+=("$(ls "$2/${name}"_*.deb)")
done
DEBIAN_FRONTEND=noninteractive dpkg -i "${runtime[@]}" >"$LIVE_WORK/dpkg" 2>&1 || { tail -n 20 "$LIVE_WORK/dpkg"; exit 1; }
! dpkg-query -W liborvauth-dev >/dev/null 2>&1 && ! command -v g++ cc >/dev/null || { echo "FAILED: -dev or a compiler"; exit 1; }
echo "packages: ${runtime[*]##*/} installed"
exec "$here/live-logins.sh" --steps /usr/sbin/orvauthctl /etc/orvane/orvauth
