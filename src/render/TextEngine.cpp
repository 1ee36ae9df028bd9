#include "render/TextEngine.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <fribidi.h>
#include <glib.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "files/DataDir.h"
#include "render/DesignSystem.h"
#include "render/FontConfigFile.h"
#include "render/Owned.h"
#include "render/Side.h"

namespace dunvel {
namespace {

constexpr const char* kTextFamilies = "Noto Sans,Noto Sans Arabic UI";
constexpr const char* kSymbolFamily = "Material Icons";
constexpr const char* kEllipsis = "\u2026";
// Left-to-right isolate and its closing pop.
constexpr const char* kLri = "\u2066";
constexpr const char* kPdi = "\u2069";

// A figure such as "50", "-5" or the clock "1:05": ASCII, at least one digit, no letter. It is
// laid out as a left-to-right isolate, so the minus sign and the colon keep their places inside
// right-to-left text.
bool isFigure(std::string_view text) {
  bool digit = false;
  for (unsigned char c : text) {
    if (c >= 0x80 || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return false;
    if (c >= '0' && c <= '9') digit = true;
  }
  return digit;
}

// A text cut after its first line by its own line limit: one paragraph whose breaks show as
// glyphs, as the watch shows a one-line name.
bool oneLine(const TextRequest& request) {
  return request.lineLimit && *request.lineLimit <= 1;
}

// How many lines the text may take, if it is limited: by its line limit or by its height.
std::optional<int> lineLimitOf(const TextRequest& request) {
  if (request.lineLimit && request.maxLines) return std::min(*request.lineLimit, *request.maxLines);
  return request.lineLimit ? request.lineLimit : request.maxLines;
}

// Pango limits lines per paragraph, and shows at least one line of each: a text whose lines are
// limited is made one paragraph, its breaks kept as line separators, so the limit counts every
// line of it.
std::string joinParagraphs(const std::string& text) {
  constexpr std::string_view kLineSeparator = "\u2028";
  constexpr std::string_view kParagraphSeparator = "\u2029";
  std::string joined;
  joined.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      joined += kLineSeparator;
    } else if (text.compare(i, kParagraphSeparator.size(), kParagraphSeparator) == 0) {
      joined += kLineSeparator;
      i += kParagraphSeparator.size() - 1;
    } else {
      joined += c;
    }
  }
  return joined;
}

// A figure of digits and single separators between them ("1:05", "12.5"): the bidirectional
// algorithm reads it as one number in any paragraph (a separator between two digits takes
// their direction), so it needs no isolate, which Pango would itemise and shape apart.
bool isPlainNumber(std::string_view text) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (digit(text[i])) continue;
    const bool separator = text[i] == ':' || text[i] == '.' || text[i] == ',' || text[i] == '/';
    if (!separator || i == 0 || i + 1 == text.size() || !digit(text[i - 1]) ||
        !digit(text[i + 1])) {
      return false;
    }
  }
  return !text.empty();
}

// A text as Pango is given it, and whether it had to be cut to what can show.
struct PreparedText {
  std::string text;
  bool cut = false;
};

// What Pango is given: valid UTF-8 (Pango refuses anything else), cut to what can show.
PreparedText prepare(const TextRequest& request) {
  bool cut = false;
  gchar* valid = g_utf8_make_valid(request.text.data(), static_cast<gssize>(request.text.size()));
  std::string text(valid);
  g_free(valid);
  if (oneLine(request)) {
    if (static_cast<std::size_t>(g_utf8_strlen(text.c_str(), -1)) >
        TextEngine::kMaxOneLineCodePoints) {
      const char* end = g_utf8_offset_to_pointer(
          text.c_str(), static_cast<glong>(TextEngine::kMaxOneLineCodePoints));
      text.resize(static_cast<std::size_t>(end - text.c_str()));
      text += kEllipsis;
      cut = true;
    }
  } else if (text.size() > TextEngine::kMaxWrappedBytes) {
    const char* end = text.c_str() + TextEngine::kMaxWrappedBytes;
    end = g_utf8_find_prev_char(text.c_str(), end + 1);
    text.resize(static_cast<std::size_t>(end - text.c_str()));
    text += kEllipsis;
    cut = true;
  }
  if (!oneLine(request) && lineLimitOf(request)) text = joinParagraphs(text);
  if (isFigure(text) && !isPlainNumber(text)) text = kLri + text + kPdi;
  return {std::move(text), cut};
}

