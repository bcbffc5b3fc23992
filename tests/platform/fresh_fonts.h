// Fonts as on a fresh machine for tests that draw text: fontconfig sees only the given files of
// /usr/share/fonts/truetype/dejavu (by default those of fonts-dejavu-core, which has no oblique
// or italic file) with the system's rules, whatever else this machine has installed.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// Made before the first font and removed after the last test; fontconfig reads its
// configuration once per process, so under --gtest_repeat the folder comes back at the same place.
class FreshMachineFonts : public ::testing::Environment {
 public:
  explicit FreshMachineFonts(std::vector<std::string> files = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf",
                                                               "DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf",
                                                               "DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf"})
      : files_(std::move(files)) {}
  void SetUp() override {
    namespace fs = std::filesystem;
    if (folder_.empty()) {
      char pattern[] = "/tmp/qv-fonts-XXXXXX";
      ASSERT_NE(mkdtemp(pattern), nullptr);
      folder_ = pattern;
    }
    fs::create_directories(folder_ / "fonts");
    for (const std::string& file : files_)
      fs::create_symlink(fs::path("/usr/share/fonts/truetype/dejavu") / file, folder_ / "fonts" / file);
    std::ofstream conf(folder_ / "fonts.conf");
    conf << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n<fontconfig>\n"
         << "<dir>" << (folder_ / "fonts").string() << "</dir>\n<cachedir>" << (folder_ / "cache").string()
         << "</cachedir>\n";
    // The system's rules (aliases, synthetic styles), but not the user's own fonts and files.
    std::error_code error;
    for (const auto& rule : fs::directory_iterator("/etc/fonts/conf.d", error)) {
      const std::string name = rule.path().filename().string();
      if (rule.path().extension() == ".conf" && name != "50-user.conf" && name != "51-local.conf")
        conf << "<include ignore_missing=\"yes\">" << rule.path().string() << "</include>\n";
    }
    conf << "</fontconfig>\n";
    setenv("FONTCONFIG_FILE", (folder_ / "fonts.conf").c_str(), 1);
  }
  void TearDown() override {
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
  }
  static const std::filesystem::path& Folder() { return folder_; }

 private:
  std::vector<std::string> files_;
  static inline std::filesystem::path folder_;
};
