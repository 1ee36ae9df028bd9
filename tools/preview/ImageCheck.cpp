#include "preview/ImageCheck.h"

#include <cairo.h>

#include <system_error>

#include "a11y/AccessibilityAudit.h"
#include "a11y/AccessibilityTree.h"
#include "app/ScreenPreview.h"
#include "files/FolderWithin.h"
#include "files/ReadFile.h"
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
std::string writeImage(cairo_surface_t* image, const fs::path& root, const std::string& relative) {
  const FaceRenderer::EncodedPng encoded = FaceRenderer::encodePng(image);
  if (!encoded.png) return "cannot write " + (root / relative).string() + ": " + encoded.problem;
  return replaceFileWithin(root, relative, *encoded.png);
}

std::string sizeText(cairo_surface_t* image) {
  return std::to_string(cairo_image_surface_get_width(image)) + "x" +
         std::to_string(cairo_image_surface_get_height(image));
}

// Keeps the first problem: the one line a failed image reports.
void note(std::string& problem, std::string found) {
  if (problem.empty()) problem = std::move(found);
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
  const std::vector<AccessibilityElement> elements = accessibilityElements(layout, renderer.time());
  std::vector<std::string> lines;
  for (const AuditFinding& finding : auditAccessibility(elements, layout)) {
    const AccessibilityElement& element = elements.at(finding.element - 1);
    lines.push_back(std::to_string(finding.element) + " " + finding.rule + ": " +
                    std::string(roleName(element.role)) + " \"" + oneLine(element.label) +
                    "\": " + oneLine(finding.message));
  }
  return lines;
}

ImageOutcome ImageChecker::check(const VerifySubject& subject, const FaceVariant& variant,
                                 std::string& problem) {
  ImageOutcome outcome;
  outcome.subject = subject.name;
  outcome.variant = variant.name();
  const std::string file = outcome.imageName();
  const fs::path reference = settings_.references / (file + ".png");
  outcome.reference = reference.string();

  std::error_code error;
  const bool exists = fs::exists(reference, error);
  if (settings_.record != ImageCheckSettings::Record::no) {
    if (exists && settings_.record == ImageCheckSettings::Record::missing) {
      outcome.status = ImageOutcome::Status::kept;
      return outcome;
    }
    outcome.status = ImageOutcome::Status::recorded;
    note(problem, writeImage(draw(subject, variant), settings_.references, file + ".png"));
    return outcome;
  }

  cairo_surface_t* actual = draw(subject, variant);
  if (!exists) {
    outcome.status = ImageOutcome::Status::missing;
    outcome.actualFile = file + ".actual.png";
    note(problem, writeImage(actual, settings_.out, outcome.actualFile));
    return outcome;
  }
  std::string unreadable;
  const Owned<cairo_surface_t> expected = readPng(reference.string(), unreadable);
  ImageDifference difference;
  if (expected) {
    difference = compareImages(expected.get(), actual, settings_.tolerance, DiffImage::none);
    if (difference.differingPixels <= settings_.maxPixels && !difference.sizesDiffer) {
      outcome.status = ImageOutcome::Status::equal;
      outcome.differingPixels = difference.differingPixels;
      return outcome;
    }
    difference =
        compareImages(expected.get(), actual, settings_.tolerance, DiffImage::whenDifferent);
    if (difference.sizesDiffer) {
      outcome.note =
          "the reference is " + sizeText(expected.get()) + " pixels, the image " + sizeText(actual);
    }
  } else {
    outcome.note = unreadable;
    difference.differingPixels = std::int64_t{cairo_image_surface_get_width(actual)} *
                                 cairo_image_surface_get_height(actual);
  }
  outcome.status = ImageOutcome::Status::differs;
  outcome.differingPixels = difference.differingPixels;
  outcome.actualFile = file + ".actual.png";
  note(problem, writeImage(actual, settings_.out, outcome.actualFile));
  if (difference.diff) {
    outcome.diffFile = file + ".diff.png";
    note(problem, writeImage(difference.diff.get(), settings_.out, outcome.diffFile));
  }
  if (expected) {
    // A copy beside the report, so the folder shows everything wherever it is looked at: a
    // new file renamed into place, as every file here is, so a link committed at its name is
    // replaced rather than written through.
    outcome.referenceFile = file + ".reference.png";
    const FileBytes bytes = readRegularFile(reference, kMaxReferenceBytes);
    note(problem, bytes.bytes
                      ? replaceFileWithin(settings_.out, outcome.referenceFile, *bytes.bytes)
                      : "cannot copy " + reference.string() + ": " + bytes.problem);
  }
  return outcome;
}

}  // namespace dunvel
