// FTP listings as servers write them: MLSD facts, Unix and DOS LIST lines, NLST names, and
// the names that never reach a program (folder parts, "." and "..", control characters).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ftp.h"

namespace {

struct Listed {
  std::string name;
  bool folder;
  uint64_t size;
  bool operator==(const Listed& other) const {
    return name == other.name && folder == other.folder && size == other.size;
  }
};

std::vector<Listed> Parse(const std::string& text, PlatformFtpListingForm form) {
  std::vector<Listed> listed;
  for (const PlatformFtpEntry& entry : PlatformParseFtpListing(text, form)) listed.push_back({entry.name, entry.folder, entry.size});
  return listed;
}

TEST(FtpListing, EveryCommonFormGivesNamesTypesAndSizes) {
  using Form = PlatformFtpListingForm;
  const struct {
    const char* what;
    Form form;
    std::string text;
    std::vector<Listed> listed;
  } cases[] = {
      {"MLSD", Form::kMachine,
       "type=cdir;modify=1; .\r\ntype=pdir; ..\r\nType=Dir;Modify=20240101; sub\r\nsize=12;type=file; a b.txt\r\n",
       {{"sub", true, 0}, {"a b.txt", false, 12}}},
      {"Unix LIST", Form::kLong,
       "total 12\n"
       "drwxr-xr-x    2 0        0            4096 Dec 11 04:09 sub\n"
       "-rw-r--r--    1 ftp      ftp         52301 Jan  3  2023 old file.zip\n"
       "-rw-r--r--    1 owner            7 Dec 11 04:09 no-group.txt\n"  // some servers leave the group out
       "lrwxrwxrwx    1 0        0               7 Dec 11 04:09 latest -> old file.zip\n",
       {{"sub", true, 0}, {"old file.zip", false, 52301}, {"no-group.txt", false, 7}, {"latest", false, 7}}},
      {"DOS LIST", Form::kLong,
       "12-11-24  04:09AM       <DIR>          Sub Folder\r\n12-11-24  10:30PM                 1234 report.txt\r\n",
       {{"Sub Folder", true, 0}, {"report.txt", false, 1234}}},
      {"NLST", Form::kNames, "a.txt\r\nsub\r\n", {{"a.txt", false, 0}, {"sub", false, 0}}},
      // A listed name is one file name: what has a folder part never reaches the program.
      {"names with folder parts", Form::kNames,
       "../../x\nsub/../../x.txt\n/abs\na\\..\\..\\b\n..\n.\nbad\x01name\nplain\n", {{"plain", false, 0}}},
      {"lines that are no entries", Form::kLong, "garbage\n-rw-r--r-- 1 a b 12 Foo 11 04:09 x\n\n", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.text, c.form), c.listed) << c.what;
}

}  // namespace
