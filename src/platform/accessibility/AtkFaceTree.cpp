#include "platform/accessibility/AtkFaceTree.h"

#include <algorithm>

#include <atk/atk.h>

#include <cmath>
#include <utility>

namespace dunvel {

namespace {

enum class NodeKind { application, frame, element };

// What one ATK object of the tree stands for. Owned by the object and freed with it: an
// assistive technology may hold an object after it has left the tree.
struct Node {
  NodeKind kind = NodeKind::element;
  // The tree the object belongs to; null once it has left it (it is defunct then).
  AtkFaceTree::Shared* shared = nullptr;
  int index = 0;
  Rect frame;
  bool showing = false;
  // A button's identity, which its click action names; empty for other elements.
  std::string identity;
};

// The GObject instance and class of the tree's objects (GObject's C layout: the parent first).
struct DunvelAccessible {
  AtkObject parent;
  Node* node;
};
struct DunvelAccessibleClass {
  AtkObjectClass parent;
};

Node& nodeOf(AtkObject* object) {
  return *reinterpret_cast<DunvelAccessible*>(object)->node;
}
Node& nodeOf(gpointer object) {
  return nodeOf(static_cast<AtkObject*>(object));
}

AtkRole atkRole(AccessibilityRole role) {
  switch (role) {
    case AccessibilityRole::button:
      return ATK_ROLE_PUSH_BUTTON;
    case AccessibilityRole::image:
      return ATK_ROLE_IMAGE;
    case AccessibilityRole::text:
      break;
  }
  return ATK_ROLE_LABEL;
}

}  // namespace

struct AtkFaceTree::Shared {
  Options options;
  AtkObject* application = nullptr;
  AtkObject* frame = nullptr;
  std::vector<AtkObject*> elements;
};

namespace {

// A frame in face points as whole pixels of the window, relative to its client area: each edge
// rounded, so that neighbouring elements neither overlap nor leave a gap.
AtkRectangle pixels(const Rect& frame, double scale) {
  const long left = std::lround(frame.x * scale);
  const long top = std::lround(frame.y * scale);
  const long right = std::lround(frame.maxX() * scale);
  const long bottom = std::lround(frame.maxY() * scale);
  return AtkRectangle{static_cast<gint>(left), static_cast<gint>(top),
                      static_cast<gint>(right - left), static_cast<gint>(bottom - top)};
}

// --- AtkObject ---

// The class the tree's base type derives from, for chaining up.
gpointer objectParentClass = nullptr;

gint nChildren(AtkObject* object) {
  const Node& node = nodeOf(object);
  if (node.shared == nullptr) return 0;
  switch (node.kind) {
    case NodeKind::application:
      return 1;
    case NodeKind::frame:
      return static_cast<gint>(node.shared->elements.size());
    case NodeKind::element:
      break;
  }
  return 0;
}

AtkObject* refChild(AtkObject* object, gint i) {
  const Node& node = nodeOf(object);
  if (node.shared == nullptr || i < 0 || i >= nChildren(object)) return nullptr;
  AtkObject* child = node.kind == NodeKind::application
                         ? node.shared->frame
                         : node.shared->elements[static_cast<std::size_t>(i)];
  return static_cast<AtkObject*>(g_object_ref(child));
}

gint indexInParent(AtkObject* object) {
  const Node& node = nodeOf(object);
  if (node.shared == nullptr || node.kind == NodeKind::application) return -1;
  return node.index;
}

AtkStateSet* refStateSet(AtkObject* object) {
  AtkStateSet* states = ATK_OBJECT_CLASS(objectParentClass)->ref_state_set(object);
  const Node& node = nodeOf(object);
  if (node.shared == nullptr) {
    atk_state_set_add_state(states, ATK_STATE_DEFUNCT);
    return states;
  }
  if (node.kind == NodeKind::application) return states;
  atk_state_set_add_state(states, ATK_STATE_ENABLED);
  atk_state_set_add_state(states, ATK_STATE_SENSITIVE);
  if (node.kind == NodeKind::frame || node.showing) {
    atk_state_set_add_state(states, ATK_STATE_VISIBLE);
    atk_state_set_add_state(states, ATK_STATE_SHOWING);
  }
  return states;
}

void finalize(GObject* object) {
  delete reinterpret_cast<DunvelAccessible*>(object)->node;
  G_OBJECT_CLASS(objectParentClass)->finalize(object);
}

void objectClassInit(gpointer klass, gpointer) {
  objectParentClass = g_type_class_peek_parent(klass);
  G_OBJECT_CLASS(klass)->finalize = finalize;
  AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
  atk->get_n_children = nChildren;
  atk->ref_child = refChild;
  atk->get_index_in_parent = indexInParent;
  atk->ref_state_set = refStateSet;
}

// --- AtkComponent: the frame and every element ---

void extents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height,
             AtkCoordType coordinates) {
  const Node& node = nodeOf(component);
  AtkRectangle box{0, 0, 0, 0};
  if (node.shared != nullptr) {
    const AtkFaceTree::Options& options = node.shared->options;
    const Rect frame = node.kind == NodeKind::frame
                           ? Rect{0.0, 0.0, options.face.width, options.face.height}
                           : node.frame;
    box = pixels(frame, options.scale);
    // An element's parent is the frame, whose origin is the window's; the frame's parent is
    // the application, which has no place: its place relative to it is its place on screen.
    const bool onScreen = coordinates == ATK_XY_SCREEN ||
                          (node.kind == NodeKind::frame && coordinates == ATK_XY_PARENT);
    if (onScreen && options.screenOrigin) {
      const Point origin = options.screenOrigin();
      box.x += static_cast<gint>(std::lround(origin.x));
      box.y += static_cast<gint>(std::lround(origin.y));
    }
  }
  if (x != nullptr) *x = box.x;
  if (y != nullptr) *y = box.y;
  if (width != nullptr) *width = box.width;
  if (height != nullptr) *height = box.height;
}

AtkLayer layer(AtkComponent* component) {
  return nodeOf(component).kind == NodeKind::frame ? ATK_LAYER_WINDOW : ATK_LAYER_WIDGET;
}

void componentInit(gpointer iface, gpointer) {
  auto* component = static_cast<AtkComponentIface*>(iface);
  component->get_extents = extents;
  component->get_layer = layer;
}

// --- AtkAction: buttons ---

constexpr const char* kClick = "click";

gboolean doAction(AtkAction* action, gint i) {
  const Node& node = nodeOf(action);
  if (node.shared == nullptr || i != 0 || !node.shared->options.click) return FALSE;
  node.shared->options.click(node.identity);
  return TRUE;
}

gint nActions(AtkAction*) {
  return 1;
}

const gchar* actionName(AtkAction*, gint i) {
  return i == 0 ? kClick : nullptr;
}

// The bridge sends every action's description and key binding; a button has neither.
const gchar* nothing(AtkAction*, gint i) {
  return i == 0 ? "" : nullptr;
}

void actionInit(gpointer iface, gpointer) {
  auto* action = static_cast<AtkActionIface*>(iface);
  action->do_action = doAction;
  action->get_n_actions = nActions;
  action->get_name = actionName;
  action->get_localized_name = actionName;
  action->get_description = nothing;
  action->get_keybinding = nothing;
}

// --- the three types ---
// GObject types belong to the process and cannot be unregistered: each is registered once, on
// first use, and stays.

GType objectType() {
  static const GType type = [] {
    GTypeInfo info{};
    info.class_size = sizeof(DunvelAccessibleClass);
    info.class_init = objectClassInit;
    info.instance_size = sizeof(DunvelAccessible);
    return g_type_register_static(ATK_TYPE_OBJECT, "DunvelAccessible", &info, GTypeFlags{});
  }();
  return type;
}

GType componentType() {
  static const GType type = [] {
    GTypeInfo info{};
    info.class_size = sizeof(DunvelAccessibleClass);
    info.instance_size = sizeof(DunvelAccessible);
    const GType registered =
        g_type_register_static(objectType(), "DunvelAccessibleComponent", &info, GTypeFlags{});
    const GInterfaceInfo component{componentInit, nullptr, nullptr};
    g_type_add_interface_static(registered, ATK_TYPE_COMPONENT, &component);
    return registered;
  }();
  return type;
}

GType buttonType() {
  static const GType type = [] {
    GTypeInfo info{};
    info.class_size = sizeof(DunvelAccessibleClass);
    info.instance_size = sizeof(DunvelAccessible);
    const GType registered =
        g_type_register_static(componentType(), "DunvelAccessibleButton", &info, GTypeFlags{});
    const GInterfaceInfo action{actionInit, nullptr, nullptr};
    g_type_add_interface_static(registered, ATK_TYPE_ACTION, &action);
    return registered;
  }();
  return type;
}

// A label as ATK can hold it: ATK takes names as C strings, so a NUL (a team name may hold
// U+0000) would end the label there, the points after it lost. U+FFFD stands in its place.
std::string atkName(const std::string& label) {
  std::string name;
  name.reserve(label.size());
  for (const char c : label) {
    if (c == '\0') {
      name += "\xEF\xBF\xBD";
    } else {
      name += c;
    }
  }
  return name;
}

AtkObject* newObject(GType type, Node node, AtkRole role, const std::string& label,
                     AtkObject* parent) {
  const std::string name = atkName(label);
  auto* instance = static_cast<DunvelAccessible*>(g_object_new(type, nullptr));
  instance->node = new Node(std::move(node));
  AtkObject* object = &instance->parent;
  atk_object_set_role(object, role);
  atk_object_set_name(object, name.c_str());
  if (parent != nullptr) atk_object_set_parent(object, parent);
  return object;
}

std::string identityOf(const AccessibilityElement& element) {
  if (element.role != AccessibilityRole::button || element.element == nullptr) return {};
  return element.element->identity;
}

// Marks an object as out of the tree and lets it go (an assistive technology may hold it on).
void retire(AtkObject* object) {
  nodeOf(object).shared = nullptr;
  atk_object_notify_state_change(object, ATK_STATE_DEFUNCT, TRUE);
  g_object_unref(object);
}

}  // namespace

