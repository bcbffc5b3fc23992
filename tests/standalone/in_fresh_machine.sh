# Runs inside a fresh minimal Debian 12 (tests/standalone/fresh_machine_test.sh): the games
# built on the developer's machine play here, one after the other, with nothing installed for
# them; then without /proc; then 3D in a window, first without OpenGL, then with Debian's Mesa
# packages added (and its textures); then heard through ALSA once its configuration files are
# added. Each check says ok or why not; the last line counts them.
set -u
passed=0 failed=0
ok() { echo "check $1: ok"; passed=$((passed + 1)); }
bad() { echo "check $1: FAILED: $2"; failed=$((failed + 1)); }

# play GAME EXPECTED [VARIABLE=VALUE...]: the game ends with status 0 having written what it
# saw, as expected, into /tmp/GAME.txt (headless unless the variables say otherwise); the
# check is named $label, else after the game.
play() {
  local game=$1 expected=$2
  shift 2
  rm -f "/tmp/$game.txt"
  env SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy "$@" "./$game" > /tmp/out.txt 2>&1
  local status=$?
  local seen
  seen=$(tr -d '\r' < "/tmp/$game.txt" 2>/dev/null)
  if [ "$status" -eq 0 ] && [ "$seen" = "$expected" ]; then ok "${label:-$game}"
  else bad "${label:-$game}" "status $status, saw '$seen'; it said: $(tail -3 /tmp/out.txt)"; fi
}

# The games need only the C library of the machine ...
extra=$(ldd ./hello2d | grep -vE 'linux-vdso|ld-linux|/libc\.so|/libm\.so|/libpthread\.so|/libdl\.so|/librt\.so')
[ -z "$extra" ] && ok "only the C library" || bad "only the C library" "$extra"
# ... and the machine has none of what they carry.
for library in libSDL2-2.0.so.0 libfreeimage.so.3 libavformat.so.59 libcurl.so.4 libfluidsynth.so.3 libcdio.so.19; do
  ! ldconfig -p | grep -q "$library" || bad "a bare machine" "it has $library"
done
ls /usr/share/sounds/sf2 >/dev/null 2>&1 && bad "a bare machine" "it has a soundfont"

# 2D from a folder the game cannot write to.
mkdir -p /ro && mount -t tmpfs tmpfs /ro && cp hello2d /ro/ && mount -o remount,ro /ro
(cd /ro && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ./hello2d > /tmp/out.txt 2>&1)
status=$?
seen=$(tr -d '\r' < /tmp/hello2d.txt 2>/dev/null)
umount /ro
[ "$status" -eq 0 ] && [ "$seen" = "text 1 box 255,0,0 image 0,128,255" ] && ok hello2d || bad hello2d "status $status, saw '$seen'"

play tiff "tiff 0,8,15"
play video "video 1 1 0,15"
play mp3 "mp3 1 1"
play song "song 1 1"
play hellomidi "exist 1 playing 1"   # the soundfont its SETUP.INI named comes from inside it
play hellocd "tracks 1 length 1000"
play ftp "ftp 1 [] hello-from-vsftpd"

# Without /proc the game still finds itself and what it carries (unpacked to its private
# folder instead of memory), and runs as the game rather than as the development system.
umount /proc
label="tiff without /proc" play tiff "tiff 0,8,15"
mount -t proc proc /proc

# 3D in a window: without OpenGL the game ends with error 10005 naming what to install (its
# box waits for a user, who is not there: it is closed after a while) ...
SDL_AUDIODRIVER=dummy timeout 20 ./hello3d > /tmp/out.txt 2>&1
status=$?
if { [ "$status" -eq 1 ] || [ "$status" -eq 124 ]; } && grep -q "System Error 10005 : .*3D needs OpenGL: install libgl1 and libglx-mesa0" /tmp/out.txt
then ok "3D without OpenGL"; else bad "3D without OpenGL" "status $status: $(tail -3 /tmp/out.txt)"; fi
# ... and with those Debian packages added it shows its cube, and a model and a saved level
# from its package with their textures.
if apt-get update -qq >/dev/null 2>&1 && apt-get install -y -qq --no-install-recommends libgl1 libglx-mesa0 >/dev/null; then
  play hello3d "cube 0,0,255 sky 255,255,0" SDL_VIDEODRIVER=x11
  play textured "model 1 level 1" SDL_VIDEODRIVER=x11
else
  bad hello3d "cannot install libgl1 and libglx-mesa0"
fi

# Heard: with ALSA's configuration files, as a machine with a sound card has, the OpenAL the
# game carries plays into ALSA's default device, routed here to a file through a reader that
# takes the sound at a sound card's pace (10 ms of stereo float at a time; ALSA's null device
# alone would take it as fast as it is made). SDL's output is ruled out (no such driver), so
# the sound can only come through OpenAL.
if apt-get install -y -qq --no-install-recommends libasound2-data >/dev/null; then
  cat > /tmp/pace.sh <<'PACE'
while :; do
  n=$(dd bs=3528 count=1 iflag=fullblock status=none 2>/dev/null | tee -a /tmp/heard.raw | wc -c)
  [ "$n" -gt 0 ] || break
  sleep 0.01
done
PACE
  printf 'pcm.!default {\n type file\n slave.pcm "null"\n file "|sh /tmp/pace.sh"\n format "raw"\n}\n' > "$HOME/.asoundrc"
  rm -f /tmp/heard.raw
  play heard "heard 1 1 1" SDL_AUDIODRIVER=none
  sound=$(tr -d '\0' < /tmp/heard.raw 2>/dev/null | wc -c)
  if [ "$sound" -gt 10000 ] && ! grep -q "does not load" /tmp/out.txt; then ok "heard through ALSA"
  else bad "heard through ALSA" "$sound bytes of sound in /tmp/heard.raw; it said: $(tail -3 /tmp/out.txt)"; fi
  rm -f "$HOME/.asoundrc"
else
  bad "heard through ALSA" "cannot install libasound2-data"
fi
echo "standalone: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
