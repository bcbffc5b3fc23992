# Turns a text file into a C++ source holding its bytes: cmake -DINPUT=... -DOUTPUT=...
# -DSYMBOL=... -P embed.cmake. Run at build time so edits to the data file rebuild it.
file(READ ${INPUT} content HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${content}")
file(WRITE ${OUTPUT}.tmp
  "// Generated from ${INPUT} at build time; do not edit.\n"
  "#include <string_view>\n"
  "static const unsigned char kBytes[] = {${bytes} 0};\n"
  "std::string_view ${SYMBOL}() { return {reinterpret_cast<const char*>(kBytes), sizeof(kBytes) - 1}; }\n")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
