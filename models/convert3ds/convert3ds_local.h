// Declarations shared by the 3DS converter's chunk reader and its .x text writer.
// The writer emits fixed .x text lines into a growing string; the reader calls it in file order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "math3d/math3d.h"

// Converts a 3DS image in memory into .x text: 0; a file that is not 3DS gives the header only.
int32_t Convert3dsImage(const uint8_t* bytes, size_t size, std::string& out);

// A keyframe of the converter's tracks: frame number and 3 (position, scale) or 4 (w, x, y, z
// rotation) values.
struct Key3ds {
  int32_t frame = 0;
  float values[4] = {0, 0, 0, 0};
};

struct KeyframeTrack3ds {
  int32_t nodeId = -1;
  std::string name;
  std::vector<Key3ds> positions, rotations, scales;
};

// The .x text writer of the converter. Element names are made safe: every character other than
// A-Z, a-z and 0-9 becomes '_'. Numbers never come out as "inf" or "nan".
namespace xtext3ds {
void Header(std::string& out);
void Material(std::string& out, std::string_view name, const float face[4], float power,
              const float specular[3], const float emissive[3], bool textured,
              std::string_view textureFile);
void FrameHeader(std::string& out, std::string_view name);
void FrameEnd(std::string& out);
void FrameTransform(std::string& out, const Matrix4& matrix);
void MeshHeader(std::string& out, std::string_view name);
void MeshEnd(std::string& out);
void VectorList(std::string& out, const std::vector<float>& xyz);
void FaceList(std::string& out, const std::vector<uint32_t>& corners);
void MaterialList(std::string& out, std::string_view materialName);
void TextureCoordinates(std::string& out, const std::vector<float>& uv);
void AnimationSet(std::string& out, const std::vector<KeyframeTrack3ds>& tracks);
std::string SafeName(std::string_view name);
}  // namespace xtext3ds
