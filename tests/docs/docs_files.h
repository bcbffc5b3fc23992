// The files the documentation tests read, from the source tree.
#pragma once
#include <fstream>
#include <sstream>
#include <string>

#include "tools/command_docs/command_docs.h"

inline std::string SourceFile(const std::string& relative) {
  std::ifstream file(std::string(QV_SOURCE_DIR) + "/" + relative, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

inline std::vector<command_docs::Keyword> SourceKeywords() {
  return command_docs::ParseKeywords(SourceFile("data/keywords.txt"));
}
