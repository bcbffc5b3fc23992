#!/usr/bin/env bash
# Built games on another machine: builds one game per medium with QUORVANEL (2D drawing, a
# TIFF picture, an AVI video with sound, an MP3 sound, a tracker song, a MIDI song, a CD image,
# FTP, 3D, a textured model and level, a sound heard through ALSA) and plays them all, one after the other, on one fresh minimal Debian 12
# (../shared/tools/fresh-machine.sh; root) that has nothing installed for them; see
# in_fresh_machine.sh for what each must show. This machine serves what the games reach out
# to: an FTP server (vsftpd, installed when missing) and an X server (Xvfb) for the 3D window,
# both on this machine's loopback, which the fresh machine shares.
# Usage: fresh_machine_test.sh QUORVANEL [FRESH_MACHINE_SCRIPT]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
quorvanel=$(realpath "${1:?usage: fresh_machine_test.sh QUORVANEL [FRESH_MACHINE_SCRIPT]}")
fresh=${2:-$here/../../../shared/tools/fresh-machine.sh}
[ -f "$fresh" ] || fresh=$here/../../../../shared/tools/fresh-machine.sh
work=$(mktemp -d)
servers=()
cleanup() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
games=$work/games media=$work/media
mkdir -p "$games" "$media"/{tiff,video,mp3,song,midi,textured,heard}
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy

# The media, made here: a blue-green picture, a blue video with a tone, a tone, and a MOD
# song of one pattern playing a square wave for seven seconds.
ffmpeg -nostdin -loglevel error -f lavfi -i "color=c=0x0080ff:s=8x8,format=rgb24" -frames:v 1 "$media/tiff/pic.tif"
ffmpeg -nostdin -loglevel error -f lavfi -i color=c=blue:s=64x48:r=10 -f lavfi -i sine=frequency=440:sample_rate=22050 \
  -t 2 -c:v mpeg4 -q:v 2 -c:a libmp3lame -b:a 64k "$media/video/clip.avi"
ffmpeg -nostdin -loglevel error -f lavfi -i sine=frequency=440:duration=2 -c:a libmp3lame -b:a 64k "$media/mp3/tune.mp3"
python3 - "$media/song/song.mod" <<'EOF'
import struct, sys
header = b"standalone".ljust(20, b"\0")
header += b"square".ljust(22, b"\0") + struct.pack(">HBBHH", 32, 0, 64, 0, 32)  # 64 bytes, looped
header += (b"\0" * 22 + struct.pack(">HBBHH", 0, 0, 0, 0, 1)) * 30
header += bytes([1, 127]) + bytes(128) + b"M.K."
pattern = bytearray(64 * 4 * 4)
pattern[0:4] = bytes([0x01, 0xAC, 0x10, 0x00])  # row 0, channel 1: sample 1 at period 428
square = bytes([100] * 32 + [156] * 32)  # signed 8-bit: +100 then -100
open(sys.argv[1], "wb").write(header + bytes(pattern) + square)
EOF
cp "$here/midi/song.mid" "$here/midi/SETUP.INI" "$here/midi/tiny.sf2" "$media/midi/"
# A red texture for the model, and the level saved by a run from source (it draws offscreen).
ffmpeg -nostdin -loglevel error -f lavfi -i color=c=red:s=8x8 -frames:v 1 -pix_fmt bgr24 "$media/textured/tex.bmp"
cp "$here/textured/model.x" "$here/textured/level.qva" "$media/textured/"
(cd "$media/textured" && "$quorvanel" run level.qva --headless && rm level.qva)
ffmpeg -nostdin -loglevel error -f lavfi -i sine=frequency=440:sample_rate=22050:duration=2 "$media/heard/tone.wav"

# The FTP server: anonymous, read-only, on a free loopback port, serving one file.
command -v vsftpd >/dev/null || { apt-get update -qq >/dev/null; apt-get install -y -qq --no-install-recommends vsftpd >/dev/null; }
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/ftp" "$work/empty"
echo "hello-from-vsftpd" > "$work/ftp/hello.txt"
chmod 755 "$work/ftp" "$work/empty"
chmod 644 "$work/ftp/hello.txt"
ftpuser=ftp; id ftp >/dev/null 2>&1 || ftpuser=nobody
cat > "$work/vsftpd.conf" <<EOF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
no_anon_password=YES
anon_root=$work/ftp
ftp_username=$ftpuser
local_enable=NO
write_enable=NO
pasv_enable=YES
pasv_address=127.0.0.1
seccomp_sandbox=NO
secure_chroot_dir=$work/empty
xferlog_enable=NO
EOF
vsftpd "$work/vsftpd.conf" >"$work/vsftpd.log" 2>&1 &
servers+=($!)
sed "s/PORT/$port/" "$here/ftp.qva" > "$work/ftp.qva"

# The X server for the 3D window (its abstract socket reaches into the fresh machine); it does
# not reset between games, so a game starting as the last one leaves is not refused.
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset 9>"$work/display" 2>/dev/null &
servers+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=:$(head -1 "$work/display")

built="built games (KB):"
build() {  # build NAME SOURCE [MEDIA]
  "$quorvanel" build "$2" -o "$games/$1" ${3:+--media "$3"} >/dev/null
  built="$built $1 $(( $(stat -c %s "$games/$1") / 1024 ))"
}
build hello2d "$here/hello2d.qva" "$here/media"
build tiff "$here/tiff.qva" "$media/tiff"
build video "$here/video.qva" "$media/video"
build mp3 "$here/mp3.qva" "$media/mp3"
build song "$here/song.qva" "$media/song"
build hellomidi "$here/hellomidi.qva" "$media/midi"
build hellocd "$here/hellocd.qva"
build ftp "$work/ftp.qva"
build hello3d "$here/hello3d.qva"
build textured "$here/textured.qva" "$media/textured"
build heard "$here/heard.qva" "$media/heard"
echo "$built"
cp "$here/cd/disc.toc" "$games/"
head -c $((2352 * 75)) /dev/zero > "$games/track.bin"  # one second of silent CD audio
cp "$here/in_fresh_machine.sh" "$games/"
# fresh-machine.sh takes a repository: the games go in one of their own.
git -C "$games" init -q
git -C "$games" add -A
git -C "$games" -c user.name=test -c user.email=test@localhost commit -qm games
status=0
bash "$fresh" "$games" "DISPLAY=$display bash in_fresh_machine.sh" 2>&1 | tee "$work/machine.log" || status=1
# The machine's own count, or one failure when it could not say (no machine could be made).
if ! grep -q '^standalone: [0-9]* passed, [0-9]* failed' "$work/machine.log"; then
  echo "standalone: 0 passed, 1 failed"
  exit 1
fi
exit $status
