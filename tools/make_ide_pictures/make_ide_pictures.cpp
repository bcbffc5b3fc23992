// Writes the environment's pictures as PNG files into the folder given (data/ide in the tree):
// make_ide_pictures data/ide
#include <cstdio>
#include <string>

#include "ide/ide.h"
#include "graphics2d/image_files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_ide_pictures FOLDER\n");
    return 2;
  }
  for (const PictureFile& file : IdePictureFiles()) {
    Surface* picture = SurfaceCreate(file.width, file.height);
    if (picture == nullptr) return 1;
    file.draw(*picture);
    const std::string path = std::string(argv[1]) + "/" + file.name;
    std::string why;
    const bool saved = SaveImageFile(path.c_str(), *picture, &why);
    SurfaceDestroy(picture);
    if (!saved) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), why.c_str());
      return 1;
    }
  }
  return 0;
}
