#!/usr/bin/env bash
# Checks the Debian package that `bash tools/setup.sh package` made: its name and version, its
# file list (every program in usr/bin with a manual page that has exit statuses and an example;
# nothing that does not belong in an installation), its Depends (runtime packages, never -dev
# ones), stripped binaries, the desktop file, and lintian's errors when lintian is installed.
#   bash tools/check-package.sh [PACKAGE.deb]
set -uo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(Quillmap VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=${1:-build/quillmap_${version}_amd64.deb}
[ -f "$deb" ] || { echo "check-package: $deb not found (run bash tools/setup.sh package)"; exit 2; }

status=0
fail() { echo "check-package: $*"; status=1; }

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quillmap ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project's is $version"
[ "$(field Architecture)" = amd64 ] || fail "Architecture is '$(field Architecture)'"
for f in Maintainer Description Section Homepage; do
    [ -n "$(field $f)" ] || fail "no $f field"
done

depends=$(field Depends)
names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//')
for p in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 zlib1g libzstd1 \
         qt6-qpa-plugins; do
    grep -Fqx "$p" <<<"$names" || fail "Depends lacks $p: $depends"
done
grep -q -- '-dev$' <<<"$names" && fail "Depends names a -dev package: $depends"

files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)
for f in usr/bin/quillmap usr/bin/quillmap-index usr/share/quillmap/qtlogo.png \
         usr/share/quillmap/splash.png usr/share/applications/quillmap.desktop \
         usr/share/icons/hicolor/64x64/apps/quillmap.png usr/share/doc/quillmap/copyright \
         usr/share/doc/quillmap/changelog.gz; do
    grep -qx "$f" <<<"$files" || fail "missing $f"
done
allowed='^usr/(bin/[a-z-]+|share/man/man1/[a-z-]+\.1\.gz|share/quillmap/[a-z]+\.png|share/applications/quillmap\.desktop|share/icons/hicolor/[0-9]+x[0-9]+/apps/quillmap\.png|share/doc/quillmap/(copyright|changelog\.gz))$'
unexpected=$(grep -Ev "$allowed" <<<"$files")
[ -z "$unexpected" ] || fail "files that do not belong in the package: $unexpected"

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
for program in $(grep '^usr/bin/' <<<"$files"); do
    name=${program#usr/bin/}
    page=$tree/usr/share/man/man1/$name.1.gz
    if [ ! -f "$page" ]; then
        fail "no manual page for $name"
    else
        text=$(gzip -dc "$page")
        grep -Eqi '^\.S[SH] "?exit status' <<<"$text" || fail "the manual page of $name has no exit statuses"
        grep -Eqi '^\.SH "?examples?' <<<"$text" || fail "the manual page of $name has no example"
    fi
    kind=$(file -b "$tree/$program")
    # Scripts have nothing to strip.
    [[ $kind != ELF* ]] || grep -q ', stripped' <<<"$kind" || fail "$name is not stripped"
done
"$tree/usr/bin/quillmap-index" --help >/dev/null || fail "the packaged quillmap-index --help failed"

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$tree/usr/share/applications/quillmap.desktop" || fail "desktop file invalid"
fi
if command -v lintian >/dev/null; then
    errors=$(lintian --allow-root "$deb" 2>&1 | grep '^E:')
    [ -z "$errors" ] || fail "lintian errors:"$'\n'"$errors"
else
    echo "check-package: lintian not installed, skipped"
fi

[ $status -eq 0 ] && echo "check-package: $deb is complete ($(wc -l <<<"$files") files)"
exit $status
