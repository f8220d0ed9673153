#!/usr/bin/env bash
# The Debian packages made from the built tree (no rebuild): one cpack run makes dita,
# libgaugekit1 and libgaugekit-dev; their file lists and dependencies are checked, they are
# unpacked into an empty root whose programs run there (the version, and the bundled sample
# decoded with the unpacked dita-decode), desktop-file-validate accepts the desktop entry, and
# lintian reports no errors and none of the warnings of a library in the wrong package, of
# ldconfig calls beside the trigger, of empty maintainer scripts or of a program without a
# manual page; the skimmer's options are a conffile its unit reads. Usage: debian_package_test.sh <build dir> <version>
set -euo pipefail
build=$1
version=$2
work="$build/package-test"
rm -rf "$work"; mkdir -p "$work"
fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/dita_${version}_amd64.deb"
libdeb="$work/libgaugekit1_${version}_amd64.deb"
dev="$work/libgaugekit-dev_${version}_amd64.deb"
for p in "$deb" "$libdeb" "$dev"; do [ -f "$p" ] || fail "no $p: $(ls "$work")"; done

contents() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|'; }
contents "$deb" >"$work/files"
contents "$libdeb" >"$work/lib-files"
contents "$dev" >"$work/dev-files"
has() { grep -qx -- "$2" "$1" || fail "$(basename "$1") lacks $2"; }
lacks() { ! grep -q -- "$2" "$1" || fail "$(basename "$1") holds $2"; }
for f in /usr/bin/dita /usr/bin/dita-decode /usr/bin/dita-send \
         /usr/share/applications/dita.desktop \
         /usr/share/icons/hicolor/scalable/apps/dita.svg \
         /usr/share/metainfo/io.github.dita_cw.Dita.metainfo.xml \
         /usr/share/man/man1/dita.1.gz /usr/share/man/man1/dita-decode.1.gz \
         /usr/share/man/man1/dita-send.1.gz /usr/share/man/man1/dita-skimmer.1.gz \
         /usr/share/dita/DITA.html \
         /usr/share/dita/DefaultDITA.cfc /usr/share/dita/samples/cq-20wpm.ogg \
         /usr/share/doc/dita/copyright /usr/share/doc/dita/changelog.gz \
         /usr/lib/systemd/system/dita-skimmer.service /etc/default/dita-skimmer; do
  has "$work/files" "$f"
done
lacks "$work/files" libgaugekit
has "$work/lib-files" /usr/lib/libgaugekit.so.1
has "$work/lib-files" /usr/share/doc/libgaugekit1/copyright
lacks "$work/lib-files" /usr/include
for f in /usr/lib/libgaugekit.so /usr/lib/pkgconfig/gaugekit.pc /usr/include/gaugekit/GkBar.h \
         /usr/share/doc/libgaugekit-dev/copyright; do
  has "$work/dev-files" "$f"
done
lacks "$work/dev-files" libgaugekit.so.1
grep -q "libgaugekit1" <<<"$(dpkg-deb -f "$deb" Depends)" || fail "dita does not depend on libgaugekit1"
grep -q "libgaugekit1" <<<"$(dpkg-deb -f "$dev" Depends)" || fail "libgaugekit-dev does not depend on libgaugekit1"
# The library's only maintainer action is the trigger: no postinst or postrm at all.
dpkg-deb -e "$libdeb" "$work/lib-control"
grep -qx "activate-noawait ldconfig" "$work/lib-control/triggers" || fail "no ldconfig trigger"
for script in postinst postrm; do
  [ ! -e "$work/lib-control/$script" ] || fail "libgaugekit1 has a $script: $(cat "$work/lib-control/$script")"
done
# The skimmer's options: a conffile, read by the unit, naming the variable the unit passes on.
dpkg-deb -e "$deb" "$work/control"
grep -qx /etc/default/dita-skimmer "$work/control/conffiles" || fail "/etc/default/dita-skimmer is no conffile"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libportaudio2 libsndfile1 libsamplerate0 libfftw3-single3 libhamlib4; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

root="$work/root"
dpkg -x "$deb" "$root"
dpkg -x "$libdeb" "$root"
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

grep -qx "EnvironmentFile=-/etc/default/dita-skimmer" "$root/usr/lib/systemd/system/dita-skimmer.service" \
  || fail "the unit does not read /etc/default/dita-skimmer"
grep -q 'ExecStart=.*\$DITA_SKIMMER_ARGS' "$root/usr/lib/systemd/system/dita-skimmer.service" \
  || fail "the unit does not pass DITA_SKIMMER_ARGS"
grep -qx 'DITA_SKIMMER_ARGS=' "$root/etc/default/dita-skimmer" || fail "no DITA_SKIMMER_ARGS in the defaults"

desktop-file-validate "$root/usr/share/applications/dita.desktop" \
  || fail "desktop-file-validate rejects dita.desktop"

# Lintian's errors fail the test, and so do the warnings of a library packaged with the program
# or of ldconfig calls; its other warnings are shown.
lintian --fail-on error "$deb" "$libdeb" "$dev" | tee "$work/lintian.txt" || fail "lintian reports errors"
for tag in package-name-doesnt-match-sonames link-to-shared-library-in-wrong-package \
           postinst-has-useless-call-to-ldconfig postrm-has-useless-call-to-ldconfig \
           maintscript-calls-ldconfig maintainer-script-empty no-manual-page; do
  ! grep -q "$tag" "$work/lintian.txt" || fail "lintian: $tag"
done
echo "packages OK: $deb $libdeb $dev"
