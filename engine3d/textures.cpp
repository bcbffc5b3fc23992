// Texture records and the texture cache: textures made from files, images and solid colours,
// shared by name with a reference count, and the device's stage-0 texture.
#include "engine3d/engine3d_local.h"
#include "graphics2d/graphics2d.h"
#include "graphics2d/image_files.h"
#include "models/models.h"
#include "platform/surface.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kTextureNameSize = 256;
// Texels of this colour are keyed out (drawn through when an object uses colour keying).
constexpr uint32_t kTransparentColour = 0x000000;

struct TextureRecord {
  RecordLinks links;
  int32_t inUse;
  Device3dTexture deviceTexture;
  int32_t width, height;
  int32_t cached;       // 1 while the record has a cache entry (name and reference count)
  int32_t references;
  uint32_t* pixels;     // the picture as made, 0x00RRGGBB (owned): saving writes it back
  int32_t imageIndex;   // image record the texture was made from (linked while the image keeps
                        // that picture), -1 for other textures
  char name[kTextureNameSize];  // the cache key: a file name or a colour's decimal text
};

// Created at start-up and freed at shut-down through the runtime's pool registry.
// The folder of the model being loaded: texture files named by a model are looked for
// there when the name alone does not find them. Set by each object load.
std::string g_modelFolder;

RecordPool g_texturePool = MakeRecordPool("textures", sizeof(TextureRecord), 2, 4);
// The cache's names, lower-cased (names match without regard to case), to texture numbers;
// an entry lives as long as its cached record.
std::unordered_map<std::string, int32_t> g_cacheIndex;
// Image record index -> the texture made from its current picture and that picture's stamp.
// Every object textured from an unchanged image shares the one texture (so the render draws
// them all under one texture); a changed image gets a new texture at its next use, while the
// old one lives on for the objects that show it. An entry goes with its texture.
struct ImageTexture {
  int32_t texture;
  uint64_t pictureStamp;
};
std::unordered_map<int32_t, ImageTexture> g_imageTextures;

std::string CacheKey(const char* name) {
  std::string key = name;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

// Texture numbers are pool indices + 1, so 0 stays "no texture".
TextureRecord* TextureFor(int32_t number) {
  if (number < 1 || number > g_texturePool.capacity || g_texturePool.records == nullptr) return nullptr;
  TextureRecord* record = RecordAt<TextureRecord>(g_texturePool, number - 1);
  return record->inUse == 1 ? record : nullptr;
}

int32_t FindCached(const char* name) {
  const auto found = g_cacheIndex.find(CacheKey(name));
  return found == g_cacheIndex.end() ? 0 : found->second;
}

// Makes a texture from XRGB pixels; the transparent colour becomes alpha 0.
int32_t MakeTexture(const uint32_t* pixels, int width, int height, const char* cacheName) {
  if (width <= 0 || height <= 0 || width > kDevice3dMaxTextureSide || height > kDevice3dMaxTextureSide) return -1;
  std::vector<uint32_t> texels(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < texels.size(); ++i) {
    const uint32_t rgb = pixels[i] & 0xFFFFFFu;
    texels[i] = rgb == kTransparentColour ? rgb : (rgb | 0xFF000000u);
  }
  const Device3dTexture device = Dev().CreateTexture(width, height, texels.data());
  if (device == 0) return -1;
  const int32_t index = AllocRecord(g_texturePool);
  if (index < 0) {
    Dev().ReleaseTexture(device);
    return -1;
  }
  TextureRecord* record = RecordAt<TextureRecord>(g_texturePool, index);
  record->inUse = 1;
  record->deviceTexture = device;
  record->width = width;
  record->height = height;
  record->references = 1;
  record->pixels = new uint32_t[texels.size()];
  for (size_t i = 0; i < texels.size(); ++i) record->pixels[i] = pixels[i] & 0xFFFFFFu;
  record->imageIndex = -1;
  record->cached = cacheName != nullptr ? 1 : 0;
  if (cacheName != nullptr) {
    std::snprintf(record->name, sizeof record->name, "%s", cacheName);
    g_cacheIndex.emplace(CacheKey(record->name), index + 1);
  }
  return index + 1;
}

void FreeTexture(int32_t number) {
  TextureRecord* record = TextureFor(number);
  if (record == nullptr) return;
  Dev().ReleaseTexture(record->deviceTexture);
  delete[] record->pixels;
  record->pixels = nullptr;
  if (record->cached == 1) g_cacheIndex.erase(CacheKey(record->name));
  if (record->imageIndex >= 0) {
    const auto link = g_imageTextures.find(record->imageIndex);
    if (link != g_imageTextures.end() && link->second.texture == number) g_imageTextures.erase(link);
  }
  record->imageIndex = -1;
  record->inUse = 0;
  record->cached = 0;
  FreeRecord(g_texturePool, number - 1);
}

}  // namespace

RecordPool* TexturePool() { return &g_texturePool; }

void SetModelFolder(const std::string& folder) { g_modelFolder = folder; }

int32_t GetColorTexture(uint32_t rgb) {
  char name[16];
  std::snprintf(name, sizeof name, "%u", rgb & 0xFFFFFFu);
  if (const int32_t cached = FindCached(name)) {
    TextureFor(cached)->references += 1;
    return cached;
  }
  // A black colour texture must not vanish under colour keying: it is made one step off.
  uint32_t texel = rgb & 0xFFFFFFu;
  if (texel == kTransparentColour) texel = 0x010101;
  const uint32_t pixels[4] = {texel, texel, texel, texel};
  const int32_t number = MakeTexture(pixels, 2, 2, name);
  return number < 0 ? 0 : number;
}

