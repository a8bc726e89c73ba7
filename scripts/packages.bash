# Reads scripts/packages, the project's one package list. Sourced, never run.
#
#   packages_list <set>             the packages of <set> and of the sets above it
#   packages_ensure <caller> <set>  installs those of them that are missing (as
#                                   root); as any other user, prints the
#                                   apt-get line to run and returns 1

packages_file=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/packages

packages_list() {
  awk -v wanted="$1" '
    { sub(/#.*/, ""); gsub(/[ \t]+/, "") }
    $0 == "" { next }
    /^\[.*\]$/ { if (set == wanted) exit; set = substr($0, 2, length($0) - 2); next }
    { list = list $0 "\n" }
    END {
      if (set != wanted) { print "packages: no set [" wanted "] in " FILENAME > "/dev/stderr"; exit 1 }
      printf "%s", list
    }
  ' "$packages_file"
}

packages_ensure() {
  local caller=$1 set=$2 list package
  list=$(packages_list "$set") || return 1
  local missing=()
  for package in $list; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "$caller: ${#missing[@]} Debian packages are missing; install them as root with:" >&2
    echo "apt-get install --no-install-recommends ${missing[*]}"
    return 1
  fi
  echo "== $caller: installing ${missing[*]}"
  (
    export DEBIAN_FRONTEND=noninteractive
    # The domain controller's packages must not start services on this
    # machine: a policy-rc.d that refuses every start, for the installation.
    if [ ! -e /usr/sbin/policy-rc.d ]; then
      printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
      chmod 0755 /usr/sbin/policy-rc.d
      trap 'rm -f /usr/sbin/policy-rc.d' EXIT
    fi
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  )
}
