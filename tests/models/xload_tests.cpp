// Tests of .x reading and model building: text and binary files, templates, node ids,
// materials and textures, animation sets, and the refusal of malformed data.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cmath>
#include <cstring>

#include "models/models_local.h"
#include "tests/models/fixtures.h"

namespace {

const MeshNode* FirstMesh(const ModelNode* node) {
  for (; node; node = node->next) {
    if (node->kind == ModelNodeKind::Mesh) return static_cast<const MeshNode*>(node);
    if (const MeshNode* inner = FirstMesh(node->child)) return inner;
  }
  return nullptr;
}

std::vector<const MeshNode*> Meshes(const ModelNode* node) {
  std::vector<const MeshNode*> out;
  for (; node; node = node->next) {
    if (node->kind == ModelNodeKind::Mesh) out.push_back(static_cast<const MeshNode*>(node));
    auto inner = Meshes(node->child);
    out.insert(out.end(), inner.begin(), inner.end());
  }
  return out;
}

ModelResult LoadText(ModelObject& model, const std::string& text) {
  return model.LoadModelXMemory(text.data(), text.size());
}

TEST(XLoad, TextCubeBuildsTreeWithTrianglesAndBox) {
  FakeHost host;
  host.files = {"wood.bmp"};
  ModelObject model;
  ASSERT_EQ(LoadText(model, CubeText()), kModelOk);
  EXPECT_EQ(model.GetModelNodeCount(), 2);
  const ModelNode* root = model.Root();
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(root->name, "root");
  const ModelNode* frame = root->child;
  ASSERT_NE(frame, nullptr);
  EXPECT_STREQ(frame->name, "Box");
  EXPECT_EQ(frame->id, 1);
  const MeshNode* mesh = FirstMesh(root);
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(mesh->indexCount, 36u);  // 6 quads as 12 triangles
  EXPECT_EQ(mesh->id, 1);
  EXPECT_EQ(mesh->texture, 100);
  EXPECT_STREQ(mesh->textureName, "wood.bmp");
  float box[6] = {1e9f, 1e9f, 1e9f, -1e9f, -1e9f, -1e9f};
  model.GetModelBoundingBox(box[0], box[1], box[2], box[3], box[4], box[5]);
  EXPECT_FLOAT_EQ(box[0], 4.0f);
  EXPECT_FLOAT_EQ(box[3], 6.0f);
  EXPECT_FLOAT_EQ(box[1], -1.0f);
  EXPECT_FLOAT_EQ(box[4], 1.0f);
}

TEST(XLoad, BinaryTwinsGiveTheSameTree) {
  FakeHost host;
  host.files = {"wood.bmp"};
  ModelObject text;
  ASSERT_EQ(LoadText(text, CubeText()), kModelOk);
  for (bool doubles : {false, true}) {
    ModelObject binary;
    ASSERT_EQ(LoadText(binary, CubeBinary(doubles)), kModelOk) << doubles;
    EXPECT_EQ(DumpTree(binary.Root()), DumpTree(text.Root())) << doubles;
    EXPECT_EQ(binary.GetModelNodeCount(), 2);
  }
}

TEST(XLoad, FileAndMemoryAndSecondLoad) {
  FakeHost host;
  TempFolder folder;
  ASSERT_TRUE(WriteFile(folder.Path("cube.x"), CubeText()));
  ModelObject model;
  EXPECT_EQ(model.LoadModelX(folder.Path("missing.x").c_str()), kModelFail);
  EXPECT_EQ(model.Root(), nullptr);
  ASSERT_EQ(model.LoadModelX(folder.Path("cube.x").c_str()), kModelOk);
  std::string before = DumpTree(model.Root());
  // A model that has a root refuses a second load and stays as it was.
  EXPECT_EQ(LoadText(model, CubeText()), kModelFail);
  EXPECT_EQ(DumpTree(model.Root()), before);
}

TEST(XRead, HeadersAndSyntaxErrorsAreRefusedWithAReason) {
  struct Case {
    std::string image;
    const char* reason;  // part of the error text
  } cases[] = {
      {"xof 0302tzip0032xxxxxxxx", "compressed"},
      {"xof 0302bzip0032xxxxxxxx", "compressed"},
      {"xyz 0302txt 0032", "not a .x file"},
      {"xof 0302txt 00", "not a .x file"},
      {"xof 0302dat 0032", "unknown .x format"},
      {"xof 0302txt 0016", "float size"},
      {"xof 0302txt 0032 Frame A {", "closing"},
      {"xof 0302txt 0032 Mesh { 3; 1;2;3;, }", "expected a value"},
      {"xof 0302txt 0032 Header { 1; 0; \"x; }", "unterminated string"},
      {"xof 0302txt 0032 Mesh { 4000000000; }", "larger than the file"},
      {"xof 0302txt 0032 template T { array DWORD a[n]; } T { 1; }", "dimension"},
      {"xof 0302txt 0032 template T { Unknown u; }", "unknown template"},
      // Syntax errors name the line and the token.
      {"xof 0302txt 0032\nFrame A {\n  Mesh { 3; 1;2;3;, }", "line 3, at \"}\""},
      {"xof 0302txt 0032\n\nFrame A {", "line 3, at the end of the file"},
  };
  for (const Case& c : cases) {
    XFile file;
    EXPECT_FALSE(XReadMemory(c.image.data(), c.image.size(), file)) << c.image;
    EXPECT_NE(file.error.find(c.reason), std::string::npos) << c.image << " -> " << file.error;
    EXPECT_TRUE(file.objects.empty());
  }
}

// A .x file compressed as the format stores it: the header with "tzip" or "bzip", the size of
// the whole plain file, then blocks of at most blockSize plain bytes, each "CK" and raw
// deflate data that may refer back into the block before it.
std::string CompressX(const std::string& plain, const char* format, size_t blockSize) {
  std::string out = plain.substr(0, 8) + format + plain.substr(12, 4);
  const std::string body = plain.substr(16);
  const uint32_t whole = static_cast<uint32_t>(plain.size());
  out.append(reinterpret_cast<const char*>(&whole), 4);
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  for (size_t at = 0; at < body.size(); at += blockSize) {
    const size_t plainSize = std::min(blockSize, body.size() - at);
    deflateReset(&stream);
    if (at > 0) {
      const size_t keep = std::min<size_t>(at, 32768);
      deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(body.data() + at - keep), static_cast<uInt>(keep));
    }
    std::string packed(deflateBound(&stream, plainSize), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data() + at));
    stream.avail_in = static_cast<uInt>(plainSize);
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = static_cast<uInt>(packed.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    packed.resize(packed.size() - stream.avail_out);
    const uint16_t sizes[2] = {static_cast<uint16_t>(plainSize), static_cast<uint16_t>(packed.size() + 2)};
    out.append(reinterpret_cast<const char*>(sizes), 4);
    out += "CK" + packed;
  }
  deflateEnd(&stream);
  return out;
}

