// The checksum that closes a package: XXH64 as its authors publish it (values from Debian's
// libxxhash), the same whether the bytes come whole or in pieces of any size.
#include <gtest/gtest.h>

#include <string>

#include "platform/package_format.h"

namespace {

TEST(PackageChecksum, MatchesTheAlgorithmInPiecesOfAnySize) {
  std::string long773;
  for (int round = 0; round < 3; ++round)
    for (int i = 0; i < 256; ++i) long773 += static_cast<char>(i);
  long773 += "tail!";
  const struct {
    std::string bytes;
    uint64_t value;
  } kCases[] = {{"", 0xef46db3751d8e999ull},
                {"a", 0xd24ec4f1a98c6e5bull},
                {"abc", 0x44bc2cf5ad770999ull},
                {"quorvanel", 0xc3b50a89c8ede7e6ull},
                {long773, 0x26bbff34e506daffull}};
  for (const auto& c : kCases) {
    PackageChecksum whole;
    whole.Add(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(whole.Value(), c.value) << c.bytes.size() << " bytes";
    for (size_t piece : {1, 7, 31, 33, 100}) {
      PackageChecksum pieces;
      for (size_t at = 0; at < c.bytes.size(); at += piece)
        pieces.Add(c.bytes.data() + at, std::min(piece, c.bytes.size() - at));
      EXPECT_EQ(pieces.Value(), c.value) << c.bytes.size() << " bytes in pieces of " << piece;
    }
  }
}

}  // namespace
