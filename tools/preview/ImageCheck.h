#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "preview/FaceVariant.h"
#include "preview/ImageOutcome.h"
#include "preview/VerifySubject.h"
#include "render/DrawingStack.h"
#include "render/FaceRenderer.h"

namespace dunvel {

// What every image of one verify run is checked with.
struct ImageCheckSettings {
  std::filesystem::path references;
  std::filesystem::path out;
  int tolerance = 0;
  std::int64_t maxPixels = 0;
  enum class Record { no, missing, all };
  Record record = Record::no;
};

// Draws snapshots and checks each against its reference, writing what a failure leaves (or the
// reference, when recording). Holds a renderer per case, with the fonts loaded once: one checker
// per thread, used only on the thread that made it.
class ImageChecker {
 public:
  explicit ImageChecker(const ImageCheckSettings& settings)
      : settings_(settings), stack_(drawingStack()) {}

  // The outcome of subject in variant. Each file that cannot be written adds one line to
  // problems, and is not named in the outcome (which otherwise stands as checked).
  ImageOutcome check(const VerifySubject& subject, const FaceVariant& variant,
                     std::vector<std::string>& problems);

  // Draws subject in variant; the image belongs to the checker until its next draw.
  cairo_surface_t* draw(const VerifySubject& subject, const FaceVariant& variant);

  // What the accessibility audit flags on subject in variant, one line each. Lays the face out
  // again: asked only for the images that failed.
  std::vector<std::string> audit(const VerifySubject& subject, const FaceVariant& variant);

 private:
  const ImageCheckSettings& settings_;
  // The library versions this process draws with (DrawingStack.h).
  std::string stack_;
  std::map<FaceSize, std::unique_ptr<FaceRenderer>> renderers_;
};

}  // namespace dunvel