// Compressed text and binary files load as their plain twins do, over one block and over
// many (a text body past 32 KB, whose blocks refer back into the one before).
TEST(XLoad, CompressedFilesLoadLikeTheirPlainTwins) {
  FakeHost host;
  host.files = {"wood.bmp"};
  ModelObject plain;
  ASSERT_EQ(LoadText(plain, CubeText()), kModelOk);
  std::string padded = CubeText();
  std::string comment;
  for (int i = 0; i < 1200; i++) comment += "// padding line " + std::to_string(i) + " of the big file\n";
  padded.insert(17, comment);
  ASSERT_GT(padded.size(), 40000u);
  const struct {
    std::string file;
    const char* what;
  } cases[] = {
      {CompressX(CubeText(), "tzip", 32768), "one text block"},
      {CompressX(padded, "tzip", 32768), "text past 32 KB"},
      {CompressX(padded, "tzip", 1000), "small text blocks"},
      {CompressX(CubeBinary(false), "bzip", 64), "binary blocks"},
  };
  for (const auto& c : cases) {
    ModelObject model;
    ASSERT_EQ(model.LoadModelXMemory(c.file.data(), c.file.size()), kModelOk) << c.what << ": " << model.LastLoadError();
    EXPECT_EQ(DumpTree(model.Root()), DumpTree(plain.Root())) << c.what;
  }
  // Damaged compressed files are refused with the reason, never read past their end.
  std::string damaged = CompressX(padded, "tzip", 1000);
  damaged[damaged.size() / 2] ^= 0x55;
  std::string cut = CompressX(padded, "tzip", 1000);
  cut.resize(cut.size() - 10);
  for (const std::string& bad : {damaged, cut}) {
    ModelObject model;
    EXPECT_EQ(model.LoadModelXMemory(bad.data(), bad.size()), kModelFail);
    EXPECT_NE(model.LastLoadError().find("compressed"), std::string::npos) << model.LastLoadError();
  }
}

