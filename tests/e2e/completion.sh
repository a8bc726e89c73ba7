#!/usr/bin/env bash
# completion.sh <completion script>: what bash offers for orvauthctl, from the script the build writes from
# the command table. bash-completion's helpers are stood in for by the least they must do. One row per case:
#   c <the offers, space-separated> <words...>   (the last word is the one being completed)
set -uo pipefail
_init_completion() { words=("${COMP_WORDS[@]}") cword=$COMP_CWORD cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}; }
_filedir() { COMPREPLY=("files$*"); }
_available_interfaces() { COMPREPLY=(interfaces); }
. "$1" || exit 1
failures=0
c() {
  local expected=$1
  shift
  COMP_WORDS=(orvauthctl "$@") COMP_CWORD=$# COMPREPLY=()
  _orvauthctl
  [ "${COMPREPLY[*]}" = "$expected" ] || { echo "FAIL: orvauthctl $*: '${COMPREPLY[*]}', expected '$expected'"; failures=$((failures + 1)); }
}

c 'logins' lo
c 'enable disable status permit deny admins' logins ''
c 'disable deny' --state-dir /tmp logins d
c 'get set' smartcard ''
c 'set' preferred-dcs ''
c '' preferred-dcs set ''
c '--password-stdin' join corp.example.test --user administrator --pass
c '--no-config-store' import-cert jorv.pem --no-c
c 'files-d' logins --pam-dir ''
c 'files' pam normalize ''
c 'interfaces' --management-interface ''
c '0 1' status --verify-proxy-cert ''
c 'posix' join corp.example.test --id-mapping p
c 'Active\ Directory' activate A
echo "orvauthctl completion: $failures failed"
exit $((failures > 0))
