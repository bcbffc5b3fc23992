// The command-line driver and a built game's start, run as a user would: each case is a
// command line in a fresh folder, with the exit status, the message and the files it leaves.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

struct DriverCase {
  const char* name;
  const char* setup;    // shell commands run first in the work folder; exit 77 skips the case
  const char* command;  // the command line under test ($QV is quorvanel)
  int status;           // its exit status
  const char* says;     // text its stderr must hold
  const char* after;    // a shell test that must hold afterwards ($ERR is the stderr file)
};

// Every work folder starts with g.qva, a program that prints and ends. "OLD" in game stands
// for the game a user built before: a failed build must leave it as it was.
constexpr const char* kOldGameKept = R"sh([ "$(cat game)" = OLD ] && [ "$(ls -A | tr '\n' ' ')" = "g.qva game " ])sh";
constexpr const char* kSourceKept = R"sh([ "$(cat g.qva)" = 'print "hi"' ])sh";
constexpr const char* kFullDisk = "trap '' XFSZ; ulimit -f";  // writes past a few KB fail

const DriverCase kCases[] = {
    // A failed build leaves the existing game untouched and no temporary file behind.
    {"BuildWithoutItsMediaFolderKeepsTheGame", "echo OLD > game", "$QV build g.qva -o game --media nowhere", 1,
     "cannot read the media folder nowhere: No such file or directory", kOldGameKept},
    {"BuildWithAnUnreadableMediaFileKeepsTheGame",
     "[ \"$(id -u)\" != 0 ] || { echo needs a user that file permissions apply to; exit 77; }; echo OLD > game; "
     "mkdir m; echo x > m/a.png; chmod 000 m/a.png",
     "$QV build g.qva -o game --media m", 1, "cannot read the media file a.png: Permission denied",
     R"sh([ "$(cat game)" = OLD ])sh"},
    {"BuildWithABrokenMediaLinkKeepsTheGame", "echo OLD > game; mkdir m; ln -s gone.png m/a.png",
     "$QV build g.qva -o game --media m", 1, "cannot follow the media link a.png: No such file or directory",
     R"sh([ "$(cat game)" = OLD ])sh"},
    {"BuildOnAFullDiskKeepsTheGame", "echo OLD > game", "trap '' XFSZ; ulimit -f 64; $QV build g.qva -o game", 1,
     "cannot write game: File too large", kOldGameKept},
    // The size is known from the listing: the 4 GB file is never read.
    {"BuildTooLargeForAPackageKeepsTheGame", "echo OLD > game; mkdir m; truncate -s 4300000000 m/huge.bin",
     "$QV build g.qva -o game --media m", 1, "a package holds at most 4294967295", R"sh([ "$(cat game)" = OLD ])sh"},

    // The output is never the source, however it is named.
    {"CompileOfADatFileKeepsIt", "cp g.qva prog.dat", "$QV compile prog.dat", 1,
     "the output prog.dat is the source file itself", "cmp g.qva prog.dat"},
    {"CompileOverTheSourceByAnotherPathKeepsIt", "mkdir sub", "$QV compile g.qva -o sub/../g.qva", 1,
     "the output sub/../g.qva is the source file itself", kSourceKept},
    {"CompileOverAHardLinkOfTheSourceKeepsIt", "ln g.qva h.qva", "$QV compile g.qva -o h.qva", 1,
     "the output h.qva is the source file itself", kSourceKept},
    {"BuildOverTheSourceKeepsIt", "", "$QV build g.qva -o ./g.qva", 1, "the output ./g.qva is the source file itself",
     kSourceKept},

    // Media files go in under their paths inside the media folder; no link leads out of it.
    {"MediaLinkOutOfTheFolderIsRefused", "mkdir m; echo secret > secret.txt; ln -s ../secret.txt m/s.txt",
     "$QV build g.qva -o game --media m", 1, "the media link s.txt points outside the media folder", "[ ! -e game ]"},
    {"MediaLinkToAnAbsolutePathIsRefused", "mkdir m; ln -s /etc/passwd m/p", "$QV build g.qva -o game --media m", 1,
     "the media link p points outside the media folder (to /etc/passwd)", "[ ! -e game ]"},
    {"MediaFilesGoInUnderTheirOwnNames",
     "mkdir -p m/sub; echo A > m/sub/a.txt; ln -s sub/a.txt m/alias.txt; ln -s sub m/again",
     "$QV build g.qva -o game --media ./m/", 0, "",
     R"sh(tr '\0' '\n' < game > names && grep -Fqx 'alias.txt' names && grep -Fqx 'sub\a.txt' names &&
        ! grep -Fqx again names && [ -x game ])sh"},

    // A game built with --media finds its files by the names the program uses from its source
    // folder (media/a.txt), as by the names inside the folder; the build names each file as
    // the user writes it and makes the folder of the game.
    {"AGameFindsItsMediaByTheNamesItsProgramUses",
     "mkdir media && echo hello > media/a.txt && "
     "printf 'open to read 1, \"media/a.txt\"\\nread string 1, s$\\nclose file 1\\nopen to write 2, \"out.txt\"\\n"
     "write string 2, s$\\nclose file 2\\n' > f.qva && "
     "$QV run f.qva --headless && mv out.txt source.txt",
     "$QV build f.qva -o new/folder/game --media media > built.txt && rm -r media && cd new/folder && ./game", 0, "",
     R"sh(grep -q '^hello' new/folder/out.txt && grep -qx 'Adding media/a.txt...' built.txt &&
        cmp source.txt new/folder/out.txt)sh"},
    {"AGameSaysHowItHoldsItsFiles",
     "mkdir media && echo x > media/a.txt && printf 'load image \"pics/none.png\", 1\\n' > n.qva && "
     "$QV build n.qva -o game --media media > /dev/null",
     "./game", 1,
     "pics/none.png: no such file (this game holds its files by their paths inside its media folder media, as a.txt "
     "or media/a.txt)",
     "true"},

    // A built game whose package is damaged says so and fails, rather than acting as the driver.
    {"GameCutShortSaysItIsDamaged", "$QV build g.qva -o game >/dev/null && truncate -s -2 game", "./game", 1,
     "this game is damaged", "! grep -q usage \"$ERR\""},
    {"GameWithABadPackageStartSaysItIsDamaged",
     "$QV build g.qva -o game >/dev/null && printf '\\377\\377\\377\\177' | "
     "dd of=game bs=1 seek=$(($(stat -c %s game) - 4)) conv=notrunc 2>/dev/null",
     "./game", 1, "this game is damaged", "! grep -q usage \"$ERR\""},
    {"GameThatCannotExtractItsProgramSaysSo", "$QV build g.qva -o game >/dev/null",
     "trap '' XFSZ; ulimit -f 4; ./game", 1, "cannot extract the game's program", "! grep -q Fault \"$ERR\""},

    // An output reached through a link replaces the file the link leads to; one with another
    // hard link is written in place, so both names hold the new game, executable.
    {"CompileThroughALinkReplacesItsTarget", "mkdir out; echo OLD > out/g.dat; ln -s out/g.dat link.dat",
     "$QV compile g.qva -o link.dat", 0, "",
     R"sh([ -L link.dat ] && [ "$(head -c 3 out/g.dat)" != OLD ] && [ "$(ls -A out)" = g.dat ])sh"},
    {"BuildThroughALinkReplacesItsTarget", "mkdir bin; echo OLD > bin/game; ln -s bin/game game",
     "$QV build g.qva -o game", 0, "", R"sh([ -L game ] && [ -x bin/game ] && [ "$(stat -c %s bin/game)" -gt 1000 ])sh"},
    {"BuildOverAHardLinkedGameUpdatesBothNames", "echo OLD > game; chmod 644 game; ln game other",
     "$QV build g.qva -o game", 0, "", R"sh(cmp game other && [ -x other ] && [ "$(stat -c %s other)" -gt 1000 ])sh"},

    // Messages name what failed; run's status 2 is for compile errors only.
    {"UnwritableOutputIsNamed", "", "$QV compile g.qva -o nodir/g.dat", 1,
     "cannot write nodir/g.dat: No such file or directory", "! grep -q 'File not found' \"$ERR\""},
    {"MissingSourceIsNamed", "", "$QV compile none.qva", 1, "cannot open none.qva: No such file or directory", "true"},
    {"RunOfAMissingSourceIsNoCompileError", "", "$QV run none.qva --headless", 1,
     "quorvanel run: cannot open none.qva: No such file or directory", "true"},
    {"RunWithAFullTemporaryFolderIsNoCompileError", "", "trap '' XFSZ; ulimit -f 2; $QV run g.qva --headless", 1,
     "quorvanel run: cannot write ", "grep -q 'File too large' \"$ERR\""},
    // Another user owns both private temporary folders (the user's runtime folder's and the
    // one in /tmp, this one only in a mount namespace of the case's own): refused, never
    // compiled into the shared /tmp.
    {"RunWhenAnotherUserOwnsTheTemporaryFolderIsRefused",
     "[ \"$(id -u)\" = 0 ] && unshare -m true 2>/dev/null || "
     "{ echo needs root and mount namespaces to plant another user\\'s folder; exit 77; }; "
     "mkdir -p ../run/quorvanel ../theirs && chown 65534 ../run/quorvanel ../theirs",
     "unshare -m sh -c 'mkdir -p /tmp/quorvanel-0 && mount --bind ../theirs /tmp/quorvanel-0 && "
     "exec $QV run g.qva --headless --echo'",
     1, "quorvanel run: no private temporary folder (/tmp/quorvanel-0 belongs to another user)",
     R"sh([ -z "$(ls -A ../theirs)" ] && ! grep -q hi "$ERR")sh"},
    {"RunOfABadProgramIsACompileError", "echo 'frobnicate 1' > bad.qva", "$QV run bad.qva --headless", 2,
     "bad.qva:1: Unknown command: frobnicate", "true"},
    // An included file's statement that never runs (its text follows the program's end) is a
    // warning, named by the file and line it is in: the run goes on.
    {"RunWarnsOfAnIncludedStatementThatNeverRuns",
     "mkdir inc && printf 'sync on\\nfunction f()\\nendfunction 2\\n' > inc/lib.qva && "
     "printf '#include lib.qva\\nprint f()\\n' > inc/m.qva",
     "$QV run inc/m.qva --headless --echo > out.txt", 0, "inc/lib.qva:1: warning: This statement never runs",
     "grep -qx 2 out.txt"},
    // Warnings do not stop a run: `run` says each distinct one once on stderr (number, text,
    // the file the command named, the line); a game says nothing, and logs them in debug mode.
    {"RunSaysEachDistinctWarningOnceAndGoesOn",
     "printf 'for i = 1 to 3\\nload sound \"boom.wav\", 1\\nnext i\\nopen to read 1, \"none.txt\"\\nprint \"done\"\\n' > w.qva",
     "$QV run w.qva --headless --echo > out.txt", 0,
     "w.qva:2: Runtime Warning 3002 : Sound file could not be loaded or recorded (boom.wav)\n",
     R"sh([ "$(grep -c 'Warning 3002' "$ERR")" = 1 ] && grep -q '^w.qva:4: Runtime Warning .*(none.txt)$' "$ERR" &&
        grep -qx done out.txt && [ ! -e QV.LOG ])sh"},
    // A sound file that is refused says why: its format, by its tag.
    {"ARefusedSoundFileSaysWhy",
     "printf 'RIFF\\050\\000\\000\\000WAVEfmt \\020\\000\\000\\000\\141\\001\\002\\000\\104\\254\\000\\000"
     "\\020\\261\\002\\000\\004\\000\\020\\000data\\004\\000\\000\\000\\000\\000\\000\\000' > wma.wav && "
     "printf 'load sound \"wma.wav\", 1\\nprint sound exist(1)\\n' > w.qva",
     "$QV run w.qva --headless --echo > out.txt", 0,
     "w.qva:1: Runtime Warning 3002 : Sound file could not be loaded or recorded (wma.wav: WAV format tag 0x0161 "
     "(Windows Media Audio) is not read)\n",
     "grep -qx 0 out.txt"},
    {"GameIsSilentAboutWarningsAndLogsThemInDebugMode",
     "printf 'for i = 1 to 3\\nload sound \"boom.wav\", 1\\nnext i\\n' > w.qva && $QV build w.qva -o game > /dev/null",
     "./game && [ ! -e QV.LOG ] && printf '[SETTINGS]\\nDEBUGMODE=1\\n' > SETUP.INI && ./game", 0, "",
     R"sh([ ! -s "$ERR" ] && [ "$(grep -c '^RUNTIMEWARNING 3002 LINE 2 ON ' QV.LOG)" = 1 ] &&
        grep -q '=Runtime Warning 3002 : Sound file could not be loaded or recorded (boom.wav) at line 2$' QV.LOG)sh"},
    // A model's texture that is no picture, or is not there, leaves it untextured and is logged
    // in debug mode like any failed load.
    {"AModelsTextureThatCannotLoadIsLogged",
     "mkdir m && echo garbage > m/bad.bmp && "
     "printf 'xof 0302txt 0032\\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;;\\n MeshMaterialList { 1; 1; 0;;\\n"
     "  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"bad.bmp\"; } }\\n"
     "  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"gone.png\"; } } } }\\n' > m/model.x && "
     "printf 'load object \"model.x\", 1\\n' > t.qva && $QV build t.qva -o game --media m > /dev/null && "
     "printf '[SETTINGS]\\nDEBUGMODE=1\\n' > SETUP.INI",
     "./game", 0, "",
     R"sh(grep -q '^ENGINEERROR ON .*=texture bad.bmp: ' QV.LOG && grep -q '^ENGINEERROR ON .*=texture gone.png: no such file$' QV.LOG &&
        ! grep -q 'gone.bmp' QV.LOG)sh"},
    // A file-loading command that fails names the file and says when it is not there, at the
    // line of the command, also when the load waits for the next frame (load bitmap).
    {"LoadImageOfAMissingFileNamesIt", "printf 'print 1\\nload image \"nofile.png\", 1\\n' > p.qva",
     "$QV run p.qva --headless", 1, "p.qva:2: Runtime Error 105 : File could not be read. nofile.png: no such file\n",
     "true"},
    {"LoadBitmapOfAMissingFileNamesIt", "printf 'print 1\\nload bitmap \"pics/nofile.bmp\", 1\\n' > p.qva",
     "$QV run p.qva --headless", 1,
     "p.qva:2: Runtime Error 105 : File could not be read. pics/nofile.bmp: no such file\n", "true"},
    {"LoadStaticObjectsOfAMissingFileNamesIt", "printf 'load static objects \"level.dbo\"\\n' > p.qva",
     "$QV run p.qva --headless", 1, "p.qva:1: Runtime Error 105 : File could not be read. level.dbo: no such file\n",
     "true"},
    {"AppendObjectOfAMissingFileNamesIt", "printf 'make object cube 1, 1\\nappend object \"walk.x\", 1, 10\\n' > p.qva",
     "$QV run p.qva --headless", 1, "p.qva:2: Runtime Error 7605 : Animation could not be appended. walk.x: no such file\n",
     "true"},
    // A warning that says more than its text names it after the text: a mesh too large for a
    // model is named with its size, and the rest of the model loads.
    {"RunNamesAMeshLeftOutOfAModel",
     "{ printf 'xof 0302txt 0032\\nFrame Big { Mesh Huge { 70000;\\n'; yes '0;0;0;,' | head -n 69999; "
     "printf '0;0;0;;\\n1; 3;0,2,1;; } }\\n'; } > big.x && printf 'load object \"big.x\", 1\\nprint object exist(1)\\n' > m.qva",
     "$QV run m.qva --headless --echo > out.txt", 0,
     "m.qva:1: Runtime Warning 7103 : Object file holds a mesh of more than 65535 vertices, which is left out: "
     "big.x: mesh \"Huge\" (70000 vertices; a mesh holds at most 65535)\n",
     "grep -qx 1 out.txt"},
    // cl$() gives the words after the program's name, the same from `run` and from a game.
    {"RunGivesTheProgramTheWordsAfterItsName", "echo 'print \"[\"; cl$(); \"]\"' > c.qva",
     "$QV run c.qva --headless --echo a b > out.txt", 0, "", R"sh(grep -qx '\[a b\]' out.txt)sh"},
    {"GameGetsTheSameWordsAfterItsName",
     "printf 'open to write 1, \"cl.txt\"\\nwrite string 1, cl$()\\nclose file 1\\n' > c.qva && "
     "$QV build c.qva -o game > /dev/null",
     "./game a b", 0, "", R"sh([ "$(head -c 3 cl.txt)" = 'a b' ] && ! grep -q game cl.txt)sh"},
    {"RunPassesWordsAfterTwoDashesToTheProgram", "echo 'print cl$()' > c.qva",
     "$QV run c.qva --headless --echo one -- -two --echo > out.txt", 0, "",
     R"sh(grep -qx 'one -two --echo' out.txt)sh"},

    // Unknown options are refused with the usage line.
    {"UnknownCompileOptionIsRefused", "", "$QV compile g.qva --frobnicate", 1, "unknown option '--frobnicate'",
     "grep -q '^usage: quorvanel compile' \"$ERR\" && [ ! -e g.dat ]"},
    {"UnknownRunOptionIsRefused", "", "$QV run --hedless g.qva", 1, "unknown option '--hedless'",
     "grep -q '^usage: quorvanel run' \"$ERR\""},
    {"UnknownBuildOptionIsRefused", "", "$QV build g.qva -o game --medai m", 1, "unknown option '--medai'",
     "grep -q '^usage: quorvanel build' \"$ERR\" && [ ! -e game ]"},
    {"UnknownFirstOptionIsRefused", "", "$QV -x", 1, "unknown option '-x'", "grep -q '^usage: ' \"$ERR\""},
    {"OptionWithoutItsNameIsRefused", "", "$QV compile g.qva -o", 1, "-o needs a name", "[ ! -e g.dat ]"},

    // A machine without a library a program needs: the copy the executable carries serves
    // instead; where that does not load either, the medium that fails says which library.
    {"ACarriedPictureLibraryServesAMachineWithoutIt",
     "ffmpeg -loglevel error -f lavfi -i color=c=0x0080ff:s=4x4 -frames:v 1 -pix_fmt rgb24 a.tif && "
     "printf 'load image \"a.tif\", 1\\npaste image 1, 0, 0\\nsync\\nprint rgbb(point(1, 1))\\n' > t.qva",
     "env QV_TEST_HIDDEN_LIBRARIES=libfreeimage.so $HIDDEN $QV run t.qva --headless --echo > out.txt", 0, "",
     R"sh([ "$(cat out.txt)" -gt 240 ])sh"},  // the picture's blue, through the conversion to RGB
    {"AMissingPictureLibrarySaysWhich",
     "ffmpeg -loglevel error -f lavfi -i color=c=red:s=4x4 -frames:v 1 a.tif && "
     "printf 'load image \"a.tif\", 1\\npaste image 1, 0, 0\\n' > t.qva",
     "env QV_TEST_HIDDEN_LIBRARIES='libfreeimage.so carried' $HIDDEN $QV run t.qva --headless", 1,
     "quorvanel: load a.tif: TIFF and PSD pictures need libfreeimage.so.3, and the copy this program carries does not load",
     R"sh(grep 'Error' "$ERR" | grep -q 'libfreeimage.so.3')sh"},
    {"AMissingVideoLibrarySaysWhich", "echo x > v.avi && printf 'load animation \"v.avi\", 1\\n' > t.qva",
     "env QV_TEST_HIDDEN_LIBRARIES='libavformat.so carried' $HIDDEN $QV run t.qva --headless", 0,
     "quorvanel: load animation v.avi: video animations need libavformat.so.", "true"},
    {"AMissingMidiLibrarySaysWhich",
     "cp \"$SRC/tests/standalone/midi/song.mid\" s.mid && printf 'load music \"s.mid\", 1\\n' > t.qva",
     "env QV_TEST_HIDDEN_LIBRARIES='libfluidsynth.so carried' $HIDDEN $QV run t.qva --headless", 0,
     "quorvanel: load music s.mid: MIDI songs need libfluidsynth.so.3, and the copy this program carries does not load",
     "true"},
    {"AMissingGsmLibrarySaysWhich",
     "sox -n -r 8000 -c 1 -e gsm-full-rate g.wav synth 0.2 sine 440 && printf 'load sound \"g.wav\", 1\\n' > t.qva",
     "env QV_TEST_HIDDEN_LIBRARIES='libgsm.so carried' $HIDDEN $QV run t.qva --headless", 0,
     "quorvanel: load sound g.wav: GSM 6.10 WAV files need libgsm.so.1, and the copy this program carries does not load",
     "true"},
    // The missing library is a warning's matter: a later, unrelated error does not repeat it.
    {"AMissingLibraryStaysOutOfALaterError",
     "sox -n -r 8000 -c 1 -e gsm-full-rate g.wav synth 0.2 sine 440 && "
     "printf 'load sound \"g.wav\", 1\\ndim a(1)\\nprint a(5)\\n' > t.qva",
     "env QV_TEST_HIDDEN_LIBRARIES='libgsm.so carried' $HIDDEN $QV run t.qva --headless", 1,
     "t.qva:3: Runtime Error 110 : Array index or value is out of range.\n", "true"},
    // The sound library's own refusals reach QV.LOG in debug mode, as the runtime's do.
    {"TheSoundLibrarysRefusalIsLoggedInDebugMode",
     "sox -n -r 8000 -c 1 -e gsm-full-rate g.wav synth 0.2 sine 440 && printf 'load sound \"g.wav\", 1\\n' > t.qva && "
     "$QV build t.qva -o game > /dev/null && printf '[SETTINGS]\\nDEBUGMODE=1\\n' > SETUP.INI",
     "env QV_TEST_HIDDEN_LIBRARIES='libgsm.so carried' $HIDDEN ./game", 0, "",
     R"sh(grep -q '^SOUNDLIBRARY ON .*=GSM 6.10 WAV file refused: .*libgsm.so.1' QV.LOG)sh"},
    {"AMissingCdLibrarySaysWhich",
     "cp \"$SRC/tests/standalone/cd/disc.toc\" . && head -c 176400 /dev/zero > track.bin && "
     "printf 'set cdmusic source \"disc.toc\"\\nprint cdmusic track count()\\n' > t.qva",
     "env QV_TEST_HIDDEN_LIBRARIES='libcdio.so carried' $HIDDEN $QV run t.qva --headless --echo > out.txt", 0,
     "quorvanel: CD disc.toc: CD tracks need libcdio.so.19, and the copy this program carries does not load",
     R"sh([ "$(cat out.txt)" = 0 ])sh"},
    {"AMissingFtpLibrarySaysWhich",
     "printf 'ftp connect \"127.0.0.1\", \"a\", \"b\"\\nprint get ftp failure$()\\n' > t.qva",
     "env QV_TEST_HIDDEN_LIBRARIES='libcurl.so carried' $HIDDEN $QV run t.qva --headless --echo > out.txt", 0, "",
     R"sh(grep -q '^FTP sessions need libcurl.so.4, and the copy this program carries does not load' out.txt)sh"},
    // Without /proc (a chroot or container without it) a built game still finds itself and
    // runs as the game, and unpacks what it carries into its private folder instead of memory.
    {"AGameWithoutProcRunsAsTheGame",
     "unshare -m true 2>/dev/null && [ -z \"$SANITIZED\" ] || "
     "{ echo 'needs unshare, and a build without the sanitizers (they need /proc themselves)'; exit 77; }; "
     "ffmpeg -loglevel error -f lavfi -i color=c=0x0080ff:s=4x4 -frames:v 1 -pix_fmt rgb24 a.tif && "
     "printf 'load image \"a.tif\", 1\\npaste image 1, 0, 0\\nsync\\nopen to write 1, \"out.txt\"\\n"
     "write string 1, str$(rgbb(point(1, 1)))\\nclose file 1\\n' > g.qva && $QV build g.qva -o game --media . && rm g.qva",
     "env QV_TEST_HIDDEN_LIBRARIES=libfreeimage.so $HIDDEN unshare -m sh -c 'mount -t tmpfs none /proc && exec ./game'",
     0, "", R"sh([ "$(cat out.txt)" -gt 240 ] && [ -z "$(ls -A "$XDG_RUNTIME_DIR/quorvanel")" ])sh"},
    // 3D where the machine has no OpenGL: error 10005 naming what to install, not a black screen.
    {"ThreeDWithoutOpenGlSaysWhatToInstall", "printf 'make object cube 1, 10\\nsync\\n' > t.qva",
     "SDL_VIDEO_EGL_DRIVER=/none/libEGL.so.1 SDL_VIDEO_GL_DRIVER=/none/libGL.so.1 $QV run t.qva --headless", 1,
     "System Error 10005 : ", R"sh(grep -q '3D needs OpenGL: install libegl1 and libegl-mesa0' "$ERR")sh"},

    // No display: one line says the run has no window and how to see what it prints, naming the
    // executable as it was started (after a build it is not on the PATH); the Wayland library's
    // line about XDG_RUNTIME_DIR does not appear.
    {"RunWithoutADisplaySaysHowToSeeItsText", "",
     "env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR -u SDL_VIDEODRIVER $QV run g.qva", 0,
     "running without a window",
     R"sh([ "$(grep -c 'without a window' "$ERR")" = 1 ] && grep -qF "$QV run g.qva --headless --echo" "$ERR" &&
        ! grep -q XDG_RUNTIME_DIR "$ERR")sh"},
};

