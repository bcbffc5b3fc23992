// Build-time generator of the built-in shapes (sphere, cube, cone, cylinder, plain): writes
// each as a binary .x mesh of unit size into a C++ source that the engine embeds.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Vertex {
  float x, y, z, nx, ny, nz, u, v;
};

struct Mesh {
  std::vector<Vertex> vertices;
  std::vector<uint32_t> triangles;  // three indices each

  uint32_t Add(const Vertex& v) {
    vertices.push_back(v);
    return static_cast<uint32_t>(vertices.size() - 1);
  }
  // Front faces run clockwise seen from outside (cull counter-clockwise): the triangle is
  // turned round when its corners' cross product points against the outward direction.
  void Triangle(uint32_t a, uint32_t b, uint32_t c, float ox, float oy, float oz) {
    const Vertex &p = vertices[a], &q = vertices[b], &r = vertices[c];
    const float ux = q.x - p.x, uy = q.y - p.y, uz = q.z - p.z;
    const float vx = r.x - p.x, vy = r.y - p.y, vz = r.z - p.z;
    const float cx = uy * vz - uz * vy, cy = uz * vx - ux * vz, cz = ux * vy - uy * vx;
    if (cx * ox + cy * oy + cz * oz < 0) std::swap(b, c);
    triangles.insert(triangles.end(), {a, b, c});
  }
  void Quad(uint32_t a, uint32_t b, uint32_t c, uint32_t d, float ox, float oy, float oz) {
    Triangle(a, b, c, ox, oy, oz);
    Triangle(a, c, d, ox, oy, oz);
  }
};

constexpr float kPi = 3.14159265358979f;
constexpr int kSlices = 16, kStacks = 12;

Mesh Sphere() {
  Mesh mesh;
  for (int stack = 0; stack <= kStacks; ++stack) {
    const float theta = kPi * stack / kStacks;
    for (int slice = 0; slice <= kSlices; ++slice) {
      const float phi = 2 * kPi * slice / kSlices;
      const float nx = std::sin(theta) * std::cos(phi), ny = std::cos(theta), nz = std::sin(theta) * std::sin(phi);
      mesh.Add({nx * 0.5f, ny * 0.5f, nz * 0.5f, nx, ny, nz, static_cast<float>(slice) / kSlices,
                static_cast<float>(stack) / kStacks});
    }
  }
  for (int stack = 0; stack < kStacks; ++stack) {
    for (int slice = 0; slice < kSlices; ++slice) {
      const uint32_t a = stack * (kSlices + 1) + slice, b = a + 1, c = a + kSlices + 1, d = c + 1;
      const Vertex& centre = mesh.vertices[a];
      if (stack != 0) mesh.Triangle(a, b, d, centre.nx + mesh.vertices[d].nx, centre.ny + mesh.vertices[d].ny,
                                    centre.nz + mesh.vertices[d].nz);
      if (stack != kStacks - 1)
        mesh.Triangle(a, d, c, centre.nx + mesh.vertices[d].nx, centre.ny + mesh.vertices[d].ny,
                      centre.nz + mesh.vertices[d].nz);
    }
  }
  return mesh;
}

