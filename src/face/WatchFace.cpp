#include "face/WatchFace.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "render/DesignSystem.h"
#include "render/FacePainter.h"
#include "render/TimeText.h"

namespace dunvel {

namespace {

// A crown detent or an arrow key: about two lines of a scoreboard.
constexpr double kLinePoints = 24.0;
// How far a pressed pointer may wander before the press becomes a drag.
constexpr double kDragSlopPoints = 6.0;

// The tree's look, kept to compare the next tree with: a copy without the buttons' actions, so
// it holds on to nothing they captured.
void keepLook(Element& look) {
  look.action = nullptr;
  for (Element& child : look.children) keepLook(child);
}

// Whether the tree holds more elements than `left` (counted down, and no further).
bool holdsMoreThan(const Element& element, std::size_t& left) {
  if (left == 0) return true;
  --left;
  for (const Element& child : element.children) {
    if (holdsMoreThan(child, left)) return true;
  }
  return false;
}

}  // namespace

WatchFace::WatchFace(FaceRenderer& renderer, MainQueue& mainQueue, TimerScheduler& timers)
    : renderer_(renderer),
      mainQueue_(mainQueue),
      timers_(timers),
      self_(std::make_shared<WatchFace*>(this)) {}

WatchFace::~WatchFace() = default;

void WatchFace::show(const Element& tree) {
  tree_ = &tree;
  // Laid out once it is seen again.
  if (!seen_) return;
  relayout();
  // Positions of scroll views that left the tree are forgotten; the others are kept as the
  // layout clamped them, so content that shrank does not leave a stretch to scroll back first.
  ScrollOffsets kept;
  for (const ScrollViewLayout& view : layout()->scrollViews()) {
    if (offsets_.count(view.identity) != 0) kept[view.identity] = view.offset;
  }
  offsets_ = std::move(kept);
  if (!shownLook_ || !shownLook_->looksLike(tree)) {
    keepLookOf(tree);
    changed();
  }
}

void WatchFace::keepLookOf(const Element& tree) {
  // A board of a hundred thousand teams is not kept a second time to spare one frame: a tree
  // that large is painted again whenever it is shown.
  std::size_t left = kLooksKeptUpTo;
  if (holdsMoreThan(tree, left)) {
    shownLook_.reset();
    return;
  }
  shownLook_ = tree;
  keepLook(*shownLook_);
}

void WatchFace::setSeen(bool seen) {
  if (seen == seen_) return;
  seen_ = seen;
  if (!seen) {
    press_.reset();
    minuteTurn_.cancel();
    return;
  }
  if (clock_ != nullptr) showTimeNow();
  if (tree_ != nullptr) {
    renderer_.layout(*tree_, offsets_, FaceRenderer::Relayout::whole);
    keepLookOf(*tree_);
  }
  changed();
}

void WatchFace::cancelPress() {
  if (!press_) return;
  const bool looked = press_->state == PressState::onButton;
  press_.reset();
  if (looked) changed();
}

void WatchFace::press(Point point) {
  if (!seen_ || layout() == nullptr) return;
  Press press;
  press.start = point;
  if (const Element* button = layout()->buttonAt(point)) {
    press.button = button->identity;
    press.state = PressState::onButton;
  }
  const ScrollViewLayout* view = layout()->scrollViewAt(point);
  if (view != nullptr && view->maxOffset() > 0.0) {
    press.scrollView = view->identity;
    press.startOffset = view->offset;
  }
  press_ = std::move(press);
  if (press_->state == PressState::onButton) changed();
}

void WatchFace::move(Point point) {
  if (!seen_ || !press_ || layout() == nullptr) return;
  Press& press = *press_;
  const double dy = point.y - press.start.y;
  // Only an upright movement drags: the watch scrolls vertically, and a finger that slides
  // sideways off a button just lets go of it.
  if (press.state != PressState::dragging && !press.scrollView.empty() &&
      std::abs(dy) > kDragSlopPoints) {
    if (press.state == PressState::onButton) changed();
    press.state = PressState::dragging;
  }
  if (press.state == PressState::dragging) {
    // The content follows the finger.
    for (const ScrollViewLayout& view : layout()->scrollViews()) {
      if (view.identity == press.scrollView) {
        setOffset(view, press.startOffset - dy);
        break;
      }
    }
    return;
  }
  if (press.button.empty()) return;
  const Element* under = layout()->buttonAt(point);
  const PressState now = under != nullptr && under->identity == press.button
                             ? PressState::onButton
                             : PressState::offButton;
  if (now != press.state) {
    press.state = now;
    changed();
  }
}

void WatchFace::release(Point point) {
  if (!press_) return;
  const Press press = std::move(*press_);
  press_.reset();
  if (press.state == PressState::onButton) changed();
  if (press.state == PressState::dragging || press.button.empty() || layout() == nullptr) return;
  // Hit-tested again in the current layout: the tree may have been evaluated since the press.
  const Element* button = layout()->buttonAt(point);
  if (button == nullptr || button->identity != press.button) return;
  tap(*button);
}

bool WatchFace::tap(std::string_view identity) {
  if (!seen_ || layout() == nullptr) return false;
  for (const ButtonHit& hit : layout()->buttons()) {
    if (hit.element->identity == identity) {
      tap(*hit.element);
      return true;
    }
  }
  return false;
}

void WatchFace::tap(const Element& button) {
  for (const auto& listener : tapListeners_) listener(button);
  // The action may lead to a new evaluation only through the main queue, so the button (and
  // the tree it lives in) stays valid while it runs.
  button.tap();
}

void WatchFace::scroll(Point point, double amount, ScrollUnit unit) {
  const FaceLayout* current = layout();
  if (!seen_ || current == nullptr || current->scrollViews().empty() || !std::isfinite(amount))
    return;
  const ScrollViewLayout* view = current->scrollViewAt(point);
  if (view == nullptr) view = &current->scrollViews().front();
  double points = amount;
  if (unit == ScrollUnit::line) points *= kLinePoints;
  if (unit == ScrollUnit::page)
    points *= std::max(view->viewport.height - kLinePoints, kLinePoints);
  setOffset(*view, view->offset + points);
}

void WatchFace::pulse(HapticType type) {
  pulse_ = type;
  changed();
  // One timer at a time: a new haptic replaces the pulse still showing.
  pulseEnd_ = timers_.scheduleOnce(hapticRingLook(type).length, [this] {
    pulse_.reset();
    changed();
  });
}

void WatchFace::setTextSize(TextSize size) {
  if (size == textSize()) return;
  renderer_.setTextSize(size);
  if (seen_) relayout();
  changed();
}

void WatchFace::showTime(std::string time) {
  if (time == renderer_.time()) return;
  renderer_.setTime(std::move(time));
  // The time stands apart in its band: nothing else moves.
  if (tree_ != nullptr && seen_) renderer_.placeTime();
  changed();
}

void WatchFace::keepTime(const Clock& clock) {
  clock_ = &clock;
  if (seen_) showTimeNow();
}

void WatchFace::showTimeNow() {
  const double now = clock_->now().timeIntervalSince1970;
  showTime(timeText(now));
  // Due just after the next turn of the minute, and set again from there, so the clock's own
  // drift never adds up.
  double untilTurn = 60.0 - std::fmod(now, 60.0);
  if (!(untilTurn > 0.0 && untilTurn <= 60.0)) untilTurn = 60.0;
  const auto due = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::duration<double>(untilTurn + 0.02));
  minuteTurn_ = timers_.scheduleOnce(due, [this] { showTimeNow(); });
}