// Template names are matched without regard to case, and a texture with no .bmp copy is
// taken by the name as written.
TEST(XLoad, TemplateNamesIgnoreCaseAndTexturesFallBackToTheirOwnName) {
  FakeHost host;
  host.files = {"wood.tga"};
  std::string text = CubeText();
  text.replace(text.find("TextureFilename"), 15, "TextureFileName");
  text.replace(text.find("Frame Box"), 5, "FRAME");
  ModelObject model;
  ASSERT_EQ(LoadText(model, text), kModelOk) << model.LastLoadError();
  const MeshNode* mesh = FirstMesh(model.Root());
  ASSERT_NE(mesh, nullptr);
  EXPECT_STREQ(model.Root()->child->name, "Box");
  EXPECT_EQ(mesh->texture, 100);
  EXPECT_STREQ(mesh->textureName, "wood.tga");
}

TEST(XRead, NestingIsBounded) {
  FakeHost host;
  for (int depth : {150, 5000}) {
    std::string text = "xof 0302txt 0032\n";
    for (int i = 0; i < depth; i++) text += "Frame {\n";
    text += std::string(depth, '}');
    ModelObject model;
    EXPECT_EQ(model.LoadModelXMemory(text.data(), text.size()), depth == 150 ? kModelOk : kModelFail);
    if (depth == 150) {
      EXPECT_EQ(model.GetModelNodeCount(), 151);
    }
  }
  // Long sibling chains are walked without recursion.
  std::string text = "xof 0302txt 0032\n";
  for (int i = 0; i < 100000; i++) text += "Frame{}";
  ModelObject model;
  ASSERT_EQ(model.LoadModelXMemory(text.data(), text.size()), kModelOk);
  EXPECT_EQ(model.GetModelNodeCount(), 100001);
  Matrix4 m;
  model.GetModelFrameMatrix(100000, m);
  EXPECT_EQ(m.m[3][3], 1.0f);
}

TEST(XRead, BinaryTokensThatRunPastTheEndAreRefused) {
  std::vector<std::string> images;
  images.push_back(BinaryXWriter(false).Name("Frame").Raw({1, 0, 255, 255}).Bytes());
  std::string list = BinaryXWriter(false).Name("Mesh").Open().Bytes();
  list += std::string("\x06\x00\xff\xff\xff\x0f", 6);  // an integer list of 268 million
  images.push_back(list);
  images.push_back(BinaryXWriter(false).Name("Header").Open().Token(999).Bytes());
  images.push_back(BinaryXWriter(true).Name("Header").Open().Raw({7, 0, 2, 0, 0, 0, 1}).Bytes());
  for (const std::string& image : images) {
    XFile file;
    EXPECT_FALSE(XReadMemory(image.data(), image.size(), file));
    EXPECT_FALSE(file.error.empty());
  }
}

