#!/usr/bin/env bash
# The Debian packages as a customer's machine gets them, checked in private roots. Both are
# built from this tree with cpack; one part of the test checks one of them:
#
# plugin  quilta-plugin, the NPAPI module:
#   - the .deb carries the run-time dependencies and exactly the module and its dialog helper
#     in /usr/lib/mozilla/plugins;
#   - dpkg installs it into a private root and removes it again without a trace;
#   - the installed module exports only the NP_ entry points (no development hooks) and the
#     helper beside it runs;
#   - QtWebKit finds the plug-in through the installed folder and scripts it on the bank's
#     pages over https (under Xvfb), and the module refuses the bank's page over plain http;
#   - `cmake --install` (component plugin) and the `uninstall` target put the same files in
#     place and take them away.
# bridge  quilta-webatm, the native host the extension talks to (root: mount namespaces):
#   - the .deb carries the run-time dependencies and exactly its files: host and dialog
#     helper, the doctor, the host manifests for Chromium, Google Chrome and Firefox, the
#     browsers' extension hints, the Firefox policy fragment and the extension's files;
#   - dpkg installs it into a private root (its maintainer scripts run for that root); the
#     installed manifests name the installed host and only the extension; postinst links the
#     policy fragment as /etc/firefox/policies/policies.json;
#   - in a mount namespace of its own the root's /usr/lib/quilta and host manifest folders
#     are mounted over the system's, so that headless Chromium and Firefox, loading the
#     build's unpacked extension, start the installed host through the installed manifests;
#     on the real PC/SC stack (tools/pcsc-sandbox) and over https they reach GetComVersion
#     and the card road, across two pages of the bank, and the host releases the card when
#     the bank's last page is gone (tests/nmhost/browser/webext_test.py);
#   - the extension's store archives come out byte for byte the same when packed again;
#   - dpkg -r leaves nothing behind: no file, no link, no folder it made;
#   - tools/build-deb refuses a tree that admits plain http.
#
#   package_test.sh plugin|bridge BUILD_DIR SOURCE_DIR DOMAIN NM [BANK_TOOL]
set -euo pipefail
part=$1 build=$2 src=$3 domain=$4 nm=$5 bank_tool=${6:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL  $*"; exit 1; }
plugins=usr/lib/mozilla/plugins
wanted_depends="pcscd libpcsclite1 libgtk-3-0 fonts-arphic-ukai"

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null) \
  || fail "cpack -G DEB"

# A private root with a dpkg database of its own (the dependencies live on the real system).
private_root() {
  mkdir -p "$1/var/lib/dpkg/info" "$1/var/lib/dpkg/updates"
  touch "$1/var/lib/dpkg/status"
}
check_depends() {
  local depends
  depends=$(dpkg-deb -f "$1" Depends)
  for d in $wanted_depends; do
    grep -Eq "(^|, )$d( |,|$)" <<<"$depends" || fail "$(basename "$1"): Depends lacks $d: $depends"
  done
  echo "ok    Depends: $depends"
}
package_files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6}' | sort; }

