// Light commands and values: number checks, the device lights they make (pool index as the
// device index), direction by absolute sum, colours, show/hide and the values' fallbacks.
#include "tests/engine3d/engine_harness.h"

namespace {

class LightsTest : public EngineTest {};

// The device light of a light number (its pool index).
const Device3dLight* DeviceLight(int32_t number, bool* enabled = nullptr) {
  const int32_t index = LightDeviceIndex(number);
  EXPECT_GE(index, 0) << "light " << number;
  return Device3dRecordedLight(static_cast<uint32_t>(index), enabled);
}

}  // namespace

TEST_F(LightsTest, LightZeroIsTheDefaultDirectionalLight) {
  bool enabled = false;
  const Device3dLight* light = DeviceLight(0, &enabled);
  ASSERT_NE(light, nullptr);
  EXPECT_TRUE(enabled);
  EXPECT_EQ(light->type, kLightDirectional);
  EXPECT_FLOAT_EQ(light->direction[1], -0.7f);
  EXPECT_FLOAT_EQ(light->attenuation2, static_cast<float>(1.0 / ((3000.0 / 3.0) * (3000.0 / 3.0))));
  EXPECT_EQ(IntValue(kLightType, {0}), 3);
  EXPECT_EQ(IntValue(kLightType, {77}), 3);  // no light 77: light 0 is read
  EXPECT_EQ(IntValue(kLightExist, {0}), 1);
  EXPECT_EQ(IntValue(kLightExist, {77}), 0);
  EXPECT_EQ(IntValue(kLightExist, {70000}), -12345);  // out of range: result untouched
}

TEST_F(LightsTest, NumberChecks) {
  ExpectErrors({
      {kMakeLight, {0}, 7302},          {kMakeLight, {65536}, 7301},        {kMakeLight, {-1}, 7301},
      {kDeleteLight, {0}, 7305},        {kDeleteLight, {5}, 7303},          {kHideLight, {5}, 7303},
      {kSetLightRange, {70000, 1.0f}, 7301}, {kSetPointLight, {9, 1.0f, 2.0f, 3.0f}, 7303},
  });
  RunCommand(kMakeLight, {5});
  EXPECT_EQ(TakeError(), 0);
  RunCommand(kMakeLight, {5});
  EXPECT_EQ(TakeError(), 7302);
}

// A light the device refuses is not made: the number stays free and absent.
TEST_F(LightsTest, ALightTheDeviceRefusesIsNotMade) {
  Device3dActive().Close();
  Device3dInstall(nullptr);  // no device: every light is refused
  for (int attempt = 0; attempt < 2; ++attempt) {
    RunCommand(kMakeLight, {5});
    EXPECT_EQ(TakeError(), 7304) << attempt;
    EXPECT_EQ(IntValue(kLightExist, {5}), 0) << attempt;
  }
}

TEST_F(LightsTest, MakeSetAndDeleteReachTheDevice) {
  RunCommand(kMakeLight, {5});
  RunCommand(kMakeLight, {9});
  EXPECT_NE(LightDeviceIndex(5), LightDeviceIndex(9));
  EXPECT_NE(LightDeviceIndex(5), LightDeviceIndex(0));
  const Device3dLight* point = DeviceLight(5);
  ASSERT_NE(point, nullptr);
  EXPECT_EQ(point->type, kLightPoint);
  EXPECT_EQ(IntValue(kLightType, {5}), 1);

  RunCommand(kSetDirectionalLight, {5, 2.0f, -1.0f, 1.0f});
  EXPECT_FLOAT_EQ(FloatValue(kLightDirectionX, {5}), 0.5f);
  EXPECT_FLOAT_EQ(FloatValue(kLightDirectionY, {5}), -0.25f);
  EXPECT_FLOAT_EQ(FloatValue(kLightDirectionZ, {5}), 0.25f);
  EXPECT_EQ(DeviceLight(5)->type, kLightDirectional);
  EXPECT_FLOAT_EQ(DeviceLight(5)->direction[0], 0.5f);

  // Position applies only to point and spot lights; rotate only to spot and directional.
  RunCommand(kPositionLight, {5, 7.0f, 7.0f, 7.0f});
  EXPECT_EQ(FloatValue(kLightPositionX, {5}), 0.0f);
  RunCommand(kRotateLight, {9, 0.0f, 90.0f, 0.0f});
  EXPECT_EQ(FloatValue(kLightDirectionZ, {9}), 1.0f);
  RunCommand(kRotateLight, {5, 0.0f, 90.0f, 0.0f});
  EXPECT_NEAR(FloatValue(kLightDirectionX, {5}), 1.0f, 1e-6);
  EXPECT_EQ(TakeError(), 0);

  RunCommand(kSetSpotLight, {9, 20.0f, 40.0f});
  RunCommand(kSetPointLight, {9, 1.0f, 2.0f, 3.0f});
  EXPECT_EQ(FloatValue(kLightPositionZ, {9}), 3.0f);
  RunCommand(kPointLight, {9, 1.0f, 2.0f, 7.0f});  // towards +z from its place
  EXPECT_FLOAT_EQ(FloatValue(kLightDirectionZ, {9}), 1.0f);
  RunCommand(kSetLightRange, {9, 30.0f});
  EXPECT_EQ(FloatValue(kLightRange, {9}), 30.0f);
  EXPECT_FLOAT_EQ(DeviceLight(9)->attenuation2, 0.01f);

  const int32_t deleted = LightDeviceIndex(5);
  RunCommand(kDeleteLight, {5});
  bool enabled = true;
  Device3dRecordedLight(static_cast<uint32_t>(deleted), &enabled);
  EXPECT_FALSE(enabled);
  EXPECT_EQ(IntValue(kLightExist, {5}), 0);
}

