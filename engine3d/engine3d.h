// The 3D engine's front door: scene set-up, camera, lights, textures, objects, animation and
// the per-frame render, with the command families the player registers.
#pragma once
#include <cstdint>

#include "math3d/math3d.h"
#include "runtime/runtime.h"

struct Device3d;
struct Surface;

// ---------------------------------------------------------------------------------------
// Start-up, wiring and the per-frame hooks
// ---------------------------------------------------------------------------------------

// main.cpp registers the engine's record pools (lights, objects, meshes, textures) before
// the player starts, and every 3D command family once at start-up. Registering the pools
// also hands the models and collision libraries their host callbacks.
void RegisterEngine3dPools();
bool RegisterEngine3dCommands();
// main.cpp: fills the runtime's 3D hooks (scene reset, backdrop, render, animation); the
// scene renders into the back buffer the given function returns (the 2D display's).
void InstallEngine3dHooks(RuntimeHooks& hooks, Surface* (*backBuffer)());
// The scene reset at the start of a run (after the display exists): resets camera, fog and
// backdrop. With a device installed (tests install the recorder first) it also sets the
// device's defaults and makes light 0; otherwise the run's first 3D command opens the OpenGL
// device on the back buffer and does that then, so 2D and text programs never load it.
void InitScene3D(Surface* backBuffer);
// Whether this run's scene has its device set up (false until the first 3D command when the
// scene reset found none); tests and the frame hooks read it.
bool Scene3DDeviceSetUp();
// After the display was reset (mode change, lost device): sends the device its states,
// camera, lights and every object's vertex buffers again.
void RestoreScene3DAfterReset();
// End of a run: releases every object, light, texture and mesh; the device stays open.
void ReleaseScene3D();
// Shut-down: ReleaseScene3D, then closes the device.
void ShutdownScene3D();

// ---------------------------------------------------------------------------------------
// Camera (read by the static world's culling and the 3D sound listener)
// ---------------------------------------------------------------------------------------

struct CameraState {
  float position[3];
  float target[3];
  float angles[3];          // radians
  float previousAngles[3];  // copied at the end of every render
  int32_t viewMode;         // 0 look-at, 1 angles, 2 turned matrix
  uint8_t rotationOrder;    // 1 = x angle first (XYZ), 0 = z first (ZYX)
  uint8_t autoCamera;       // 1: new objects place the camera in front of them
  uint8_t occlusion;        // occlusion switch of the static world, 1 by default
  float nearPlane, farPlane, fov;
  Matrix4 turned;           // orientation kept by the turn commands
  Matrix4 view;             // the device's view transform
  Matrix4 projection;       // the device's projection transform
  Matrix4 world;            // the world transform the static world draws under
};
const CameraState& Camera();
// The camera's combined rotation and translation (its view matrix) into out.
void BuildCameraMatrix(Matrix4& out);

// The device light index of a light number (its record's pool index); -1 without the light.
int32_t LightDeviceIndex(int32_t number);

// ---------------------------------------------------------------------------------------
// Textures (used by the models library through its host callbacks)
// ---------------------------------------------------------------------------------------

// Texture number of a file's texture: shared through the cache (reference + 1) or loaded;
// -1 when it cannot be loaded.
int32_t GetTextureByFile(const char* fileName, int32_t flag);
// Texture number of a solid colour 0xRRGGBB, shared through the cache under its decimal text.
int32_t GetColorTexture(uint32_t rgb);
// Texture of an image's pixels (colour-keyed texels see through); -1 without the image.
int32_t GetImageTexture(int32_t imageNumber, int32_t flag);
// Drops one reference; at zero (or forced) the texture and its cache entry go.
void ReleaseTexture(int32_t texture, int32_t force);
bool TextureIsCached(int32_t texture);
// Sets the texture's surface as the device's stage-0 texture (0 = none).
void SetDeviceTexture(int32_t texture);
int32_t TextureReferenceCount(int32_t texture);  // 0 for a texture not in the cache
int32_t LiveTextureCount();

// The per-frame statistic every mesh draw adds its index count to.
void AddDrawnIndices(uint32_t count);
uint32_t DrawnIndexCount();
