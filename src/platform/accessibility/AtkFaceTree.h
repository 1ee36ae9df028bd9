#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "a11y/AccessibilityElement.h"
#include "render/Geometry.h"

using AtkObject = struct _AtkObject;

namespace dunvel {

// The face as ATK objects, the form in which the accessibility bridge puts it on the desktop's
// accessibility bus: the application, the face as a frame, then the face's elements in reading
// order, each with its role (push button, label, image), its label as name, its extents on the
// screen and the showing and visible states while any of it is in sight. A button's "click"
// action asks for the tap of the button with that identity. A new set of elements of the same
// roles and buttons updates the objects in place (names, extents, states, each announced when
// it changes); any other replaces them, announced as children removed and added. Of a long list
// only what is in sight and kExposedMargin elements either side of it are objects, as the
// face's layout places only what is in sight: the others come as the crown scrolls them near,
// replacing those that go. Main thread only.
class AtkFaceTree {
 public:
  struct Options {
    // The application's name and the frame's (the window's title).
    std::string applicationName = "dunvel-watch";
    std::string frameName = "Dunvel";
    // The face in points, and pixels per point in the window.
    Size face;
    double scale = 2.0;
    // Where the window's client area is on the screen, in pixels; asked whenever extents are.
    std::function<Point()> screenOrigin;
    // Called with a button's identity when its click action is done.
    std::function<void(std::string_view identity)> click;
  };

  explicit AtkFaceTree(Options options);
  ~AtkFaceTree();
  AtkFaceTree(const AtkFaceTree&) = delete;
  AtkFaceTree& operator=(const AtkFaceTree&) = delete;

  // Elements in reading order kept as objects on either side of those in sight.
  static constexpr std::size_t kExposedMargin = 32;

  // The elements the face shows now (their element pointers are not kept).
  void show(const std::vector<AccessibilityElement>& elements);

  // The application object, the root of the tree (owned by the tree).
  AtkObject* application() const;
  // The face's frame, the application's only child.
  AtkObject* frame() const;

  struct Shared;

 private:
  // Shows these elements, all of them, as objects.
  void expose(const std::vector<AccessibilityElement>& elements);

  std::unique_ptr<Shared> shared_;
};

}  // namespace dunvel
