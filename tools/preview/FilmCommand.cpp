#include "preview/FilmCommand.h"

#include <cairo.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <system_error>
#include <vector>

#include "app/ScreenDescription.h"
#include "app/ScreenPreview.h"
#include "cli/NumberOption.h"
#include "files/FrameFileName.h"
#include "files/ReadFile.h"
#include "platform/recording/RecordingReader.h"
#include "preview/FaceSnapshot.h"
#include "preview/ProgressLine.h"
#include "preview/RecordedFrames.h"
#include "preview/SheetLabel.h"
#include "render/FaceRenderer.h"
#include "render/Owned.h"
#include "state/ContextDecoding.h"
#include "state/OneLine.h"

namespace dunvel {

namespace {

using Surface = Owned<cairo_surface_t>;

// "3:05.2": minutes and seconds to the tenth since the recording started.
std::string filmTime(double ms) {
  const double tenths = std::round(ms / 100);
  char text[48];
  if (!(tenths >= 0 && tenths < 1e15)) {
    std::snprintf(text, sizeof text, "%g s", ms / 1000);
  } else {
    const auto whole = static_cast<long long>(tenths);
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", whole / 600, whole % 600 / 10, whole % 10);
  }
  return text;
}

// The frames of the contact sheet, each scaled down to one pixel per point, with the label under
// it. Keeps every stride-th frame and doubles the stride whenever the sheet is full.
class ContactSheet {
 public:
  ContactSheet(FaceRenderer& renderer, int columns)
      : renderer_(renderer),
        width_(static_cast<int>(std::lround(renderer.face().size.width))),
        height_(static_cast<int>(std::lround(renderer.face().size.height))),
        columns_(columns) {}

  // The frame just painted by the renderer; number counts from 1.
  void add(std::size_t number, std::string label) {
    Tile tile{number, std::move(label), thumbnail()};
    if ((number - 1) % stride_ != 0) {
      last_ = std::move(tile);
      return;
    }
    if (tiles_.size() == kMaxContactSheetFrames) {
      stride_ *= 2;
      std::erase_if(tiles_, [this](const Tile& kept) { return (kept.number - 1) % stride_ != 0; });
      if ((number - 1) % stride_ != 0) {
        last_ = std::move(tile);
        return;
      }
    }
    tiles_.push_back(std::move(tile));
    last_.reset();
  }

  // Writes the sheet; an empty string on success, else what went wrong.
  std::string write(const std::string& path) {
    if (last_) tiles_.push_back(std::move(*last_));
    last_.reset();
    const int count = static_cast<int>(tiles_.size());
    const int columns = std::max(1, std::min(columns_, count));
    const int rows = (count + columns - 1) / columns;
    const int cellWidth = width_ + kGap;
    const int cellHeight = height_ + kLabelHeight + kGap;
    Surface sheet(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kGap + columns * cellWidth,
                                             kGap + rows * cellHeight));
    if (cairo_surface_status(sheet.get()) != CAIRO_STATUS_SUCCESS)
      return "cannot make a contact sheet of " + std::to_string(count) + " frames";
    {
      const Owned<cairo_t> cr(cairo_create(sheet.get()));
      cairo_set_source_rgb(cr.get(), 0.16, 0.16, 0.17);
      cairo_paint(cr.get());
      for (int i = 0; i < count; ++i) {
        const double x = kGap + (i % columns) * cellWidth;
        const double y = kGap + (i / columns) * cellHeight;
        cairo_set_source_surface(cr.get(), tiles_[static_cast<std::size_t>(i)].image.get(), x, y);
        cairo_paint(cr.get());
        drawSheetLabel(cr.get(), renderer_.textEngine(), tiles_[static_cast<std::size_t>(i)].label,
                       x, y + height_ + 3, width_);
      }
    }
    return FaceRenderer::writePng(sheet.get(), path);
  }

  std::size_t shown() const { return tiles_.size() + (last_ ? 1 : 0); }

 private:
  struct Tile {
    std::size_t number;
    std::string label;
    Surface image;
  };

  static constexpr int kGap = 8;
  static constexpr int kLabelHeight = 20;

  Surface thumbnail() const {
    Surface tile(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_));
    const Owned<cairo_t> cr(cairo_create(tile.get()));
    cairo_scale(cr.get(), 1 / renderer_.scale(), 1 / renderer_.scale());
    cairo_set_source_surface(cr.get(), renderer_.image(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr.get()), CAIRO_FILTER_GOOD);
    cairo_paint(cr.get());
    return tile;
  }

  FaceRenderer& renderer_;
  int width_;
  int height_;
  int columns_;
  std::size_t stride_ = 1;
  std::vector<Tile> tiles_;
  std::optional<Tile> last_;
};

}  // namespace

