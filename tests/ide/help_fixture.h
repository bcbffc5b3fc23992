// A help folder of the test's own with pages it writes, a viewer over it, and the fixed-width
// measurer the layout tests measure with (half the font's height a character).
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ide/help/help.h"

inline int FixedWidth(const std::string& text, const HelpFont& font) {
  int count = 0;
  for (unsigned char c : text) count += c >= 32;
  return count * (font.height / 2);
}
inline const HelpMeasurer kFixedMeasurer{FixedWidth};

class HelpPagesFixture : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    base = std::filesystem::temp_directory_path() /
           ("qv_help_" + std::to_string(getpid()) + "_" + info->test_suite_name() + "_" + info->name());
    std::filesystem::remove_all(base);
    std::filesystem::create_directories(base / "help");
    viewer.SetHelpRoot((base / "help").string() + "/");
  }
  void TearDown() override { std::filesystem::remove_all(base); }
  // Writes a page below the help folder ("../x" lands beside it).
  void Write(const std::string& name, const std::string& text) {
    const std::filesystem::path path = base / "help" / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  // A page of n paragraphs.
  static std::string LongPage(const std::string& word, int n) {
    std::string page;
    for (int i = 0; i < n; ++i) page += "<P>" + word + " paragraph " + std::to_string(i) + "</P>\r\n";
    return page;
  }
  void Layout() { viewer.LayoutHelpPage(kFixedMeasurer); }

  std::filesystem::path base;
  HelpViewer viewer;
};