AtkFaceTree::AtkFaceTree(Options options) : shared_(std::make_unique<Shared>()) {
  Shared& s = *shared_;
  s.options = std::move(options);
  Node application;
  application.kind = NodeKind::application;
  application.shared = &s;
  s.application = newObject(objectType(), std::move(application), ATK_ROLE_APPLICATION,
                            s.options.applicationName, nullptr);
  Node frame;
  frame.kind = NodeKind::frame;
  frame.shared = &s;
  frame.showing = true;
  s.frame = newObject(componentType(), std::move(frame), ATK_ROLE_FRAME, s.options.frameName,
                      s.application);
}

AtkFaceTree::~AtkFaceTree() {
  Shared& s = *shared_;
  for (AtkObject* element : s.elements) retire(element);
  retire(s.frame);
  retire(s.application);
}

AtkObject* AtkFaceTree::application() const {
  return shared_->application;
}

AtkObject* AtkFaceTree::frame() const {
  return shared_->frame;
}

void AtkFaceTree::show(const std::vector<AccessibilityElement>& elements) {
  // A board of a hundred thousand teams would be as many objects on the bus, each of them
  // asked about by a reader that attaches: the companion spent seconds answering. What is in
  // sight and a margin either side stand for the list; nothing in sight, its start does.
  const auto showing = [](const AccessibilityElement& e) { return e.showing; };
  const auto first = std::find_if(elements.begin(), elements.end(), showing);
  const auto last = std::find_if(elements.rbegin(), elements.rend(), showing);
  const std::size_t firstShown =
      first == elements.end() ? 0 : static_cast<std::size_t>(first - elements.begin());
  const std::size_t lastShown =
      first == elements.end()
          ? 0
          : elements.size() - 1 - static_cast<std::size_t>(last - elements.rbegin());
  const std::size_t from = firstShown > kExposedMargin ? firstShown - kExposedMargin : 0;
  const std::size_t to = std::min(
      elements.size(), first == elements.end() ? kExposedMargin : lastShown + 1 + kExposedMargin);
  if (from == 0 && to == elements.size()) return expose(elements);
  expose(std::vector<AccessibilityElement>(elements.begin() + static_cast<std::ptrdiff_t>(from),
                                           elements.begin() + static_cast<std::ptrdiff_t>(to)));
}

