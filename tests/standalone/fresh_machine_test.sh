#!/usr/bin/env bash
# Built games on another machine: builds a 2D and a 3D game with QUORVANEL and runs each on a
# fresh minimal Debian 12 (../shared/tools/fresh-machine.sh; root, a minute the first time):
# the 2D one with nothing installed, from a read-only folder, then a MIDI song through the
# synthesizer the game carries and a CD image through the disc library it carries; the 3D one
# with only the GL runtime added.
# Usage: fresh_machine_test.sh QUORVANEL [FRESH_MACHINE_SCRIPT]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
quorvanel=$(realpath "${1:?usage: fresh_machine_test.sh QUORVANEL [FRESH_MACHINE_SCRIPT]}")
fresh=${2:-$here/../../../shared/tools/fresh-machine.sh}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/games"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
"$quorvanel" build "$here/hello2d.qva" -o "$work/games/hello2d" --media "$here/media" >/dev/null
"$quorvanel" build "$here/hello3d.qva" -o "$work/games/hello3d" >/dev/null
"$quorvanel" build "$here/hellomidi.qva" -o "$work/games/hellomidi" --media "$here/midi" >/dev/null
"$quorvanel" build "$here/hellocd.qva" -o "$work/games/hellocd" >/dev/null
cp "$here/midi/SETUP.INI" "$here/midi/tiny.sf2" "$here/cd/disc.toc" "$work/games/"
head -c $((2352 * 75)) /dev/zero > "$work/games/track.bin"  # one second of silent CD audio
echo "built games: hello2d $(stat -c %s "$work/games/hello2d") bytes, hello3d $(stat -c %s "$work/games/hello3d") bytes," \
  "hellomidi $(stat -c %s "$work/games/hellomidi") bytes, hellocd $(stat -c %s "$work/games/hellocd") bytes"
cp "$here/in_fresh_machine.sh" "$work/games/"
# fresh-machine.sh takes a repository: the games go in one of their own.
git -C "$work/games" init -q
git -C "$work/games" add -A
git -C "$work/games" -c user.name=test -c user.email=test@localhost commit -qm games
passed=0 failed=0
for kind in 2d 3d; do
  if bash "$fresh" "$work/games" "bash in_fresh_machine.sh $kind"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done
echo "standalone: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