// The direction of a paragraph's first strong character, skipping what isolates enclose (the
// Unicode bidirectional algorithm's rules P2 and P3); nothing when it has none. text is valid
// UTF-8.
std::optional<LayoutDirection> firstStrongDirection(std::string_view text) {
  int isolates = 0;
  for (const char* p = text.data(); p < text.data() + text.size(); p = g_utf8_next_char(p)) {
    const FriBidiCharType type = fribidi_get_bidi_type(g_utf8_get_char(p));
    if (type == FRIBIDI_TYPE_PDI) {
      if (isolates > 0) --isolates;
    } else if (FRIBIDI_IS_ISOLATE(type)) {
      ++isolates;
    } else if (isolates == 0 && FRIBIDI_IS_LETTER(type) && FRIBIDI_IS_STRONG(type)) {
      return FRIBIDI_IS_RTL(type) ? LayoutDirection::rightToLeft : LayoutDirection::leftToRight;
    }
  }
  return std::nullopt;
}

// The clock's characters, in the order FigureGlyphs keeps their glyphs.
constexpr std::string_view kFigureCharacters = "0123456789:";

std::size_t figureIndex(char c) {
  return c == ':' ? 10 : static_cast<std::size_t>(c - '0');
}

// A text laid out from the glyphs of the clock's characters rather than shaped: digits and
// colons between them in a font with tabular digits, on one line whatever the width (none is
// given), as the clock and the points show. Its prepared text is itself (a plain number needs
// no isolate), so the glyphs are those Pango would give it.
bool isClockFigure(const TextRequest& request) {
  constexpr std::size_t kLongestFigure = 64;
  if (!request.monospacedDigit || request.symbol || std::isfinite(request.maxWidth) ||
      request.maxLines || request.text.size() > kLongestFigure || !isPlainNumber(request.text)) {
    return false;
  }
  return std::all_of(request.text.begin(), request.text.end(),
                     [](char c) { return kFigureCharacters.find(c) != std::string_view::npos; });
}

// A text in which every ordered pair of digits stands, and each digit before and after a colon
// between digits: shaped once, it shows whether the font shapes each of the clock's characters
// alike wherever it stands (no kerning, ligature or contextual form between them).
std::string figureProbe() {
  std::string probe;
  for (char a = '0'; a <= '9'; ++a) {
    for (char b = '0'; b <= '9'; ++b) probe += {a, b};
  }
  for (char d = '0'; d <= '9'; ++d) probe += {d, ':', d};
  return probe;
}

// What a shaped layout depends on besides its text.
struct Shaping {
  int style = 0;
  int textSize = 0;
  bool bold = false;
  bool monospacedDigit = false;
  bool symbol = false;
  int alignment = 0;
  bool rightToLeft = false;
  int lineLimit = -1;       // -1: none
  int maxLines = -1;        // -1: none
  std::int64_t width = -1;  // 1/64 points; -1: unbounded
  friend bool operator==(const Shaping&, const Shaping&) = default;
};

Shaping shapingOf(const TextRequest& r) {
  Shaping s;
  s.style = static_cast<int>(r.style);
  s.textSize = static_cast<int>(r.textSize);
  s.bold = r.bold;
  s.monospacedDigit = r.monospacedDigit;
  s.symbol = r.symbol;
  s.alignment = static_cast<int>(r.alignment);
  s.rightToLeft = r.direction == LayoutDirection::rightToLeft;
  if (r.lineLimit) s.lineLimit = *r.lineLimit < 0 ? 0 : *r.lineLimit;
  if (r.maxLines) s.maxLines = *r.maxLines < 1 ? 1 : *r.maxLines;
  // Widths past any face's are all the same to a layout.
  if (std::isfinite(r.maxWidth)) s.width = std::llround(std::clamp(r.maxWidth, 0.0, 1e9) * 64.0);
  return s;
}

