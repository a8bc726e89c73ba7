#!/usr/bin/env bash
# orvauth-proxyd-ca: the hosts' CA of orvauth-proxyd, the hosts' client
# certificates, and their revocation. The CA's key and its database stay in
# a directory only root reads; its certificate and CRL are written where
# the service's configuration names them (client_ca_file, client_crl_file).
# See orvauth-proxyd-ca(8).
set -euo pipefail
umask 077

default_config=@ORVAUTH_PROXYD_CONFIG@ config=@ORVAUTH_PROXYD_CONFIG@
usage() {
  cat <<USAGE
usage: orvauth-proxyd-ca [--config <file>] [--ca-dir <dir>] <command> [options]

  create [--name <CA name>] [--days <n>]   a new CA: its certificate goes to client_ca_file, an
                                           empty CRL to client_crl_file (when set)
  show                                     the CA, the certificates it issued and the CRL's dates
  issue <host name> [--out <dir>] [--days <n>]
                                           <dir>/<host name>.key (mode 0600) and .pem: a client
                                           certificate for the host (DNS name, clientAuth)
  revoke <host name | certificate file>    revokes, then as crl
  crl [--days <n>]                         writes a fresh CRL to client_crl_file, then reloads

  revoke and crl reload the service: --pid <pid> sends it SIGHUP, --no-reload leaves it;
  otherwise "systemctl reload orvauth-proxyd" when the unit is active.
  --config <file>   the service's configuration (default $default_config)
  --ca-dir <dir>    the CA's key and database (default: orvauth-proxyd-ca beside the configuration)
USAGE
}
fail() { echo "orvauth-proxyd-ca: $*" >&2; exit 1; }
usage_error() { echo "orvauth-proxyd-ca: $*" >&2; usage >&2; exit 2; }

ca_dir='' command='' subject='' days='' out=. name='' pid='' reload=1
while [ $# -gt 0 ]; do
  case $1 in
    --config|--ca-dir|--name|--days|--out|--pid)
      [ $# -ge 2 ] || usage_error "$1 needs a value"
      case $1 in
        --config) config=$2 ;; --ca-dir) ca_dir=$2 ;; --name) subject=$2 ;;
        --days) [[ $2 =~ ^[1-9][0-9]{0,4}$ ]] || usage_error "--days takes a number of days, not \"$2\""; days=$2 ;;
        --out) out=$2 ;; --pid) pid=$2 ;;
      esac
      shift 2 ;;
    --no-reload) reload=0; shift ;;
    --help) usage; exit 0 ;;
    -*) usage_error "unknown option \"$1\"" ;;
    *)
      if [ -z "$command" ]; then command=$1
      elif [ -z "$name" ]; then name=$1
      else usage_error "unexpected argument \"$1\""; fi
      shift ;;
  esac
done
[ -n "$command" ] || usage_error "no command"
ca_dir=$(realpath -m "${ca_dir:-$(dirname "$config")/orvauth-proxyd-ca}")

setting() {  # setting <key>: its value in the configuration, "" when unset
  [ -r "$config" ] || fail "$config: cannot be read (--config names the service's configuration)"
  sed -n "s/^[[:space:]]*$1[[:space:]]*=[[:space:]]*\"\{0,1\}\([^\"]*\)\"\{0,1\}[[:space:]]*\$/\1/p" "$config" | tail -n 1
}
ca_file=$(setting client_ca_file) crl_file=$(setting client_crl_file)
[ -n "$ca_file" ] || fail "$config sets no client_ca_file: name where the hosts' CA certificate goes"
needs_ca() { [ -f "$ca_dir/ca.key" ] || fail "$ca_dir holds no CA: create one first (orvauth-proxyd-ca create)"; }
needs_crl() { [ -n "$crl_file" ] || fail "$config sets no client_crl_file: name where the CRL goes, then run crl"; }
ca() { openssl ca -batch -config "$ca_dir/ca.cnf" "$@" 2>"$ca_dir/last-error" || fail "openssl ca: $(tail -n 3 "$ca_dir/last-error")"; }
# Readable by the service's user, replaced whole.
publish() {  # publish <file> <destination>
  install -m 0644 "$1" "$2.new" && mv -f "$2.new" "$2"
}

write_crl() {
  needs_ca; needs_crl
  ca -gencrl -crldays "${days:-30}" -out "$ca_dir/crl.pem"
  publish "$ca_dir/crl.pem" "$crl_file"
  echo "$crl_file: $(openssl crl -in "$crl_file" -noout -nextupdate)"
  [ "$reload" = 1 ] || return 0
  if [ -n "$pid" ]; then
    kill -HUP "$pid" || fail "cannot send SIGHUP to process $pid"
    echo "sent SIGHUP to orvauth-proxyd ($pid)"
  elif systemctl is-active --quiet orvauth-proxyd 2>/dev/null; then
    systemctl reload orvauth-proxyd && echo "reloaded orvauth-proxyd"
  else
    echo "orvauth-proxyd is not an active unit: reload it (kill -HUP <pid>) for the CRL to count"
  fi
}

