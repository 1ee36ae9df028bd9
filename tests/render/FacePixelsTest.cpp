#include <cairo.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "RenderedScreen.h"
#include "render/Owned.h"

namespace dunvel {
namespace {

// Counts the pixels inside a rectangle of the face (in points) that match.
template <class Match>
int countIn(const RenderedScreen& s, const Rect& r, Match match) {
  cairo_surface_t* image = s.renderer.image();
  const double k = s.renderer.scale();
  int n = 0;
  for (int y = static_cast<int>(r.y * k); y < static_cast<int>(r.maxY() * k); ++y) {
    for (int x = static_cast<int>(r.x * k); x < static_cast<int>(r.maxX() * k); ++x) {
      if (match(pixelAt(image, x, y))) ++n;
    }
  }
  return n;
}

// Whether two faces of the same size have the same pixels inside a rectangle (in points).
bool sameRegion(const RenderedScreen& a, const RenderedScreen& b, const Rect& r) {
  const double k = a.renderer.scale();
  for (int y = static_cast<int>(r.y * k); y < static_cast<int>(r.maxY() * k); ++y) {
    for (int x = static_cast<int>(r.x * k); x < static_cast<int>(r.maxX() * k); ++x) {
      const Pixel p = pixelAt(a.renderer.image(), x, y);
      const Pixel q = pixelAt(b.renderer.image(), x, y);
      if (p.r != q.r || p.g != q.g || p.b != q.b || p.a != q.a) return false;
    }
  }
  return true;
}

bool isRed(Pixel p) {
  return p.r > 200 && p.g < 110 && p.b < 100;
}
bool isGold(Pixel p) {
  return p.r > 200 && p.g > 140 && p.g < 200 && p.b < 60;
}

// The examples drawn as references; the idle one with the host app out of reach, so its status
// line asks to open the app.
struct Reference {
  const char* name;
  bool reachable;
};
constexpr std::array<Reference, 5> kReferences = {{
    {"idle", false},
    {"question", true},
    {"answer", true},
    {"board", true},
    {"tournament", true},
}};

// The example on a case at its own text size: NAME.png on 45 mm (the README shows them),
// NAME@CASE-TEXTSIZE.png, as verify names its references, on the others.
std::string referencePath(const std::string& name, FaceSize size) {
  std::string file = name;
  if (size != FaceSize::mm45) {
    file += "@" + std::string(faceSizeName(size)) + "-" +
            std::string(textSizeName(faceMetrics(size).defaultTextSize));
  }
  return std::string(DUNVEL_SOURCE_DIR) + "/data/reference/" + file + ".png";
}

TEST(FacePixels, ExamplesMatchTheirReferenceImagesOnEveryCase) {
  const bool update = std::getenv("DUNVEL_UPDATE_REFERENCES") != nullptr;
  for (const FaceSize size : kAllFaceSizes) {
    for (const Reference& reference : kReferences) {
      const std::string name = reference.name + std::string(size == FaceSize::mm45 ? "" : "@") +
                               std::string(size == FaceSize::mm45 ? "" : faceSizeName(size));
      SCOPED_TRACE(name);
      const RenderedScreen s(exampleSnapshot(reference.name), hostReach(reference.reachable),
                             kTestNow, size);
      const std::string path = referencePath(reference.name, size);
      if (update) {
        ASSERT_EQ(s.renderer.writePng(path), "");
        continue;
      }
      const Owned<cairo_surface_t> owner(cairo_image_surface_create_from_png(path.c_str()));
      cairo_surface_t* expected = owner.get();
      ASSERT_EQ(cairo_surface_status(expected), CAIRO_STATUS_SUCCESS)
          << "cannot read " << path << " (scripts/refresh-references writes it)";
      const int w = s.renderer.pixelWidth();
      const int h = s.renderer.pixelHeight();
      ASSERT_EQ(cairo_image_surface_get_width(expected), w);
      ASSERT_EQ(cairo_image_surface_get_height(expected), h);

      // Antialiasing may differ by a few levels between library builds; a changed layout or
      // colour changes many pixels by much more.
      const Owned<cairo_surface_t> diffImage(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
      cairo_surface_t* diff = diffImage.get();
      unsigned char* out = cairo_image_surface_get_data(diff);
      int differing = 0;
      int left = w, top = h, right = -1, bottom = -1;
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          const Pixel p = pixelAt(s.renderer.image(), x, y);
          const Pixel q = pixelAt(expected, x, y);
          const int delta = std::max(
              {std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b), std::abs(p.a - q.a)});
          auto* px =
              reinterpret_cast<std::uint32_t*>(out + y * cairo_image_surface_get_stride(diff));
          px[x] = delta > 24 ? 0xFFFF0000u : (0xFF000000u | ((p.g / 3) << 8));
          if (delta > 24) {
            ++differing;
            left = std::min(left, x), top = std::min(top, y);
            right = std::max(right, x), bottom = std::max(bottom, y);
          }
        }
      }
      cairo_surface_mark_dirty(diff);
      if (differing > w * h / 1000) {
        const std::string diffPath = std::string(DUNVEL_TEST_OUTPUT_DIR) + "/" + name + "-diff.png";
        cairo_surface_write_to_png(diff, diffPath.c_str());
        s.renderer.writePng(std::string(DUNVEL_TEST_OUTPUT_DIR) + "/" + name + "-actual.png");
        ADD_FAILURE() << differing << " pixels differ from " << path << ", within pixels (" << left
                      << ", " << top << ")-(" << right << ", " << bottom
                      << "); differences in red in " << diffPath
                      << "; after an intended change run scripts/refresh-references";
      }
    }
  }
}

