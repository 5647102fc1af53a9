#!/usr/bin/env bash
# Inside tools/pcsc-sandbox (its own mount and network namespaces, slot 0 a plain reader,
# slot 1 a PIN-pad reader): maps the bank domain to 127.0.0.1 with a private hosts file,
# installs the tree's .deb into a private root, starts the bank's web server on loopback over
# https with a certificate from a throw-away CA (https_rig.py; only the test's QtWebKit trusts
# it) and runs the road of a transfer in QtWebKit under Xvfb (road.py).
#   run_road.sh BUILD_DIR SOURCE_DIR DOMAIN
set -euo pipefail
build=$1 src=$2 domain=$3
work=$(mktemp -d)
bank_pid=
cleanup() {
  [ -n "$bank_pid" ] && kill "$bank_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

printf '127.0.0.1 localhost %s\n::1 localhost\n' "$domain" >"$work/hosts"
mount --bind "$work/hosts" /etc/hosts

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null)
dpkg-deb -x "$work"/out/quilta-plugin_*.deb "$work/root"
plugins=$work/root/usr/lib/mozilla/plugins
echo "plug-in as installed: $(ls "$plugins" | tr '\n' ' ')"

/usr/bin/python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import https_rig
https_rig.TestCA(sys.argv[2], sys.argv[3:])' \
  "$src/tests/npapi/browser" "$work/tls" "$domain" "*.$domain"
"$build/sim/quilta-bank-http" --root "$src/samples" --cert "$work/tls/server.pem" \
  --key "$work/tls/server.key" --port-file "$work/port" >"$work/bank.log" 2>&1 &
bank_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
if [ ! -s "$work/port" ]; then
  echo "the bank's web server did not start:"
  cat "$work/bank.log"
  exit 1
fi
https_port=$(cat "$work/port")

shots=$build/e2e-screenshots
rm -rf "$shots"
mkdir -p "$shots"
xvfb-run -a -s "-screen 0 1280x1024x24" /usr/bin/python3 "$src/tests/e2e/road.py" \
  --plugin-dir "$plugins" --url "https://$domain:$https_port/webatm/" --ca "$work/tls/ca.pem" --shots "$shots" \
  --geometry "$build/tests/e2e/quilta-e2e-geometry" --simctl "$QUILTA_SIMCTL" \
  --plain-reader "$QUILTA_SIM_READER0" --pinpad-reader "$QUILTA_SIM_READER1"
