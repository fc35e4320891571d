#!/usr/bin/env bash
# Writes the packages into build/package/ from the two builds (make build):
#   zebcfg_<version>_<arch>.deb   the native build: zebcfg, zebreg, zebinstall,
#                                 their man pages and bash completion, the
#                                 example setup file, /var/lib/zebcfg
#   zebcfg-<version>-win64.zip    zebcfg.exe, zebsetup.inf, provision.cmd,
#                                 README.md, LICENSE
# The version is the one of project() in CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

NATIVE=${ZEBCFG_NATIVE_DIR:-build/native}
WIN=${ZEBCFG_WIN_DIR:-build/win}
OUT=build/package
version=$(sed -n 's/^project(zebcfg VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }

rm -rf "$OUT"
mkdir -p "$OUT"

# Debian package, staged by the install rules.
stage=$PWD/$OUT/deb-root
DESTDIR=$stage cmake --install "$NATIVE" --prefix /usr >/dev/null
strip --strip-unneeded "$stage"/usr/bin/*
gzip -9n "$stage"/usr/share/man/man1/*.1
mkdir -p "$stage/DEBIAN"
cat >"$stage/DEBIAN/control" <<CONTROL
Package: zebcfg
Version: $version
Architecture: $arch
Maintainer: the zebcfg authors <zebcfg@localhost>
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f1)
Depends: libc6, libgcc-s1, libstdc++6, libsqlite3-0
Section: admin
Priority: optional
Description: configuration utility of the Zeb serial and network port driver
 zebcfg keeps the driver's devices and their properties, its property map and
 its services. This native build keeps its registry in an embedded SQLite
 store under \$ZEBCFG_ROOT (default /var/lib/zebcfg); zebinstall installs a
 driver package's INF file into it and zebreg is its reg.exe.
CONTROL
dpkg-deb --root-owner-group --build "$stage" \
  "$OUT/zebcfg_${version}_${arch}.deb" >/dev/null
rm -rf "$stage"

# Windows zip, staged by the install rules of the Windows build.
name=zebcfg-$version-win64
cmake --install "$WIN" --prefix "$PWD/$OUT/win-root/$name" >/dev/null
x86_64-w64-mingw32-strip "$OUT/win-root/$name/zebcfg.exe"
(cd "$OUT/win-root" && cmake -E tar cf "../$name.zip" --format=zip "$name")
rm -rf "$OUT/win-root"

ls -1 "$OUT"