case $command in
  create)
    [ ! -e "$ca_dir/ca.key" ] || fail "$ca_dir already holds a CA; a second one would orphan the certificates it issued"
    install -d -m 0700 "$ca_dir" "$ca_dir/issued"
    : >"$ca_dir/index.txt"
    echo 01 >"$ca_dir/crlnumber"
    cat >"$ca_dir/ca.cnf" <<CNF
[ca]
default_ca = hosts
[hosts]
dir = $ca_dir
database = \$dir/index.txt
new_certs_dir = \$dir/issued
serial = \$dir/serial
crlnumber = \$dir/crlnumber
certificate = \$dir/ca.pem
private_key = \$dir/ca.key
default_md = sha256
policy = host_policy
unique_subject = no
copy_extensions = none
[host_policy]
commonName = supplied
[ca_extensions]
basicConstraints = critical, CA:TRUE, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
CNF
    openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$ca_dir/ca.key" 2>/dev/null
    openssl req -new -x509 -key "$ca_dir/ca.key" -days "${days:-3650}" -subj "/CN=${subject:-orvauth-proxyd hosts CA $(hostname)}" \
      -config "$ca_dir/ca.cnf" -extensions ca_extensions -out "$ca_dir/ca.pem" -set_serial "0x$(openssl rand -hex 16)"
    openssl rand -hex 16 >"$ca_dir/serial"
    publish "$ca_dir/ca.pem" "$ca_file"
    echo "created the hosts' CA in $ca_dir; its certificate is $ca_file"
    if [ -n "$crl_file" ]; then reload=0 write_crl; fi
    ;;
  show)
    needs_ca
    openssl x509 -in "$ca_dir/ca.pem" -noout -subject -enddate -fingerprint -sha256
    echo "certificates (V valid, R revoked, E expired; serial, until, subject):"
    awk -F '\t' '{ printf "  %s %s %s %s\n", $1, $4, $2, $6 }' "$ca_dir/index.txt"
    if [ -n "$crl_file" ] && [ -f "$crl_file" ]; then
      echo "CRL $crl_file: $(openssl crl -in "$crl_file" -noout -lastupdate -nextupdate | tr '\n' ' ')"
    fi
    ;;
  issue)
    needs_ca
    re='[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?'
    [[ $name =~ ^$re(\.$re)+$ ]] && [ ${#name} -le 253 ] ||
      usage_error "issue needs the host's fully qualified DNS name, not \"$name\""
    [ ! -e "$out/$name.key" ] && [ ! -e "$out/$name.pem" ] || fail "$out/$name.key or .pem exists: remove it or choose --out"
    printf '[host]\nbasicConstraints = critical, CA:FALSE\nkeyUsage = critical, digitalSignature\nextendedKeyUsage = clientAuth\nsubjectAltName = DNS:%s\nsubjectKeyIdentifier = hash\nauthorityKeyIdentifier = keyid\n' \
      "$name" >"$ca_dir/host.ext"
    openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$out/$name.key" 2>/dev/null
    openssl req -new -key "$out/$name.key" -subj "/CN=$name" -out "$ca_dir/host.csr"
    ca -in "$ca_dir/host.csr" -days "${days:-825}" -extfile "$ca_dir/host.ext" -extensions host -notext -out "$out/$name.pem"
    chmod 0644 "$out/$name.pem"
    rm -f "$ca_dir/host.csr" "$ca_dir/host.ext"
    echo "issued $out/$name.pem and its key $out/$name.key (mode 0600): copy both to the host"
    ;;
  revoke)
    needs_ca; needs_crl
    [ -n "$name" ] || usage_error "revoke needs a host name or a certificate file"
    if [ -f "$name" ]; then
      ca -revoke "$name"
    else
      serials=$(awk -F '\t' -v cn="/CN=$name" '$1 == "V" && tolower($6) == tolower(cn) { print $4 }' "$ca_dir/index.txt")
      [ -n "$serials" ] || fail "no valid certificate for \"$name\" in $ca_dir/index.txt"
      for serial in $serials; do ca -revoke "$ca_dir/issued/$serial.pem"; echo "revoked serial $serial"; done
    fi
    write_crl
    ;;
  crl) write_crl ;;
  *) usage_error "unknown command \"$command\"" ;;
esac
