#include "render/DrawingStack.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb.h>
#include <pango/pango.h>
#include <zlib.h>

#include <array>
#include <cstdint>

namespace dunvel {
namespace {

constexpr std::array<unsigned char, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Length, type, 13 bytes of data, CRC.
constexpr std::size_t kHeaderChunkBytes = 4 + 4 + 13 + 4;

std::uint32_t bigEndian(std::string_view bytes, std::size_t at) {
  return (std::uint32_t{static_cast<unsigned char>(bytes[at])} << 24) |
         (std::uint32_t{static_cast<unsigned char>(bytes[at + 1])} << 16) |
         (std::uint32_t{static_cast<unsigned char>(bytes[at + 2])} << 8) |
         std::uint32_t{static_cast<unsigned char>(bytes[at + 3])};
}

void appendBigEndian(std::string& bytes, std::uint32_t value) {
  for (const int shift : {24, 16, 8, 0})
    bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
}

bool opensAsPng(std::string_view png) {
  if (png.size() < kSignature.size() + kHeaderChunkBytes) return false;
  for (std::size_t i = 0; i < kSignature.size(); ++i) {
    if (static_cast<unsigned char>(png[i]) != kSignature[i]) return false;
  }
  return png.substr(kSignature.size() + 4, 4) == "IHDR" && bigEndian(png, kSignature.size()) == 13;
}

std::string version(int major, int minor, int micro) {
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(micro);
}

}  // namespace

std::string drawingStack() {
  std::string freetype = "?";
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) == 0) {
    FT_Int major = 0, minor = 0, patch = 0;
    FT_Library_Version(library, &major, &minor, &patch);
    freetype = version(major, minor, patch);
    FT_Done_FreeType(library);
  }
  const int fc = FcGetVersion();
  return std::string("cairo ") + cairo_version_string() + ", pango " + pango_version_string() +
         ", harfbuzz " + hb_version_string() + ", freetype " + freetype + ", fontconfig " +
         version(fc / 10000, fc / 100 % 100, fc % 100);
}

std::string withPngText(std::string png, std::string_view keyword, std::string_view text) {
  if (!opensAsPng(png)) return png;
  std::string chunk;
  appendBigEndian(chunk, static_cast<std::uint32_t>(keyword.size() + 1 + text.size()));
  chunk += "tEXt";
  chunk += keyword;
  chunk.push_back('\0');
  chunk += text;
  // The CRC covers the chunk's type and data, not its length.
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(chunk.data() + 4),
                          static_cast<uInt>(chunk.size() - 4));
  appendBigEndian(chunk, static_cast<std::uint32_t>(crc));
  png.insert(kSignature.size() + kHeaderChunkBytes, chunk);
  return png;
}

std::optional<std::string> pngText(std::string_view png, std::string_view keyword) {
  if (!opensAsPng(png)) return std::nullopt;
  std::size_t at = kSignature.size();
  while (png.size() - at >= 12) {
    const std::uint32_t length = bigEndian(png, at);
    const std::string_view type = png.substr(at + 4, 4);
    if (length > png.size() - at - 12) return std::nullopt;
    if (type == "IDAT" || type == "IEND") return std::nullopt;
    if (type == "tEXt") {
      const std::string_view data = png.substr(at + 8, length);
      const std::size_t nul = data.find('\0');
      if (nul != std::string_view::npos && data.substr(0, nul) == keyword)
        return std::string(data.substr(nul + 1));
    }
    at += 12 + std::size_t{length};
  }
  return std::nullopt;
}

}  // namespace dunvel
