#!/usr/bin/env bash
# The Debian package as a user gets it: built with CPack from the build
# folder, unpacked into a scratch root (dpkg -x, no root needed), its
# programs started from there, its desktop entry, file types and manual
# pages checked with the tools the desktop and man use.
#   package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate xmllint update-mime-database groff; do
  command -v "$tool" >/dev/null || { echo "package: $tool is missing, skipped"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package: $*" >&2; exit 1; }

# Build the package in a scratch folder, so the build folder keeps no
# package files and two runs never meet.
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/out/tessal_*.deb)
echo "package: built $(basename "$deb")"

# Dependencies come from the linked libraries.
depends=$(dpkg-deb -f "$deb" Depends)
echo "package: Depends: $depends"
for lib in libqt6widgets6 libqt6multimedia6 libqt6svg6 libc6 libstdc++6; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib"
done

root=$work/root
dpkg -x "$deb" "$root"
for f in usr/bin/tessal usr/bin/tessal-cli usr/share/applications/tessal.desktop \
         usr/share/mime/packages/tessal.xml usr/share/icons/hicolor/scalable/apps/tessal.svg \
         usr/share/icons/hicolor/48x48/apps/tessal.png usr/share/man/man1/tessal.1.gz \
         usr/share/man/man1/tessal-cli.1.gz usr/share/bash-completion/completions/tessal-cli; do
  [ -e "$root/$f" ] || fail "the package lacks /$f"
done
# Nothing outside /usr, so removing the package leaves nothing behind.
(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr | grep -q .) && fail "files outside /usr"

# The installed programs run.
# The Python module, when the build has it: in the system Python's folder,
# importable from the unpacked root and reading a file.
if ls "$build"/python/tessal/_tessal*.so >/dev/null 2>&1; then
  pydir=$root/usr/lib/python3/dist-packages
  [ -f "$pydir/tessal/__init__.py" ] && [ -f "$pydir/tessal/corpus.py" ] || fail "the Python package is missing"
  ls "$pydir"/tessal/_tessal*.so >/dev/null 2>&1 || fail "the Python extension is missing"
  sox -n -r 8000 -b 16 "$work/py.wav" synth 0.1 sine 300
  PYTHONPATH=$pydir /usr/bin/python3 -c "import sys, tessal; d = tessal.open(sys.argv[1]); assert d.channels[0].samples.shape == (800,)" "$work/py.wav" ||
    fail "the installed Python module does not read a file"
fi
"$root/usr/bin/tessal-cli" --version | grep -Eq '^tessal-cli [0-9]+\.[0-9]+' || fail "tessal-cli --version"
"$root/usr/bin/tessal" --version | grep -Eq '^tessal [0-9]+\.[0-9]+' || fail "tessal --version"
"$root/usr/bin/tessal" --help | grep -q -- '--screenshot' || fail "tessal --help"
sox -n -r 16000 -c 1 "$work/tone.wav" synth 0.5 sine 200 2>/dev/null
XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work PULSE_SERVER=unix:/nonexistent QT_QPA_PLATFORM=offscreen \
  "$root/usr/bin/tessal" --screenshot "$work/shot.png" "$work/tone.wav" ||
  fail "the installed tessal made no screenshot"
[ -s "$work/shot.png" ] || fail "empty screenshot"

# Desktop entry and file types.
desktop-file-validate "$root/usr/share/applications/tessal.desktop" >"$work/dfv.log" 2>&1 ||
  { cat "$work/dfv.log"; fail "desktop entry"; }
grep -E 'error|warning' "$work/dfv.log" && fail "desktop entry warnings"
xmllint --noout "$root/usr/share/mime/packages/tessal.xml" || fail "MIME file is not well formed"
mkdir -p "$work/mime/packages"
cp "$root/usr/share/mime/packages/tessal.xml" "$work/mime/packages/"
XDG_DATA_DIRS=$work XDG_DATA_HOME=$work update-mime-database "$work/mime" >"$work/mime.log" 2>&1 || { cat "$work/mime.log"; fail "MIME database"; }
[ -s "$work/mime.log" ] && { cat "$work/mime.log"; fail "MIME database warnings"; }
for t in x-tessal-signals x-tessal-smp x-tessal-process x-tessal-trace x-tessal-formants x-tessal-epg-grid; do
  grep -q "application/$t" "$work/mime/globs2" || fail "no glob for $t"
done
grep -q "TessalSignals" "$work/mime/magic" || fail "no magic for .tessal"

# Manual pages render without warnings, and say what the program says.
for page in tessal tessal-cli; do
  zcat "$root/usr/share/man/man1/$page.1.gz" >"$work/$page.1"
  groff -ww -man -Tascii -P-cbou "$work/$page.1" >"$work/$page.txt" 2>"$work/$page.err" || fail "groff $page"
  [ -s "$work/$page.err" ] && { cat "$work/$page.err"; fail "groff warnings in $page"; }
done
for cmd in $("$root/usr/bin/tessal-cli" help --commands); do
  grep -Eq "tessal-cli +$cmd( |$)" "$work/tessal-cli.txt" || fail "the manual lacks $cmd"
done
echo "package: ok"