TEST(FacePixels, ClockTurnsRedAtOneMinuteAndTheTurnDotIsGold) {
  const GameState question = exampleSnapshot("question");
  const double opened = question.questionOpenedAt;
  const RenderedScreen before(question, HostReach::reachable, opened + 59.0);
  const RenderedScreen at(question, HostReach::reachable, opened + 60.0);
  const Rect clockBefore = before.frameOfText("0:59");
  const Rect clockAt = at.frameOfText("1:00");
  EXPECT_EQ(countIn(before, clockBefore, isRed), 0);
  EXPECT_GT(countIn(at, clockAt, isRed), 20);

  const RenderedScreen board(exampleSnapshot("board"));
  const std::vector<const Element*> rows = board.preview.tree().findAll(ElementKind::hstack);
  // Team t3 has the turn: its dot alone is gold.
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const int gold = countIn(board, board.frame(rows[i]->children[0]), isGold);
    if (i == 2) {
      EXPECT_GT(gold, 20);
    } else {
      EXPECT_EQ(gold, 0) << "row " << i;
    }
  }
}

TEST(FacePixels, ABidiOverrideInANameReordersThatNameAlone) {
  const std::string board = R"({"screen": "board", "gameName": "ليلة الأسئلة", "turnTeamId": "b",
      "teams": [{"id": "a", "name": "NAME", "points": -5},
                {"id": "b", "name": "النمور", "points": 35}]})";
  std::string overridden = board;
  overridden.replace(overridden.find("NAME"), 4, "\u202ENAME");
  const RenderedScreen plain(snapshotFromJson(board));
  const RenderedScreen flipped(snapshotFromJson(overridden));

  const std::vector<const Element*> rows = plain.preview.tree().findAll(ElementKind::hstack);
  const std::vector<const Element*> flippedRows =
      flipped.preview.tree().findAll(ElementKind::hstack);
  // The name itself reads backwards...
  EXPECT_FALSE(sameRegion(plain, flipped, flipped.frame(flippedRows[0]->children[1])));
  // ...and nothing else moves: its points, its dot, the other row, the header.
  EXPECT_TRUE(sameRegion(plain, flipped, plain.frame(rows[0]->children[3])));
  EXPECT_TRUE(sameRegion(plain, flipped, plain.frame(rows[0]->children[0])));
  EXPECT_TRUE(sameRegion(plain, flipped, plain.frame(*rows[1])));
  EXPECT_TRUE(sameRegion(plain, flipped, plain.frameOfText("ليلة الأسئلة")));
}

Modifier modifier(ModifierKind kind) {
  Modifier m;
  m.kind = kind;
  return m;
}

