// A game built with its media: a WAV, an XM song and two AVI videos packed in with
// `quorvanel build --media` play from the package when the game runs headless. The program
// itself asks whether each played and writes what it saw to a file the test reads.
#include <sys/wait.h>
#include <unistd.h>

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

TEST(MediaGameTest, PackagedSoundSongAndVideosPlay) {
  std::string pattern = (fs::temp_directory_path() / "qv-media-game-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path root = pattern;
  fs::create_directories(root / "m");
  fs::create_directories(root / "run");
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
                             "rm -r m && mkdir play && mv game play/ && cd play && ASAN_OPTIONS=detect_leaks=0 "
                             "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR='" +
                             root.string() + "/run' XDG_CONFIG_HOME='" + root.string() + "/config' ./game";
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

}  // namespace