void PrintTo(const DriverCase& c, std::ostream* out) { *out << c.name; }

std::string Quorvanel() {
  const char* other = std::getenv("QV_DRIVER_EXECUTABLE");
  return other != nullptr && other[0] != 0 ? other : QV_EXECUTABLE;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh folder (work/ holding g.qva, run/ for the private temporary folder) per test.
class DriverFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "qv-driver-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "work");
    fs::create_directories(root_ / "run");
    std::ofstream(root_ / "work" / "g.qva") << "print \"hi\"\n";
  }
  void TearDown() override {
    std::error_code error;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(root_, error);
  }
  // Runs shell text in the work folder with the test's surroundings; the exit status.
  int Shell(const std::string& text) {
    // The child's leak check is off: SDL unloads the display libraries it opened, so their
    // caches show up as leaks of unknown modules (the in-process tests check our own code).
    const std::string root = root_.string();
#if defined(__SANITIZE_ADDRESS__)
    const std::string sanitized = "1";
#else
    const std::string sanitized;
#endif
    std::string script = "cd '" + root + "/work' && export SANITIZED='" + sanitized + "' QV='" + Quorvanel() + "' ERR='" + root +
                         "/stderr.txt' SRC='" QV_SOURCE_DIR "' HIDDEN='ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0 "
                         "LD_PRELOAD=" QV_HIDE_LIBRARIES "' LC_ALL=C ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen "
                         "SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR='" + root + "/run' XDG_CONFIG_HOME='" + root +
                         "/config' && " + text;
    int status = std::system(script.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  fs::path root_;
};

class DriverTest : public DriverFolderTest, public ::testing::WithParamInterface<DriverCase> {};

TEST_P(DriverTest, EndsAsItShould) {
  const DriverCase& c = GetParam();
  int setup = Shell(std::string("{ ") + (c.setup[0] != 0 ? c.setup : "true") + "; } > ../setup.txt 2>&1");
  if (setup == 77) GTEST_SKIP() << ReadText(root_ / "setup.txt");
  ASSERT_EQ(setup, 0) << ReadText(root_ / "setup.txt");
  int status = Shell(std::string("( ") + c.command + " ) 2> \"$ERR\"");
  const std::string err = ReadText(root_ / "stderr.txt");
  EXPECT_EQ(status, c.status) << err;
  EXPECT_NE(err.find(c.says), std::string::npos) << "stderr lacks \"" << c.says << "\":\n" << err;
  EXPECT_EQ(Shell(c.after), 0) << c.after << "\nstderr:\n" << err;
  // The run's own folder goes with it.
  const fs::path runs = root_ / "run" / "quorvanel";
  EXPECT_TRUE(!fs::exists(runs) || fs::is_empty(runs)) << "left behind in " << runs;
}

INSTANTIATE_TEST_SUITE_P(Cases, DriverTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DriverCase>& info) { return std::string(info.param.name); });