// The cache's key, and the view of one that a lookup makes without copying the text.
struct CacheKey {
  std::string text;
  Shaping shaping;
};
struct CacheKeyView {
  std::string_view text;
  Shaping shaping;
};

struct CacheKeyHash {
  using is_transparent = void;
  std::size_t operator()(const CacheKeyView& k) const {
    std::size_t h = std::hash<std::string_view>{}(k.text);
    const Shaping& s = k.shaping;
    const std::uint64_t fields =
        static_cast<std::uint64_t>(s.style) | static_cast<std::uint64_t>(s.bold) << 8 |
        static_cast<std::uint64_t>(s.monospacedDigit) << 9 |
        static_cast<std::uint64_t>(s.symbol) << 10 | static_cast<std::uint64_t>(s.alignment) << 11 |
        static_cast<std::uint64_t>(s.rightToLeft) << 14 |
        static_cast<std::uint64_t>(s.textSize) << 15 |
        static_cast<std::uint64_t>(static_cast<std::uint32_t>(s.lineLimit)) << 24;
    const std::uint64_t lines = static_cast<std::uint64_t>(static_cast<std::uint32_t>(s.maxLines));
    for (const std::uint64_t v : {fields, static_cast<std::uint64_t>(s.width), lines}) {
      h ^= std::hash<std::uint64_t>{}(v) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    }
    return h;
  }
  std::size_t operator()(const CacheKey& k) const {
    return (*this)(CacheKeyView{k.text, k.shaping});
  }
};

struct CacheKeyEqual {
  using is_transparent = void;
  static CacheKeyView view(const CacheKey& k) { return {k.text, k.shaping}; }
  static const CacheKeyView& view(const CacheKeyView& k) { return k; }
  template <typename A, typename B>
  bool operator()(const A& a, const B& b) const {
    return view(a).text == view(b).text && view(a).shaping == view(b).shaping;
  }
};

PangoAlignment alignedTo(Side side) {
  return side == Side::left ? PANGO_ALIGN_LEFT : PANGO_ALIGN_RIGHT;
}

PangoAlignment pangoAlignment(TextAlignment alignment, LayoutDirection direction) {
  // Layouts have a fixed base direction (auto_dir off), so Pango does not mirror left and
  // right for us: leading is the right edge in a right-to-left layout, whatever the direction
  // of the paragraph itself.
  switch (alignment) {
    case TextAlignment::center:
      return PANGO_ALIGN_CENTER;
    case TextAlignment::trailing:
      return alignedTo(trailingSide(direction));
    case TextAlignment::leading:
      break;
  }
  return alignedTo(leadingSide(direction));
}

Owned<PangoContext> makeContext(PangoFontMap* fontMap, PangoDirection direction) {
  Owned<PangoContext> context(pango_font_map_create_context(fontMap));
  pango_cairo_context_set_resolution(context.get(), 72.0);
  // Metrics independent of the scale the face is painted at: layout happens once, in points.
  const Owned<cairo_font_options_t> options(cairo_font_options_create());
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(context.get(), options.get());
  pango_context_set_round_glyph_positions(context.get(), FALSE);
  pango_context_set_base_dir(context.get(), direction);
  return context;
}