int runFilmCommand(const FilmOptions& options, PreviewIo& io) {
  RegularFileStream file(options.path);
  if (!file.problem().empty()) {
    io.err << "dunvel-preview: " << oneLine(options.path) << ": " << file.problem() << '\n';
    return kExitBadInput;
  }
  std::error_code error;
  std::filesystem::create_directories(options.folder, error);
  if (error || !std::filesystem::is_directory(options.folder)) {
    io.err << "dunvel-preview: cannot make the folder " << oneLine(options.folder) << ": "
           << (error ? error.message() : "a file of that name is in the way") << '\n';
    return kExitBadInput;
  }
  RecordingReader reader(file.stream(), oneLine(options.path), [&io](const std::string& warning) {
    io.err << "dunvel-preview: " << warning << '\n';
  });
  FaceRenderer renderer(parseFaceSize(options.size).value_or(FaceSize::mm45), options.scale);
  ContactSheet sheet(renderer, options.columns);
  const std::filesystem::path folder(options.folder);

  RecordedFrames recorded(reader);
  std::size_t frames = 0;
  std::size_t leftOut = 0;
  RecordedFrame frame;
  // The frames to come are not counted ahead: the part of the recording read tells the time left.
  std::error_code sizeError;
  const std::uintmax_t bytes = std::filesystem::file_size(options.path, sizeError);
  ProgressLine progress(io.err, io.errIsTerminal, "film", "frames");
  // The reader reads ahead in blocks: the part read is where the stream stands, or all of it
  // once the stream has met the file's end.
  const auto partRead = [&]() -> std::optional<double> {
    if (sizeError || bytes == 0) return std::nullopt;
    if (file.stream().eof()) return 1.0;
    const std::streamoff at = file.stream().tellg();
    if (at < 0) return std::nullopt;
    return static_cast<double>(at) / static_cast<double>(bytes);
  };
  while (recorded.next(frame)) {
    // A night of a million snapshots would write tens of gigabytes of frames.
    if (frames == options.maxFrames) {
      ++leftOut;
      continue;
    }
    ++frames;
    const Date moment = frame.moment;
    const ScreenPreview preview(decodeGameState(frame.payload), hostReach(frame.reachable), moment);
    setUpFace(renderer, options.textSize, moment);
    renderer.layout(preview.tree());
    renderer.paint();
    const std::string name = frameFileName(frames);
    if (std::string problem = renderer.writePng((folder / name).string()); !problem.empty()) {
      io.err << "dunvel-preview: " << oneLine(problem) << '\n';
      return kExitBadInput;
    }
    std::string label = "#" + std::to_string(frames) + "  " + filmTime(frame.t);
    if (reader.recording() > 1) label += "  (" + std::to_string(reader.recording()) + ")";
    progress.clear();
    io.out << name << "  " << filmTime(frame.t) << "  recording " << reader.recording() << " line "
           << reader.line() << "  " << oneLine(describeScreen(preview.tree()).line()) << '\n';
    sheet.add(frames, std::move(label));
    // The frame's line reaches the terminal before the progress line is drawn under it.
    if (io.errIsTerminal) io.out.flush();
    progress.done(1, partRead());
  }
  progress.clear();
  if (reader.failed()) {
    io.err << "dunvel-preview: cannot read " << oneLine(options.path) << " to its end\n";
    return kExitBadInput;
  }
  if (frames == 0) {
    io.err << "dunvel-preview: " << oneLine(options.path)
           << ": holds no snapshot to draw (no context or message frame after a start line)\n";
    return kExitBadInput;
  }
  const std::size_t shown = sheet.shown();
  const std::string sheetPath = (folder / "contact-sheet.png").string();
  if (std::string problem = sheet.write(sheetPath); !problem.empty()) {
    io.err << "dunvel-preview: " << oneLine(problem) << '\n';
    return kExitBadInput;
  }
  io.out << "dunvel-preview: " << frames << (frames == 1 ? " frame" : " frames") << " in "
         << oneLine(options.folder) << "; the contact sheet shows " << shown << ": "
         << oneLine(sheetPath) << '\n';
  if (leftOut > 0) {
    io.err << "dunvel-preview: " << leftOut << (leftOut == 1 ? " snapshot" : " snapshots")
           << " after the first " << frames << " left out (--max-frames " << options.maxFrames
           << ")\n";
  }
  return kExitSuccess;
}

void addFilmCommand(CLI::App& app, PreviewIo& io) {
  CLI::App* film = app.add_subcommand(
      "film",
      "Draw the screen after each snapshot of a recording (dunvel-watch --record), at the\n"
      "recorded moment and with the recorded reachability, as DIR/frame-000001.png, …, plus\n"
      "DIR/contact-sheet.png: the frames in a grid, each labelled with its number and its time\n"
      "since the recording started (a long night shows every 2nd, 4th, … frame, and the last).");
  film->footer(
      "FILE is a recording written by dunvel-watch --record.\n"
      "On a terminal, standard error shows the frames drawn, the part of FILE read and the\n"
      "time left.\n"
      "Exit status: 0 success (lines that cannot be used are skipped with a warning naming\n"
      "them); 1 the recording cannot be read or holds no snapshot, or a file cannot be\n"
      "written; 2 bad usage.");
  auto options = std::make_shared<FilmOptions>();
  film->add_option("FILE", options->path, "The recording")->required();
  film->add_option("-o,--output", options->folder,
                   "The folder to write the frames into (made if missing; files of the same "
                   "names are replaced)")
      ->required();
  addFaceSizeOption(*film, options->size);
  addTextSizeOption(*film, options->textSize);
  film->add_option("--scale", options->scale, "Pixels per point of the frames, 0.25 to 8")
      ->check(FiniteNumber())
      ->check(CLI::Range(0.25, 8.0))
      ->capture_default_str();
  film->add_option("--columns", options->columns, "Frames per row of the contact sheet, 1 to 64")
      ->check(CLI::Range(1, 64))
      ->capture_default_str();
  film->add_option("--max-frames", options->maxFrames,
                   "Draw at most this many frames, 1 to 10000000; the snapshots after them are "
                   "counted and left out")
      ->check(CLI::Range(std::size_t{1}, std::size_t{10'000'000}))
      ->capture_default_str();
  film->callback([options, &io] { io.exitCode = runFilmCommand(*options, io); });
}

}  // namespace dunvel
