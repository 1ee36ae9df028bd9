#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "a11y/AccessibilityElement.h"
#include "render/FaceLayout.h"

namespace dunvel {

// What a reviewer of the face's accessibility would flag.
struct AuditFinding {
  // "contrast", "hit-area", "truncated" or "colour-only".
  std::string rule;
  // The element it concerns: its number in reading order, from 1.
  std::size_t element = 0;
  // What is wrong, with the rule's source.
  std::string message;
};

// Audits the face's accessibility elements (accessibilityElements of the same layout), in
// reading order of the elements concerned:
// - contrast: a text painted at less than 4.5:1 against what is painted behind it;
// - hit-area: a button smaller than 44 by 44 points;
// - truncated: a text cut with "…", or given way, at this case and text size;
// - colour-only: a shape whose colour alone says something (a dot in a signal colour), which
//   a screen reader does not read.
// Contrast is judged on what a frame paints: texts scrolled out of sight are not judged.
std::vector<AuditFinding> auditAccessibility(const std::vector<AccessibilityElement>& elements,
                                             const FaceLayout& layout);

}  // namespace dunvel
