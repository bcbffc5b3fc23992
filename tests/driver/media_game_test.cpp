// A game built with its media: a WAV, an XM song and two AVI videos packed in with
// `quorvanel build --media` play from the package when the game runs headless. The program
// itself asks whether each played and writes what it saw to a file the test reads.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "tests/platform/video_fixture.h"
#include "tests/sound/song_fixtures.h"

namespace {

namespace fs = std::filesystem;

// One pattern of 32 rows playing a looped wave on channel 1.
std::vector<uint8_t> Song() {
  fixtures::Song song;
  song.channels = 2;
  song.linear = true;
  song.orders = {0};
  song.patterns.push_back(fixtures::MakePattern(32, 2));
  song.patterns[0].cells[0][0].note = 49;
  song.patterns[0].cells[0][0].instrument = 1;
  song.samples.push_back(fixtures::Wave(64, false));
  song.instruments.push_back(fixtures::InstrumentSpec{});
  return fixtures::WriteXm(song);
}

constexpr const char* kProgram = R"(open to write 1, "result.txt"
load sound "beep.wav", 1
load music "song.xm", 1
load animation "clip.avi", 1
load animation "red.avi", 2
write string 1, "sizes " + str$(animation width(1)) + " " + str$(animation height(1)) + " " + str$(animation width(2)) + " " + str$(animation height(2))
play sound 1
play music 1
play animation 1
play animation 2, 100, 0
write string 1, "started " + str$(sound playing(1)) + " " + str$(music playing(1)) + " " + str$(animation playing(1)) + " " + str$(animation playing(2))
frames = 0
repeat
  sync
  frames = frames + 1
until frames = 3000 or (sound playing(1) = 0 and animation playing(1) = 0 and animation playing(2) = 0)
write string 1, "ended " + str$(sound playing(1)) + " " + str$(animation playing(1)) + " " + str$(animation playing(2))
write string 1, "red " + str$(rgbr(point(110, 5)) / 16) + " " + str$(rgbr(point(131, 15)) / 16) + " " + str$(point(132, 15))
close file 1
)";

// A fresh folder for a game: m/ for its media, run/ for its private temporary folder.
fs::path GameFolder(const char* prefix) {
  std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) return "";
  const fs::path root = pattern;
  fs::create_directories(root / "m");
  fs::create_directories(root / "run");
  return root;
}

// The surroundings of a headless run with its private folders in root.
std::string HeadlessRun(const fs::path& root) {
  return "ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR='" + root.string() +
         "/run' XDG_CONFIG_HOME='" + root.string() + "/config' ";
}