void WatchFace::onTap(std::function<void(const Element& button)> listener) {
  tapListeners_.push_back(std::move(listener));
}

void WatchFace::onFrame(std::function<void(const FaceRenderer&)> listener) {
  frameListeners_.push_back(std::move(listener));
}

double WatchFace::Stats::scrollOffset(const std::string& identity) const {
  const auto found = scrollOffsets.find(identity);
  return found == scrollOffsets.end() ? 0.0 : found->second;
}

void WatchFace::paintIfChanged() {
  if (!dirty_ || !seen_ || tree_ == nullptr) return;
  dirty_ = false;
  PaintOptions options;
  options.pressedButton = pressedLook();
  options.haptic = pulse_;
  renderer_.paint(options);
  ++framesPainted_;
  for (const auto& listener : frameListeners_) listener(renderer_);
}

void WatchFace::relayout() {
  if (tree_ != nullptr) renderer_.layout(*tree_, offsets_);
}

void WatchFace::setOffset(const ScrollViewLayout& view, double offset) {
  const double clamped = std::clamp(offset, 0.0, view.maxOffset());
  if (clamped == view.offset) return;
  offsets_[view.identity] = clamped;
  // view belongs to the layout being placed again: it is not touched after this. Only the
  // places change; nothing is measured again.
  if (tree_ != nullptr) renderer_.scroll(offsets_);
  changed();
}

void WatchFace::changed() {
  dirty_ = true;
  if (frameQueued_ || !seen_) return;
  frameQueued_ = true;
  mainQueue_.async([weak = std::weak_ptr<WatchFace*>(self_)] {
    if (auto self = weak.lock()) {
      (*self)->frameQueued_ = false;
      (*self)->paintIfChanged();
    }
  });
}

std::string WatchFace::pressedLook() const {
  if (!press_ || press_->state != PressState::onButton) return {};
  return press_->button;
}

}  // namespace dunvel