uint32_t WordAt(const std::string& bytes, size_t at) {
  uint32_t word = 0;
  for (int i = 3; i >= 0; --i) word = word << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
  return word;
}

// A byte changed anywhere in a built game (its program, a media file, the libraries it
// carries, the player in front of them, the package's own words) is refused before anything
// runs, naming the game; the game as built runs.
TEST_F(DriverFolderTest, AGameWithAChangedByteIsRefused) {
  ASSERT_EQ(Shell("mkdir media && seq 1000 > media/numbers.txt && "
                  "printf 'open to write 1, \"ran.txt\"\\nwrite string 1, \"ran\"\\nclose file 1\\n' > r.qva && "
                  "$QV build r.qva -o game --media media > /dev/null"),
            0);
  const std::string game = ReadText(root_ / "work" / "game");
  ASSERT_GT(game.size(), 16u);
  // The places to change: the middle of each entry's data, the player's last bytes, and each
  // word of the package's tail.
  std::vector<std::pair<std::string, size_t>> places;
  const size_t start = WordAt(game, game.size() - 4);
  ASSERT_LT(start, game.size());
  places.push_back({"the player", start - 100});
  for (size_t at = start; WordAt(game, at) != 0;) {
    const uint32_t nameLength = WordAt(game, at);
    const std::string name = game.substr(at + 4, nameLength - 1);
    const uint32_t dataLength = WordAt(game, at + 4 + nameLength);
    const size_t data = at + 8 + nameLength;
    if (dataLength > 0) places.push_back({"entry " + name, data + dataLength / 2});
    at = data + dataLength;
  }
  const char* const tail[] = {"end word", "magic", "checksum", "checksum's high word", "start"};
  for (size_t i = 0; i < 5; ++i) places.push_back({std::string("tail: ") + tail[i], game.size() - 20 + 4 * i});
  ASSERT_GE(places.size(), 8u) << "the program, the media file and the carried libraries";
  for (const auto& [what, at] : places) {
    std::string changed = game;
    changed[at] = static_cast<char>(changed[at] ^ 0x20);
    std::ofstream(root_ / "work" / "changed", std::ios::binary) << changed;
    EXPECT_EQ(Shell("chmod +x changed && ./changed 2> \"$ERR\""), 1) << what;
    const std::string err = ReadText(root_ / "stderr.txt");
    EXPECT_NE(err.find("/changed: this game is damaged"), std::string::npos) << what << ": " << err;
    EXPECT_FALSE(fs::exists(root_ / "work" / "ran.txt")) << what;
  }
  EXPECT_EQ(Shell("./game && [ -e ran.txt ]"), 0);
}

}  // namespace
