#pragma once

#include <string>
#include <vector>

#include "preview/ImageOutcome.h"

namespace dunvel {

// report.html: a page showing each failed image as reference, drawn image and diff side by side,
// the snapshot's explain findings beside them, then the inputs that could not be read and the
// images that passed. Its images are the files the outcomes name, beside it, by relative paths.
// stackNote, when not empty, says under the summary that references were drawn by other library
// versions than the images.
std::string verifyReportHtml(const std::vector<ImageOutcome>& outcomes,
                             const std::vector<std::string>& problems,
                             const std::string& stackNote = {});

}  // namespace dunvel
