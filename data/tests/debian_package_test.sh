#!/usr/bin/env bash
# The Debian package made from the built tree (no rebuild): cpack makes it, its file list and
# dependencies are checked, it is unpacked into an empty root whose programs run there (the
# version, and the bundled sample decoded with the unpacked dita-decode), and lintian reports
# no errors. Usage: debian_package_test.sh <build dir> <version>
set -euo pipefail
build=$1
version=$2
work="$build/package-test"
rm -rf "$work"; mkdir -p "$work"
fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/dita_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $deb: $(ls "$work")"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
for f in /usr/bin/dita /usr/bin/dita-decode /usr/bin/dita-send \
         /usr/lib/libgaugekit.so.1 /usr/lib/libgaugekit.so /usr/lib/pkgconfig/gaugekit.pc \
         /usr/include/gaugekit/GkBar.h /usr/share/applications/dita.desktop \
         /usr/share/icons/hicolor/scalable/apps/dita.svg \
         /usr/share/metainfo/io.github.dita_cw.Dita.metainfo.xml \
         /usr/share/man/man1/dita.1.gz /usr/share/man/man1/dita-decode.1.gz \
         /usr/share/man/man1/dita-send.1.gz /usr/share/dita/DITA.html \
         /usr/share/dita/DefaultDITA.cfc /usr/share/dita/samples/cq-20wpm.ogg \
         /usr/share/doc/dita/copyright /usr/share/doc/dita/changelog.gz; do
  grep -qx -- "$f" "$work/files" || fail "the package lacks $f"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libportaudio2 libsndfile1 libsamplerate0 libfftw3-single3 libhamlib4; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

root="$work/root"
dpkg -x "$deb" "$root"
export LD_LIBRARY_PATH="$root/usr/lib"
# The unpacked program runs with the unpacked library, not one from the build tree.
# (ldd's output is taken whole first: grep -q stopping early would break ldd's pipe, which
# pipefail reports as a failure.)
libs=$(ldd "$root/usr/bin/dita")
grep -q "$root/usr/lib/libgaugekit.so.1" <<<"$libs" || fail "dita does not load the packaged libgaugekit: $libs"
shown=$("$root/usr/bin/dita" --version)
[ "$shown" = "dita $version" ] || fail "dita --version: $shown"
out=$("$root/usr/bin/dita-decode" "$root/usr/share/dita/samples/cq-20wpm.ogg") || fail "dita-decode exit $?"
grep -q "de w1aw gm om tnx fer call" <<<"$out" || fail "decoded sample text: $out"
appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.dita_cw.Dita.metainfo.xml" >/dev/null \
  || fail "AppStream data: $(appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.dita_cw.Dita.metainfo.xml")"

# Lintian's errors fail the test; its warnings are shown.
lintian --fail-on error "$deb" | tee "$work/lintian.txt" || fail "lintian reports errors"
echo "package OK: $deb"
