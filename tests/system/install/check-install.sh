#!/usr/bin/env bash
# check-install.sh BUILD_DIR: installs the build as a user and a package would, and checks that
# the desktop finds every file where it looks, that the files validate, and that the package
# holds them.
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

# A system install into a staging tree.
DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >/dev/null
root="$work/stage/usr"
expected=(
  bin/kestrel bin/kestrel-quoted
  lib/kestrel/kestrel-sound.so lib/kestrel/kestrel-net.so lib/kestrel/kestrel-online.so
  share/applications/org.example.kestrel.desktop
  share/metainfo/org.example.kestrel.metainfo.xml
  share/icons/hicolor/scalable/apps/kestrel.svg
  share/man/man1/kestrel.1.gz share/man/man1/kestrel-quoted.1.gz share/man/zh_CN/man1/kestrel.1.gz
  lib/systemd/user/kestrel-quoted.service
  share/doc/kestrel/copyright
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/kestrel.png")
done
for f in "${expected[@]}"; do
  [ -s "$root/$f" ] || fail "missing $f"
done
for size in 16 48 256; do
  file "$root/share/icons/hicolor/${size}x${size}/apps/kestrel.png" | grep -q "$size x $size" ||
    fail "the ${size}px icon has another size"
done
# Qt Multimedia comes in with the sound module at the first alarm, not with every start.
! ldd "$root/bin/kestrel" | grep -q Multimedia || fail "kestrel links Qt Multimedia"
# libcurl and what it brings come in with the network module at the first download.
! ldd "$root/bin/kestrel" | grep -q libcurl || fail "kestrel links libcurl"
# Qt Network only with the upgrade's question whether the computer is online.
! ldd "$root/lib/kestrel/kestrel-net.so" | grep -q Qt6Network || fail "kestrel-net.so links Qt Network"
desktop-file-validate "$root/share/applications/org.example.kestrel.desktop"
appstreamcli validate --no-net "$root/share/metainfo/org.example.kestrel.metainfo.xml" >/dev/null ||
  fail "metainfo does not validate"
unit="$root/lib/systemd/user/kestrel-quoted.service"
grep -qx 'ExecStart=/usr/bin/kestrel-quoted --bind 127.0.0.1 --port ${KESTREL_QUOTED_PORT} --source portal --source ecb' \
  "$unit" || fail "the unit does not run the gateway"
# A user manager has no network-online.target; the port comes from the user's environment file.
! grep -q 'network-online' "$unit" || fail "the unit waits for a target a user manager lacks"
grep -qx 'EnvironmentFile=-%E/kestrel/quoted.env' "$unit" || fail "the unit reads no port file"
zcat "$root/share/man/man1/kestrel-quoted.1.gz" | grep -q 'portal' || fail "man page"

# A user's own install: the unit goes where systemd --user looks under ~/.local.
cmake --install "$build" --prefix "$work/home/.local" >/dev/null
grep -qx "ExecStart=$work/home/.local/bin/kestrel-quoted .*" \
  "$work/home/.local/share/systemd/user/kestrel-quoted.service" || fail "unit under ~/.local"

# Installed where the user cannot write: the settings come from $XDG_CONFIG_HOME/kestrel/, not
# from beside the executable.
mkdir -p "$work/cfg/kestrel"
printf '[Param]\r\nInterval=7\r\n' >"$root/bin/kestrel.ini"
printf '[Param]\r\nInterval=3\r\n' >"$work/cfg/kestrel/kestrel.ini"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown -R nobody "$work/cfg"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
  chmod a-w "$root/bin"
fi
interval=$(env -u KESTREL_HOME HOME="$work/cfg" XDG_CONFIG_HOME="$work/cfg" \
  XDG_RUNTIME_DIR="$work/cfg" QT_QPA_PLATFORM=offscreen \
  "${as_user[@]}" "$root/bin/kestrel" --show-settings | grep '^Interval=')
chmod u+w "$root/bin"
[ "$interval" = "Interval=3" ] || fail "read $interval, not the user's settings"

# The package holds the same files.
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >/dev/null)
deb=$(ls "$work"/pkg/kestrel_*.deb)
contents=$(dpkg-deb --contents "$deb")
for f in "${expected[@]}"; do
  grep -q " \./usr/$f\$" <<<"$contents" || fail "package lacks $f"
done
dpkg-deb --field "$deb" Depends | grep -q libqt6widgets6 || fail "no shared-library dependencies"
dpkg-deb --field "$deb" Depends | grep -q libqt6svg6 || fail "no SVG icon engine for the icons"
dpkg-deb --field "$deb" Depends | grep -q libcurl || fail "the network module's libcurl not required"
dpkg-deb --field "$deb" Depends | grep -q libsqlite3 || fail "the price history's SQLite not required"
if command -v lintian >/dev/null; then
  # lintian's own status says nothing here (it is 1 for warnings too), so its errors are read.
  verdict=$(lintian "$deb" 2>/dev/null || true)
  ! grep '^E:' <<<"$verdict" || fail "lintian errors"
fi
echo "install layout, validation and package: ok"