TEST(XRead, TemplatesDeclaredInTheFileAndUnknownObjects) {
  const std::string text =
      "xof 0302txt 0032\n"
      "template Tagged { <01234567-89AB-CDEF-0123-456789ABCDEF> DWORD n; array WORD w[n]; "
      "STRING label; [...] }\n"
      "Tagged t1 { 2; 7, 8; \"hello\"; Nobody { 1; { anything } } }\n"
      "Stranger s { 1; 2; 3; }\n";
  XFile file;
  ASSERT_TRUE(XReadMemory(text.data(), text.size(), file)) << file.error;
  ASSERT_EQ(file.topLevel.size(), 1u);  // the undeclared object is skipped
  const XObject& tagged = *file.topLevel[0];
  EXPECT_EQ(tagged.type, "Tagged");
  ASSERT_EQ(tagged.data.size(), 4u + 2 * 2 + 4);
  EXPECT_EQ(tagged.data[4], 7);
  EXPECT_EQ(tagged.data[6], 8);
  ASSERT_EQ(tagged.strings.size(), 1u);
  EXPECT_EQ(tagged.strings[0], "hello");
  EXPECT_TRUE(tagged.children.empty());

  // The same kind of declaration in binary tokens: template, DWORD, array FLOAT v[n].
  BinaryXWriter binary(false);
  binary.Token(31).Name("Pair").Open().Token(5).Raw(std::vector<uint8_t>(16, 0xAB));
  binary.Token(41).Name("n").Token(20);
  binary.Token(52).Token(42).Name("v").Token(14).Name("n").Token(15).Token(20);
  binary.Token(14).Token(18).Token(18).Token(18).Token(15).Close();
  binary.Name("Pair").Open().Ints({2}).Floats({1.5, 2.5}).Close();
  ASSERT_TRUE(XReadMemory(binary.Bytes().data(), binary.Bytes().size(), file)) << file.error;
  ASSERT_EQ(file.topLevel.size(), 1u);
  XDataCursor cursor(*file.topLevel[0]);
  EXPECT_EQ(cursor.ReadU32(), 2u);
  EXPECT_FLOAT_EQ(cursor.ReadFloat(), 1.5f);
  EXPECT_FLOAT_EQ(cursor.ReadFloat(), 2.5f);
  EXPECT_FALSE(cursor.failed);

  // A file may redeclare a standard template; its objects then follow the new layout, while
  // templates declared before keep the one they were declared with.
  const std::string redeclared =
      "xof 0302txt 0032\ntemplate Vector { FLOAT x; FLOAT y; }\n"
      "Vector v { 1; 2; }\nMesh m { 1; 1;2;3;; 0;; }\n";
  ASSERT_TRUE(XReadMemory(redeclared.data(), redeclared.size(), file)) << file.error;
  EXPECT_EQ(file.topLevel[0]->data.size(), 8u);
  EXPECT_EQ(file.topLevel[1]->data.size(), 4u + 12 + 4);
}

TEST(XRead, TextLayoutsOfOtherWriters) {
  // CRLF lines, '#' comments, keywords in capitals, numbers without digits before the point or
  // with exponents, names with dots and digits, separators left out or doubled.
  const std::string text =
      "xof 0302txt 0032\r\n# a comment\r\n"
      "TEMPLATE Weights { dword n; ARRAY float w[n]; }\r\n"
      "Weights 01 { 3; -.5, 2.5e-1 ,, 1E+1;; }\r\n"
      "Frame Box01.Mesh{Mesh{3;0;0;0;1;0;0;0;1;0;;1;3;0;1;2;;}}\r\n";
  XFile file;
  ASSERT_TRUE(XReadMemory(text.data(), text.size(), file)) << file.error;
  ASSERT_EQ(file.topLevel.size(), 2u);
  EXPECT_EQ(file.topLevel[0]->name, "01");
  XDataCursor cursor(*file.topLevel[0]);
  EXPECT_EQ(cursor.ReadU32(), 3u);
  for (float expected : {-0.5f, 0.25f, 10.0f}) EXPECT_FLOAT_EQ(cursor.ReadFloat(), expected);
  EXPECT_EQ(file.topLevel[1]->name, "Box01.Mesh");
  ASSERT_EQ(file.topLevel[1]->children.size(), 1u);
  EXPECT_EQ(file.topLevel[1]->children[0].object->data.size(), 4u + 36 + 4 + 16);
}

