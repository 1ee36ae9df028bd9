#include "preview/ImageCheck.h"

#include <cairo.h>

#include <optional>
#include <system_error>

#include "a11y/AccessibilityAudit.h"
#include "a11y/AccessibilityTree.h"
#include "app/ScreenPreview.h"
#include "files/FolderWithin.h"
#include "files/ReadFile.h"
#include "preview/AccessibilityCommand.h"
#include "preview/ImageDifference.h"
#include "render/TimeText.h"
#include "state/OneLine.h"

namespace dunvel {
namespace {

namespace fs = std::filesystem;

// The largest reference read: a face's PNG is well under 1 MiB, and a file beyond this is not
// one a face drew.
constexpr std::size_t kMaxReferenceBytes = std::size_t{64} << 20;

// Writes image at root/relative (a snapshot's name may hold folders), the folders made below
// root without following a symbolic link there: the output folder may come from a checkout.
std::string writeImage(cairo_surface_t* image, const fs::path& root, const std::string& relative,
                       FaceRenderer::StackChunk stack = FaceRenderer::StackChunk::named) {
  const FaceRenderer::EncodedPng encoded = FaceRenderer::encodePng(image, stack);
  if (!encoded.png) return "cannot write " + (root / relative).string() + ": " + encoded.problem;
  return replaceFileWithin(root, relative, *encoded.png);
}

std::string sizeText(cairo_surface_t* image) {
  return std::to_string(cairo_image_surface_get_width(image)) + "x" +
         std::to_string(cairo_image_surface_get_height(image));
}

}  // namespace

cairo_surface_t* ImageChecker::draw(const VerifySubject& subject, const FaceVariant& variant) {
  std::unique_ptr<FaceRenderer>& renderer = renderers_[variant.size];
  if (!renderer) renderer = std::make_unique<FaceRenderer>(variant.size, 2.0);
  const ScreenPreview preview(subject.state, hostReach(subject.reachable), subject.moment);
  renderer->setTextSize(variant.textSize);
  // The time in UTC, so the band reads the same on every machine.
  renderer->setTime(timeText(subject.moment.timeIntervalSince1970, TimeZone::utc));
  // Laid out and painted whole: each image is what it is whatever was drawn before it, so the
  // images do not depend on which thread drew what.
  renderer->layout(preview.tree(), {}, FaceRenderer::Relayout::whole);
  return renderer->paint({}, FaceRenderer::Repaint::whole);
}

std::vector<std::string> ImageChecker::audit(const VerifySubject& subject,
                                             const FaceVariant& variant) {
  draw(subject, variant);
  // The layout points into the preview's tree, so it is laid out again here, with it alive.
  const ScreenPreview preview(subject.state, hostReach(subject.reachable), subject.moment);
  FaceRenderer& renderer = *renderers_[variant.size];
  const FaceLayout& layout = renderer.layout(preview.tree(), {}, FaceRenderer::Relayout::whole);
  // A long board is audited as `a11y --audit` audits it: its first elements in reading order.
  const std::vector<AccessibilityElement> elements =
      readAccessibility(layout, renderer.time(), kMostElementsListed).elements;
  std::vector<std::string> lines;
  for (const AuditFinding& finding : auditAccessibility(elements, layout)) {
    const AccessibilityElement& element = elements.at(finding.element - 1);
    lines.push_back(std::to_string(finding.element) + " " + finding.rule + ": " +
                    std::string(roleName(element.role)) + " " + quotedLine(element.label) + ": " +
                    oneLine(finding.message));
  }
  return lines;
}

ImageOutcome ImageChecker::check(const VerifySubject& subject, const FaceVariant& variant,
                                 std::vector<std::string>& problems) {
  ImageOutcome outcome;
  outcome.subject = subject.name;
  outcome.variant = variant.name();
  const std::string file = outcome.imageName();
  const fs::path reference = settings_.references / (file + ".png");
  outcome.reference = reference.string();
  // A file is named in the outcome only once it is written, so that nothing reports a file
  // that is not there; each one that is not is a problem of its own.
  const auto put = [&](const std::string& name, const std::string& failed, std::string& field) {
    if (failed.empty()) {
      field = name;
    } else {
      problems.push_back(failed);
    }
  };
  const auto keep = [&](cairo_surface_t* image, const std::string& name, std::string& field,
                        FaceRenderer::StackChunk stack = FaceRenderer::StackChunk::named) {
    put(name, writeImage(image, settings_.out, name, stack), field);
  };

  std::error_code error;
  if (settings_.record != ImageCheckSettings::Record::no) {
    if (fs::exists(reference, error) && settings_.record == ImageCheckSettings::Record::missing) {
      outcome.status = ImageOutcome::Status::kept;
      return outcome;
    }
    std::string written;
    put(file + ".png", writeImage(draw(subject, variant), settings_.references, file + ".png"),
        written);
    outcome.status =
        written.empty() ? ImageOutcome::Status::unwritten : ImageOutcome::Status::recorded;
    return outcome;
  }

  cairo_surface_t* actual = draw(subject, variant);
  // Whatever is at the reference's name, a dangling link or a FIFO included, is a reference
  // that cannot be read rather than none.
  if (!fs::exists(fs::symlink_status(reference, error))) {
    outcome.status = ImageOutcome::Status::missing;
    keep(actual, file + ".actual.png", outcome.actualFile);
    return outcome;
  }
  const FileBytes bytes = readRegularFile(reference, kMaxReferenceBytes);
  // A reference drawn by other library versions than this run's may differ by their glyphs'
  // edges alone; the run says so.
  if (const std::optional<std::string> stack =
          bytes.bytes ? pngText(*bytes.bytes, kDrawingStackKeyword) : std::nullopt;
      stack && *stack != stack_) {
    outcome.referenceStack = oneLine(*stack);
  }
  const std::optional<PngSize> declared = bytes.bytes ? pngSize(*bytes.bytes) : std::nullopt;
  const PngSize drawn{static_cast<std::uint32_t>(cairo_image_surface_get_width(actual)),
                      static_cast<std::uint32_t>(cairo_image_surface_get_height(actual))};
  Owned<cairo_surface_t> expected;
  if (!bytes.bytes) {
    outcome.note = reference.string() + ": " + bytes.problem;
  } else if (!declared) {
    outcome.note = reference.string() + ": not a PNG (its first bytes are not a PNG header)";
  } else if (*declared != drawn) {
    // Another size is a difference already: its header says so, and none of its pixels (a
    // small file may declare gigabytes of them) is decoded.
    outcome.status = ImageOutcome::Status::differs;
    outcome.sizesDiffer = true;
    outcome.note = "the reference is " + std::to_string(declared->width) + "x" +
                   std::to_string(declared->height) + " pixels, the image " + sizeText(actual);
    keep(actual, file + ".actual.png", outcome.actualFile);
    return outcome;
  } else {
    std::string undecoded;
    expected = decodePng(*bytes.bytes, undecoded);
    if (!expected) outcome.note = reference.string() + ": " + undecoded;
  }
  if (!expected) {
    outcome.status = ImageOutcome::Status::unreadable;
    keep(actual, file + ".actual.png", outcome.actualFile);
    return outcome;
  }

  ImageDifference difference =
      compareImages(expected.get(), actual, settings_.tolerance, DiffImage::none);
  if (difference.differingPixels <= settings_.maxPixels && !difference.sizesDiffer) {
    outcome.status = ImageOutcome::Status::equal;
    outcome.differingPixels = difference.differingPixels;
    return outcome;
  }
  difference = compareImages(expected.get(), actual, settings_.tolerance, DiffImage::whenDifferent);
  outcome.status = ImageOutcome::Status::differs;
  outcome.differingPixels = difference.differingPixels;
  keep(actual, file + ".actual.png", outcome.actualFile);
  if (difference.diff) {
    keep(difference.diff.get(), file + ".diff.png", outcome.diffFile,
         FaceRenderer::StackChunk::left);
  }
  // A copy beside the report, so the folder shows everything wherever it is looked at: the
  // pixels decoded above, encoded again, so that nothing else a file from a pull request holds
  // (chunks, bytes after its end) reaches the report's folder; in a new file renamed into place
  // as every file here is, so a link committed at its name is replaced, never written through.
  keep(expected.get(), file + ".reference.png", outcome.referenceFile,
       FaceRenderer::StackChunk::left);
  return outcome;
}

}  // namespace dunvel
