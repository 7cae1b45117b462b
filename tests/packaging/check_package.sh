#!/usr/bin/env bash
# Checks what an installation brings to a desktop: "install" installs the build into a scratch
# folder and validates every desktop file with its own tool; "deb" builds the Debian package and
# checks its fields and its files.
#   check_package.sh install|deb BUILD_DIR VERSION APP_ID
set -euo pipefail
mode=$1 build=$2 version=$3 id=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Everything an installation holds, below its prefix.
expected_files() {
  printf '%s\n' bin/vesmira bin/vesmira-store \
    "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
    "share/icons/hicolor/scalable/apps/$id.svg" \
    share/man/man1/vesmira.1.gz share/man/man1/vesmira-store.1.gz share/vesmira/vesmira.chm
  for size in 16 22 24 32 48 64 128 256; do
    echo "share/icons/hicolor/${size}x$size/apps/$id.png"
  done
}

# Width and height of a PNG, read from its header.
png_size() {
  od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", (($1*256+$2)*256+$3)*256+$4, (($5*256+$6)*256+$7)*256+$8 }'
}

same_files() {
  local what=$1 actual=$2
  diff -u <(expected_files | sort) <(sort <<<"$actual") || fail "$what holds other files than expected"
}

check_installed_tree() {
  local root=$scratch/root
  DESTDIR=$root "${CMAKE:-cmake}" --install "$build" --prefix /usr >/dev/null
  cd "$root/usr"
  same_files "the installed tree" "$(find . -type f -printf '%P\n')"

  desktop-file-validate "share/applications/$id.desktop" || fail "desktop-file-validate rejects the desktop entry"
  local exec
  exec=$(sed -n 's/^Exec=//p' "share/applications/$id.desktop")
  [ "$exec" = vesmira ] || fail "the desktop entry starts '$exec'"
  grep -qx "Icon=$id" "share/applications/$id.desktop" || fail "the desktop entry names another icon"

  appstreamcli validate --no-net "share/metainfo/$id.metainfo.xml" || fail "appstreamcli rejects the metainfo"
  local released
  released=$(grep -o '<release version="[^"]*"' "share/metainfo/$id.metainfo.xml" | head -n 1 | cut -d'"' -f2)
  [ "$released" = "$version" ] || fail "the newest release in the metainfo is '$released', the build is $version"

  for page in share/man/man1/*.1.gz; do
    mandoc -Tlint -W warning "$page" || fail "mandoc finds faults in $page"
    local warnings
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns about $page: $warnings"
    grep -q "^\.TH .* \"Vesmira $version\"" <<<"$(zcat "$page")" || fail "$page does not carry version $version"
  done

  for size in 16 22 24 32 48 64 128 256; do
    local icon=share/icons/hicolor/${size}x$size/apps/$id.png
    [ "$(png_size "$icon")" = "${size}x$size" ] || fail "$icon is $(png_size "$icon")"
  done
}

check_deb() {
  "${CPACK:-cpack}" --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
  local deb=$scratch/vesmira_${version}_$(dpkg --print-architecture).deb
  [ -f "$deb" ] || fail "cpack made no $(basename "$deb")"

  # Read once into a variable: grep -q leaves a pipe early, and with pipefail the writer's
  # SIGPIPE would fail a check that found what it looked for.
  local control field
  control=$(dpkg-deb -f "$deb")
  for field in "Package: vesmira" "Version: $version" "Section: net" \
    "Maintainer: Tarnwheel <vesmira@tarnwheel.example>"; do
    grep -qx "$field" <<<"$control" || fail "the package lacks '$field'"
  done
  # The libraries the programs link must be named, each with the Debian package holding it.
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  for library in libc6 libqt6widgets6 libqt6multimedia6 libsqlite3-0 libchm1; do
    grep -Eq "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library: $depends"
  done
  grep -q '^ Vesmira shows' <<<"$(dpkg-deb -f "$deb" Description)" || fail "the package has no long description"

  local listing
  listing=$(dpkg-deb -c "$deb")
  same_files "the package" "$(awk '$1 !~ /^d/ { sub("^\\./usr/", "", $6); print $6 }' <<<"$listing")"
  awk '$2 != "root/root" { exit 1 }' <<<"$listing" || fail "the package holds files not owned by root"
  awk '$6 ~ /^\.\/usr\/bin\/./ && $1 != "-rwxr-xr-x" { exit 1 }' <<<"$listing" || fail "a program is not executable"
}

case $mode in
  install) check_installed_tree ;;
  deb) check_deb ;;
  *) fail "unknown mode $mode" ;;
esac
echo "PASS: $mode"