TEST_F(LightsTest, ColoursAndShowHide) {
  RunCommand(kMakeLight, {3});
  RunCommand(kColorLightRgb, {3, 0xFF8000});
  EXPECT_FLOAT_EQ(DeviceLight(3)->diffuse.r, 1.0f);
  EXPECT_NEAR(DeviceLight(3)->diffuse.g, 0.50196f, 1e-5);
  EXPECT_FLOAT_EQ(DeviceLight(3)->diffuse.b, 0.0f);
  RunCommand(kColorLight, {3, 510, 0, 0});
  EXPECT_FLOAT_EQ(DeviceLight(3)->diffuse.r, 2.0f);

  bool enabled = false;
  RunCommand(kHideLight, {3});
  DeviceLight(3, &enabled);
  EXPECT_FALSE(enabled);
  EXPECT_EQ(IntValue(kLightVisible, {3}), 0);
  RunCommand(kShowLight, {3});
  DeviceLight(3, &enabled);
  EXPECT_TRUE(enabled);
  EXPECT_EQ(IntValue(kLightVisible, {3}), 1);
  EXPECT_EQ(TakeError(), 0);
}

// A light put at an object takes its place, and turned to the object's orientation shines the
// way the object faces; the object is checked after the light.
TEST_F(LightsTest, LightsTakeAnObjectsPlaceAndOrientation) {
  RunCommand(kAutoCameraOff, {});
  RunCommand(kMakeObjectCube, {3, 1.0f});
  RunCommand(kPositionObject, {3, 1.0f, 2.0f, 3.0f});
  RunCommand(kRotateObject, {3, 0.0f, 90.0f, 0.0f});
  RunCommand(kMakeLight, {5});
  RunCommand(kPositionLightAtObject, {5, 3});
  EXPECT_EQ(FloatValue(kLightPositionX, {5}), 1.0f);
  EXPECT_EQ(FloatValue(kLightPositionY, {5}), 2.0f);
  EXPECT_EQ(FloatValue(kLightPositionZ, {5}), 3.0f);
  EXPECT_EQ(DeviceLight(5)->position[1], 2.0f);
  RunCommand(kSetSpotLight, {5, 10.0f, 20.0f});
  RunCommand(kSetLightToObjectOrientation, {5, 3});
  EXPECT_NEAR(FloatValue(kLightDirectionX, {5}), 1.0f, 1e-6);
  EXPECT_NEAR(FloatValue(kLightDirectionZ, {5}), 0.0f, 1e-6);
  EXPECT_NEAR(DeviceLight(5)->direction[0], 1.0f, 1e-6);
  EXPECT_EQ(TakeError(), 0);
  ExpectErrors({
      {kPositionLightAtObject, {5, 4}, 7008},         {kPositionLightAtObject, {6, 3}, 7303},
      {kPositionLightAtObject, {70000, 3}, 7301},     {kSetLightToObjectOrientation, {5, 0}, 7006},
      {kSetLightToObjectOrientation, {6, 4}, 7303},
  });
  // The light 0 follows objects as well.
  RunCommand(kPositionObject, {3, -4.0f, 0.5f, 0.0f});
  RunCommand(kPositionLightAtObject, {0, 3});
  EXPECT_EQ(FloatValue(kLightPositionY, {0}), 0.5f);
}
