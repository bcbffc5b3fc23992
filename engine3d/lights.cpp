// Lights by number: the pooled light records, the light id map, the device lights made from
// them (pool index = device light index), and the light commands and values.
#include "engine3d/engine3d_local.h"
#include "runtime/command_numbers.h"

#include <cmath>
#include <cstring>

namespace {

struct LightRecord {
  RecordLinks links;
  int32_t inUse;
  int32_t enabled;  // what the program asked for
  int32_t active;   // enabled on the device
  int32_t type;     // 1 point, 2 spot, 3 directional
  float position[3];
  float angles[3];  // degrees, copied from an object by 7314
  int32_t objectMatrixFlag;
  Matrix4 objectMatrix;
  float direction[3];
  float spotInner, spotOuter;  // radians
  float colour[3];
  float range;
};

// Created at start-up and freed at shut-down through the runtime's pool registry.
RecordPool g_lightPool = MakeRecordPool("lights", sizeof(LightRecord), 8, 4);

// Light number -> pool index + 1; 0 = none. Light 0 is never in the map: its index is kept
// apart. Both are cleared with every light at the end of a run (ReleaseAllLights).
int32_t g_lightMap[65536];
int32_t g_lightZeroIndex = -1;

LightRecord* LightAt(int32_t index) { return RecordAt<LightRecord>(g_lightPool, index); }

void LogEngine(const char* text) { LogErrorEntry("ENGINEERROR", text); }

void DisableDeviceLight(int32_t index) {
  LightRecord* light = LightAt(index);
  if (light->active == 1) {
    Dev().LightEnable(static_cast<uint32_t>(index), false);
    light->active = 0;
  }
}

bool CreateDeviceLight(int32_t index) {
  Device3dLight light{};
  light.type = kLightDirectional;
  light.diffuse = Device3dColor{1, 1, 1, 0};
  light.direction[0] = 0.2f;
  light.direction[1] = -0.7f;
  light.direction[2] = 0.1f;
  if (!Dev().SetLight(static_cast<uint32_t>(index), light)) {
    LogEngine("Failed to set Light Object Properties");
    return false;
  }
  if (!Dev().LightEnable(static_cast<uint32_t>(index), true)) {
    LogEngine("Failed to enable Light Object");
    return false;
  }
  return true;
}

bool SetLightProperties(int32_t index) {
  LightRecord* record = LightAt(index);
  Device3dLight light{};
  light.type = static_cast<uint32_t>(record->type);
  light.diffuse = Device3dColor{record->colour[0], record->colour[1], record->colour[2], 0};
  light.range = record->range;
  light.attenuation0 = 1.0f;
  light.attenuation1 = 0.0f;
  light.attenuation2 = static_cast<float>(1.0 / std::pow(record->range / 3.0, 2.0));
  if (record->type == kLightPoint || record->type == kLightSpot) {
    std::memcpy(light.position, record->position, sizeof light.position);
    light.falloff = 1.0f;
  }
  if (record->type == kLightSpot || record->type == kLightDirectional)
    std::memcpy(light.direction, record->direction, sizeof light.direction);
  if (record->type == kLightSpot) {
    light.theta = record->spotInner;
    light.phi = record->spotOuter;
  }
  const uint32_t deviceIndex = static_cast<uint32_t>(index);
  if (!Dev().SetLight(deviceIndex, light)) {
    LogEngine("Failed to set Light Object Properties");
    return false;
  }
  if (record->enabled == 1 && record->active == 0) {
    if (!Dev().LightEnable(deviceIndex, true)) {
      LogEngine("Failed to enable Light Object");
      return false;
    }
    record->active = 1;
  } else if (record->enabled == 0 && record->active == 1) {
    if (!Dev().LightEnable(deviceIndex, false)) {
      LogEngine("Failed to disable Light Object");
      return false;
    }
    record->active = 0;
  }
  return true;
}

// A direction whose components' absolute values sum to 1. A target on the start point
// gives (0, 0, 1) rather than dividing zero by zero.
void DirectionByAbsSum(const float from[3], float x, float y, float z, float out[3]) {
  const float d[3] = {x - from[0], y - from[1], z - from[2]};
  const float sum = std::fabs(d[0]) + std::fabs(d[1]) + std::fabs(d[2]);
  if (sum == 0.0f) {
    out[0] = out[1] = 0.0f;
    out[2] = 1.0f;
    return;
  }
  for (int i = 0; i < 3; ++i) out[i] = d[i] / sum;
}

// The shared number checks: 0..65535 (7301) and an existing light (7303). Returns the pool
// index or -1 after raising the error.
int32_t ExistingLight(int32_t number) {
  if (number < 0 || number > 65535) {
    RuntimeError(7301);
    return -1;
  }
  if (number != 0 && g_lightMap[number] < 1) {
    RuntimeError(7303);
    return -1;
  }
  return number == 0 ? g_lightZeroIndex : g_lightMap[number] - 1;
}

void FinishLightCommand(int operands) {
  AdvanceOperands(operands);
  EndSliceAfterDrawing();
}

void CmdMakeLight() {
  const int32_t number = IntOperand(0);
  FinishLightCommand(1);
  if (number < 0 || number > 65535) return RuntimeError(7301);
  if (number == 0 || g_lightMap[number] != 0) return RuntimeError(7302);
  const int32_t index = AllocRecord(g_lightPool);
  if (index < 0) return;
  if (!CreateDeviceLight(index)) {  // refused by the device: no light, the number stays free
    FreeRecord(g_lightPool, index);
    return RuntimeError(7304);
  }
  g_lightMap[number] = index + 1;
  LightRecord* light = LightAt(index);
  light->inUse = 1;
  light->enabled = 1;
  light->active = 1;
  light->type = kLightPoint;
  light->colour[0] = light->colour[1] = light->colour[2] = 1.0f;
  light->direction[2] = 1.0f;
  light->range = 3000.0f;
  SetLightProperties(index);
}

void CmdDeleteLight() {
  const int32_t number = IntOperand(0);
  FinishLightCommand(1);
  if (number < 0 || number > 65535) return RuntimeError(7301);
  if (number == 0) return RuntimeError(7305);
  if (g_lightMap[number] < 1) return RuntimeError(7303);
  const int32_t index = g_lightMap[number] - 1;
  g_lightMap[number] = 0;
  DisableDeviceLight(index);
  LightAt(index)->inUse = 0;
  FreeRecord(g_lightPool, index);
}

// Commands of the form (light, x, y, z): read all four, check, then apply.
template <void (*Apply)(LightRecord*, float, float, float)>
void LightXyzCommand() {
  const int32_t number = IntOperand(0);
  const float x = FloatOperand(1), y = FloatOperand(2), z = FloatOperand(3);
  FinishLightCommand(4);
  const int32_t index = ExistingLight(number);
  if (index < 0) return;
  Apply(LightAt(index), x, y, z);
  SetLightProperties(index);
}

void ApplyPointLight(LightRecord* light, float x, float y, float z) {
  light->type = kLightPoint;
  light->position[0] = x;
  light->position[1] = y;
  light->position[2] = z;
}
void ApplyDirectionalLight(LightRecord* light, float x, float y, float z) {
  const float origin[3] = {0, 0, 0};
  light->type = kLightDirectional;
  DirectionByAbsSum(origin, x, y, z, light->direction);
}
void ApplyPositionLight(LightRecord* light, float x, float y, float z) {
  if (light->type != kLightPoint && light->type != kLightSpot) return;
  light->position[0] = x;
  light->position[1] = y;
  light->position[2] = z;
}
void ApplyRotateLight(LightRecord* light, float x, float y, float z) {
  if (light->type != kLightDirectional && light->type != kLightSpot) return;
  Matrix4 turn;
  RotationFromAngles(turn, x * kDegreesToRadians, y * kDegreesToRadians, z * kDegreesToRadians);
  Vector3 direction{0, 0, 1.0f};
  TransformPoint(direction, direction, turn);
  light->direction[0] = direction.x;
  light->direction[1] = direction.y;
  light->direction[2] = direction.z;
  light->objectMatrixFlag = 0;
}
void ApplyPointLightAt(LightRecord* light, float x, float y, float z) {
  DirectionByAbsSum(light->position, x, y, z, light->direction);
  light->objectMatrixFlag = 0;
}
void ApplyColorLight(LightRecord* light, float r, float g, float b) {
  light->colour[0] = r / 255.0f;
  light->colour[1] = g / 255.0f;
  light->colour[2] = b / 255.0f;
}

void CmdSetSpotLight() {
  const int32_t number = IntOperand(0);
  const float inner = FloatOperand(1), outer = FloatOperand(2);
  FinishLightCommand(3);
  const int32_t index = ExistingLight(number);
  if (index < 0) return;
  LightRecord* light = LightAt(index);
  light->type = kLightSpot;
  light->spotInner = inner * kDegreesToRadians;
  light->spotOuter = outer * kDegreesToRadians;
  SetLightProperties(index);
}

void CmdColorLightRgb() {
  const int32_t number = IntOperand(0);
  const uint32_t rgb = static_cast<uint32_t>(IntOperand(1));
  FinishLightCommand(2);
  const int32_t index = ExistingLight(number);
  if (index < 0) return;
  ApplyColorLight(LightAt(index), static_cast<float>((rgb >> 16) & 255), static_cast<float>((rgb >> 8) & 255),
                  static_cast<float>(rgb & 255));
  SetLightProperties(index);
}

void CmdColorLight() {
  const int32_t number = IntOperand(0);
  const int32_t r = IntOperand(1), g = IntOperand(2), b = IntOperand(3);
  FinishLightCommand(4);
  const int32_t index = ExistingLight(number);
  if (index < 0) return;
  ApplyColorLight(LightAt(index), static_cast<float>(r), static_cast<float>(g), static_cast<float>(b));
  SetLightProperties(index);
}

template <int32_t Enabled>
void ShowOrHideLight() {
  const int32_t number = IntOperand(0);
  FinishLightCommand(1);
  const int32_t index = ExistingLight(number);
  if (index < 0) return;
  LightAt(index)->enabled = Enabled;
  SetLightProperties(index);
}

void CmdSetLightRange() {
  const int32_t number = IntOperand(0);
  const float range = FloatOperand(1);
  FinishLightCommand(2);
  const int32_t index = ExistingLight(number);
  if (index < 0) return;
  LightAt(index)->range = range;
  SetLightProperties(index);
}

// 7313 and 7314 read (light, object): the light checks, then the object's facts; the pool
// index, or -1 when either check failed.
int32_t LightWithObject(float position[3], float angles[3], int32_t* flag, Matrix4* own) {
  const int32_t number = IntOperand(0), object = IntOperand(1);
  FinishLightCommand(2);
  const int32_t index = ExistingLight(number);
  if (index < 0 || !ObjectForLight(object, position, angles, flag, own)) return -1;
  return index;
}

void CmdPositionLightAtObject() {
  float position[3], angles[3];
  int32_t flag;
  Matrix4 own;
  const int32_t index = LightWithObject(position, angles, &flag, &own);
  if (index < 0) return;
  std::memcpy(LightAt(index)->position, position, sizeof position);
  SetLightProperties(index);
}

void CmdSetLightToObjectOrientation() {
  float position[3], angles[3];
  int32_t flag;
  Matrix4 own;
  const int32_t index = LightWithObject(position, angles, &flag, &own);
  if (index < 0) return;
  LightRecord* light = LightAt(index);
  Matrix4 turn;
  if (flag != 1) {
    light->objectMatrixFlag = 0;
    std::memcpy(light->angles, angles, sizeof angles);
    RotationFromAngles(turn, angles[0] * kDegreesToRadians, angles[1] * kDegreesToRadians,
                       angles[2] * kDegreesToRadians);
  } else {
    light->objectMatrixFlag = 1;
    light->objectMatrix = own;
    MatrixIdentity(turn);
    MatrixInverse(turn, light->objectMatrix);
  }
  Vector3 direction{0, 0, 1.0f};
  TransformPoint(direction, direction, turn);
  light->direction[0] = direction.x;
  light->direction[1] = direction.y;
  light->direction[2] = direction.z;
  SetLightProperties(index);
}

void CmdNormalizeNormalsOn() {
  Scene().normalizeNormals = true;
  AdvanceOperands(0);
}
void CmdNormalizeNormalsOff() {
  Scene().normalizeNormals = false;
  AdvanceOperands(0);
}

// Values: no existence test; a number out of range leaves the result alone, a number
// without a light reads light 0.
const LightRecord* LightForValue(int32_t number) {
  if (number < 0 || number > 65535 || g_lightZeroIndex < 0) return nullptr;
  return LightAt(number == 0 || g_lightMap[number] == 0 ? g_lightZeroIndex : g_lightMap[number] - 1);
}

template <typename Read>
void LightValue(Read read) {
  const int32_t number = IntOperand(1);
  const LightRecord* light = LightForValue(number);
  if (light != nullptr) read(light);
  AdvanceOperands(2);
}

void CmdLightExist() {
  const int32_t number = IntOperand(1);
  if (number >= 0 && number <= 65535) WriteIntResult(number == 0 || g_lightMap[number] >= 1 ? 1 : 0);
  AdvanceOperands(2);
}
void CmdLightType() {
  LightValue([](const LightRecord* l) { WriteIntResult(l->type >= 1 && l->type <= 3 ? l->type : 0); });
}
void CmdLightPositionX() { LightValue([](const LightRecord* l) { WriteFloatResult(l->position[0]); }); }
void CmdLightPositionY() { LightValue([](const LightRecord* l) { WriteFloatResult(l->position[1]); }); }
void CmdLightPositionZ() { LightValue([](const LightRecord* l) { WriteFloatResult(l->position[2]); }); }
void CmdLightDirectionX() { LightValue([](const LightRecord* l) { WriteFloatResult(l->direction[0]); }); }
void CmdLightDirectionY() { LightValue([](const LightRecord* l) { WriteFloatResult(l->direction[1]); }); }
void CmdLightDirectionZ() { LightValue([](const LightRecord* l) { WriteFloatResult(l->direction[2]); }); }
void CmdLightVisible() { LightValue([](const LightRecord* l) { WriteIntResult(l->enabled == 1 ? 1 : 0); }); }
void CmdLightRange() { LightValue([](const LightRecord* l) { WriteFloatResult(l->range); }); }

const CommandEntry kLightCommands[] = {
    {kMakeLight, CmdMakeLight},
    {kDeleteLight, CmdDeleteLight},
    {kSetPointLight, LightXyzCommand<ApplyPointLight>},
    {kSetSpotLight, CmdSetSpotLight},
    {kSetDirectionalLight, LightXyzCommand<ApplyDirectionalLight>},
    {kPositionLight, LightXyzCommand<ApplyPositionLight>},
    {kRotateLight, LightXyzCommand<ApplyRotateLight>},
    {kPointLight, LightXyzCommand<ApplyPointLightAt>},
    {kColorLightRgb, CmdColorLightRgb},
    {kHideLight, ShowOrHideLight<0>},
    {kShowLight, ShowOrHideLight<1>},
    {kPositionLightAtObject, CmdPositionLightAtObject},
    {kSetLightToObjectOrientation, CmdSetLightToObjectOrientation},
    {kColorLight, CmdColorLight},
    {kNormalizeNormalsOn, CmdNormalizeNormalsOn},
    {kNormalizeNormalsOff, CmdNormalizeNormalsOff},
    {kSetLightRange, CmdSetLightRange},
    {kLightExist, CmdLightExist},
    {kLightType, CmdLightType},
    {kLightPositionX, CmdLightPositionX},
    {kLightPositionY, CmdLightPositionY},
    {kLightPositionZ, CmdLightPositionZ},
    {kLightDirectionX, CmdLightDirectionX},
    {kLightDirectionY, CmdLightDirectionY},
    {kLightDirectionZ, CmdLightDirectionZ},
    {kLightVisible, CmdLightVisible},
    {kLightRange, CmdLightRange},
};

}  // namespace

