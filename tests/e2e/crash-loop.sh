#!/usr/bin/env bash
# crash-loop.sh <orvauthctl> <configuration dir> <plug-in dir> <host dir> [kills per operation]
# SIGKILLs join, leave and join-proxy at random instants in the demo's sandboxed host, then runs the same command again:
# afterwards the domain record must exist exactly when the plug-in is joined, no tool process may survive and
# no new file (a writer's temporary) may lie beside the host's files.
set -uo pipefail
. "$(dirname "$0")/../../scripts/sandbox.bash"
sandbox_create "$1" "$2" "$3" "$4" || exit 77
trap 'rm -f "$sandbox_plugins"/*.state' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-}:verify_asan_link_order=0
kills=${5:-200} disagreements=0 survivors=0 stale=0 refused=0

start() {  # start <standard input> <arguments...>: the tool in the background, as $!
  local input=$1 && shift
  (LD_PRELOAD=$sandbox_nss_wrapper NSS_WRAPPER_HOSTNAME=node01 NSS_WRAPPER_HOSTS=$sandbox_host/dns/hosts \
    exec "$sandbox_tool" "${sandbox_options[@]}" "$@" <<<"$input" >/dev/null 2>&1) &
}
alive() { for p in $(pgrep -x orvauthctl); do [ "$(readlink "/proc/$p/exe")" != "$sandbox_tool" ] || echo "$p"; done; }
run() { local input=$1 && shift && printf '%s\n' "$input" | orvauthctl "$@" 2>&1; }
join_domain() { run 'Secret#1' join corp.example.test --user administrator --password-stdin; }
join_proxy() { run - join-proxy 192.0.2.10; }
traces() {  # domain record, plug-in membership
  sqlite3 "$sandbox_host/configstore.db" "SELECT count(*) FROM config_objects WHERE key = 'active_directory'"
  grep -c '^joined_domain *=' "$sandbox_plugins/simdirectory.state"
}
files() { ls -A "$sandbox_config" "$sandbox_host" "$sandbox_plugins" | grep -v -e '-journal$' -e '-wal$' -e '-shm$'; }
now_us() { echo $(($(date +%s%N) / 1000)); }

run - activate 'Active Directory' >/dev/null && run - import-cert "$sandbox_host/pki/jorv.pem" >/dev/null || exit 1
# The kills fall within the time an undisturbed join, leave or proxy join takes.
t0=$(now_us) && join_domain >/dev/null && t1=$(now_us) && run - leave >/dev/null && t2=$(now_us) &&
  join_proxy >/dev/null && t3=$(now_us) && run - leave >/dev/null || exit 1
declare -A span=([join]=$((t1 - t0)) [leave]=$((t2 - t1)) [join-proxy]=$((t3 - t2)))
declare -A expected=([join]=$'1\n1' [leave]=$'0\n0' [join-proxy]=$'1\n1')
baseline=$(files)
for op in join leave join-proxy; do
  for ((i = 0; i < kills; i++)); do
    [ $op != leave ] || join_domain >/dev/null
    case $op in
      join) start 'Secret#1' join corp.example.test --user administrator --password-stdin ;;
      leave) start '' leave ;;
      join-proxy) start '' join-proxy 192.0.2.10 ;;
    esac
    pid=$! delay=$(((RANDOM * 32768 + RANDOM) % span[$op]))
    sleep "$(printf '0.%06d' "$delay")" && kill -KILL $pid 2>/dev/null
    wait $pid 2>/dev/null
    survivors=$((survivors + $(alive | wc -l)))
    # Either the command is carried out, or it is refused as already done.
    case $op in join) output=$(join_domain) ;; leave) output=$(run - leave) ;; join-proxy) output=$(join_proxy) ;; esac ||
      [[ $output == *"already joined"* || $output == *"not joined to a domain"* ]] ||
      { refused=$((refused + 1)) && echo "$op refused: $output"; }
    [ "$(traces)" = "${expected[$op]}" ] ||
      { disagreements=$((disagreements + 1)) && echo "$op killed at ${delay} us: $(traces | tr '\n' ' ')"; }
    if [ "$(files)" != "$baseline" ]; then
      stale=$((stale + 1)) && echo "left after $op: $(diff <(echo "$baseline") <(files) | grep '^>')"
      baseline=$(files)
    fi
    [ $op = leave ] || run - leave >/dev/null
  done
done
echo "undisturbed: join ${span[join]} us, leave ${span[leave]} us, join-proxy ${span[join-proxy]} us; $kills kills per operation:" \
  "disagreements $disagreements, survivors $survivors, stale files $stale, unexpected refusals $refused"
[ $((disagreements + survivors + stale + refused)) = 0 ]