Mesh Cube() {
  Mesh mesh;
  const float n[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
  for (const auto& face : n) {
    // Two axes across the face.
    float s[3] = {face[1] != 0 ? 1.0f : 0, 0, 0}, t[3] = {0, 0, 0};
    if (face[0] != 0) s[2] = 1; else if (face[2] != 0) s[0] = 1;
    if (face[1] != 0) t[2] = 1; else t[1] = 1;
    uint32_t corners[4];
    const float signs[4][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};
    for (int i = 0; i < 4; ++i) {
      const float a = signs[i][0] * 0.5f, b = signs[i][1] * 0.5f;
      corners[i] = mesh.Add({face[0] * 0.5f + s[0] * a + t[0] * b, face[1] * 0.5f + s[1] * a + t[1] * b,
                             face[2] * 0.5f + s[2] * a + t[2] * b, face[0], face[1], face[2],
                             signs[i][0] < 0 ? 0.0f : 1.0f, signs[i][1] > 0 ? 0.0f : 1.0f});
    }
    mesh.Quad(corners[0], corners[1], corners[2], corners[3], face[0], face[1], face[2]);
  }
  return mesh;
}

// A disc of radius 0.5 at height y facing up (1) or down (-1).
void Cap(Mesh& mesh, float y, float facing) {
  const uint32_t centre = mesh.Add({0, y, 0, 0, facing, 0, 0.5f, 0.5f});
  uint32_t first = 0;
  for (int slice = 0; slice <= kSlices; ++slice) {
    const float phi = 2 * kPi * slice / kSlices;
    const float c = std::cos(phi), s = std::sin(phi);
    const uint32_t rim = mesh.Add({c * 0.5f, y, s * 0.5f, 0, facing, 0, 0.5f + c * 0.5f, 0.5f - s * 0.5f});
    if (slice > 0) mesh.Triangle(centre, first, rim, 0, facing, 0);
    first = rim;
  }
}

// Cone (top radius 0) or cylinder (top radius 0.5), height 1 centred on the origin.
Mesh Tube(float topRadius) {
  Mesh mesh;
  const float slope = (0.5f - topRadius);  // radius lost over the unit height
  for (int slice = 0; slice <= kSlices; ++slice) {
    const float phi = 2 * kPi * slice / kSlices;
    const float c = std::cos(phi), s = std::sin(phi);
    const float length = std::sqrt(1 + slope * slope);
    const float nx = c / length, ny = slope / length, nz = s / length;
    const float u = static_cast<float>(slice) / kSlices;
    mesh.Add({c * topRadius, 0.5f, s * topRadius, nx, ny, nz, u, 0});
    mesh.Add({c * 0.5f, -0.5f, s * 0.5f, nx, ny, nz, u, 1});
  }
  for (int slice = 0; slice < kSlices; ++slice) {
    const uint32_t top = slice * 2, bottom = top + 1, nextTop = top + 2, nextBottom = top + 3;
    const Vertex& v = mesh.vertices[bottom];
    if (topRadius > 0)
      mesh.Quad(top, nextTop, nextBottom, bottom, v.nx, v.ny, v.nz);
    else
      mesh.Triangle(top, nextBottom, bottom, v.nx + mesh.vertices[nextBottom].nx, v.ny,
                    v.nz + mesh.vertices[nextBottom].nz);
  }
  if (topRadius > 0) Cap(mesh, 0.5f, 1);
  Cap(mesh, -0.5f, -1);
  return mesh;
}

// One unit square in the x-y plane facing -z (towards the default camera).
Mesh Plain() {
  Mesh mesh;
  const uint32_t a = mesh.Add({-0.5f, 0.5f, 0, 0, 0, -1, 0, 0}), b = mesh.Add({0.5f, 0.5f, 0, 0, 0, -1, 1, 0});
  const uint32_t c = mesh.Add({0.5f, -0.5f, 0, 0, 0, -1, 1, 1}), d = mesh.Add({-0.5f, -0.5f, 0, 0, 0, -1, 0, 1});
  mesh.Quad(a, b, c, d, 0, 0, -1);
  return mesh;
}

// Binary .x writer: 16-bit token ids, lists with a 32-bit count.
class BinaryX {
 public:
  BinaryX() { Raw("xof 0302bin 0032"); }
  void Name(const char* name) {
    Word(1);
    Dword(static_cast<uint32_t>(std::strlen(name)));
    Raw(name);
  }
  void Open() { Word(10); }
  void Close() { Word(11); }
  void Integers(const std::vector<uint32_t>& values) {
    Word(6);
    Dword(static_cast<uint32_t>(values.size()));
    for (uint32_t value : values) Dword(value);
  }
  void Floats(const std::vector<float>& values) {
    Word(7);
    Dword(static_cast<uint32_t>(values.size()));
    for (float value : values) {
      uint32_t bits;
      std::memcpy(&bits, &value, sizeof bits);
      Dword(bits);
    }
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  void Raw(const char* text) { bytes_.insert(bytes_.end(), text, text + std::strlen(text)); }
  void Word(uint16_t value) {
    bytes_.push_back(static_cast<uint8_t>(value));
    bytes_.push_back(static_cast<uint8_t>(value >> 8));
  }
  void Dword(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<uint8_t>(value >> shift));
  }
  std::vector<uint8_t> bytes_;
};

std::vector<uint8_t> WriteMesh(const Mesh& mesh) {
  BinaryX x;
  const uint32_t vertexCount = static_cast<uint32_t>(mesh.vertices.size());
  const uint32_t faceCount = static_cast<uint32_t>(mesh.triangles.size() / 3);
  std::vector<float> positions, normals, uvs;
  for (const Vertex& v : mesh.vertices) {
    positions.insert(positions.end(), {v.x, v.y, v.z});
    normals.insert(normals.end(), {v.nx, v.ny, v.nz});
    uvs.insert(uvs.end(), {v.u, v.v});
  }
  std::vector<uint32_t> faces{faceCount};
  for (uint32_t f = 0; f < faceCount; ++f)
    faces.insert(faces.end(), {3, mesh.triangles[f * 3], mesh.triangles[f * 3 + 1], mesh.triangles[f * 3 + 2]});
  x.Name("Mesh");
  x.Name("Shape");
  x.Open();
  x.Integers({vertexCount});
  x.Floats(positions);
  x.Integers(faces);
  x.Name("MeshNormals");
  x.Open();
  x.Integers({vertexCount});
  x.Floats(normals);
  x.Integers(faces);
  x.Close();
  x.Name("MeshTextureCoords");
  x.Open();
  x.Integers({vertexCount});
  x.Floats(uvs);
  x.Close();
  x.Close();
  return x.Bytes();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_shapes OUTPUT.cpp\n");
    return 2;
  }
  struct Shape {
    int resource;
    const char* name;
    Mesh mesh;
  } shapes[] = {{189, "sphere", Sphere()}, {190, "cube", Cube()}, {191, "cone", Tube(0)},
                {194, "cylinder", Tube(0.5f)}, {193, "plain", Plain()}};
  std::string out =
      "// Generated at build time by tools/make_shapes: the built-in shapes as binary .x meshes\n"
      "// of unit size. Do not edit.\n#include <cstddef>\n#include <cstdint>\n\n";
  for (const Shape& shape : shapes) {
    const std::vector<uint8_t> bytes = WriteMesh(shape.mesh);
    out += "extern const uint8_t kShape" + std::to_string(shape.resource) + "[] = {";
    for (size_t i = 0; i < bytes.size(); ++i) out += (i % 24 == 0 ? "\n    " : " ") + std::to_string(bytes[i]) + ",";
    out += "\n};\nextern const size_t kShape" + std::to_string(shape.resource) + "Size = " +
           std::to_string(bytes.size()) + ";\n\n";
  }
  FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr || std::fwrite(out.data(), 1, out.size(), file) != out.size() || std::fclose(file) != 0) {
    std::fprintf(stderr, "make_shapes: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
