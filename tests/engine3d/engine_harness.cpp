// The engine test harness: program, pools and registrations for the whole test process.
#include "tests/engine3d/engine_harness.h"

#include "graphics2d/graphics2d.h"
#include "tests/asm/qvasm.h"

#include <cstring>

namespace {

class EngineEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    const std::vector<uint8_t> file = qvasm::ProgramBuilder().Build();
    ASSERT_TRUE(LoadCompiledProgramFromMemory(file.data(), file.size(), nullptr));
    RegisterGraphics2DPools();
    RegisterEngine3dPools();
    ASSERT_TRUE(CreateRecordPools());
    ASSERT_TRUE(RegisterEngine3dCommands());
    ASSERT_TRUE(RegisterGraphics2DCommands());  // images for the textures objects are made with
  }
  void TearDown() override {
    ShutdownScene3D();
    FreeRecordPools();
    FreeCompiledProgram();
  }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

}  // namespace

std::vector<VariableSlot*> RunCommand(int command, std::initializer_list<Arg> args) {
  return qvasm::CallCommand(command, args);
}

int TakeError() {
  const int number = RuntimeErrorNumber();
  ClearRuntimeError();
  return number;
}

void ExpectErrors(std::initializer_list<ErrorCase> cases) {
  for (const ErrorCase& c : cases) {
    RunCommand(c.command, c.args);
    EXPECT_EQ(TakeError(), c.error) << "command " << c.command;
  }
}

float FloatValue(int command, std::initializer_list<Arg> operands) {
  std::vector<Arg> all{Arg(-12345.0f)};
  all.insert(all.end(), operands.begin(), operands.end());
  VariableSlot* result = nullptr;
  switch (all.size()) {
    case 1: result = RunCommand(command, {all[0]})[0]; break;
    case 2: result = RunCommand(command, {all[0], all[1]})[0]; break;
    case 3: result = RunCommand(command, {all[0], all[1], all[2]})[0]; break;
    default: ADD_FAILURE() << "too many operands";
  }
  return result ? result->asFloat : 0.0f;
}

int32_t IntValue(int command, std::initializer_list<Arg> operands) {
  std::vector<Arg> all{Arg(-12345)};
  all.insert(all.end(), operands.begin(), operands.end());
  VariableSlot* result = nullptr;
  switch (all.size()) {
    case 1: result = RunCommand(command, {all[0]})[0]; break;
    case 2: result = RunCommand(command, {all[0], all[1]})[0]; break;
    case 3: result = RunCommand(command, {all[0], all[1], all[2]})[0]; break;
    default: ADD_FAILURE() << "too many operands";
  }
  return result ? result->asInt : 0;
}

void EngineTest::SetUp() {
  Device3dInstall(Device3dOpenRecorder());
  InitScene3D(nullptr);
  ClearRuntimeError();
}

void EngineTest::TearDown() {
  ReleaseScene3D();
  Device3dActive().Close();
  Device3dInstall(nullptr);
  ClearRuntimeError();
}

std::string TextValue(int command, std::initializer_list<Arg> operands) {
  std::vector<Arg> all{Arg("<unset>")};
  all.insert(all.end(), operands.begin(), operands.end());
  if (all.size() != 3) {
    ADD_FAILURE() << "text values take two operands here";
    return "";
  }
  VariableSlot* result = RunCommand(command, {all[0], all[1], all[2]})[0];
  return result != nullptr && result->asText != nullptr ? result->asText : "";
}
