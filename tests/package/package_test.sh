#!/usr/bin/env bash
# The Debian package as a customer's machine gets it, checked in private roots:
#   - the .deb of this tree (cpack) carries the run-time dependencies and exactly the module
#     and its dialog helper in /usr/lib/mozilla/plugins;
#   - dpkg installs it into a private root and removes it again without a trace;
#   - the installed module exports only the NP_ entry points (no development hooks) and the
#     helper beside it runs;
#   - QtWebKit finds the plug-in through the installed folder and scripts it on the bank's
#     pages over https (under Xvfb), and the module refuses the bank's page over plain http;
#   - `cmake --install` (component plugin) and the `uninstall` target put the same files in place and take
#     them away.
#
#   package_test.sh BUILD_DIR SOURCE_DIR DOMAIN NM
set -euo pipefail
build=$1 src=$2 domain=$3 nm=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL  $*"; exit 1; }
plugins=usr/lib/mozilla/plugins

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null) \
  || fail "cpack -G DEB"
deb=$(ls "$work"/out/quilta-plugin_*.deb)
echo "ok    built $(basename "$deb")"

[ "$(dpkg-deb -f "$deb" Package)" = quilta-plugin ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
for d in pcscd libpcsclite1 libgtk-3-0 fonts-arphic-ukai; do
  grep -Eq "(^|, )$d( |,|$)" <<<"$depends" || fail "Depends lacks $d: $depends"
done
echo "ok    Depends: $depends"

files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
want=$(printf './%s/libnpquilta.so\n./%s/quilta-dialogs\n' "$plugins" "$plugins")
[ "$files" = "$want" ] || fail "package files:"$'\n'"$files"
echo "ok    files: $(tr '\n' ' ' <<<"$files")"

# dpkg into a private root (its own database; the dependencies live on the real system).
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
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
