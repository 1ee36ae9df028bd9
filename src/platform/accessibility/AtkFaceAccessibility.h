#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string_view>

#include "link/MainQueue.h"
#include "platform/accessibility/AtkFaceTree.h"
#include "platform/accessibility/GlibMainContextWait.h"
#include "platform/window/WindowAccessibility.h"

namespace dunvel {

// The window's face on the desktop's accessibility bus (AT-SPI), through ATK and its bridge
// (libatk-bridge), as GTK and Qt applications are: screen readers such as Orca read its
// elements and click its buttons. The bridge's D-Bus traffic goes through GLib's default main
// context, which the window's sleep serves (prepareWait, dispatch). A click is queued on the
// main queue and taps the button with that identity, as a click of the pointer does. One per
// process at a time. Main thread only.
class AtkFaceAccessibility final : public WindowAccessibility {
 public:
  struct Options {
    // The tree's names, face and place on the screen (its click is this class's own).
    AtkFaceTree::Options tree;
    // Taps the button with this identity in the face's current layout.
    std::function<void(std::string_view identity)> tap;
  };

  // Null when there is no accessibility bus to reach (no session bus and no AT_SPI_BUS_ADDRESS,
  // or no bus behind them, or NO_AT_BRIDGE=1) or one is open already: then nothing was changed
  // and nothing printed. What the bridge reports later goes to err, one line each, until the
  // object goes. The queue and err must outlive it.
  static std::unique_ptr<AtkFaceAccessibility> open(MainQueue& mainQueue, Options options,
                                                    std::ostream& err);
  ~AtkFaceAccessibility() override;
  AtkFaceAccessibility(const AtkFaceAccessibility&) = delete;
  AtkFaceAccessibility& operator=(const AtkFaceAccessibility&) = delete;

  void show(const std::vector<AccessibilityElement>& elements) override;
  std::optional<std::chrono::milliseconds> prepareWait(std::vector<pollfd>& fds) override;
  void dispatch(std::span<const pollfd> fds) override;

  const AtkFaceTree& tree() const { return tree_; }

 private:
  AtkFaceAccessibility(MainQueue& mainQueue, Options options, std::ostream& err);

  std::function<void(std::string_view)> tap_;
  std::ostream& err_;
  // Clicks queued on the main queue reach the object through this, and do nothing once it is
  // gone.
  std::shared_ptr<AtkFaceAccessibility*> self_;
  AtkFaceTree tree_;
  GlibMainContextWait wait_;
  // The GLib log handlers that carry the bridge's reports to err_.
  std::vector<unsigned> logHandlers_;
};

}  // namespace dunvel
