#!/usr/bin/env bash
# orvauthctl.sh <orvauthctl> <configuration dir> <plug-in dir> <host dir>: the tool end to end in the
# demo's sandboxed host, one row per command, in order:
#   t <exit status> <standard input, '-' for none> <text its output and errors hold> <arguments...>
# A refused command must leave the host's files as they were; records are read back through status --json.
set -uo pipefail
. "$(dirname "$0")/../../scripts/sandbox.bash"
sandbox_create "$@" || exit 77
trap 'rm -f "$sandbox_plugins"/*.state' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-}:verify_asan_link_order=0  # nss_wrapper is preloaded first
host=$sandbox_host config=$sandbox_config failures=0

snapshot() { cat "$config"/* "$host/hosts" "$host/resolv.conf" "$sandbox_plugins"/*.state 2>&1 | md5sum; }
t() {
  local status=$1 input=$2 expected=$3 output actual before=$(snapshot)
  shift 3
  output=$({ [ "$input" = - ] || printf '%b\n' "$input"; } | orvauthctl "$@" 2>&1)
  actual=$?
  if [ "$actual" != "$status" ] || [[ $output != *"$expected"* ]] ||
     { [ "$status" != 0 ] && [ "$before" != "$(snapshot)" ]; }; then
    printf 'FAIL: orvauthctl %s\n  expected %s and output holding: %s\n  got %s: %s\n' "$*" "$status" "$expected" "$actual" "$output"
    failures=$((failures + 1))
  fi
}

t 0 - $'  Active Directory\n* None' stores
t 0 - 'Usage: orvauthctl [<global options>] <command>' help help
t 2 - "unknown command 'frobnicate' (the commands: stores, activate, status, join," frobnicate
t 2 - 'activate: missing operand (<store>)' activate
t 2 - "--verify-proxy-cert takes 0 or 1, not '2'" --verify-proxy-cert 2 status
t 2 - "The specified store 'AD' is unknown; the stores are \"Active Directory\", \"None\"" activate AD
# status only reads: a host without a database has no records, which is no
# error, and the database is not created (the next row would see it).
t 0 - '"membership":null,"proxy_thumbprint":null,"verify_proxy_certificate":1' status --json
t 0 - $'not joined to a domain\n  active store:       None\n  directory logins:   not enabled' status
[ ! -e "$host/configstore.db" ] || { echo "FAIL: status created $host/configstore.db"; failures=$((failures + 1)); }
# Not root: the refusal says so (as root, the row runs as nobody, if nobody can reach the tool).
[ "$(id -u)" -ne 0 ] || sandbox_runner=(setpriv --reuid=65534 --regid=65534 --clear-groups)
if "${sandbox_runner[@]}" test -x "$sandbox_tool"; then
  t 1 - "'activate' must be run as root" activate 'Active Directory'
  # The plug-ins' state is root's only on a host: status says it cannot read it, and fails.
  chmod 600 "$sandbox_plugins/simdirectory.state"
  t 1 - "status cannot read the directory client's record of the membership without root's rights" status
  chmod 644 "$sandbox_plugins/simdirectory.state"
else
  echo "note: the not-root row is left out: nobody cannot reach $sandbox_tool"
fi
sandbox_runner=()

# Passwords: a terminal is refused for --password-stdin (PasswordTest.cpp), a NUL byte always.
t 2 - 'standard input is not a terminal' join corp.example.test --user administrator
t 1 'Secret#1\0junk' 'the password holds a NUL byte' join corp.example.test --user administrator --password-stdin
t 1 '' 'empty or no password was specified' join corp.example.test --user administrator --password-stdin
t 2 - 'either after the domain or with --ou, not both' join corp.example.test/Servers --ou Hypervisors --user administrator
t 2 - 'join: give either --user <name> or --one-time-password' join corp.example.test --user administrator --one-time-password
t 2 - "option '--one-time-password' takes no value" join corp.example.test --one-time-password=Otp-1
t 1 'Otp-1' "the domain refused the one-time password of the host's preset computer account" \
  join corp.example.test --one-time-password --password-stdin
t 1 'Secret#1' "The organizational unit 'Servers/' ends with a '/'" \
  join corp.example.test --ou Servers/ --user administrator --password-stdin
t 2 - "option '--use-ldaps' takes no value" join corp.example.test --use-ldaps=no --user administrator
t 2 - '--description: the description holds a control character' join corp.example.test --description $'a\nb' --user administrator
t 0 'Secret#1' $'Recorded description = Rack 4 in '"$config"$'/adclient.conf (it holds for later operations too).\nJoined the host to corp.example.test/Servers/Hypervisors.\nHosts file '"$host"$'/hosts: the host\'s full name now resolves to its management address, as Kerberos and the directory need\n  added:   192.0.2.21\tnode01.lab.example.test node01\nActive store: Active Directory' \
  join corp.example.test --ou Servers/Hypervisors --user administrator --password-stdin --activate --description ' Rack 4 '
# A refused join takes its setting back (t checks that the files are as they were).
t 1 'Secret#1' "the host is already joined to corp.example.test: leave it first ('orvauthctl leave'" \
  join corp.example.test --user administrator --password-stdin --use-ldaps
t 1 - "directory logins are not enabled on this host" --state-dir "$host/state" --sssd-conf "$host/sssd.conf" logins permit --all
# Administrators: one drop-in checked by visudo beside the admin's own file, which --none leaves as it was.
mkdir -m 0750 "$host/sudoers.d" && printf 'admin ALL=(ALL) ALL\n' >"$host/sudoers.d/local"
sudoers=$(ls -l --time-style=+ "$host/sudoers.d" && cat "$host/sudoers.d"/*)
admins=(--sudoers-dir "$host/sudoers.d" --state-dir "$host/state" --sssd-conf "$host/sssd.conf" logins admins)
t 2 - 'logins admins takes one of --user, --group or --none' "${admins[@]}"
t 2 - '--none takes no names' "${admins[@]}" --none ops
t 1 - "$host/none is not a directory (missing): install sudo" --sudoers-dir "$host/none" logins admins --group ops
t 0 - $'  group domain admins@corp.example.test\nBeing an administrator does not let one log in' "${admins[@]}" --group 'Domain Admins'
t 0 - $'  user jdoe@corp.example.test\n  group domain admins' "${admins[@]}" --user 'CORP\JDoe'
grep -qx '%domain\\x20admins@corp.example.test ALL=(ALL:ALL) ALL' "$host/sudoers.d/orvauth-admins" &&
  [ "$(stat -c %a "$host/sudoers.d/orvauth-admins")" = 440 ] || { echo "FAIL: $(ls -l "$host/sudoers.d"; cat "$host/sudoers.d/orvauth-admins")"; failures=$((failures + 1)); }
t 0 - '"administrators":{"users":["jdoe@corp.example.test"],"groups":["domain admins@corp.example.test"]}' \
  --pam-dir /etc/pam.d "${admins[@]:0:6}" logins status --json
t 0 - 'none from the directory' "${admins[@]}" --none
[ "$(ls -l --time-style=+ "$host/sudoers.d" && cat "$host/sudoers.d"/*)" = "$sudoers" ] || { echo "FAIL: --none: $(ls -la "$host/sudoers.d")"; failures=$((failures + 1)); }
t 0 - $'corp.example.test\n  realm:              CORP.EXAMPLE.TEST\n  NetBIOS name:       CORP\n  computer account:   NODE01$\n  container:          OU=Hypervisors,OU=Servers,DC=corp,DC=example,DC=test\n  operating system:   (none)\n  description:        (none)\n  trust:              good: the machine account logs in to the domain\n  active store:       Active Directory' status
t 0 - 'Trust state:                  good: the machine account logs in to the domain (1)' status --verbose
t 0 - '"trust_state":1' status --json
t 0 - '"organizational_unit":"Servers/Hypervisors","proxy_address":""}' status --json
t 0 - '"trusted_domains":[{"dns_name":"emea.corp.example.test","netbios_name":"EMEA"},{"dns_name":"partner.' status --json
t 0 - 'dc2.corp.example.test' domain-controller corp.example.test
t 0 - 'NODE01$@CORP.EXAMPLE.TEST' host-principal corp.example.test
t 0 - 'EMEA\jdoe' canonical-name jdoe@emea.corp.example.test
t 0 - 'Smart-card services: sshd login' smartcard set sshd login
t 0 - $'sshd\nlogin' smartcard get

# Certificates: one for every proxy in the configuration store, whatever the address says.
printf -- '-----BEGIN CERTIFICATE-----\nnot base64\n-----END CERTIFICATE-----\n' >"$host/garbage.pem"
t 1 - 'The certificate format is invalid; only PEM format is supported.' import-cert "$host/garbage.pem"
t 2 - "import-cert: 'jorv.corp.example.test' is not an IPv4 address" \
  import-cert "$host/pki/jorv.pem" jorv.corp.example.test
t 0 - 'for every authentication proxy, 192.0.2.10 included' import-cert "$host/pki/jorv.pem" 192.0.2.10
t 0 - "\"proxy_thumbprint\":\"$sandbox_thumbprint\"" status --json
t 0 - 'The host left its domain.' leave
t 0 - '"membership":null' status --json
# IDs from the directory: the join's own settings file beside sssd.conf, gone with the leave.
t 2 - "--id-mapping takes sid or posix, not 'rfc2307'" join corp.example.test --user administrator --id-mapping rfc2307
t 0 'Secret#1' "-H ldap://corp.example.test -b DC=corp,DC=example,DC=test '(&(objectCategory=person)" \
  join corp.example.test --user administrator --password-stdin --id-mapping posix
grep -qx 'ldap_id_mapping = False' "$host/conf.d/orvauth-id-mapping.conf" || { echo "FAIL: no ID mapping"; failures=$((failures + 1)); }
t 0 - 'The host left its domain.' leave
[ ! -e "$host/conf.d/orvauth-id-mapping.conf" ] || { echo "FAIL: the ID mapping stayed"; failures=$((failures + 1)); }
t 0 - 'Joined the host to the domain of the authentication proxy 192.0.2.10.' --verify-proxy-cert 1 \
  join-proxy 192.0.2.10 --ou 'Servers/Hyper,visors'
t 0 - '"organizational_unit":"Servers/Hyper,visors","proxy_address":"192.0.2.10"}' status --json
t 0 - 'container:          OU=Hyper\,visors,OU=Servers,DC=corp,DC=example,DC=test' status
t 0 - 'The host left its domain.' leave

# Without the configuration store each proxy has its own thumbprint in jorvservers.conf.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=impostor \
  -keyout "$host/other.key" -out "$host/other.pem" 2>/dev/null
t 0 - 'for the authentication proxy 192.0.2.10.' --no-config-store import-cert "$host/other.pem" 192.0.2.10
t 1 - "The JORV server's certificate cannot be verified." --no-config-store --verify-proxy-cert 1 join-proxy 192.0.2.10
t 0 - 'for the authentication proxy 192.0.2.10.' --no-config-store import-cert "$host/pki/jorv.pem" 192.0.2.10
t 0 - "\"proxy_thumbprints\":{\"192.0.2.10\":\"$sandbox_thumbprint\"}" status --json --no-config-store
t 1 - 'the host is not joined to a domain' leave
t 0 - 'removes the membership record from the host configuration store' leave --help
# The system's PAM directory by any spelling goes through the same backend (pam-auth-update where it manages it).
logins=(--sssd-conf "$host/sssd.conf" logins status)
pam=$(orvauthctl --pam-dir /etc/pam.d "${logins[@]}" 2>&1 | grep -o '(PAM, through .*)')
for dir in /etc/pam.d/ /etc//pam.d /etc/../etc/pam.d; do t 0 - "$pam" --pam-dir "$dir" "${logins[@]}"; done

# A broken provider.conf is reported as such, not as a missing plug-in.
mv "$config/provider.conf" "$host/provider.conf" && mkdir "$config/provider.conf"
t 1 - "cannot read '$config/provider.conf': not a regular file" status
rmdir "$config/provider.conf"
t 1 - "provider.conf is missing or unreadable: it names the directory client plug-in; create it holding the line provider = \"adclient\"" -v status
mv "$host/provider.conf" "$config/provider.conf"
t 0 - 'Active store: None' activate None

t 0 '#%PAM-1.0\nauth sufficient pam_unix.so nullok' $'#%PAM-1.0\n\nauth\tsufficient\tpam_unix.so\tnullok ' pam normalize
t 1 '@include common-auth' 'orvauthctl: standard input: Invalid Facility: @include' pam normalize -
printf 'hosts: files dns\npasswd:   files simdirectory [NOTFOUND=return]\n' >"$host/nsswitch.conf"
t 0 - $'passwd: files simdirectory [NOTFOUND=return]\nhosts: files dns' nss normalize "$host/nsswitch.conf"
# JSON output stays valid UTF-8 whatever the files hold.
printf 'remote-authentication-store = "Non\xffe"\n' >"$config/authentication.conf"
t 0 - $'"active_store":"Non\xef\xbf\xbde"' status --json

echo "orvauthctl end to end: $failures failed"
exit $((failures > 0))
