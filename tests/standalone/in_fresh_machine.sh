# Runs inside a fresh Debian (tests/standalone/fresh_machine_test.sh): the games built on the
# developer's machine start here, headless, with nothing installed for them.
set -u
fail() { echo "in_fresh_machine: $*" >&2; exit 1; }
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
# check GAME STATUS EXPECTED: the game ended with status 0 and wrote what it saw, as expected,
# into /tmp/GAME.txt.
check() {
  cat /tmp/out.txt
  [ "$2" -eq 0 ] || fail "$1 ended with $2"
  result=$(tr -d '\r' < "/tmp/$1.txt")
  [ "$result" = "$3" ] || fail "$1 saw: $result"
}
case "$1" in
  2d)
    # The game needs only the C library of the machine.
    extra=$(ldd ./hello2d | grep -vE 'linux-vdso|ld-linux|/libc\.so|/libm\.so|/libpthread\.so|/libdl\.so|/librt\.so')
    [ -z "$extra" ] || fail "the game needs more than the C library: $extra"
    # ... and runs from a folder it cannot write to.
    mkdir -p /ro && mount -t tmpfs tmpfs /ro && cp hello2d /ro/ && mount -o remount,ro /ro || fail "no read-only folder"
    (cd /ro && ./hello2d > /tmp/out.txt 2>&1)
    status=$?
    umount /ro
    check hello2d $status "text 1 box 255,0,0 image 0,128,255"
    # A MIDI song: the synthesizer library the machine lacks comes from inside the game.
    ./hellomidi > /tmp/out.txt 2>&1
    check hellomidi $? "exist 1 playing 1"
    # A CD image read by the disc library, which the machine lacks too.
    ! ldconfig -p | grep -q libcdio.so.19 || fail "the machine has libcdio already"
    ./hellocd > /tmp/out.txt 2>&1
    check hellocd $? "tracks 1 length 1000"
    ;;
  3d)
    apt-get update -qq >/dev/null && apt-get install -y -qq --no-install-recommends libgl1-mesa-dri libegl1 >/dev/null \
      || fail "cannot install the GL runtime"
    ./hello3d > /tmp/out.txt 2>&1
    check hello3d $? "cube 0,0,255 sky 255,255,0"
    ;;
esac
echo "in_fresh_machine: the $1 game ran"
