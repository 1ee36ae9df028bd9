#include "preview/ImageDifference.h"

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "files/ReadFile.h"

namespace dunvel {
namespace {

using Surface = Owned<cairo_surface_t>;

// The image as premultiplied ARGB32, whatever format it came in (a PNG without alpha reads as
// RGB24, whose unused byte must not count).
Surface asArgb(cairo_surface_t* image) {
  if (cairo_image_surface_get_format(image) == CAIRO_FORMAT_ARGB32) {
    cairo_surface_flush(image);
    return Surface(cairo_surface_reference(image));
  }
  const int width = cairo_image_surface_get_width(image);
  const int height = cairo_image_surface_get_height(image);
  Surface argb(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  {
    const Owned<cairo_t> cr(cairo_create(argb.get()));
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr.get(), image, 0, 0);
    cairo_paint(cr.get());
  }
  cairo_surface_flush(argb.get());
  return argb;
}

const std::uint32_t* row(cairo_surface_t* image, int y) {
  return reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(image) +
                                                y * cairo_image_surface_get_stride(image));
}

int channelDelta(std::uint32_t a, std::uint32_t b) {
  int delta = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    delta = std::max(delta, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                     static_cast<int>((b >> shift) & 0xFF)));
  }
  return delta;
}

// The reference as a dim grey shadow, so the marks stand out wherever they fall and the screen
// they belong to can still be recognised.
std::uint32_t dimmed(std::uint32_t pixel) {
  const int r = static_cast<int>((pixel >> 16) & 0xFF);
  const int g = static_cast<int>((pixel >> 8) & 0xFF);
  const int b = static_cast<int>(pixel & 0xFF);
  const auto grey = static_cast<std::uint32_t>(24 + (r * 30 + g * 59 + b * 11) / 100 / 3);
  return 0xFF000000u | grey << 16 | grey << 8 | grey;
}

constexpr std::uint32_t kMark = 0xFFFF00FFu;

}  // namespace

ImageDifference compareImages(cairo_surface_t* reference, cairo_surface_t* actual, int tolerance,
                              DiffImage diffImage) {
  const Surface expected = asArgb(reference);
  const Surface drawn = asArgb(actual);
  const int ew = cairo_image_surface_get_width(expected.get());
  const int eh = cairo_image_surface_get_height(expected.get());
  const int aw = cairo_image_surface_get_width(drawn.get());
  const int ah = cairo_image_surface_get_height(drawn.get());
  const int width = std::max(ew, aw);
  const int height = std::max(eh, ah);

  ImageDifference result;
  result.sizesDiffer = ew != aw || eh != ah;
  Surface diff;
  std::uint32_t* diffData = nullptr;
  int diffStride = 0;
  if (diffImage == DiffImage::whenDifferent) {
    diff.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    cairo_surface_flush(diff.get());
    diffData = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(diff.get()));
    diffStride = cairo_image_surface_get_stride(diff.get()) / 4;
  }
  for (int y = 0; y < height; ++y) {
    const std::uint32_t* e = y < eh ? row(expected.get(), y) : nullptr;
    const std::uint32_t* a = y < ah ? row(drawn.get(), y) : nullptr;
    // Most rows of most images are equal: those cost one comparison of memory.
    if (!diffData && !result.sizesDiffer &&
        std::memcmp(e, a, static_cast<std::size_t>(width) * sizeof(std::uint32_t)) == 0) {
      continue;
    }
    for (int x = 0; x < width; ++x) {
      const bool inE = e && x < ew;
      const bool inA = a && x < aw;
      const bool differs = !inE || !inA || channelDelta(e[x], a[x]) > tolerance;
      if (differs) ++result.differingPixels;
      if (diffData) diffData[y * diffStride + x] = differs ? kMark : dimmed(e[x]);
    }
  }
  if (diff && result.differingPixels > 0) {
    cairo_surface_mark_dirty(diff.get());
    result.diff = std::move(diff);
  }
  return result;
}

Owned<cairo_surface_t> readPng(const std::string& path, std::string& problem) {
  // Read by us, not by Cairo, which says only "file not found" or "read error" and would wait
  // on a FIFO for ever.
  const FileBytes bytes = readRegularFile(path, std::size_t{256} << 20);
  if (!bytes.bytes) {
    problem = "cannot read " + path + ": " + bytes.problem;
    return nullptr;
  }
  Surface image = decodePng(*bytes.bytes, problem);
  if (!image) problem = path + ": " + problem;
  return image;
}

std::optional<PngSize> pngSize(std::string_view bytes) {
  // The signature, then the first chunk, which must be IHDR: its length (13), its type, the
  // width and the height, each four bytes, most significant first.
  static constexpr std::string_view kStart("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
  if (bytes.size() < 24 || bytes.substr(0, kStart.size()) != kStart) return std::nullopt;
  const auto number = [&](std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
      value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
  };
  const PngSize size{number(16), number(20)};
  // PNG allows 1 to 2^31 - 1 in each direction.
  if (size.width == 0 || size.height == 0 || size.width > 0x7FFFFFFFu ||
      size.height > 0x7FFFFFFFu) {
    return std::nullopt;
  }
  return size;
}

Owned<cairo_surface_t> decodePng(std::string_view bytes, std::string& problem) {
  struct Reader {
    std::string_view rest;
  } reader{bytes};
  Surface image(cairo_image_surface_create_from_png_stream(
      [](void* closure, unsigned char* data, unsigned int length) {
        auto& from = static_cast<Reader*>(closure)->rest;
        if (length > from.size()) return CAIRO_STATUS_READ_ERROR;
        std::memcpy(data, from.data(), length);
        from.remove_prefix(length);
        return CAIRO_STATUS_SUCCESS;
      },
      &reader));
  if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) {
    problem = std::string("not a PNG Cairo can read (") +
              cairo_status_to_string(cairo_surface_status(image.get())) + ")";
    return nullptr;
  }
  return image;
}

}  // namespace dunvel
