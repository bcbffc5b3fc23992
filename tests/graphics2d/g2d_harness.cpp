// The 2D display test harness: a headless display, handler calls with operands and frames.
#include "tests/graphics2d/g2d_harness.h"

#include <cstdlib>
#include <filesystem>

#include "graphics2d/image_files.h"

namespace g2d {

// The variable table the handlers read their operands from while a test runs.
static VariableSlot gSlots[kVariableSlots];

void DisplayTest::OpenDisplay(bool fullScreen) {
  static bool poolsRegistered = false;
  if (!poolsRegistered) {
    RegisterGraphics2DPools();
    poolsRegistered = true;
  }
  if (BackBuffer() != nullptr) ReleaseDisplay(false);
  FreeRecordPools();
  ClearRuntimeError();
  SetWarningsOff(false);
  ClearCommandRegistry();
  ASSERT_TRUE(RegisterGraphics2DCommands());
  ASSERT_TRUE(CreateRecordPools());
  MutableSettings().pasteTwiceCount = 1;
  ASSERT_TRUE(InitDisplay(fullScreen, false, false));
  Dispatcher.drawStop = 1;
  VariableTable = gSlots;
  char pattern[] = "/tmp/qv-g2d-XXXXXX";
  const char* made = mkdtemp(pattern);
  tempDir_ = made != nullptr ? made : "/tmp";
}

void DisplayTest::TearDown() {
  ReleaseDisplay(false);
  FreeRecordPools();
  ClearCommandRegistry();
  ClearRuntimeError();
  for (VariableSlot& slot : gSlots) {
    if (&slot - gSlots >= kFirstTextTemp && &slot - gSlots < kFirstTextTemp + 1000) FreeText(slot.asText);
    slot.raw = 0;
  }
  VariableTable = nullptr;
  std::filesystem::remove_all(tempDir_);
}

int32_t DisplayTest::Run(int command, std::vector<Operand> operands) {
  CommandHandler handler = HandlerForCommand(command);
  EXPECT_NE(handler, nullptr) << "no handler for " << command;
  if (handler == nullptr) return 0;
  std::vector<CodeCell> cells;
  int intSlot = kFirstIntTemp, textSlot = kFirstTextTemp;
  VariableSlot* result = nullptr;
  for (const Operand& operand : operands) {
    VariableSlot* slot;
    if (std::holds_alternative<std::string>(operand)) {
      slot = &gSlots[textSlot++];
      FreeText(slot->asText);
      slot->asText = CopyText(std::get<std::string>(operand).c_str());
    } else {
      slot = &gSlots[intSlot++];
      slot->asInt = std::holds_alternative<int32_t>(operand) ? std::get<int32_t>(operand) : 0;
      if (std::holds_alternative<Result>(operand)) result = slot;
    }
    cells.push_back(reinterpret_cast<CodeCell>(slot));
  }
  cells.push_back(0);
  OperandPointer = cells.data();
  handler();
  EXPECT_EQ(OperandPointer, cells.data() + operands.size()) << "command " << command << " left its operands";
  return result != nullptr ? result->asInt : 0;
}

int DisplayTest::RunForError(int command, std::vector<Operand> operands) {
  ClearRuntimeError();
  Run(command, std::move(operands));
  return TakeError();
}

void DisplayTest::Frame() { Run2DFrameSteps(); }

uint32_t DisplayTest::Pixel(int x, int y) const {
  const Surface* back = BackBuffer();
  return back->pixels[static_cast<size_t>(y) * back->width + x];
}

int DisplayTest::TakeError() {
  const int number = RuntimeErrorNumber();
  ClearRuntimeError();
  return number;
}

std::string DisplayTest::TempPath(const std::string& name) const { return tempDir_ + "/" + name; }

::testing::AssertionResult MatchesReference(const Surface& surface, const std::string& name, int tolerance) {
  const std::string path = std::string(QV_TEST_DATA_DIR) + "/graphics2d/" + name;
  if (std::getenv("QV_UPDATE_REFERENCE") != nullptr) {
    std::filesystem::create_directories(std::string(QV_TEST_DATA_DIR) + "/graphics2d");
    if (!SaveImageFile(path.c_str(), surface, nullptr)) return ::testing::AssertionFailure() << "cannot write " << path;
  }
  std::string why;
  Surface* reference = LoadImageFile(path.c_str(), &why);
  if (reference == nullptr) return ::testing::AssertionFailure() << "no reference " << path << ": " << why;
  ::testing::AssertionResult outcome = ::testing::AssertionSuccess();
  if (reference->width != surface.width || reference->height != surface.height) {
    outcome = ::testing::AssertionFailure() << "size differs from " << name;
  } else {
    int differing = 0;
    for (size_t i = 0; i < surface.pixels.size(); ++i) {
      const uint32_t a = surface.pixels[i] & 0xFFFFFF, b = reference->pixels[i] & 0xFFFFFF;
      for (int shift = 0; shift <= 16; shift += 8)
        if (std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255)) > tolerance) {
          ++differing;
          break;
        }
    }
    if (differing > 0) outcome = ::testing::AssertionFailure() << differing << " pixels differ from " << name;
  }
  SurfaceDestroy(reference);
  return outcome;
}

}  // namespace g2d