// The fonts of one fontconfig file, scanned once for the process and shared by every engine:
// scanning the font folders costs milliseconds, and the fonts never change while it runs.
// Fontconfig locks its own state, so one configuration serves every thread.
FcConfig* sharedFontConfig(const std::string& path) {
  static std::mutex mutex;
  static std::map<std::string, FcConfig*>* configs = new std::map<std::string, FcConfig*>;
  std::lock_guard lock(mutex);
  if (auto found = configs->find(path); found != configs->end()) return found->second;
  if (std::string problem = checkFontConfigFile(path); !problem.empty()) {
    throw std::runtime_error(problem);
  }
  FcConfig* config = FcConfigCreate();
  if (!config ||
      !FcConfigParseAndLoad(config, reinterpret_cast<const FcChar8*>(path.c_str()), FcTrue) ||
      !FcConfigBuildFonts(config)) {
    if (config) FcConfigDestroy(config);
    throw std::runtime_error("cannot load the font configuration " + path);
  }
  configs->emplace(path, config);
  return config;
}

// The font maps of this thread, one per fontconfig file, given up when the thread ends. A Pango
// font map and its fonts are not safe to use from two threads at once (Pango's own default font
// map is per thread for that reason), so engines share one only within a thread; each thread
// loads the fonts it draws with once.
class ThreadFontMaps {
 public:
  ThreadFontMaps() = default;
  ThreadFontMaps(const ThreadFontMaps&) = delete;
  ThreadFontMaps& operator=(const ThreadFontMaps&) = delete;
  ~ThreadFontMaps() {
    // Engines still alive keep their own references through their contexts.
    for (auto& [path, fontMap] : maps_) g_object_unref(fontMap);
  }

  PangoFontMap* get(const std::string& path) {
    if (auto found = maps_.find(path); found != maps_.end()) return found->second;
    FcConfig* config = sharedFontConfig(path);
    PangoFontMap* fontMap = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    if (!fontMap) throw std::runtime_error("Pango has no FreeType font map");
    // The font map keeps its own reference to the configuration.
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(fontMap), config);
    maps_.emplace(path, fontMap);
    return fontMap;
  }

 private:
  std::map<std::string, PangoFontMap*> maps_;
};

PangoFontMap* sharedFontMap(const std::string& path) {
  thread_local ThreadFontMaps maps;
  return maps.get(path);
}

}  // namespace

std::string defaultFontsConf() {
  return (dataDir() / "fonts.conf").string();
}

void showShapedText(cairo_t* cr, const ShapedText& text) {
  // Pango's renderer draws a layout's run at the current point plus its line's offset (none
  // here) and each glyph at the run's start plus its own offsets: the glyph string drawn at
  // the current point, with the baseline in its offsets, puts each glyph at the same place.
  if (text.glyphs != nullptr) {
    pango_cairo_show_glyph_string(cr, text.font, text.glyphs);
  } else {
    pango_cairo_show_layout(cr, text.layout);
  }
}

struct TextEngine::Impl {
  // A shaped text and the layout it shows, which the cache owns.
  struct Entry {
    Owned<PangoLayout> layout;
    Owned<PangoGlyphString> glyphs;
    ShapedText shaped;
    std::uint64_t lastFrame = 0;
    std::size_t bytes = 0;
  };

  // The glyphs of the clock's characters in one font and size, as Pango shapes them, and the
  // line they stand on. A figure of them (the clock's next second) is laid out from these:
  // shaping a new text costs more than the rest of a tick. font is null when the font does not
  // shape each of them alike wherever it stands; its figures are shaped by Pango.
  struct FigureGlyphs {
    Shaping shaping;
    Owned<PangoFont> font;
    PangoGlyphInfo glyphs[kFigureCharacters.size()] = {};
    // Pango units from the layout's top.
    int baseline = 0;
    PangoRectangle logical = {};
  };

  Owned<PangoContext> rtl;
  Owned<PangoContext> ltr;
  std::unordered_map<CacheKey, Entry, CacheKeyHash, CacheKeyEqual> cache;
  // One a font and size the figures were asked in: a handful.
  std::vector<FigureGlyphs> figureGlyphs;
  std::uint64_t frame = 1;
  std::size_t shaped = 0;
  // What the cached layouts take, as estimated below.
  std::size_t bytes = 0;