TEST(XLoad, NodeIdsFollowFileOrder) {
  FakeHost host;
  const std::string text =
      "xof 0302txt 0032\n"
      "Mesh top { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n"
      "Frame A { Frame B { } }\n"
      "Frame C {\n"
      "  Mesh first { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n"
      "  Frame D { }\n"
      "  Mesh second { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n"
      "}\n";
  ModelObject model;
  ASSERT_EQ(LoadText(model, text), kModelOk);
  EXPECT_EQ(model.GetModelNodeCount(), 5);
  EXPECT_EQ(DumpTree(model.Root()).find("mesh 'top' id 0") != std::string::npos, true);
  auto meshes = Meshes(model.Root());
  ASSERT_EQ(meshes.size(), 3u);
  EXPECT_STREQ(meshes[1]->name, "first");
  EXPECT_EQ(meshes[1]->id, 3);
  EXPECT_STREQ(meshes[2]->name, "second");
  EXPECT_EQ(meshes[2]->id, 4);
  // Both hang under frame C (id 3).
  EXPECT_EQ(ModelNodeParent(meshes[1])->id, 3);
  EXPECT_EQ(ModelNodeParent(meshes[2])->id, 3);
}

TEST(XLoad, MaterialsSplitMeshesAndChooseTextures) {
  FakeHost host;
  host.files = {"a.b.bmp"};
  const std::string text =
      "xof 0302txt 0032\n"
      "Material White { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"gone.tga\"; } }\n"
      "Frame F {\n"
      " Mesh M { 5; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;, 2;2;0;;\n"
      "  4; 4;0,1,2,3;, 3;0,1,4;, 3;1,2,4;, 2;0,1;;\n"
      "  MeshMaterialList { 3; 4; 0,2,2,1;;\n"
      "   Material { 0;0.5;0;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"a.b.png\"; } }\n"
      "   {White}\n"
      "   Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; }\n"
      "  }\n"
      " }\n"
      "}\n";
  ModelObject model;
  ASSERT_EQ(LoadText(model, text), kModelOk);
  auto meshes = Meshes(model.Root());
  ASSERT_EQ(meshes.size(), 3u);  // the whole mesh is not kept
  struct Expect {
    const char* name;
    uint32_t triangles;
    int32_t texture;
    const char* textureName;
  } expected[] = {{"M_0", 2, 100, "a.b.bmp"},  // the quad, texture looked up as .bmp
                  {"M_1", 0, 0, ""},  // white, texture missing: none; its 2-corner face is skipped
                  {"M_2", 2, 1000 + 0xFF0000 % 997, "16711680"}};  // a colour texture for red
  for (int i = 0; i < 3; i++) {
    EXPECT_STREQ(meshes[i]->name, expected[i].name);
    EXPECT_EQ(meshes[i]->indexCount / 3, expected[i].triangles) << i;
    EXPECT_EQ(meshes[i]->texture, expected[i].texture) << i;
    EXPECT_STREQ(meshes[i]->textureName, expected[i].textureName) << i;
    EXPECT_EQ(meshes[i]->id, 1);
    EXPECT_EQ(meshes[i]->vertexCount, 5u);
  }
  EXPECT_FLOAT_EQ(meshes[0]->material.diffuse[1], 0.5f);
  EXPECT_FLOAT_EQ(meshes[0]->material.ambient[1], 0.5f);
}

