// The operand id bands: the type letter each band answers with.
#include <gtest/gtest.h>

#include "compiler/compiler_local.h"

TEST(OperandIds, TypeLetterOfEachBand) {
  struct Band {
    int32_t first, last;
    char letter;
  };
  static const Band kBands[] = {
      {10000, 10999, 'l'}, {11000, 11999, 'f'}, {12000, 12999, 's'}, {13000, 14999, 'l'},
      {15000, 16999, 'f'}, {17000, 18999, 's'}, {19000, 20999, 'l'}, {21000, 22999, 'f'},
      {23000, 24999, 's'}, {25000, 34999, 's'}, {35000, 36999, 0},   {37000, 90000, 0},
      {0, 9999, 0},
  };
  for (const Band& band : kBands) {
    EXPECT_EQ(OperandTypeLetter(band.first), band.letter) << band.first;
    EXPECT_EQ(OperandTypeLetter(band.last), band.letter) << band.last;
  }
}
