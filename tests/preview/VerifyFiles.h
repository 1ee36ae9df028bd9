#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace dunvel::verify_files {

// Small file helpers the verify tests share: a file's bytes, a file written whole, and one text
// in a file replaced (failing the test when the file does not hold it).
inline std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline void replaceIn(const std::filesystem::path& path, const std::string& from,
                      const std::string& to) {
  std::string text = readAll(path);
  const std::size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << path << " holds no " << from;
  writeText(path, text.replace(at, from.size(), to));
}

}  // namespace dunvel::verify_files