// Face colours are stored as floats: any value may stand there. Each component is times 255,
// truncated, low 8 bits (1.5 gives 0x7E); one past what an integer holds is held at its end.
TEST(XLoad, MaterialColoursPastTheIntegerRangeAreClamped) {
  FakeHost host;
  const std::string text =
      "xof 0302txt 0032\n"
      "Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
      " MeshMaterialList { 1; 1; 0;;\n"
      "  Material { 1e30;1.5;-1e30;1;; 0; 0;0;0;; 0;0;0;; }\n"
      " }\n"
      "}\n";
  ModelObject model;
  ASSERT_EQ(LoadText(model, text), kModelOk);
  auto meshes = Meshes(model.Root());
  ASSERT_EQ(meshes.size(), 1u);
  EXPECT_STREQ(meshes[0]->textureName, std::to_string(0xFF7E00).c_str());
}

TEST(XLoad, MalformedMeshesAreDroppedWithoutHarm) {
  FakeHost host;
  // Templates redeclared with fewer members give data shorter than the loader reads.
  const std::string shortFaces =
      "template MeshFace { DWORD n; }\n"
      "template Mesh { DWORD nVertices; array Vector vertices[nVertices]; DWORD nFaces;"
      " array MeshFace faces[nFaces]; [...] }\n";
  struct Case {
    const char* what;
    std::string templates;
    std::string mesh;
  } cases[] = {
      {"index past the vertices", "", "Mesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,3;; }"},
      {"corner count past the data", shortFaces, "Mesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 2; 3, 9;; }"},
      {"normals past their data", "template MeshNormals { DWORD n; }\n",
       "Mesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshNormals { 3; } }"},
      {"material list past its data", "template MeshMaterialList { DWORD n; DWORD m; }\n",
       "Mesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 99; } }"},
  };
  for (const Case& c : cases) {
    std::string text = "xof 0302txt 0032\n" + c.templates + "Frame F { " + c.mesh + " }";
    ModelObject model;
    ASSERT_EQ(LoadText(model, text), kModelOk) << c.what;
    EXPECT_TRUE(Meshes(model.Root()).empty()) << c.what;
    EXPECT_NE(model.Root()->child, nullptr) << c.what;  // the frame stays
  }
}

TEST(XLoad, MeshOverSixteenBitIndicesIsRefused) {
  FakeHost host;
  for (uint32_t count : {65535u, 65536u}) {
    BinaryXWriter x(false);
    x.Name("Mesh").Name("big").Open().Ints({count});
    x.Floats(std::vector<double>(count * 3, 0.5));
    x.Ints({1, 3, 0, 1, count - 1}).Close();
    ModelObject model;
    ASSERT_EQ(LoadText(model, x.Bytes()), kModelOk);
    EXPECT_EQ(Meshes(model.Root()).size(), count == 65535u ? 1u : 0u) << count;
  }
}

TEST(XLoad, DegenerateTrianglesAddNoNaNToNormals) {
  FakeHost host;
  const std::string text =
      "xof 0302txt 0032\n"
      "Mesh m { 4; 0;0;0;, 1;0;0;, 0;1;0;, 2;0;0;; 2; 3;0,1,2;, 3;0,1,3;; }\n";
  ModelObject model;
  ASSERT_EQ(LoadText(model, text), kModelOk);
  const MeshNode* mesh = FirstMesh(model.Root());
  ASSERT_NE(mesh, nullptr);
  for (uint32_t i = 0; i < mesh->vertexCount; i++) {
    EXPECT_FALSE(std::isnan(mesh->vertices[i].nx) || std::isnan(mesh->vertices[i].nz)) << i;
  }
  EXPECT_FLOAT_EQ(mesh->vertices[0].nz, 1.0f);
  EXPECT_FLOAT_EQ(mesh->vertices[3].nz, 0.0f);  // only in the degenerate triangle
}

