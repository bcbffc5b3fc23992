# Turns every PNG of a folder into one C++ source holding their bytes, found by file name:
# cmake -DFOLDER=... -DOUTPUT=... -P embed_pictures.cmake. Run at build time, so a picture
# written again rebuilds it.
file(GLOB files ${FOLDER}/*.png)
list(SORT files)
set(out "// Generated from ${FOLDER} at build time; do not edit.\n#include <string_view>\n#include <utility>\n")
set(table "")
set(i 0)
foreach(f ${files})
  file(READ ${f} content HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${content}")
  get_filename_component(name ${f} NAME)
  string(APPEND out "static const unsigned char kPicture${i}[] = {${bytes}};\n")
  string(APPEND table "      {\"${name}\", {reinterpret_cast<const char*>(kPicture${i}), sizeof(kPicture${i})}},\n")
  math(EXPR i "${i} + 1")
endforeach()
string(APPEND out "std::string_view EmbeddedIdePicture(std::string_view name) {\n"
                  "  static const std::pair<std::string_view, std::string_view> kTable[] = {\n${table}  };\n"
                  "  for (const auto& [file, bytes] : kTable)\n    if (file == name) return bytes;\n  return {};\n}\n")
file(WRITE ${OUTPUT}.tmp "${out}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
