#!/usr/bin/env bash
# Writes the packages into build/package/ (PACKAGE_OUT) from the two builds
# (make build):
#   zebcfg_<version>_<arch>.deb   the native build: zebcfg, zebreg, zebinstall,
#                                 zebstate and its DSC resource manifests,
#                                 their man pages and bash completion, the
#                                 example setup file; its postinst makes
#                                 /var/lib/zebcfg, its postrm purge removes it
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
# that version (make package configures both with it).
#
# Signing, with osslsigncode (Authenticode, SHA-256): with SIGN_CERT and
# SIGN_KEY (a PEM certificate, or its chain, and its unencrypted PEM key)
# every PE file the Windows packages hold and the MSI are signed; without
# them nothing is. A time stamp keeps a signature valid after the
# certificate has expired, which application-control policies rely on:
#   SIGN_TSA_URL                 an RFC 3161 time-stamp authority (several,
#                                separated by blanks, are tried in turn)
#   SIGN_TSA_CERT, SIGN_TSA_KEY  osslsigncode's built-in authority with this
#                                PEM certificate and key (for offline tests)
# Signing without either works, with a warning. Every signature is verified
# once made, against SIGN_CA (a PEM file of the CA certificates the signing
# and time-stamping certificates chain to; default the system's bundle, to
# which the two certificates themselves are added for a self-signed one),
# and with an authority it must carry a valid time stamp; a signature that
# fails the check fails the packaging.
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

# The work folders, and the trust file below, go whatever happens.
trust=
trap 'rm -rf "$OUT/win-root" "$OUT/deb-work" ${trust:+"$trust"}' EXIT

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

# Fails unless the variables named $1 and $2 are both set, to readable files.
check_file_pair() {
  [ -n "${!1:-}" ] && [ -n "${!2:-}" ] || fail "$1 and $2 are needed together"
  [ -r "${!1}" ] || fail "cannot read $1 ${!1}"
  [ -r "${!2}" ] || fail "cannot read $2 ${!2}"
}

signing=false
if [ -n "${SIGN_CERT:-}${SIGN_KEY:-}" ]; then
  check_file_pair SIGN_CERT SIGN_KEY
  signing=true
fi

# The time-stamp options of osslsigncode sign.
stamp_args=()
if [ -n "${SIGN_TSA_URL:-}${SIGN_TSA_CERT:-}${SIGN_TSA_KEY:-}" ]; then
  $signing || fail "a time-stamp authority needs SIGN_CERT and SIGN_KEY"
  if [ -n "${SIGN_TSA_URL:-}" ]; then
    [ -z "${SIGN_TSA_CERT:-}${SIGN_TSA_KEY:-}" ] ||
      fail "SIGN_TSA_URL or SIGN_TSA_CERT and SIGN_TSA_KEY, not both"
    for url in $SIGN_TSA_URL; do
      stamp_args+=(-ts "$url")
    done
  else
    check_file_pair SIGN_TSA_CERT SIGN_TSA_KEY
    stamp_args=(-TSA-certs "$SIGN_TSA_CERT" -TSA-key "$SIGN_TSA_KEY")
  fi
elif $signing; then
  echo "package: signing without a time stamp (SIGN_TSA_URL): the" \
    "signatures end with the certificate" >&2
fi

# The certificates every signature is verified against (see above).
if $signing; then
  [ -z "${SIGN_CA:-}" ] || [ -r "$SIGN_CA" ] || fail "cannot read SIGN_CA $SIGN_CA"
  trust=$(mktemp)
  for pem in "${SIGN_CA:-/etc/ssl/certs/ca-certificates.crt}" "$SIGN_CERT" \
    ${SIGN_TSA_CERT:+"$SIGN_TSA_CERT"}; do
    if [ -r "$pem" ]; then
      cat "$pem"
      echo
    fi
  done >"$trust"
fi

# Fails unless the build in $1 was configured with this package's version.
check_build_version() {
  local built
  built=$(cat "$1/version.txt" 2>/dev/null) || fail "$1 is not built (make build)"
  [ "$built" = "$version" ] || fail "$1 was built as $built, not $version:" \
    "build it with the same PACKAGE_VERSION (make package does)"
}

# Authenticode-signs the file $1 in place, time-stamped when an authority
# is given, and checks the signature; does nothing when not signing. A file
# that cannot be signed, or whose signature fails the check, is removed
# (no unsigned package is left where a signed one was asked for) and the
# packaging fails.
sign() {
  $signing || return 0
  local problem=
  if ! osslsigncode sign -certs "$SIGN_CERT" -key "$SIGN_KEY" -n zebcfg \
    -h sha256 "${stamp_args[@]}" -in "$1" -out "$1.signed" >/dev/null; then
    problem="cannot sign $(basename "$1")"
  else
    mv "$1.signed" "$1"
    problem=$(signature_problem "$1")
  fi
  if [ -n "$problem" ]; then
    rm -f "$1" "$1.signed"
    fail "$problem"
  fi
}

# Prints what is wrong with the signature of $1, nothing when it verifies
# against the trust file and, with an authority, carries a valid time stamp;
# osslsigncode's report of a wrong one goes to stderr.
signature_problem() {
  local report
  if ! report=$(osslsigncode verify -CAfile "$trust" -TSA-CAfile "$trust" \
    -in "$1" 2>&1); then
    printf '%s\n' "$report" >&2
    echo "the signature of $(basename "$1") does not verify" \
      "(SIGN_CA: the CA certificates it chains to)"
  elif [ ${#stamp_args[@]} -gt 0 ] &&
    ! grep -q '^Timestamp Server Signature verification: ok' <<<"$report"; then
    printf '%s\n' "$report" >&2
    echo "the signature of $(basename "$1") carries no valid time stamp"
  fi
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
  install -m 755 packaging/debian/postinst packaging/debian/postrm \
    "$stage/DEBIAN/"
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
# every PE file in it (an executable or a DLL: "MZ" at its start) stripped
# and, when signing, signed; prints the folder.
stage_windows() {
  check_build_version "$WIN"
  local stage=$OUT/win-root/$1 file
  rm -rf "$OUT/win-root"
  cmake --install "$WIN" --prefix "$stage" >/dev/null
  while IFS= read -r -d '' file; do
    cmp -s -n 2 "$file" <(printf MZ) || continue
    x86_64-w64-mingw32-strip "$file"
    sign "$file"
  done < <(find "$stage" -type f -print0 | LC_ALL=C sort -z)
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