TEST(FacePixels, TranslucentFillsBlendWithWhatIsUnderThemAndTheCornersStayCut) {
  // A half-opaque blue square with a half-opaque red one inside it: the blue lands on the black
  // face, the red on the blue.
  Element red;
  red.kind = ElementKind::roundedRectangle;
  red.shape = ShapeGeometry{ShapeGeometry::Kind::roundedRectangle, 4.0};
  Modifier redColor = modifier(ModifierKind::foregroundColor);
  redColor.color = Color::sRGB(1.0, 0.0, 0.0, 0.5);
  Modifier small = modifier(ModifierKind::frame);
  small.fixedFrame = FixedFrame{40.0, 40.0};
  red.modifiers = {redColor, small};
  Element blue;
  blue.kind = ElementKind::vstack;
  blue.children = {red};
  Modifier large = modifier(ModifierKind::frame);
  large.fixedFrame = FixedFrame{100.0, 100.0};
  Modifier blueFill = modifier(ModifierKind::background);
  blueFill.color = Color::sRGB(0.0, 0.0, 1.0, 0.5);
  blue.modifiers = {large, blueFill};

  FaceRenderer renderer(FaceSize::mm45, 2.0);
  const Rect outer = *renderer.layout(blue).frameOf(blue);
  renderer.paint();
  // Painted twice: the second frame comes from the kept shapes and must look the same.
  cairo_surface_t* image = renderer.paint();
  auto near = [](Pixel p, Pixel q) {
    return std::abs(p.r - q.r) <= 2 && std::abs(p.g - q.g) <= 2 && std::abs(p.b - q.b) <= 2 &&
           p.a == q.a;
  };
  const int cx = static_cast<int>((outer.x + outer.width / 2) * 2);
  const int cy = static_cast<int>((outer.y + outer.height / 2) * 2);
  EXPECT_TRUE(near(pixelAt(image, cx, cy), Pixel{128, 0, 64, 255}));
  EXPECT_TRUE(near(pixelAt(image, cx, static_cast<int>(outer.y * 2) + 4), Pixel{0, 0, 128, 255}));

  // The board's rows run into the display's lower corners, which are cut all the same; at a
  // scale whose face is not whole pixels, the corners are cut without the kept display (its
  // last, partly covered row and column keep a trace of the face's edge, so look one in).
  for (const double scale : {2.0, 1.3}) {
    RenderedScreen board(exampleSnapshot("board"), HostReach::reachable, kTestNow, FaceSize::mm45,
                         scale);
    cairo_surface_t* face = board.renderer.paint();
    const int w = board.renderer.pixelWidth();
    const int h = board.renderer.pixelHeight();
    for (const auto& [x, y] : {std::pair{1, 1}, {w - 2, 1}, {1, h - 2}, {w - 2, h - 2}}) {
      EXPECT_EQ(pixelAt(face, x, y).a, 0) << "scale " << scale << " at " << x << ", " << y;
    }
    EXPECT_EQ(pixelAt(face, w / 2, h / 2).a, 255);
  }
}

// What Tesseract's Arabic model reads from a face's pixels, drawn dark on light (as it reads
// best: inverted, with the transparent corners as black) into the test's output folder as NAME.
std::string ocrText(RenderedScreen& s, const std::string& name) {
  cairo_surface_t* image = s.renderer.image();
  unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  for (int y = 0; y < s.renderer.pixelHeight(); ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
    for (int x = 0; x < s.renderer.pixelWidth(); ++x) row[x] = ~row[x] | 0xFF000000u;
  }
  cairo_surface_mark_dirty(image);
  const std::string path = std::string(DUNVEL_TEST_OUTPUT_DIR) + "/" + name;
  if (!s.renderer.writePng(path).empty()) return "(cannot write " + path + ")";

  const std::string command = "tesseract '" + path + "' stdout -l ara 2>/dev/null";
  std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return "(cannot run tesseract)";
  std::string text;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe.get())) text += buffer;
  return text;
}

TEST(FacePixels, OcrReadsTheIdleStatusLine) {
  // Tesseract's Arabic model reads the status line from the pixels: the letters are joined,
  // ordered right to left and nothing is cut.
  RenderedScreen s(exampleSnapshot("idle"), HostReach::unreachable, kTestNow, FaceSize::mm45, 3.0);
  const std::string text = ocrText(s, "idle-ocr.png");
  EXPECT_NE(text.find("افتح التطبيق على الآيفون"), std::string::npos) << "tesseract read: " << text;
}

// One example screen on each of the newer cases, a text of its own read back whole and right to
// left: names, a mode line, a header and a status line, each at its case's default text size.
TEST(FacePixels, OcrReadsAScreenOnEachNewerCase) {
  struct Reading {
    FaceSize size;
    const char* example;
    const char* expected;
  };
  const Reading kReadings[] = {
      {FaceSize::mm40, "tournament", "نصف النهائي"},
      {FaceSize::mm42, "question", "سؤال سرعة"},
      {FaceSize::mm44, "answer", "الصقور"},
      {FaceSize::mm46, "board", "ليلة الأسئلة"},
      {FaceSize::mm49third, "tournament", "المباراة جارية"},
  };
  for (const Reading& reading : kReadings) {
    const std::string name(faceSizeName(reading.size));
    SCOPED_TRACE(name);
    RenderedScreen s(exampleSnapshot(reading.example), HostReach::reachable, kTestNow, reading.size,
                     3.0);
    const std::string text = ocrText(s, "ocr-" + name + ".png");
    EXPECT_NE(text.find(reading.expected), std::string::npos) << "tesseract read: " << text;
  }
}

}  // namespace
}  // namespace dunvel