void AtkFaceTree::expose(const std::vector<AccessibilityElement>& elements) {
  Shared& s = *shared_;
  bool sameShape = elements.size() == s.elements.size();
  for (std::size_t i = 0; sameShape && i < elements.size(); ++i) {
    sameShape = atk_object_get_role(s.elements[i]) == atkRole(elements[i].role) &&
                nodeOf(s.elements[i]).identity == identityOf(elements[i]);
  }

  if (sameShape) {
    // The same elements, perhaps with other words (the clock's next second), in another place
    // (scrolled) or scrolled in or out of sight: each change is announced on its own.
    for (std::size_t i = 0; i < elements.size(); ++i) {
      AtkObject* object = s.elements[i];
      Node& node = nodeOf(object);
      const AccessibilityElement& element = elements[i];
      if (const std::string name = atkName(element.label); name != atk_object_get_name(object)) {
        atk_object_set_name(object, name.c_str());
      }
      if (element.frame != node.frame) {
        node.frame = element.frame;
        AtkRectangle box{};
        extents(ATK_COMPONENT(object), &box.x, &box.y, &box.width, &box.height, ATK_XY_SCREEN);
        g_signal_emit_by_name(object, "bounds-changed", &box);
      }
      if (element.showing != node.showing) {
        node.showing = element.showing;
        atk_object_notify_state_change(object, ATK_STATE_VISIBLE, element.showing);
        atk_object_notify_state_change(object, ATK_STATE_SHOWING, element.showing);
      }
    }
    return;
  }

  // Another screen: the old elements leave (last first, so each index is still right when it
  // is announced) and the new ones come.
  std::vector<AtkObject*> leaving = std::move(s.elements);
  s.elements.clear();
  for (std::size_t i = leaving.size(); i-- > 0;) {
    g_signal_emit_by_name(s.frame, "children-changed::remove", static_cast<guint>(i), leaving[i]);
    retire(leaving[i]);
  }
  for (const AccessibilityElement& element : elements) {
    const auto index = static_cast<guint>(s.elements.size());
    Node node;
    node.shared = &s;
    node.index = static_cast<int>(index);
    node.frame = element.frame;
    node.showing = element.showing;
    node.identity = identityOf(element);
    const GType type = element.role == AccessibilityRole::button ? buttonType() : componentType();
    s.elements.push_back(
        newObject(type, std::move(node), atkRole(element.role), element.label, s.frame));
    g_signal_emit_by_name(s.frame, "children-changed::add", index, s.elements.back());
  }
}

}  // namespace dunvel
