#!/usr/bin/env bash
# The installed program: `cmake --install` of the build folder into a
# temporary DESTDIR, then
# - the application folder holds vantrel, vantrel-cli, mencoder and fix, and
#   bin/vantrel and bin/vantrel-cli are relative links to the programs there;
#   vantrel-cli needs no widget or GUI library;
# - the program started through that link runs offscreen from the
#   application folder, and the companion programs beside it encode a clip
#   and put its index in front;
# - vantrel-cli, started by its name on PATH, encodes a clip with the
#   companions beside it;
# - the menu entry, the metainfo, the icons and the manual pages are in place,
#   and desktop-file-validate and appstreamcli accept the two files.
#
#   install_test.sh BUILD_DIR PREFIX APP_DIR
#
# PREFIX is the configured install prefix, APP_DIR the application folder
# below it (as CMake has them).
set -euo pipefail

build=$1
prefix=$2
appdir=$3
fail() { echo "install_test: FAILED: $*" >&2; exit 1; }

work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

dest=$work/dest
DESTDIR=$dest cmake --install "$build" >"$work/install.log" 2>&1 || {
  cat "$work/install.log" >&2
  fail "cmake --install"
}
root=$dest$prefix
app=$root/$appdir
for program in vantrel vantrel-cli mencoder fix; do
  [ -x "$app/$program" ] || fail "no $program in $app"
done

for program in vantrel vantrel-cli; do
  link=$(readlink "$root/bin/$program") || fail "bin/$program is not a link"
  case $link in
    /*) fail "bin/$program leads to an absolute path: $link" ;;
  esac
  [ "$(cd "$root/bin" && realpath "$link")" = "$(realpath "$app/$program")" ] \
    || fail "bin/$program leads to $link, not to $app/$program"
done
if objdump -p "$app/vantrel-cli" | grep -E 'NEEDED +libQt6(Gui|Widgets)'; then
  fail "vantrel-cli links a GUI library"
fi

# The menu entry and the metainfo, each under its validator.
id=example.brenmoor.Vantrel
desktop=$root/share/applications/$id.desktop
metainfo=$root/share/metainfo/$id.metainfo.xml
desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate $metainfo"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ "$exec_line" = vantrel ] || fail "the menu entry runs '$exec_line'"
icon=$(sed -n 's/^Icon=//p' "$desktop")
for size in 16 24 32 48 256; do
  png=$root/share/icons/hicolor/${size}x$size/apps/$icon.png
  [ -f "$png" ] || fail "no $size-pixel icon $png"
  file "$png" | grep -q "PNG image data, $size x $size" || fail "$png is not $size x $size"
done
for page in vantrel vantrel-cli; do
  [ -f "$root/share/man/man1/$page.1.gz" ] || fail "no manual page $page.1.gz"
done

# The program, started as the menu entry starts it (by its command name on
# PATH), with a home, lock and configuration folders of its own.
mkdir -p "$work/home" "$work/run"
chmod 700 "$work/run"
env -i PATH="$root/bin:/usr/bin:/bin" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" \
  QT_QPA_PLATFORM=offscreen "$exec_line" >"$work/vantrel.log" 2>&1 &
pid=$!
# Up when it holds its single-instance lock; the splash keeps it two seconds
# at least. The bound is wide: the machine may be busy.
for _ in $(seq 1 300); do
  [ -f "$work/run/vantrel.lock" ] && break
  kill -0 "$pid" 2>/dev/null || { cat "$work/vantrel.log" >&2; fail "the program ended at start"; }
  sleep 0.1
done
[ -f "$work/run/vantrel.lock" ] || fail "the program did not come up within 30 s"
sleep 3
kill -0 "$pid" 2>/dev/null || { cat "$work/vantrel.log" >&2; fail "the program ended after its start"; }
running=$(readlink "/proc/$pid/exe")
[ "$running" = "$(realpath "$app/vantrel")" ] || fail "the program runs from $running"
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=

# The companions of the installed folder do their work.
ffmpeg -v error -f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi \
  -i sine=frequency=440:duration=1 -shortest -c:v mpeg4 -c:a mp2 "$work/clip.avi" \
  || fail "generating the clip"
"$app/mencoder" "$work/clip.avi" -sws 9 -vf harddup -oac faac -faacopts br=48:mpeg=4:object=2:raw \
  -channels 2 -srate 22050 -ovc x264 \
  -x264encopts bitrate=160:vbv_maxrate=768:vbv_bufsize=2000:nocabac:level_idc=13:global_header \
  -ofps 25 -vf-add scale=160:120 -of lavf -lavfopts format=mp4 -o "$work/clip.tmp" \
  >"$work/mencoder.log" 2>&1 \
  || { cat "$work/mencoder.log" >&2; fail "the installed mencoder"; }
"$app/fix" "$work/clip.tmp" "$work/clip.mp4" >"$work/fix.log" 2>&1 \
  || { cat "$work/fix.log" >&2; fail "the installed fix"; }
[ -s "$work/clip.mp4" ] || fail "no output of fix"

# vantrel-cli by its name on PATH, with the companions of its own folder.
mkdir -p "$work/cli"
(cd "$work" && env -i PATH="$root/bin:/usr/bin:/bin" HOME="$work/home" \
  vantrel-cli encode clip.avi --output-folder cli --size 160:120 --quiet) \
  || fail "the installed vantrel-cli"
[ -s "$work/cli/clip.mp4" ] || fail "no output of vantrel-cli"
echo "install_test: passed"