  // A shaped layout's memory, roughly: Pango keeps per character its glyph, cluster and
  // attribute records, and per line and run their own; a fixed part for the layout itself.
  static std::size_t estimatedBytes(std::string_view text) { return 1024 + 64 * text.size(); }

  Entry make(const TextRequest& request) {
    if (isClockFigure(request)) {
      if (const FigureGlyphs& figures = figureGlyphsFor(request); figures.font) {
        return makeFigure(request, figures);
      }
    }
    const PreparedText prepared =
        request.symbol ? PreparedText{std::string(request.text), false} : prepare(request);
    Owned<PangoLayout> owned = newLayout(request, prepared.text);
    PangoLayout* layout = owned.get();

    PangoRectangle ink{};
    PangoRectangle logical{};
    pango_layout_get_extents(layout, &ink, &logical);
    ShapedText shapedText;
    shapedText.layout = layout;
    shapedText.size = {static_cast<double>(logical.width) / PANGO_SCALE,
                       static_cast<double>(logical.height) / PANGO_SCALE};
    shapedText.origin = {static_cast<double>(logical.x) / PANGO_SCALE,
                         static_cast<double>(logical.y) / PANGO_SCALE};
    shapedText.ink = inPoints(ink);
    shapedText.lines = pango_layout_get_line_count(layout);
    shapedText.truncated = pango_layout_is_ellipsized(layout) || prepared.cut;
    ++shaped;
    shapedText.serial = shaped;
    return Entry{std::move(owned), nullptr, shapedText, frame};
  }

  static Rect inPoints(const PangoRectangle& r) {
    return {static_cast<double>(r.x) / PANGO_SCALE, static_cast<double>(r.y) / PANGO_SCALE,
            static_cast<double>(r.width) / PANGO_SCALE,
            static_cast<double>(r.height) / PANGO_SCALE};
  }

  // The glyphs of the clock's characters in the request's font and size, shaped the first time
  // they are asked for.
  const FigureGlyphs& figureGlyphsFor(const TextRequest& request) {
    const Shaping shaping = shapingOf(request);
    for (const FigureGlyphs& figures : figureGlyphs) {
      if (figures.shaping == shaping) return figures;
    }
    FigureGlyphs& figures = figureGlyphs.emplace_back();
    figures.shaping = shaping;
    const std::string probe = figureProbe();
    const Owned<PangoLayout> layout = newLayout(request, probe);
    PangoLayoutLine* line = pango_layout_get_line_readonly(layout.get(), 0);
    if (pango_layout_get_line_count(layout.get()) != 1 || line == nullptr ||
        line->runs == nullptr || line->runs->next != nullptr) {
      return figures;
    }
    const auto* run = static_cast<const PangoGlyphItem*>(line->runs->data);
    const PangoGlyphString* glyphs = run->glyphs;
    if (glyphs->num_glyphs != static_cast<int>(probe.size()) || run->item->analysis.level % 2) {
      return figures;
    }
    PangoRectangle lineLogical{};
    pango_layout_line_get_extents(line, nullptr, &lineLogical);
    bool seen[kFigureCharacters.size()] = {};
    for (int i = 0; i < glyphs->num_glyphs; ++i) {
      const PangoGlyphInfo& glyph = glyphs->glyphs[i];
      // One glyph a character, in the text's order, none of them moved up or down: then the
      // run is the glyphs laid side by side, and one drawn with the baseline as its offset
      // lands where the layout's would.
      if (glyphs->log_clusters[i] != i || !glyph.attr.is_cluster_start ||
          glyph.geometry.y_offset != 0) {
        return figures;
      }
      const std::size_t c = figureIndex(probe[static_cast<std::size_t>(i)]);
      PangoGlyphInfo& kept = figures.glyphs[c];
      if (!seen[c]) {
        kept = glyph;
        seen[c] = true;
      } else if (kept.glyph != glyph.glyph || kept.geometry.width != glyph.geometry.width ||
                 kept.geometry.x_offset != glyph.geometry.x_offset) {
        return figures;  // shaped otherwise beside another character
      }
    }
    if (lineLogical.x != 0) return figures;
    figures.baseline = pango_layout_get_baseline(layout.get());
    pango_layout_get_extents(layout.get(), nullptr, &figures.logical);
    figures.font.reset(PANGO_FONT(g_object_ref(run->item->analysis.font)));
    return figures;
  }

