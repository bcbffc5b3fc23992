// The recording device: calls logged with their arguments, state kept like a device's, and
// the active-device table filling the slots a back-end leaves empty.
#include "platform/device3d_record.h"

#include <gtest/gtest.h>

TEST(Device3dRecord, LogsCallsAndKeepsBuffersAndLights) {
  Device3dInstall(Device3dOpenRecorder());
  Device3d& device = Device3dActive();
  EXPECT_STREQ(device.name, "Record");

  const Device3dVertexBuffer buffer = device.CreateVertexBuffer(3);
  Device3dVertex* vertices = device.LockVertexBuffer(buffer);
  ASSERT_NE(vertices, nullptr);
  vertices[2] = Device3dVertex{1, 2, 3, 0, 0, 1, 0.5f, 0.25f};
  device.UnlockVertexBuffer(buffer);
  EXPECT_EQ((*Device3dRecordedVertices(buffer))[2].z, 3.0f);

  float world[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {5, 6, 7, 1}};
  device.SetTransform(Device3dTransform::kWorld, world);
  const Device3dTexture texture = device.CreateTexture(2, 2, nullptr);
  device.SetTexture(texture);
  const uint16_t indices[] = {0, 1, 2};
  device.DrawIndexedPrimitiveVB(buffer, 0, 3, indices, 3);
  const Device3dRecordedCall& draw = Device3dRecordedCalls().back();
  EXPECT_EQ(draw.op, Device3dOp::kDrawIndexedPrimitiveVB);
  EXPECT_EQ(draw.args[0], buffer);
  EXPECT_EQ(draw.args[3], 3u);
  EXPECT_EQ(draw.args[4], texture);  // the texture in force
  EXPECT_EQ(draw.values[12], 5.0f);  // the world transform in force
  EXPECT_EQ(draw.indices, std::vector<uint16_t>({0, 1, 2}));
  float back[4][4];
  device.GetTransform(Device3dTransform::kWorld, back);
  EXPECT_EQ(back[3][2], 7.0f);

  Device3dLight light{};
  light.type = kLightPoint;
  light.range = 50;
  device.SetLight(12, light);
  device.LightEnable(12, true);
  bool enabled = false;
  ASSERT_NE(Device3dRecordedLight(12, &enabled), nullptr);
  EXPECT_TRUE(enabled);
  EXPECT_EQ(Device3dRecordedLight(12, nullptr)->range, 50.0f);
  device.SetLight(12, light);  // setting again keeps it enabled
  Device3dRecordedLight(12, &enabled);
  EXPECT_TRUE(enabled);

  device.SetRenderState(Device3dState::kFillMode, kFillWireframe);
  EXPECT_EQ(device.GetRenderState(Device3dState::kFillMode), kFillWireframe);
  EXPECT_EQ(Device3dRecordCount(Device3dOp::kSetRenderState), 1u);

  EXPECT_EQ(Device3dRecordLiveVertexBuffers(), 1u);
  EXPECT_EQ(Device3dRecordLiveTextures(), 1u);
  device.ReleaseVertexBuffer(buffer);
  device.ReleaseTexture(texture);
  EXPECT_EQ(Device3dRecordLiveVertexBuffers(), 0u);
  EXPECT_EQ(Device3dRecordLiveTextures(), 0u);
  EXPECT_EQ(Device3dRecordedTexture(), 0u);
  device.Close();
  Device3dInstall(nullptr);
}

TEST(Device3dRecord, EmptySlotsBecomeNoOps) {
  Device3d partial{};
  partial.name = "Partial";
  Device3dInstall(&partial);
  Device3d& device = Device3dActive();
  EXPECT_FALSE(device.BeginScene());
  EXPECT_EQ(device.CreateVertexBuffer(10), 0u);
  EXPECT_EQ(device.LockVertexBuffer(1), nullptr);
  float m[4][4];
  device.GetTransform(Device3dTransform::kView, m);
  EXPECT_EQ(m[2][2], 1.0f);
  Device3dClaimCpuSide();
  Device3dInstall(nullptr);
  EXPECT_STREQ(Device3dActive().name, "None");
}
