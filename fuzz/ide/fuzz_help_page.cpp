// Fuzz target: random bytes as a help page (pages are outside files) and as the help index:
// entities, the layout at several scroll positions, link hits, following the first link, and
// context lookups with a line taken from the same bytes. No crash, no hang, no leak.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "ide/help/help.h"

static int Width(const std::string& text, const HelpFont& font) { return static_cast<int>(text.size()) * (font.height / 2); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  static const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("fuzz_help_page_" + std::to_string(getpid()));
  std::filesystem::create_directories(root / "sub");
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const char* name : {"index.htm", "sub/page.htm"}) std::ofstream(root / name, std::ios::binary) << bytes;

  static const HelpMeasurer measurer{Width};
  for (const char* name : {"index.htm", "sub/page.htm"}) {
    HelpViewer viewer;
    viewer.SetHelpRoot(root.string() + "/");
    if (!viewer.OpenHelpHome(name)) continue;
    viewer.LayoutHelpPage(measurer);
    for (int step = 0; step < 4; ++step) {
      viewer.HelpPageDown();
      viewer.LayoutHelpPage(measurer);
    }
    for (const HelpLink& link : viewer.links()) viewer.FindHelpLinkAt(link.x1, link.y1);
    if (!viewer.links().empty()) {
      viewer.NavigateHelp(viewer.links()[0].target);
      viewer.HelpBack();
      viewer.HelpForward();
    }
  }
  HelpIndex index;
  index.LoadText(bytes);
  const std::string line = bytes.substr(0, std::min<size_t>(bytes.size(), 200));
  FindContextPage(index, line, static_cast<int>(size % 64));
  return 0;
}
