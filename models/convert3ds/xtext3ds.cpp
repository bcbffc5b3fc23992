// The 3DS converter's .x text output: header, materials, frames, meshes with normals and
// texture coordinates, and the animation set, each as the fixed lines the .x reader expects.
#include "models/convert3ds/convert3ds_local.h"
#include "models/models_local.h"

namespace xtext3ds {
namespace {

void Line(std::string& out, std::string_view text) {
  out.append(text);
  out += '\n';
}

// Appends numbers joined by `separator`, then `end`.
void Numbers(std::string& out, const float* values, int count, const char* separator,
             const char* end) {
  for (int i = 0; i < count; i++) {
    if (i) out += separator;
    XAppendFloat(out, values[i]);
  }
  out += end;
  out += '\n';
}

}  // namespace

std::string SafeName(std::string_view name) {
  std::string safe(name);
  for (char& c : safe) {
    bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!keep) c = '_';
  }
  return safe;
}

void Header(std::string& out) {
  for (const char* line : {"xof 0302txt 0064", "Header {", "1;", "0;", "1;", "}", ""})
    Line(out, line);
}

void Material(std::string& out, std::string_view name, const float face[4], float power,
              const float specular[3], const float emissive[3], bool textured,
              std::string_view textureFile) {
  Line(out, "Material x3ds_mat_" + SafeName(name) + " {");
  Numbers(out, face, 4, ", ", ";;");
  Numbers(out, &power, 1, "", ";");
  Numbers(out, specular, 3, ", ", ";;");
  Numbers(out, emissive, 3, ", ", ";;");
  if (textured) {
    Line(out, "TextureFilename {");
    out += '"';
    // The .x text has no escapes: a quote inside the name would end the string early.
    for (char c : textureFile) out += c == '"' ? '\'' : c;
    out += "\";\n";
    Line(out, "}");
  }
  Line(out, "}");
  Line(out, "");
}

void FrameHeader(std::string& out, std::string_view name) {
  Line(out, "Frame x3ds_" + SafeName(name) + " {");
}

void FrameEnd(std::string& out) {
  Line(out, "}");
  Line(out, "");
}

void FrameTransform(std::string& out, const Matrix4& matrix) {
  Line(out, "FrameTransformMatrix {");
  for (int row = 0; row < 4; row++) Numbers(out, matrix.m[row], 4, ", ", row < 3 ? "," : ";;");
  Line(out, "}");
}

void MeshHeader(std::string& out, std::string_view name) {
  Line(out, "Mesh " + SafeName(name) + " {");
}

void MeshEnd(std::string& out) { Line(out, "}"); }

void VectorList(std::string& out, const std::vector<float>& xyz) {
  size_t count = xyz.size() / 3;
  XAppendInt(out, static_cast<long long>(count));
  out += ";\n";
  for (size_t i = 0; i < count; i++) Numbers(out, &xyz[i * 3], 3, "; ", i + 1 < count ? ";," : ";;");
}

void FaceList(std::string& out, const std::vector<uint32_t>& corners) {
  size_t count = corners.size() / 3;
  XAppendInt(out, static_cast<long long>(count));
  out += ";\n";
  for (size_t i = 0; i < count; i++) {
    out += "3;";
    for (int k = 0; k < 3; k++) {
      if (k) out += ',';
      XAppendInt(out, corners[i * 3 + k]);
    }
    out += i + 1 < count ? ";,\n" : ";;\n";
  }
}

void MaterialList(std::string& out, std::string_view materialName) {
  for (const char* line : {"MeshMaterialList {", "1;", "1;", "0;;"}) Line(out, line);
  Line(out, "{x3ds_mat_" + SafeName(materialName) + "}");
  Line(out, "}");
  Line(out, "");
}

void TextureCoordinates(std::string& out, const std::vector<float>& uv) {
  size_t count = uv.size() / 2;
  XAppendInt(out, static_cast<long long>(count));
  out += ";\n";
  for (size_t i = 0; i < count; i++) {
    float pair[2] = {uv[i * 2], 1.0f - uv[i * 2 + 1]};
    Numbers(out, pair, 2, ";", i + 1 < count ? ";," : ";;");
  }
}

namespace {

// One AnimationKey block: type, count, and per key "frame; values-count; values;;" followed
// by ',' or ';'.
void KeyBlock(std::string& out, int type, const std::vector<Key3ds>& keys, int valueCount) {
  Line(out, "AnimationKey {");
  XAppendInt(out, type);
  out += ";\n";
  XAppendInt(out, static_cast<long long>(keys.size()));
  out += ";\n";
  for (size_t i = 0; i < keys.size(); i++) {
    XAppendInt(out, keys[i].frame);
    out += "; ";
    XAppendInt(out, valueCount);
    out += "; ";
    for (int v = 0; v < valueCount; v++) {
      if (v) out += ", ";
      XAppendFloat(out, keys[i].values[v]);
    }
    out += i + 1 < keys.size() ? ";;,\n" : ";;;\n";
  }
  Line(out, "}");
}

}  // namespace

void AnimationSet(std::string& out, const std::vector<KeyframeTrack3ds>& tracks) {
  if (tracks.empty()) return;
  Line(out, "AnimationSet x3ds_animset_0 {");
  int written = 0;
  for (const KeyframeTrack3ds& track : tracks) {
    if (XSameWord(track.name, "$$$DUMMY")) continue;
    Line(out, "Animation x3ds_anim_" + std::to_string(written++) + " {");
    Line(out, "{x3ds_" + SafeName(track.name) + "}");
    if (!track.rotations.empty()) KeyBlock(out, 0, track.rotations, 4);
    bool unitScale = track.scales.size() == 1 && track.scales[0].values[0] == 1.0f &&
                     track.scales[0].values[1] == 1.0f && track.scales[0].values[2] == 1.0f;
    if (!track.scales.empty() && !unitScale) KeyBlock(out, 1, track.scales, 3);
    if (!track.positions.empty()) KeyBlock(out, 2, track.positions, 3);
    Line(out, "}");
  }
  Line(out, "}");
}

}  // namespace xtext3ds
