#include "platform/view/FaceViewer.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <utility>

#include "a11y/AccessibilityTree.h"
#include "face/WatchFace.h"
#include "render/FaceRenderer.h"
#include "render/Geometry.h"

namespace dunvel {

namespace {

ViewerMessage textMessage(const nlohmann::json& value) {
  // Text from a snapshot may hold anything; what is not UTF-8 is replaced rather than thrown on.
  return {std::make_shared<const std::string>(
              value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)),
          false};
}

void appendNumber(std::string& message, int value) {
  message.push_back(static_cast<char>(value & 0xff));
  message.push_back(static_cast<char>((value >> 8) & 0xff));
}

}  // namespace

void appendPixels(std::string& message, cairo_surface_t* image, const Rect& rect) {
  const int width = cairo_image_surface_get_width(image);
  const int height = cairo_image_surface_get_height(image);
  // Whole pixels around the rectangle, inside the image.
  const int left =
      std::clamp(static_cast<int>(std::floor(std::clamp(rect.x, 0.0, 1.0 * width))), 0, width);
  const int top =
      std::clamp(static_cast<int>(std::floor(std::clamp(rect.y, 0.0, 1.0 * height))), 0, height);
  const int right = std::clamp(
      static_cast<int>(std::ceil(std::clamp(rect.maxX(), 0.0, 1.0 * width))), left, width);
  const int bottom = std::clamp(
      static_cast<int>(std::ceil(std::clamp(rect.maxY(), 0.0, 1.0 * height))), top, height);
  if (right == left || bottom == top) return;
  appendNumber(message, left);
  appendNumber(message, top);
  appendNumber(message, right - left);
  appendNumber(message, bottom - top);
  cairo_surface_flush(image);
  const unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  const std::size_t start = message.size();
  message.resize(start + static_cast<std::size_t>(right - left) * (bottom - top) * 4);
  char* out = message.data() + start;
  for (int y = top; y < bottom; ++y) {
    const auto* row =
        reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
    for (int x = left; x < right; ++x) {
      const std::uint32_t pixel = row[x];
      const unsigned alpha = pixel >> 24;
      unsigned red = (pixel >> 16) & 0xff;
      unsigned green = (pixel >> 8) & 0xff;
      unsigned blue = pixel & 0xff;
      // As cairo writes a PNG: premultiplied colours divided by alpha, rounded.
      if (alpha != 0xff && alpha != 0) {
        red = (red * 255 + alpha / 2) / alpha;
        green = (green * 255 + alpha / 2) / alpha;
        blue = (blue * 255 + alpha / 2) / alpha;
      }
      *out++ = static_cast<char>(red);
      *out++ = static_cast<char>(green);
      *out++ = static_cast<char>(blue);
      *out++ = static_cast<char>(alpha);
    }
  }
}

FaceViewer::FaceViewer(ViewerHub& hub, MainQueue& mainQueue)
    : hub_(hub), mainQueue_(mainQueue), self_(std::make_shared<FaceViewer*>(this)) {}

FaceViewer::~FaceViewer() = default;

ViewerHub::Events FaceViewer::events(std::function<void(const std::string&)> log) {
  const std::weak_ptr<FaceViewer*> weak = self_;
  MainQueue& queue = mainQueue_;
  const auto later = [weak, &queue](auto work) {
    queue.async([weak, work = std::move(work)] {
      if (auto self = weak.lock()) work(**self);
    });
  };
  ViewerHub::Events events;
  events.joined = [later](ViewerId id) { later([id](FaceViewer& viewer) { viewer.joined(id); }); };
  events.left = [later](ViewerId id) { later([id](FaceViewer& viewer) { viewer.left(id); }); };
  events.wholeFaceWanted = [later](ViewerId id) {
    later([id](FaceViewer& viewer) { viewer.wholeFaceWanted(id); });
  };
  events.input = [later](ViewerId id, ViewerInput input) {
    later([id, input = std::move(input)](FaceViewer& viewer) { viewer.input(id, input); });
  };
  events.log = [&queue, log = std::move(log)](std::string line) {
    queue.async([log, line = std::move(line)] { log(line); });
  };
  return events;
}

void FaceViewer::attach(WatchFace& face, FaceRenderer& renderer, SeenBy seenBy) {
  face_ = &face;
  renderer_ = &renderer;
  seenBy_ = seenBy;
  face.onFrame([weak = std::weak_ptr<FaceViewer*>(self_), &face](const FaceRenderer& painted) {
    if (auto self = weak.lock(); self && (*self)->face_ == &face) (*self)->framePainted(painted);
  });
  for (const ViewerId viewer : viewers_) wholeFaceWanted(viewer);
  updateSeen();
}

void FaceViewer::detach() {
  face_ = nullptr;
  renderer_ = nullptr;
  pressedBy_.reset();
}

void FaceViewer::updateSeen() {
  if (face_ == nullptr) return;
  face_->setSeen(seenBy_ == SeenBy::others || !viewers_.empty());
}

void FaceViewer::joined(ViewerId viewer) {
  viewers_.push_back(viewer);
  sendPanel(viewer);
  wholeFaceWanted(viewer);
  updateSeen();
}