TEST(XLoad, NamesAreTruncatedToTheirFields) {
  FakeHost host;
  std::string longName(200, 'n');
  std::string text = "xof 0302txt 0032\nFrame " + longName +
                     " { Mesh " + longName + " { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;"
                     " MeshMaterialList { 2; 1; 1;; Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; }"
                     " Material { 0;0;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"" +
                     longName + ".tga\"; } } } } }\n";
  host.files = {longName + ".bmp"};
  ModelObject model;
  ASSERT_EQ(LoadText(model, text), kModelOk);
  EXPECT_EQ(std::string(model.Root()->child->name), longName.substr(0, kModelNameSize - 1));
  auto meshes = Meshes(model.Root());
  ASSERT_EQ(meshes.size(), 2u);
  EXPECT_EQ(std::strlen(meshes[1]->name), size_t(kModelNameSize - 1));
  EXPECT_EQ(std::strlen(meshes[1]->textureName), size_t(kModelNameSize - 1));
  EXPECT_EQ(meshes[1]->texture, 100);
}

const char kAnimatedModel[] =
    "xof 0302txt 0032\n"
    "Frame Body { Frame Arm { } }\n"
    "AnimationSet first { Animation { {Body} AnimationKey { 2; 1; 0;3;9,9,9;;; } } }\n"
    "AnimationSet second {\n"
    "  Animation { {Arm}\n"
    "    AnimationKey { 2; 1; 0;3;1,1,1;;; }\n"
    "    AnimationKey { 2; 2; 0;3;1,2,3;;, 10;3;4,5,6;;; }\n"
    "    AnimationKey { 0; 1; 5;4;1,0,0,0;;; }\n"
    "  }\n"
    "  Animation { Frame Inline { } AnimationKey { 1; 1; 0;3;2,2,2;;; } }\n"
    "}\n";

TEST(XLoad, OnlyTheLastAnimationSetIsKept) {
  FakeHost host;
  ModelObject model;
  ASSERT_EQ(LoadText(model, kAnimatedModel), kModelOk);
  AnimationTrackList* tracks = model.Tracks();
  ASSERT_NE(tracks, nullptr);
  AnimationTrack* arm = tracks->first;
  ASSERT_NE(arm, nullptr);
  EXPECT_STREQ(arm->frameName, "Arm");
  EXPECT_EQ(arm->frameId, 2);
  // Of two position keys objects, the second counts.
  ASSERT_EQ(arm->positionKeyCount, 2u);
  EXPECT_FLOAT_EQ(arm->positionKeys[1].time, 10.0f);
  EXPECT_FLOAT_EQ(arm->positionKeys[1].z, 6.0f);
  EXPECT_FLOAT_EQ(arm->positionFloatCount, 8.0f);
  ASSERT_EQ(arm->rotationKeyCount, 1u);
  EXPECT_FLOAT_EQ(arm->rotationKeys[0].w, 1.0f);
  AnimationTrack* inline_ = arm->next;
  ASSERT_NE(inline_, nullptr);
  EXPECT_STREQ(inline_->frameName, "");  // a frame written inline names nothing
  EXPECT_EQ(inline_->frameId, 0);
  EXPECT_EQ(inline_->next, nullptr);
}

TEST(XLoad, KeysWithTooFewValuesAreDropped) {
  FakeHost host;
  const std::string text =
      "xof 0302txt 0032\nFrame Body { }\n"
      "AnimationSet s { Animation { {Body}\n"
      "  AnimationKey { 0; 1; 0;3;1,0,0;;; }\n"      // a rotation needs 4 values
      "  AnimationKey { 2; 1; 0;4;1,2,3,4;;; }\n"    // extra values are passed over
      "  AnimationKey { 7; 1; 0;3;1,2,3;;; } } }\n"; // an unknown key type
  ModelObject model;
  ASSERT_EQ(LoadText(model, text), kModelOk);
  AnimationTrack* track = model.Tracks()->first;
  EXPECT_EQ(track->rotationKeyCount, 0u);
  ASSERT_EQ(track->positionKeyCount, 1u);
  EXPECT_FLOAT_EQ(track->positionKeys[0].z, 3.0f);
}

}  // namespace
