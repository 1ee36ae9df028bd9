#pragma once

#include <string>
#include <vector>

#include "preview/ImageOutcome.h"

namespace dunvel {

// junit.xml, as CI systems read it: one test case per image (classname the snapshot's name, name
// the variant), a failure for each image that differs (the count of differing pixels in its
// message) or has no reference, and an error for each input that could not be read.
std::string verifyJunitXml(const std::vector<ImageOutcome>& outcomes,
                           const std::vector<std::string>& problems);

}  // namespace dunvel