  // A figure laid out from its characters' glyphs. Its layout holds the text for whoever asks
  // the layout itself, and is not shaped here.
  Entry makeFigure(const TextRequest& request, const FigureGlyphs& figures) {
    const std::string text(request.text);
    Owned<PangoGlyphString> glyphs(pango_glyph_string_new());
    pango_glyph_string_set_size(glyphs.get(), static_cast<int>(text.size()));
    int width = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      PangoGlyphInfo glyph = figures.glyphs[figureIndex(text[i])];
      glyph.geometry.y_offset = figures.baseline;
      glyphs->glyphs[i] = glyph;
      glyphs->log_clusters[i] = static_cast<int>(i);
      width += glyph.geometry.width;
    }
    PangoRectangle ink{};
    pango_glyph_string_extents(glyphs.get(), figures.font.get(), &ink, nullptr);
    ShapedText shapedText;
    shapedText.layout = nullptr;
    shapedText.size = {static_cast<double>(width) / PANGO_SCALE,
                       static_cast<double>(figures.logical.height) / PANGO_SCALE};
    shapedText.origin = {0.0, static_cast<double>(figures.logical.y) / PANGO_SCALE};
    shapedText.ink = inPoints(ink);
    shapedText.lines = 1;
    shapedText.truncated = false;
    shapedText.font = figures.font.get();
    shapedText.glyphs = glyphs.get();
    Owned<PangoLayout> layout = newLayout(request, text);
    shapedText.layout = layout.get();
    ++shaped;
    shapedText.serial = shaped;
    return Entry{std::move(layout), std::move(glyphs), shapedText, frame};
  }

  // A layout set up for the request (its font, line height, width, line limit and alignment),
  // in the context of its paragraph's direction, holding text as prepared for it; not shaped
  // until it is asked for its lines or extents.
  Owned<PangoLayout> newLayout(const TextRequest& request, const std::string& text) {
    const TextStyleMetrics metrics = textStyleMetrics(request.style, request.textSize);
    Owned<PangoLayout> owned(pango_layout_new(
        paragraphDirection(request, text) == LayoutDirection::rightToLeft ? rtl.get() : ltr.get()));
    PangoLayout* layout = owned.get();
    pango_layout_set_auto_dir(layout, FALSE);

    const Owned<PangoFontDescription> font(pango_font_description_new());
    const Owned<PangoAttrList> attributes(pango_attr_list_new());
    if (request.symbol) {
      pango_font_description_set_family(font.get(), kSymbolFamily);
      pango_font_description_set_absolute_size(
          font.get(), metrics.pointSize * design::symbolScale * PANGO_SCALE);
    } else {
      pango_font_description_set_family(font.get(), kTextFamilies);
      pango_font_description_set_absolute_size(font.get(), metrics.pointSize * PANGO_SCALE);
      pango_font_description_set_weight(
          font.get(), static_cast<PangoWeight>(request.bold ? kBoldWeight : metrics.weight));
      // Every line is the style's leading tall, baseline to baseline, as on the watch.
      pango_attr_list_insert(attributes.get(), pango_attr_line_height_new_absolute(static_cast<int>(
                                                   std::lround(metrics.leading * PANGO_SCALE))));
    }
    pango_layout_set_font_description(layout, font.get());
    if (request.monospacedDigit) {
      pango_attr_list_insert(attributes.get(), pango_attr_font_features_new("tnum 1"));
    }
    pango_layout_set_attributes(layout, attributes.get());

    if (std::isfinite(request.maxWidth)) {
      const double width = request.maxWidth > 0.0 ? request.maxWidth : 0.0;
      pango_layout_set_width(layout, static_cast<int>(std::lround(width * PANGO_SCALE)));
      pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    if (const std::optional<int> limit = lineLimitOf(request)) {
      pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
      if (oneLine(request)) pango_layout_set_single_paragraph_mode(layout, TRUE);
      pango_layout_set_height(layout, -std::max(*limit, 1));
    }
    pango_layout_set_alignment(layout, pangoAlignment(request.alignment, request.direction));
    pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
    return owned;
  }

  // The paragraph's own direction: that of its first strong character, else the layout's.
  // text is the request's text as prepared for Pango: valid UTF-8.
  static LayoutDirection paragraphDirection(const TextRequest& request, const std::string& text) {
    if (request.symbol) return request.direction;
    return firstStrongDirection(text).value_or(request.direction);
  }

  const ShapedText& get(const TextRequest& request) {
    const CacheKeyView key{request.text, shapingOf(request)};
    auto found = cache.find(key);
    if (found == cache.end()) {
      found = cache.emplace(CacheKey{std::string(key.text), key.shaping}, make(request)).first;
      found->second.bytes = estimatedBytes(key.text);
      bytes += found->second.bytes;
    }
    found->second.lastFrame = frame;
    return found->second.shaped;
  }
};