# SRC's folder in place of the folder DEST (inside a mount namespace of the test's own). A
# DEST the system does not have is made in an overlay of the nearest folder it has, whose
# upper layer is the test's: nothing is written to the system's folders.
overlaid=()
mount_over() {
  local from=$1 dest=$2 parent o layer
  if [ ! -d "$dest" ]; then
    parent=$dest
    while [ ! -d "$parent" ]; do parent=$(dirname "$parent"); done
    for o in "${overlaid[@]}"; do
      case "$parent/" in "$o"/*) parent= ; break ;; esac
    done
    if [ -n "$parent" ]; then
      layer=$work/overlay${parent//\//_}
      mkdir -p "$layer/upper" "$layer/work"
      mount -t overlay overlay \
        -o "lowerdir=$parent,upperdir=$layer/upper,workdir=$layer/work" "$parent"
      overlaid+=("$parent")
    fi
    mkdir -p "$dest"
  fi
  mount --bind "$from" "$dest"
}

# Inside the mount namespace: the installed host and manifests in the system's places, then
# each browser on the real stack with the build's unpacked extension.
browsers_on_installed_host() {
  local browser t0 log
  mount_over "$root/usr/lib/quilta" /usr/lib/quilta
  mount_over "$root/etc/chromium/native-messaging-hosts" /etc/chromium/native-messaging-hosts
  mount_over "$root/usr/lib/mozilla/native-messaging-hosts" /usr/lib/mozilla/native-messaging-hosts
  for browser in chromium firefox; do
    case $browser in
      chromium) [ -x /usr/lib/chromium/chromium ] || { echo "skip  no Chromium"; continue; } ;;
      firefox) command -v firefox-esr >/dev/null || command -v firefox >/dev/null \
                 || { echo "skip  no Firefox"; continue; } ;;
    esac
    log=$work/$browser.log
    t0=$(date +%s%N)
    "$src/tools/pcsc-sandbox" --build "$build" -- /usr/bin/python3 \
      "$src/tests/nmhost/browser/webext_test.py" --browser "$browser" --webext "$build/webext" \
      --host /usr/lib/quilta/quilta-nmhost --system-manifests --domain "$domain" --card \
      --bank-tool "$bank_tool" --pages index,login,transfer,foreign >"$log" 2>&1 \
      || { cat "$log"; fail "$browser with the installed host"; }
    echo "ok    $browser reaches the card through the installed host ($(grep -c '^ok ' "$log")" \
         "page checks, $(( ($(date +%s%N) - t0) / 1000000 )) ms in the sandbox)"
  done
}

bridge() {
  local deb version chromium_id gecko files want link t0 pair b ext built out left
  deb=$(ls "$work"/out/quilta-webatm_*.deb)
  echo "ok    built $(basename "$deb")"
  [ "$(dpkg-deb -f "$deb" Package)" = quilta-webatm ] || fail "package name"
  check_depends "$deb"
  version=$(dpkg-deb -f "$deb" Version)
  chromium_id=$(sed -n 's|.*"chrome-extension://\([a-p]\{32\}\)/".*|\1|p' \
         "$build/nmhost/manifests/chromium/com.zelb.quilta.json")
  gecko=$(python3 -c 'import json, sys
print(json.load(open(sys.argv[1]))["browser_specific_settings"]["gecko"]["id"])' \
            "$build/webext/manifest.json")
  [ -n "$chromium_id" ] && [ -n "$gecko" ] || fail "no extension ids in the build"

  files=$(package_files "$deb")
  want=$(printf '%s\n' ./etc/chromium/native-messaging-hosts/com.zelb.quilta.json \
    ./etc/opt/chrome/native-messaging-hosts/com.zelb.quilta.json ./usr/bin/quilta-doctor \
    ./usr/lib/mozilla/native-messaging-hosts/com.zelb.quilta.json ./usr/lib/quilta/quilta-dialogs \
    ./usr/lib/quilta/quilta-nmhost "./usr/share/chromium/extensions/$chromium_id.json" \
    "./usr/share/google-chrome/extensions/$chromium_id.json" \
    ./usr/share/quilta/firefox/policies.json \
    ./usr/share/quilta/webext/{background.js,manifest.json,page.js,relay.js} | sort)
  [ "$files" = "$want" ] || fail "package files:"$'\n'"$files"$'\n'"wanted:"$'\n'"$want"
  echo "ok    files: $(tr '\n' ' ' <<<"$files")"

  # dpkg into a private root with the folders every system has; the maintainer scripts act
  # on that root (DPKG_ROOT).
  root=$work/bridge-root
  private_root "$root"
  mkdir -p "$root"/{etc,usr/bin,usr/lib,usr/share}
  dpkg --root="$root" --force-depends --force-not-root --force-script-chrootless -i "$deb" \
    >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
  [ -x "$root/usr/lib/quilta/quilta-nmhost" ] && [ -x "$root/usr/lib/quilta/quilta-dialogs" ] \
    || fail "host and dialog helper not installed side by side"
  python3 - "$root" "$chromium_id" "$gecko" <<'PY' || fail "installed host manifests"
import json, sys
root, chromium_id, gecko = sys.argv[1:]
chromium = 'chrome-extension://%s/' % chromium_id
for folder, key, want in (('etc/chromium', 'allowed_origins', chromium),
                          ('etc/opt/chrome', 'allowed_origins', chromium),
                          ('usr/lib/mozilla', 'allowed_extensions', gecko)):
    path = '%s/%s/native-messaging-hosts/com.zelb.quilta.json' % (root, folder)
    m = json.load(open(path))
    if (m['path'] != '/usr/lib/quilta/quilta-nmhost' or m[key] != [want]
            or m['name'] != 'com.zelb.quilta'):
        sys.exit('%s: %s' % (path, m))
PY
  link=$(readlink "$root/etc/firefox/policies/policies.json" || true)
  [ "$link" = /usr/share/quilta/firefox/policies.json ] \
    || fail "postinst did not link the Firefox policy fragment ($link)"
  echo "ok    dpkg --root installs it; the manifests name the installed host and the" \
       "extension alone; postinst links the Firefox policies"

  [ -n "$bank_tool" ] || fail "no bank tool given"
  [ "$(id -u)" = 0 ] || fail "the browsers on the installed host need root (mount namespaces)"
  t0=$(date +%s%N)
  export -f mount_over browsers_on_installed_host fail
  export root work build src domain bank_tool
  unshare --mount --propagation private -- \
    bash -c 'set -euo pipefail; overlaid=(); browsers_on_installed_host' || exit 1
  echo "ok    both browsers in the mount namespace: $(( ($(date +%s%N) - t0) / 1000000 )) ms"

  # The store archives, packed again from a copy with other file times: the same bytes.
  cp -r "$build/webext" "$work/webext-again"
  touch -d '2011-11-11 11:11' "$work/webext-again"/*
  for pair in chromium:zip firefox:xpi; do
    b=${pair%:*} ext=${pair#*:}
    built=$build/webext-dist/quilta-webatm-$b-$version.$ext
    [ -f "$built" ] || fail "no $(basename "$built") in the build"
    python3 "$src/tools/pack-webext.py" --webext "$work/webext-again" --browser "$b" \
      --out "$work/again.$ext"
    cmp -s "$built" "$work/again.$ext" || fail "$(basename "$built") differs when packed again"
  done
  echo "ok    the store archives are byte-identical when packed again"

  dpkg --root="$root" --force-not-root --force-script-chrootless -r quilta-webatm \
    >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -r"; }
  left=$(cd "$root" && find . -mindepth 1 -not -path ./var -not -path ./var/lib \
           -not -path ./var/lib/dpkg -not -path './var/lib/dpkg/*' -not -path ./etc \
           -not -path ./usr -not -path ./usr/bin -not -path ./usr/lib -not -path ./usr/share | sort)
  [ -z "$left" ] || fail "left after dpkg -r:"$'\n'"$left"
  echo "ok    dpkg -r leaves nothing: no file, no policy link, no folder"

  # A test rig's tree is never packaged.
  if out=$("$src/tools/build-deb" --build "$work/plain-tree" -DQUILTA_ALLOW_PLAIN_HTTP=ON 2>&1)
  then
    fail "build-deb packed a tree that admits plain http"
  fi
  grep -q 'configured with QUILTA_ALLOW_PLAIN_HTTP=ON' <<<"$out" || fail "build-deb's refusal: $out"
  ! ls "$work"/plain-tree/package/*.deb >/dev/null 2>&1 || fail "build-deb left packages"
  echo "ok    build-deb refuses a tree configured with QUILTA_ALLOW_PLAIN_HTTP=ON"
}

if [ "$part" = bridge ]; then
  bridge
  echo "all checks passed"
  exit 0
fi
[ "$part" = plugin ] || fail "unknown part $part"

deb=$(ls "$work"/out/quilta-plugin_*.deb)
echo "ok    built $(basename "$deb")"

[ "$(dpkg-deb -f "$deb" Package)" = quilta-plugin ] || fail "package name"
check_depends "$deb"

files=$(package_files "$deb")
want=$(printf './%s/libnpquilta.so\n./%s/quilta-dialogs\n' "$plugins" "$plugins")
[ "$files" = "$want" ] || fail "package files:"$'\n'"$files"
echo "ok    files: $(tr '\n' ' ' <<<"$files")"

# dpkg into a private root (its own database; the dependencies live on the real system).
root=$work/root
private_root "$root"
dpkg --root="$root" --force-depends --force-not-root -i "$deb" >"$work/dpkg.log" 2>&1 || fail "dpkg -i"
[ -f "$root/$plugins/libnpquilta.so" ] || fail "module not installed"
[ -x "$root/$plugins/quilta-dialogs" ] || fail "dialog helper not installed beside the module"
echo "ok    dpkg --root installs into /$plugins"

cmake -DNM="$nm" -DMODULE="$root/$plugins/libnpquilta.so" -P "$src/tests/npapi/check_exports.cmake" \
  || fail "exports of the installed module"
"$root/$plugins/quilta-dialogs" --version | grep -q '^quilta-dialogs protocol' \
  || fail "installed dialog helper does not run"
echo "ok    installed helper runs"

# A browser engine finds the plug-in in the installed folder; a package is never a test rig's
# that admits plain http.
xvfb-run -a /usr/bin/python3 "$src/tests/npapi/browser/qtwebkit_test.py" --plain-http-refused \
  --plugin-dir "$root/$plugins" --domain "$domain" >"$work/qtwebkit.log" 2>&1 \
  || { cat "$work/qtwebkit.log"; fail "QtWebKit with QTWEBKIT_PLUGIN_PATH=/$plugins"; }
echo "ok    QtWebKit loads and scripts the installed plug-in ($(grep -c '^ok' "$work/qtwebkit.log") page checks)"

dpkg --root="$root" --force-not-root -r quilta-plugin >/dev/null || fail "dpkg -r"
left=$(find "$root/usr" -type f 2>/dev/null || true)
[ -z "$left" ] || fail "files left after dpkg -r: $left"
echo "ok    dpkg -r removes it"

# cmake --install and the uninstall target, under DESTDIR.
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
DESTDIR=$work/destdir cmake --install "$build" --component plugin >/dev/null || fail "cmake --install"
for f in libnpquilta.so quilta-dialogs; do
  [ -f "$work/destdir$prefix/lib/mozilla/plugins/$f" ] || fail "cmake --install lacks $f"
done
DESTDIR=$work/destdir cmake -P "$build/cmake_uninstall.cmake" >/dev/null || fail "uninstall"
left=$(find "$work/destdir" -type f)
[ -z "$left" ] || fail "files left after uninstall: $left"
echo "ok    cmake --install into $prefix/lib/mozilla/plugins and uninstall"
echo "all checks passed"
