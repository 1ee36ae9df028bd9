#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/MainQueue.h"
#include "observation/Cancellable.h"
#include "observation/Clock.h"
#include "observation/TimerScheduler.h"
#include "render/FaceLayout.h"
#include "render/FaceRenderer.h"
#include "render/Geometry.h"
#include "views/toolkit/Element.h"
#include "views/toolkit/HapticType.h"

namespace dunvel {

// How far a scroll request moves the content.
enum class ScrollUnit { point, line, page };

// The face as a finger and the crown meet it: the app's latest element tree laid out by a
// renderer, the scroll position of each scroll view, the button held down and the pulse of the
// last haptic. Input comes in points on the face; a tap runs the button's action as on the
// watch, on release inside the button it was pressed in. A frame is painted, on the main queue,
// only when something shown changed: the tree, a scroll position, the pressed look or a pulse.
// The renderer, queue and timers must outlive the face. Main thread only.
class WatchFace {
 public:
  WatchFace(FaceRenderer& renderer, MainQueue& mainQueue, TimerScheduler& timers);
  ~WatchFace();
  WatchFace(const WatchFace&) = delete;
  WatchFace& operator=(const WatchFace&) = delete;

  // A newly evaluated tree, which must stay valid until the next call (a view graph's tree
  // does). Scroll views whose place is still in the tree keep their position; the others are
  // forgotten, so a new screen starts at the top.
  void show(const Element& tree);

  // The pointer, in points. A press on a button shows its pressed look while the pointer stays
  // on it; a release on the same button taps it. Moving up or down more than a few points
  // while pressed drags the scroll view under the press instead (when it has more to show), as
  // a finger does, and taps nothing.
  void press(Point point);
  void move(Point point);
  void release(Point point);

  // Taps the button of the last layout that has this identity, as a release on it does: the
  // tap listeners, then its action. What assistive technologies activate goes this way, so a
  // button activated by a screen reader does exactly what a click does. False when the layout
  // has no such button (the screen changed since it was read).
  bool tap(std::string_view identity);

  // The crown: scrolls the scroll view under point (the first one when none is there) by amount
  // units, positive towards the end of the content, clamped to the content.
  void scroll(Point point, double amount, ScrollUnit unit);

  // Shows a short pulse on the face for one haptic: a ring along the display's edge whose
  // colour, width and length tell the four types apart.
  void pulse(HapticType type);

  // The wearer's text size: the face is laid out again at once.
  void setTextSize(TextSize size);
  TextSize textSize() const { return renderer_.face().textSize; }

  // The time in the band at the top ("10:09"); empty for none.
  void showTime(std::string time);
  // Shows the time of clock now, and again at each turn of the minute (one wake-up a minute),
  // until the face goes. The clock must outlive the face.
  void keepTime(const Clock& clock);

  // Whether anyone sees the face: a window, a viewer, frames written. A face nobody sees lays
  // out and paints nothing, takes no input and keeps no minute timer; seen again, it is laid out
  // and painted whole at once. A face is seen from the start.
  void setSeen(bool seen);
  bool seen() const { return seen_; }
  // Lets go of a press without tapping anything, as a finger taken away by the system is.
  void cancelPress();

  // Called with the button before its action runs, for each tap.
  void onTap(std::function<void(const Element& button)> listener);
  // Called after each painted frame, with the renderer holding it.
  void onFrame(std::function<void(const FaceRenderer&)> listener);

  // The layout of the last tree; null before the first.
  const FaceLayout* layout() const { return renderer_.lastLayout(); }
  // What the face has done, for whoever checks it.
  struct Stats {
    std::size_t framesPainted = 0;
    // The scroll views' positions, in points from the top, by identity.
    ScrollOffsets scrollOffsets;
    // The position of a scroll view (0 for one never scrolled).
    double scrollOffset(const std::string& identity) const;
  };
  Stats stats() const { return Stats{framesPainted_, offsets_}; }

  // Paints now when something shown changed since the last frame; the queued frame calls it.
  void paintIfChanged();

 private:
  // Where a press stands: held on the button it began in (its pressed look shows), off it
  // (moved away, or begun on no button), or dragging a scroll view (it taps nothing then).
  enum class PressState { onButton, offButton, dragging };
  struct Press {
    Point start;
    // The button it began in; empty for none.
    std::string button;
    PressState state = PressState::offButton;
    // The scroll view a drag moves: the one under the press, when it can scroll.
    std::string scrollView;
    double startOffset = 0.0;
  };

  void relayout();
  void showTimeNow();
  void setOffset(const ScrollViewLayout& view, double offset);
  void changed();
  std::string pressedLook() const;
  void tap(const Element& button);

  FaceRenderer& renderer_;
  MainQueue& mainQueue_;
  TimerScheduler& timers_;
  const Element* tree_ = nullptr;
  // What the last tree shown looked like: a copy without actions, kept for trees of up to
  // kLooksKeptUpTo elements (none for a larger one, which every show paints again).
  static constexpr std::size_t kLooksKeptUpTo = 4096;
  void keepLookOf(const Element& tree);
  std::optional<Element> shownLook_;
  ScrollOffsets offsets_;
  std::optional<Press> press_;
  std::optional<HapticType> pulse_;
  Cancellable pulseEnd_;
  const Clock* clock_ = nullptr;
  Cancellable minuteTurn_;
  bool seen_ = true;
  bool dirty_ = false;
  bool frameQueued_ = false;
  std::size_t framesPainted_ = 0;
  std::vector<std::function<void(const Element&)>> tapListeners_;
  std::vector<std::function<void(const FaceRenderer&)>> frameListeners_;
  // Queued frames reach the face through this, and do nothing once it is gone.
  std::shared_ptr<WatchFace*> self_;
};

}  // namespace dunvel
