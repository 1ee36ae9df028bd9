#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dunvel {

// The versions of the libraries that turn a laid-out face into pixels, as this process runs
// them: "cairo 1.16.0, pango 1.50.12, harfbuzz 6.0.0, freetype 2.12.1, fontconfig 2.14.1".
// Another version of any of them may move a glyph's edge by a pixel.
std::string drawingStack();

// The PNG text chunk's keyword under which a face's PNG names its drawing stack.
inline constexpr std::string_view kDrawingStackKeyword = "Dunvel drawing stack";

// The PNG with a text chunk (tEXt) keyword → text put right after its header chunk; the PNG as
// it is when it does not open with a PNG signature and header. The keyword is 1 to 79 Latin-1
// characters, the text holds no NUL.
std::string withPngText(std::string png, std::string_view keyword, std::string_view text);

// The text of the first tEXt chunk with that keyword, read from the chunks before the image
// data; nothing when there is none or the bytes are not a PNG. Never reads past the bytes.
std::optional<std::string> pngText(std::string_view png, std::string_view keyword);

}  // namespace dunvel
