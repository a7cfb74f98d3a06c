#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that the desktop finds
# the program there: programs, desktop entry, icons, AppStream metadata.
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/quorix-image-resizer bin/quorix-resize; do
  [ -x "$prefix/$f" ] || { echo "missing $f"; exit 1; }
done
desktop-file-validate "$prefix/share/applications/quorix-image-resizer.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/example.quorix.ImageResizer.metainfo.xml" >/dev/null
[ -f "$prefix/share/icons/hicolor/scalable/apps/quorix-image-resizer.svg" ] || { echo "missing the SVG icon"; exit 1; }
for size in 16 22 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/quorix-image-resizer.png"
  [ -f "$png" ] || { echo "missing $png"; exit 1; }
  # The PNG header holds the width and height at bytes 16 to 23.
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$w" = "$size" ] && [ "$h" = "$size" ] || { echo "$png is ${w}x${h}"; exit 1; }
done
# The file managers' actions open the selection in the program.
for f in share/kio/servicemenus/quorix-image-resizer.desktop share/kservices5/ServiceMenus/quorix-image-resizer.desktop \
         share/nemo/actions/quorix-image-resizer.nemo_action; do
  grep -q '^Exec=quorix-image-resizer %F$' "$prefix/$f" || { echo "missing or wrong $f"; exit 1; }
  grep -q '^Name=Resize with Quorix Image Resizer$' "$prefix/$f" || { echo "unnamed action in $f"; exit 1; }
done
[ -x "$prefix/share/quorix-image-resizer/scripts/Resize with Quorix Image Resizer" ] || { echo "missing the file manager script"; exit 1; }
grep -q '^Exec=quorix-image-resizer %F$' "$prefix/share/applications/quorix-image-resizer.desktop" || { echo "the desktop entry takes no files"; exit 1; }
# The shells complete the tool's options and man shows its page; the recipes for many machines come along.
for f in share/bash-completion/completions/quorix-resize share/zsh/site-functions/_quorix-resize \
         share/man/man1/quorix-resize.1 share/quorix-image-resizer/recipes/parallel.sh \
         share/quorix-image-resizer/recipes/slurm-submit.sh; do
  [ -f "$prefix/$f" ] || { echo "missing $f"; exit 1; }
done
[ -x "$prefix/share/quorix-image-resizer/recipes/slurm-job.sh" ] || { echo "missing the Slurm job script"; exit 1; }
bash -n "$prefix/share/bash-completion/completions/quorix-resize"
words=$(bash -c "source '$prefix/share/bash-completion/completions/quorix-resize'; COMP_WORDS=(quorix-resize --for); COMP_CWORD=1; _quorix_resize; echo \${COMPREPLY[*]}")
[ "$words" = "--format" ] || { echo "bash completes --for as '$words'"; exit 1; }
if command -v man >/dev/null; then
  man -l "$prefix/share/man/man1/quorix-resize.1" 2>/dev/null | grep -q 'counter-start' || { echo "the man page does not read"; exit 1; }
fi
echo "installed layout is complete"