RecordPool* LightPool() { return &g_lightPool; }

bool CreateLight() {
  const int32_t index = AllocRecord(g_lightPool);
  if (index < 0 || !CreateDeviceLight(index)) {
    if (index >= 0) FreeRecord(g_lightPool, index);
    LogEngine("Failed to create a Light Object");
    return false;
  }
  g_lightZeroIndex = index;
  LightRecord* light = LightAt(index);
  light->inUse = 1;
  light->enabled = 1;
  light->active = 1;
  light->type = kLightDirectional;
  light->direction[0] = 0.2f;
  light->direction[1] = -0.7f;
  light->direction[2] = 0.1f;
  light->colour[0] = light->colour[1] = light->colour[2] = 1.0f;
  light->objectMatrixFlag = 0;
  light->range = 3000.0f;
  return SetLightProperties(index);
}

void RecreateLights() {
  for (int32_t index = 0; index < g_lightPool.capacity; ++index) {
    LightRecord* light = LightAt(index);
    if (light->inUse != 1) continue;
    light->active = 0;
    CreateDeviceLight(index);
    light->active = 1;
    SetLightProperties(index);
  }
}

void ReleaseAllLights() {
  // Without a light the map is empty already: a run without 3D never touches its pages.
  if (g_lightPool.records == nullptr || g_lightPool.count == 0) {
    g_lightZeroIndex = -1;
    return;
  }
  for (int32_t index = 0; index < g_lightPool.capacity; ++index) {
    LightRecord* light = LightAt(index);
    if (light->inUse != 1) continue;
    DisableDeviceLight(index);
    light->inUse = 0;
    FreeRecord(g_lightPool, index);
  }
  std::memset(g_lightMap, 0, sizeof g_lightMap);
  g_lightZeroIndex = -1;
}

int32_t LightDeviceIndex(int32_t number) {
  if (number < 0 || number > 65535) return -1;
  return number == 0 ? g_lightZeroIndex : g_lightMap[number] - 1;
}

CommandTableView LightCommandTable() { return {kLightCommands, std::size(kLightCommands)}; }