TextEngine::TextEngine(const std::string& fontsConf) : impl_(std::make_unique<Impl>()) {
  PangoFontMap* fontMap = sharedFontMap(fontsConf.empty() ? defaultFontsConf() : fontsConf);
  impl_->rtl = makeContext(fontMap, PANGO_DIRECTION_RTL);
  impl_->ltr = makeContext(fontMap, PANGO_DIRECTION_LTR);
}

TextEngine::~TextEngine() = default;

const ShapedText& TextEngine::shape(const TextRequest& request) {
  if (request.maxLines && !request.symbol) {
    // A text whose lines all fit the height it is offered is laid out as if unbounded.
    TextRequest unbounded = request;
    unbounded.maxLines.reset();
    const ShapedText& whole = shape(unbounded);
    if (whole.lines <= *request.maxLines) return whole;
  }
  if (std::isfinite(request.maxWidth) && !request.symbol) {
    // A text that fits on one line keeps its natural layout, whatever width it is offered: one
    // shaping serves every proposal it fits in.
    TextRequest natural = request;
    natural.maxWidth = std::numeric_limits<double>::infinity();
    natural.maxLines.reset();
    const ShapedText& unbounded = impl_->get(natural);
    if (unbounded.lines <= 1 && unbounded.size.width <= request.maxWidth + 1e-6) return unbounded;
  }
  if (request.symbol) {
    TextRequest unbounded = request;
    unbounded.maxWidth = std::numeric_limits<double>::infinity();
    return impl_->get(unbounded);
  }
  return impl_->get(request);
}

void TextEngine::beginFrame() {
  // Over either bound, the texts the last frames did not use go, the longest unused first,
  // until the cache is down to half of both bounds (so that this runs once in many frames,
  // not on every one at the bound); what the last frames used stays whatever it takes, since
  // the next frame most likely shows it again.
  Impl& d = *impl_;
  if (d.cache.size() > kMaxCachedTexts || d.bytes > kMaxCachedBytes) {
    std::vector<decltype(d.cache)::iterator> unused;
    for (auto it = d.cache.begin(); it != d.cache.end(); ++it) {
      if (it->second.lastFrame + 1 < d.frame) unused.push_back(it);
    }
    std::sort(unused.begin(), unused.end(), [](const auto& a, const auto& b) {
      return a->second.lastFrame < b->second.lastFrame;
    });
    for (const auto& it : unused) {
      if (d.cache.size() <= kMaxCachedTexts / 2 && d.bytes <= kMaxCachedBytes / 2) break;
      d.bytes -= it->second.bytes;
      d.cache.erase(it);
    }
  }
  ++d.frame;
}

TextEngine::Stats TextEngine::stats() const {
  return Stats{impl_->shaped};
}

}  // namespace dunvel
