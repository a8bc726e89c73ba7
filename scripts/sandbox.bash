# The sandboxed host that scripts/demo and the end-to-end tests (tests/e2e)
# run orvauthctl in. Sourced, never run.
#
#   sandbox_create <tool> <config dir> <plug-in dir> <host dir>
#
# lays out afresh the library's four configuration files in <config dir>,
# the reference plug-ins' state files (a simulated domain, corp.example.test,
# and an authentication proxy at 192.0.2.10) in <plug-in dir>, and in <host
# dir> the proxy's certificate (pki/jorv.pem, thumbprint in
# $sandbox_thumbprint), the host's hosts file and resolv.conf, and the
# resolver's view of names (dns/hosts). The configuration-store database
# (configstore.db) is created by its first use. After it,
#
#   orvauthctl <arguments>
#
# runs <tool> (through ${sandbox_runner[@]} when that is set) against that host: the platform layer pointed into <host dir>
# by global options, management interface eth0 = 192.0.2.21, the host's
# name (node01) and name resolution answered by nss_wrapper from dns/hosts,
# so the real /etc is neither read for them nor changed.

sandbox_create() {
  sandbox_tool=$1 sandbox_config=$2 sandbox_plugins=$3 sandbox_host=$4
  sandbox_nss_wrapper=$(dpkg -L libnss-wrapper 2>/dev/null | grep '/libnss_wrapper\.so$' | head -n 1)
  [ -n "$sandbox_nss_wrapper" ] || { echo "sandbox: nss_wrapper (package libnss-wrapper) is missing" >&2; return 1; }
  rm -rf "$sandbox_config" "$sandbox_host" "$sandbox_plugins"/*.state
  mkdir -p "$sandbox_config" "$sandbox_plugins" "$sandbox_host/pki" "$sandbox_host/dns"

  echo 'remote-authentication-store = "None"' >"$sandbox_config/authentication.conf"
  echo 'provider = "simdirectory"' >"$sandbox_config/provider.conf"
  echo 'provider = "simproxy"' >"$sandbox_config/jorvprovider.conf"
  : >"$sandbox_config/jorvservers.conf"

  # What the simulated proxy presents, and what the operator imports to trust it.
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 \
    -subj "/CN=jorv.corp.example.test" -keyout "$sandbox_host/pki/jorv.key" -out "$sandbox_host/pki/jorv.pem" 2>/dev/null
  sandbox_thumbprint=$(openssl x509 -noout -fingerprint -sha1 -in "$sandbox_host/pki/jorv.pem" | sed 's/.*=//')

  local domain='domain = corp.example.test
netbios = CORP
sid = S-1-5-21-3623811015-3361044348-30300820'
  cat >"$sandbox_plugins/simdirectory.state" <<STATE
# The simulated domain.
$domain
user = administrator:Secret#1
controller = dc1.corp.example.test
controller = dc2.corp.example.test
controller = dc1.emea.corp.example.test
preferred_controller = dc2.corp.example.test
trusted_domain = emea.corp.example.test EMEA
trusted_domain = partner.example.org PARTNER 3
trust_state = 1
STATE
  cat >"$sandbox_plugins/simproxy.state" <<STATE
# The simulated authentication proxy, serving the same domain.
$domain
container = OU=Hypervisors,OU=Servers
server = 192.0.2.10 $sandbox_host/pki/jorv.pem
STATE

  # node01 lives in the lab.example.test DNS zone and the domain's name
  # resolves, so a join adds the domain to the DNS search list.
  printf '192.0.2.21\tnode01.lab.example.test node01\n192.0.2.1\tcorp.example.test\n' >"$sandbox_host/dns/hosts"
  printf '127.0.0.1\tlocalhost\n' >"$sandbox_host/hosts"
  printf 'nameserver 192.0.2.53\nsearch lab.example.test\n' >"$sandbox_host/resolv.conf"

  sandbox_options=(--config-store "$sandbox_host/configstore.db" --hosts-file "$sandbox_host/hosts"
                   --resolv-conf "$sandbox_host/resolv.conf" --management-interface eth0=192.0.2.21
                   --sssd-conf "$sandbox_host/sssd.conf")
}

# sandbox_runner, when set, is the command (and its options) that runs the
# tool, e.g. setpriv to run it as another user.
orvauthctl() {
  "${sandbox_runner[@]}" env LD_PRELOAD=$sandbox_nss_wrapper NSS_WRAPPER_HOSTNAME=node01 NSS_WRAPPER_HOSTS=$sandbox_host/dns/hosts \
    "$sandbox_tool" "${sandbox_options[@]}" "$@"
}
