#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/MainQueue.h"
#include "platform/link/ViewerHub.h"
#include "views/toolkit/HapticType.h"

#include <cairo.h>

namespace dunvel {

class FaceRenderer;
class WatchFace;
struct Rect;

// The face as the browser view shows it, fed from the main thread to the viewers' hub: the face's
// pixels (the whole face to a viewer that joins or fell behind, then only what each frame
// changed), what a screen reader reads of it, its haptics, and the developer's panel (who holds
// the link, the last snapshot's findings, the log's last lines). What viewers do comes back as
// taps, presses and the crown on the face. A face nobody else sees is painted only while a viewer
// watches. Main thread only, but for events(), whose calls hand their work to the main queue.
class FaceViewer {
 public:
  // Lines of the log the panel keeps.
  static constexpr std::size_t kLogLines = 50;

  // The hub and the queue must outlive the viewer.
  FaceViewer(ViewerHub& hub, MainQueue& mainQueue);
  ~FaceViewer();
  FaceViewer(const FaceViewer&) = delete;
  FaceViewer& operator=(const FaceViewer&) = delete;

  // What the hub is to call: each event is handed to this object on the main queue, and dropped
  // once it is gone. Log lines go to log, on the main thread.
  ViewerHub::Events events(std::function<void(const std::string&)> log);

  // The face to show, until detach (both must outlive that). A face that others see too (a
  // window, frames written) stays seen; one that only viewers see is seen while one watches.
  enum class SeenBy { viewersOnly, others };
  void attach(WatchFace& face, FaceRenderer& renderer, SeenBy seenBy);
  void detach();

  // The panel's matter.
  void logLine(const std::string& line);
  void linkHeld(bool held);
  // The last snapshot's findings, one line each ("POINTER: KIND: message").
  void findings(std::vector<std::string> lines);
  void haptic(HapticType type);

  // The hub's events, on the main thread (events() hands them here).
  void joined(ViewerId viewer);
  void left(ViewerId viewer);
  void wholeFaceWanted(ViewerId viewer);
  void input(ViewerId viewer, const ViewerInput& input);

  std::size_t viewers() const { return viewers_.size(); }

 private:
  void framePainted(const FaceRenderer& renderer);
  void sendFace(ViewerId to);
  void sendElements(ViewerId to);
  void sendPanel(ViewerId to);
  void updateSeen();

  ViewerHub& hub_;
  MainQueue& mainQueue_;
  WatchFace* face_ = nullptr;
  FaceRenderer* renderer_ = nullptr;
  SeenBy seenBy_ = SeenBy::others;
  std::vector<ViewerId> viewers_;
  // Viewers that get the whole face with the next frame painted.
  std::vector<ViewerId> wantWhole_;
  // Who holds the press on the face: only that viewer moves or releases it.
  std::optional<ViewerId> pressedBy_;
  std::string lastElements_;
  std::deque<std::string> log_;
  bool linkHeld_ = false;
  std::vector<std::string> findings_;
  // Queued events reach the object through this, and do nothing once it is gone.
  std::shared_ptr<FaceViewer*> self_;
};

// The face's pixels in rect (pixels, inside the image) as a viewer's pixel message takes them:
// x, y, width, height as 16-bit little-endian numbers, then the rows' RGBA bytes, colours
// unpremultiplied as a PNG of the face holds them.
void appendPixels(std::string& message, cairo_surface_t* image, const Rect& rect);

}  // namespace dunvel