TEST(MediaGameTest, PackagedSoundSongAndVideosPlay) {
  const fs::path root = GameFolder("qv-media-game");
  ASSERT_FALSE(root.empty());
  std::ofstream(root / "g.qva") << kProgram;
  const std::vector<uint8_t> xm = Song();
  std::ofstream(root / "m" / "song.xm", std::ios::binary)
      .write(reinterpret_cast<const char*>(xm.data()), static_cast<std::streamsize>(xm.size()));
  ASSERT_EQ(std::system(("sox -n -r 22050 -b 16 -c 1 '" + (root / "m" / "beep.wav").string() + "' synth 0.3 sine 440")
                            .c_str()),
            0);
  ASSERT_TRUE(video_fixture::Make((root / "m" / "clip.avi").string(), video_fixture::kPattern()));
  ASSERT_TRUE(video_fixture::Make((root / "m" / "red.avi").string(),
                                  "-f lavfi -i color=c=red:size=32x16:rate=10 -t 0.5 -c:v rawvideo -pix_fmt bgr24"));
  // Built, then run from another folder: the media can only come from the package.
  const std::string script = "cd '" + root.string() + "' && '" QV_EXECUTABLE "' build g.qva -o game --media m >/dev/null && "
                             "rm -r m && mkdir play && mv game play/ && cd play && " + HeadlessRun(root) + "./game";
  const int status = std::system(script.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(root / "play" / "result.txt", std::ios::binary);
  std::string result((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::erase(result, '\r');  // each written string ends in CR LF
  EXPECT_EQ(result,
            "sizes 64 48 32 16\n"
            "started 1 1 1 1\n"
            "ended 0 0 0\n"
            "red 15 15 0\n");  // red (its top four bits) where the second video lies, and not beside it
  // The run's extracted media went with it.
  EXPECT_TRUE(!fs::exists(root / "run" / "quorvanel") || fs::is_empty(root / "run" / "quorvanel"));
  fs::remove_all(root);
}

// An 8 x 8 picture of one colour, as a 24-bit BMP file.
std::string OneColourBmp(uint8_t r, uint8_t g, uint8_t b) {
  auto word = [](uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
    return out;
  };
  std::string pixels;
  for (int i = 0; i < 64; ++i) pixels += {static_cast<char>(b), static_cast<char>(g), static_cast<char>(r)};
  return "BM" + word(54 + 192, 4) + word(0, 4) + word(54, 4) + word(40, 4) + word(8, 4) + word(8, 4) + word(1, 2) +
         word(24, 2) + word(0, 4) + word(192, 4) + word(2835, 4) + word(2835, 4) + word(0, 4) + word(0, 4) + pixels;
}

// A square of 10 facing both ways, textured with tex.bmp.
constexpr const char* kTexturedModel = R"(xof 0302txt 0032
Mesh {
 4;
 -5.0;-5.0;0.0;, 5.0;-5.0;0.0;, 5.0;5.0;0.0;, -5.0;5.0;0.0;;
 4;
 3;0,1,2;, 3;0,2,3;, 3;0,2,1;, 3;0,3,2;;
 MeshMaterialList { 1; 4; 0,0,0,0;;
  Material { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; TextureFilename { "tex.bmp"; } } }
 MeshTextureCoords { 4; 0.0;1.0;, 1.0;1.0;, 1.0;0.0;, 0.0;0.0;; }
}
)";

// Run from its source folder: a green-textured cube made static and saved as a level (the
// level file and its texture beside it).
constexpr const char* kMakeLevel = R"(autocam off
sync on
ink rgb(0, 255, 0), 0
box 0, 0, 31, 31
get image 1, 0, 0, 32, 32
cls
make object cube 1, 10
position object 1, 8, 0, 30
texture object 1, 1
make static object 1, 0
save static objects "level.dat"
)";

// The red model on the left, the green level on the right, before a blue backdrop.
constexpr const char* kTexturedGame = R"(autocam off
sync on
load object "model.x", 1
set object full bright 1, 1
position object 1, -8, 0, 30
load static objects "level.dat"
position camera 0, 0, 0
point camera 0, 0, 30
color backdrop rgb(0, 0, 255)
backdrop on
sync
sync
m = point(200, 240)
l = point(440, 240)
open to write 1, "result.txt"
write string 1, "model " + str$(rgbr(m)) + "," + str$(rgbg(m)) + "," + str$(rgbb(m)) + " level " + str$(rgbr(l)) + "," + str$(rgbg(l)) + "," + str$(rgbb(l))
close file 1
)";

// A game's .x model and saved static level draw with their textures: the package lookup
// extracts each texture under its own extension, which the picture decoder goes by, and a
// level's textures are named after the level as the program names it, not after the copy
// extracted from the package.
TEST(MediaGameTest, PackagedModelAndLevelDrawTextured) {
  const fs::path root = GameFolder("qv-textured-game");
  ASSERT_FALSE(root.empty());
  std::ofstream(root / "m" / "tex.bmp", std::ios::binary) << OneColourBmp(255, 0, 0);
  std::ofstream(root / "m" / "model.x") << kTexturedModel;
  std::ofstream(root / "m" / "level.qva") << kMakeLevel;
  std::ofstream(root / "g.qva") << kTexturedGame;
  const std::string env = HeadlessRun(root);
  const std::string script = "cd '" + root.string() + "/m' && " + env + "'" QV_EXECUTABLE "' run level.qva --headless && "
                             "rm level.qva && cd .. && '" QV_EXECUTABLE "' build g.qva -o game --media m >/dev/null && "
                             "rm -r m && mkdir play && mv game play/ && cd play && " + env + "./game";
  const int status = std::system(script.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(root / "play" / "result.txt", std::ios::binary);
  std::string result((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::erase(result, '\r');
  int mr = -1, mg = -1, mb = -1, lr = -1, lg = -1, lb = -1;
  ASSERT_EQ(std::sscanf(result.c_str(), "model %d,%d,%d level %d,%d,%d", &mr, &mg, &mb, &lr, &lg, &lb), 6) << result;
  EXPECT_TRUE(mr > 200 && mg < 60 && mb < 60) << "the model's red texture: " << result;
  EXPECT_TRUE(lg > 50 && lr < 30 && lb < 30) << "the level's green texture: " << result;
  fs::remove_all(root);
}

}  // namespace
