#!/usr/bin/env bash
# Writes the packages into build/package/ (PACKAGE_OUT) from the two builds
# (make build):
#   zebcfg_<version>_<arch>.deb   the native build: zebcfg, zebreg, zebinstall,
#                                 zebstate and its DSC resource manifests,
#                                 their man pages and bash completion, the
#                                 example setup file, /var/lib/zebcfg
#   zebcfg-<version>-win64.zip    zebcfg.exe, zebstate.exe and its DSC
#                                 resource manifests, zebsetup.inf,
#                                 provision.cmd, README.md, LICENSE
#   zebcfg-<version>-x64.msi      the Windows Installer package of
#                                 packaging/windows/zebcfg.wxs (wixl)
#
#   package.sh [deb|zip|msi]...   writes the packages named (default: all)
#
# The version is the one of project() in CMakeLists.txt, or PACKAGE_VERSION
# (X.Y.Z) for a release candidate; a build is packaged only when it carries
# that version (make package configures both with it). With SIGN_CERT and
# SIGN_KEY (a PEM certificate and its unencrypted PEM key), zebcfg.exe and
# the MSI are Authenticode-signed with osslsigncode; without them nothing is.
set -euo pipefail
cd "$(dirname "$0")/.."

NATIVE=${ZEBCFG_NATIVE_DIR:-build/native}
WIN=${ZEBCFG_WIN_DIR:-build/win}
OUT=$(mkdir -p "${PACKAGE_OUT:-build/package}" && cd "${PACKAGE_OUT:-build/package}" && pwd)
CHANGELOG=packaging/debian/changelog
WXS=$PWD/packaging/windows/zebcfg.wxs
MSI_SQL=packaging/windows/zebcfg-msi.sql

fail() {
  echo "package: $*" >&2
  exit 1
}

version=$(sed -n 's/^project(zebcfg VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt"
version=${PACKAGE_VERSION:-$version}

kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(deb zip msi)
for kind in "${kinds[@]}"; do
  case $kind in
    deb | zip | msi) ;;
    *) fail "unknown package kind $kind (deb, zip or msi)" ;;
  esac
done

wanted() {
  [[ " ${kinds[*]} " == *" $1 "* ]]
}

signing=false
if [ -n "${SIGN_CERT:-}${SIGN_KEY:-}" ]; then
  [ -n "${SIGN_CERT:-}" ] && [ -n "${SIGN_KEY:-}" ] ||
    fail "SIGN_CERT and SIGN_KEY are needed together"
  [ -r "$SIGN_CERT" ] || fail "cannot read SIGN_CERT $SIGN_CERT"
  [ -r "$SIGN_KEY" ] || fail "cannot read SIGN_KEY $SIGN_KEY"
  signing=true
fi

# Fails unless the build in $1 was configured with this package's version.
check_build_version() {
  local built
  built=$(cat "$1/version.txt" 2>/dev/null) || fail "$1 is not built (make build)"
  [ "$built" = "$version" ] || fail "$1 was built as $built, not $version:" \
    "build it with the same PACKAGE_VERSION (make package does)"
}

# Authenticode-signs the file $1 in place, when signing.
sign() {
  $signing || return 0
  osslsigncode sign -certs "$SIGN_CERT" -key "$SIGN_KEY" -n zebcfg -h sha256 \
    -in "$1" -out "$1.signed" >/dev/null
  mv "$1.signed" "$1"
}

# The Debian changelog: the maintained one, under an entry of its own for a
# stamped version that it does not name yet.
debian_changelog() {
  local top maintainer date
  top=$(dpkg-parsechangelog -l "$CHANGELOG" -S Version)
  if [ "$top" != "$version" ]; then
    maintainer=$(dpkg-parsechangelog -l "$CHANGELOG" -S Maintainer)
    date=$(LC_ALL=C date -u -R -d "@${SOURCE_DATE_EPOCH:-$(date +%s)}")
    printf 'zebcfg (%s) unstable; urgency=medium\n\n' "$version"
    printf '  * Release candidate %s, built from the sources of %s.\n\n' \
      "$version" "$top"
    printf ' -- %s  %s\n\n' "$maintainer" "$date"
  fi
  cat "$CHANGELOG"
}