int32_t GetTextureByFile(const char* fileName, int32_t flag) {
  if (fileName == nullptr || fileName[0] == '\0') return -1;
  if (const int32_t cached = FindCached(fileName)) {
    TextureFor(cached)->references += 1;
    return cached;
  }
  // Where the file may be: the name as written (a `\` is a folder separator), the same under
  // the model's folder, then the bare file name in the model's folder: models made elsewhere
  // name the folders their author kept the pictures in (meshes\textures\walle.bmp) while the
  // picture lies beside the model.
  const std::string folder = g_modelFolder.empty() ? std::string() : g_modelFolder + "/";
  const std::string name = fileName;
  const size_t slash = name.find_last_of("\\/");
  std::vector<std::string> candidates = {name};
  if (!folder.empty()) candidates.push_back(folder + name);
  if (slash != std::string::npos && slash + 1 < name.size()) candidates.push_back(folder + name.substr(slash + 1));
  std::string path;
  bool found = false;
  for (const std::string& candidate : candidates) {
    path = candidate;
    // Extracted from a game's package under its own extension: the picture's decoder is
    // chosen by it.
    ResolvePackagedFile(path);
    path = MapProgramPath(path.c_str());
    found = FileExists(path.c_str());
    if (found) break;
  }
  // Logged, not kept as the engine's last error: the model or world loads without it.
  if (!found) {
    if (flag != kTextureNameGuess) LogErrorEntry("ENGINEERROR", ("texture " + name + ": no such file").c_str());
    return -1;
  }
  std::string whyNot;
  Surface* image = LoadImageFile(path.c_str(), &whyNot);
  if (image == nullptr) {
    ReportIfPictureLibraryMissing(fileName, whyNot);
    LogErrorEntry("ENGINEERROR", ("texture " + name + ": " + whyNot).c_str());
    return -1;
  }
  const int32_t number = MakeTexture(image->pixels.data(), image->width, image->height, fileName);
  if (number < 0)
    LogErrorEntry("ENGINEERROR", ("texture " + name + ": its " + std::to_string(image->width) + " x " +
                                  std::to_string(image->height) + " picture cannot be made a texture")
                                     .c_str());
  SurfaceDestroy(image);
  return number;
}

int32_t TextureFromSurface(const Surface& surface) {
  return MakeTexture(surface.pixels.data(), surface.width, surface.height, nullptr);
}

void ReleaseTexture(int32_t texture, int32_t force) {
  TextureRecord* record = TextureFor(texture);
  if (record == nullptr) return;
  record->references -= 1;
  if (record->references <= 0 || force != 0) FreeTexture(texture);
}

bool SaveTextureFile(int32_t texture, const char* path) { return SaveTextureFile(texture, path, nullptr); }

bool SaveTextureFile(int32_t texture, const char* path, std::string* whyNot) {
  const TextureRecord* record = TextureFor(texture);
  if (record == nullptr || record->pixels == nullptr) {
    if (whyNot != nullptr) *whyNot = "the limb has no texture";
    return false;
  }
  Surface picture;
  picture.width = record->width;
  picture.height = record->height;
  picture.pixels.assign(record->pixels, record->pixels + static_cast<size_t>(record->width) * record->height);
  return SaveImageFile(path, picture, whyNot);
}

void RetainTexture(int32_t texture) {
  if (TextureRecord* record = TextureFor(texture)) record->references += 1;
}

bool TextureIsCached(int32_t texture) {
  const TextureRecord* record = TextureFor(texture);
  return record != nullptr && record->cached == 1;
}

int32_t TextureReferenceCount(int32_t texture) {
  const TextureRecord* record = TextureFor(texture);
  return record != nullptr && record->cached == 1 ? record->references : 0;
}

void SetDeviceTexture(int32_t texture) {
  const TextureRecord* record = TextureFor(texture);
  Dev().SetTexture(record != nullptr ? record->deviceTexture : 0);
}

int32_t LiveTextureCount() {
  int32_t count = 0;
  for (int32_t index = 0; index < g_texturePool.capacity && g_texturePool.records; ++index)
    count += RecordAt<TextureRecord>(g_texturePool, index)->inUse == 1 ? 1 : 0;
  return count;
}

void ReleaseAllTextures() {
  for (int32_t index = 0; index < g_texturePool.capacity && g_texturePool.records; ++index)
    if (RecordAt<TextureRecord>(g_texturePool, index)->inUse == 1) FreeTexture(index + 1);
}

int32_t GetImageTexture(int32_t imageNumber, int32_t /*flag*/) {
  const int32_t index = ImageIndexForNumber(imageNumber);
  if (index < 0) return -1;
  SettleQueuedImage(index);  // loaded or grabbed in this frame: its picture, not a blank one
  const Surface* surface = ImageSurface(index);
  if (surface == nullptr || surface->pixels.empty()) return -1;
  const uint64_t stamp = ImagePictureStamp(index);
  const auto link = g_imageTextures.find(index);
  if (link != g_imageTextures.end() && link->second.pictureStamp == stamp) {
    TextureFor(link->second.texture)->references += 1;
    return link->second.texture;
  }
  const int32_t texture = TextureFromSurface(*surface);
  if (texture < 0) return texture;
  TextureFor(texture)->imageIndex = index;
  g_imageTextures[index] = ImageTexture{texture, stamp};
  return texture;
}