void FaceViewer::left(ViewerId viewer) {
  std::erase(viewers_, viewer);
  std::erase(wantWhole_, viewer);
  if (pressedBy_ == viewer) {
    pressedBy_.reset();
    if (face_ != nullptr) face_->cancelPress();
  }
  updateSeen();
}

void FaceViewer::wholeFaceWanted(ViewerId viewer) {
  if (face_ == nullptr || renderer_ == nullptr) return;
  // A face painted and up to date goes at once; one still to be painted goes with its frame.
  if (face_->seen() && renderer_->lastLayout() != nullptr && face_->stats().framesPainted > 0) {
    sendFace(viewer);
    return;
  }
  if (std::find(wantWhole_.begin(), wantWhole_.end(), viewer) == wantWhole_.end()) {
    wantWhole_.push_back(viewer);
  }
}

void FaceViewer::sendFace(ViewerId to) {
  const nlohmann::json face = {{"kind", "face"},
                               {"width", renderer_->pixelWidth()},
                               {"height", renderer_->pixelHeight()},
                               {"scale", renderer_->scale()}};
  hub_.sendState("face", textMessage(face), to);
  sendElements(to);
  auto pixels = std::make_shared<std::string>();
  appendPixels(*pixels, renderer_->image(),
               Rect{0.0, 0.0, 1.0 * renderer_->pixelWidth(), 1.0 * renderer_->pixelHeight()});
  hub_.sendWholeFace({std::move(pixels), true}, to);
}

void FaceViewer::sendElements(ViewerId to) {
  const FaceLayout* layout = renderer_->lastLayout();
  if (layout == nullptr) return;
  nlohmann::json elements = nlohmann::json::array();
  // What is in sight, and a face's height either side of it, where the crown goes next: a
  // long board is neither read nor handed to the page whole.
  const double height = renderer_->face().size.height;
  constexpr double kFar = 1e12;
  const Rect near{-kFar, -height, 2 * kFar, 3 * height};
  for (const AccessibilityElement& element :
       accessibilityElementsNear(*layout, renderer_->time(), near)) {
    nlohmann::json entry = {
        {"role", roleName(element.role)},
        {"label", element.label},
        {"frame", {element.frame.x, element.frame.y, element.frame.width, element.frame.height}},
        {"showing", element.showing}};
    if (element.role == AccessibilityRole::button && element.element != nullptr) {
      entry["id"] = element.element->identity;
    }
    elements.push_back(std::move(entry));
  }
  const ViewerMessage message = textMessage({{"kind", "elements"}, {"elements", elements}});
  if (to == 0) {
    if (*message.bytes == lastElements_) return;
    lastElements_ = *message.bytes;
  }
  hub_.sendState("elements", message, to);
}

void FaceViewer::framePainted(const FaceRenderer& renderer) {
  if (viewers_.empty()) return;
  auto pixels = std::make_shared<std::string>();
  for (const Rect& rect : renderer.damage()) appendPixels(*pixels, renderer.image(), rect);
  sendElements(0);
  if (!pixels->empty()) hub_.sendChangedPixels({std::move(pixels), true});
  for (const ViewerId viewer : std::exchange(wantWhole_, {})) sendFace(viewer);
}

void FaceViewer::input(ViewerId viewer, const ViewerInput& input) {
  if (face_ == nullptr) return;
  const Point point{input.x, input.y};
  switch (input.kind) {
    case ViewerInput::Kind::press:
      // The last press wins: two hands on one face, as on the watch, cannot both hold it.
      pressedBy_ = viewer;
      face_->press(point);
      return;
    case ViewerInput::Kind::move:
      if (pressedBy_ == viewer) face_->move(point);
      return;
    case ViewerInput::Kind::release:
      if (pressedBy_ != viewer) return;
      pressedBy_.reset();
      face_->release(point);
      return;
    case ViewerInput::Kind::cancel:
      if (pressedBy_ != viewer) return;
      pressedBy_.reset();
      face_->cancelPress();
      return;
    case ViewerInput::Kind::scroll:
      face_->scroll(point, input.amount,
                    input.unit == ViewerInput::Unit::line ? ScrollUnit::line : ScrollUnit::point);
      return;
    case ViewerInput::Kind::tap:
      face_->tap(input.identity);
      return;
  }
}

void FaceViewer::logLine(const std::string& line) {
  log_.push_back(line);
  while (log_.size() > kLogLines) log_.pop_front();
  sendPanel(0);
}

void FaceViewer::linkHeld(bool held) {
  if (held == linkHeld_) return;
  linkHeld_ = held;
  sendPanel(0);
}

void FaceViewer::findings(std::vector<std::string> lines) {
  if (lines == findings_) return;
  findings_ = std::move(lines);
  sendPanel(0);
}

void FaceViewer::haptic(HapticType type) {
  if (viewers_.empty()) return;
  hub_.sendEvent(textMessage({{"kind", "haptic"}, {"type", hapticName(type)}}));
}

void FaceViewer::sendPanel(ViewerId to) {
  if (viewers_.empty()) return;
  const nlohmann::json panel = {{"kind", "panel"},
                                {"linkHeld", linkHeld_},
                                {"findings", findings_},
                                {"log", std::vector<std::string>(log_.begin(), log_.end())}};
  hub_.sendState("panel", textMessage(panel), to);
}

}  // namespace dunvel