# The Debian package, staged by the install rules of the native build.
make_deb() {
  check_build_version "$NATIVE"
  local arch work stage depends programs
  arch=$(dpkg --print-architecture)
  work=$OUT/deb-work
  stage=$work/debian/zebcfg
  rm -rf "$work"
  mkdir -p "$stage/DEBIAN"
  DESTDIR=$stage cmake --install "$NATIVE" --prefix /usr >/dev/null
  # The programs of /usr/bin; the DSC manifests beside them are text.
  mapfile -t programs < <(find "$stage/usr/bin" -type f -perm -u+x | sort)
  strip --strip-unneeded --remove-section=.comment --remove-section=.note \
    "${programs[@]}"
  gzip -9n "$stage"/usr/share/man/man1/*.1
  debian_changelog | gzip -9n >"$stage/usr/share/doc/zebcfg/changelog.gz"
  # dpkg-shlibdeps finds the package in debian/control beside the stage.
  printf 'Source: zebcfg\n\nPackage: zebcfg\nArchitecture: any\n' \
    >"$work/debian/control"
  depends=$(cd "$work" && dpkg-shlibdeps -O "${programs[@]#"$work/"}")
  (cd "$stage" && find usr -type f -print0 | LC_ALL=C sort -z |
    xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
  cat >"$stage/DEBIAN/control" <<CONTROL
Package: zebcfg
Version: $version
Architecture: $arch
Maintainer: $(dpkg-parsechangelog -l "$CHANGELOG" -S Maintainer)
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f1)
Depends: ${depends#shlibs:Depends=}
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
  rm -rf "$work"
}

# Stages the install rules of the Windows build in $OUT/win-root/$1, with
# every program stripped and, when signing, signed; prints the folder.
stage_windows() {
  check_build_version "$WIN"
  local stage=$OUT/win-root/$1
  rm -rf "$OUT/win-root"
  cmake --install "$WIN" --prefix "$stage" >/dev/null
  local program
  for program in "$stage"/*.exe; do
    x86_64-w64-mingw32-strip "$program"
    sign "$program"
  done
  echo "$stage"
}

# The Windows zip of the staged folder $1.
make_zip() {
  (cd "$(dirname "$1")" &&
    cmake -E tar cf "$OUT/$(basename "$1").zip" --format=zip "$(basename "$1")")
}

# The MSI of the staged folder $1: wixl on a copy of it that also holds the
# MSI's custom action (the msi component of the Windows build), then the
# statements of $MSI_SQL.
make_msi() {
  local msi=$OUT/zebcfg-$version-x64.msi stage=$OUT/win-root/msi upgrade_code query
  cp -a "$1" "$stage"
  cmake --install "$WIN" --component msi --prefix "$stage" >/dev/null
  x86_64-w64-mingw32-strip "$stage/msiaction.dll"
  sign "$stage/msiaction.dll"
  (cd "$stage" && wixl -a x64 -D Version="$version" -o "$msi" "$WXS")
  upgrade_code=$(msiinfo export "$msi" Property | tr -d '\r' |
    awk -F '\t' '$1 == "UpgradeCode" { print $2 }')
  [[ $upgrade_code =~ ^\{[0-9A-F-]{36}\}$ ]] || fail "$msi has no UpgradeCode"
  while IFS= read -r query; do
    case $query in '' | --*) continue ;; esac
    query=${query//@VERSION@/$version}
    msibuild "$msi" -q "${query//@UPGRADE_CODE@/$upgrade_code}"
  done <"$MSI_SQL"
  sign "$msi"
}

for kind in "${kinds[@]}"; do
  rm -f "$OUT"/zebcfg[-_]*."$kind"
done
wanted deb && make_deb
if wanted zip || wanted msi; then
  win_stage=$(stage_windows "zebcfg-$version-win64")
  wanted zip && make_zip "$win_stage"
  wanted msi && make_msi "$win_stage"
  rm -rf "$OUT/win-root"
fi
ls -1 "$OUT"
