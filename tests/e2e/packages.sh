#!/usr/bin/env bash
# packages.sh <scratch dir>: scripts/demo, scripts/run-tests and .ci/run all
# take their packages from scripts/packages. Run by an ordinary user on a
# machine where dpkg knows no package (both pretended by commands in front of
# PATH), each must print the one apt-get line for its whole set, and stop
# there.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd) scratch=$1 failures=0
. "$root/scripts/packages.bash"
rm -rf "$scratch" && mkdir -p "$scratch/bin"
# The pretended machine: dpkg knows no package, and the user is not root.
printf '#!/bin/sh\nexit 1\n' >"$scratch/bin/dpkg-query"
printf '#!/bin/sh\necho 1000\n' >"$scratch/bin/id"
# Were the user taken for root, nothing may be installed for real.
printf '#!/bin/sh\ntouch "%s/apt-get-ran"\nexit 1\n' "$scratch" >"$scratch/bin/apt-get"
chmod 0755 "$scratch/bin/dpkg-query" "$scratch/bin/id" "$scratch/bin/apt-get"

for row in "scripts/demo build" "scripts/run-tests tests" ".ci/run tests"; do
  read -r script set <<<"$row"
  expected="apt-get install --no-install-recommends $(packages_list "$set" | tr '\n' ' ')"
  output=$(PATH="$scratch/bin:$PATH" "$root/$script" 2>/dev/null)
  status=$?
  if [ "$status" = 0 ] || [ "$output " != "$expected" ]; then
    printf 'FAIL: %s (set %s)\n  expected non-zero and: %s\n  got %s: %s\n' "$script" "$set" "$expected" "$status" "$output"
    failures=$((failures + 1))
  fi
done
[ ! -e "$scratch/apt-get-ran" ] || { echo "FAIL: apt-get was run"; failures=$((failures + 1)); }
echo "package lists: $failures failed"
exit $((failures > 0))
