#include "views/toolkit/ViewGraph.h"

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "views/toolkit/ChangeBinding.h"
#include "views/toolkit/Environment.h"
#include "views/toolkit/NodeData.h"
#include "views/toolkit/ReceiveBinding.h"

namespace dunvel {

namespace {

// A ForEach id as one path component: the characters that structure a path are escaped, so no
// id can pose as another place.
std::string escapeId(const std::string& id) {
  std::string out = "id=";
  for (char c : id) {
    if (c == '\\' || c == '/' || c == ':' || c == '#') out += '\\';
    out += c;
  }
  return out;
}

// Who holds a description being resolved: the graph alone (a body just made, whose parts may
// be taken apart as they are resolved) or others too (a root kept for the next evaluation).
enum class Holders { graphOnly, shared };

// The element a description's properties make; held by the graph only, the text, symbol and
// action are moved out of properties rather than copied.
Element makeElement(const ElementProperties& properties, Holders holders) {
  Element element;
  element.kind = properties.kind;
  element.horizontalAlignment = properties.horizontalAlignment;
  element.verticalAlignment = properties.verticalAlignment;
  element.spacing = properties.spacing;
  element.axis = properties.axis;
  element.showsIndicators = properties.showsIndicators;
  element.minLength = properties.minLength;
  element.shape = properties.shape;
  if (properties.content) {
    ElementProperties::Content& content = *properties.content;
    if (holders == Holders::graphOnly) {
      element.text = std::move(content.text);
      element.systemName = std::move(content.systemName);
      element.action = std::move(content.action);
    } else {
      element.text = content.text;
      element.systemName = content.systemName;
      element.action = content.action;
    }
  }
  return element;
}

}  // namespace

struct ViewGraph::Impl : std::enable_shared_from_this<ViewGraph::Impl> {
  struct ViewSlot {
    std::shared_ptr<AnyView> view;
    std::vector<std::shared_ptr<StateBoxBase>> boxes;
  };
  struct ReceiveSlot {
    std::shared_ptr<ReceiveTarget> target;
    Cancellable subscription;
  };
  struct PendingChange {
    std::shared_ptr<const ChangeBinding> binding;
    std::shared_ptr<const EnvironmentValues> environment;
  };

  Impl(Node root, EnvironmentValues environment, MainQueue& queue)
      : root(std::move(root)),
        rootEnvironment(std::make_shared<const EnvironmentValues>(std::move(environment))),
        queue(queue) {}

  Node root;
  std::shared_ptr<const EnvironmentValues> rootEnvironment;
  MainQueue& queue;
  Element tree;

  std::map<std::string, ViewSlot> views;
  std::map<std::string, ReceiveSlot> receivers;
  std::map<std::string, std::shared_ptr<const ChangeBinding>> changes;
  std::map<ObservableObject*, Cancellable> observed;
  std::vector<std::function<void(const Element&)>> listeners;

  bool evaluating = false;
  // A re-evaluation is owed. Its block may find it already done (by a timer coming first).
  bool queued = false;
  std::size_t evaluations = 0;
  Cancellable beforeTimers;

  // Filled during one evaluation.
  std::set<std::string> reachedViews;
  std::set<std::string> reachedReceivers;
  std::set<std::string> reachedChanges;
  std::set<ObservableObject*> reachedObjects;
  std::vector<PendingChange> pendingChanges;

  // Callable from announcement receivers, state boxes and handlers: one block on the main queue
  // for any number of requests made before it runs.
  void scheduleEvaluation() {
    if (queued) return;
    queued = true;
    std::weak_ptr<Impl> weak = weak_from_this();
    queue.async([weak] {
      auto self = weak.lock();
      if (!self || !self->queued) return;
      self->queued = false;
      self->evaluate();
    });
  }

  // Before a timer fires: the owed re-evaluation runs now rather than when its block comes up.
  // (Not from inside an evaluation: the block that is still queued takes care of it.)
  void evaluateBeforeTimer() {
    if (!queued || evaluating) return;
    queued = false;
    evaluate();
  }

  std::function<void()> scheduler() {
    std::weak_ptr<Impl> weak = weak_from_this();
    return [weak] {
      if (auto self = weak.lock()) self->scheduleEvaluation();
    };
  }

  void noteObjects(const EnvironmentValues& environment) {
    for (ObservableObject* object : environment.observableObjects()) reachedObjects.insert(object);
  }

  void evaluate() {
    if (evaluating) {
      // A body asked for an evaluation: it follows this one.
      scheduleEvaluation();
      return;
    }
    evaluating = true;
    struct Reset {
      bool& flag;
      ~Reset() { flag = false; }
    } reset{evaluating};

    reachedViews.clear();
    reachedReceivers.clear();
    reachedChanges.clear();
    reachedObjects.clear();
    pendingChanges.clear();

    // The last tree goes first: nothing reads it while the next is made, and a screen of
    // thousands of rows must not stand twice in memory.
    tree = Element{};
    noteObjects(*rootEnvironment);
    std::vector<Element> produced;
    resolve(root, Holders::shared, "", rootEnvironment, produced);
    Element next;
    if (produced.size() == 1) {
      next = std::move(produced.front());
    } else {
      next.kind = ElementKind::group;
      next.children = std::move(produced);
    }

    sweep();
    tree = std::move(next);
    ++evaluations;

    // Change actions run once the tree stands, each in the environment of its place. A State they
    // set to a new value queues one more evaluation; an equal value queues nothing, so a value
    // that differs from itself every time (NaN) cannot loop.
    auto changesToRun = std::move(pendingChanges);
    pendingChanges.clear();
    for (const auto& change : changesToRun) {
      if (!change.binding->action()) continue;
      Environment::Scope scope(*change.environment);
      change.binding->action()();
    }

    auto toNotify = listeners;
    for (const auto& listener : toNotify) listener(tree);
  }

  // Discards what lives at the places this evaluation did not reach.
  void sweep() {
    for (auto it = views.begin(); it != views.end();) {
      if (reachedViews.count(it->first) != 0) {
        ++it;
        continue;
      }
      for (const auto& box : it->second.boxes) box->setObserver({});
      it = views.erase(it);
    }
    std::erase_if(receivers,
                  [&](const auto& entry) { return reachedReceivers.count(entry.first) == 0; });
    std::erase_if(changes,
                  [&](const auto& entry) { return reachedChanges.count(entry.first) == 0; });
    std::erase_if(observed,
                  [&](const auto& entry) { return reachedObjects.count(entry.first) == 0; });
    for (ObservableObject* object : reachedObjects) {
      if (observed.count(object) != 0) continue;
      observed.emplace(object, object->objectWillChange().sink(scheduler()));
    }
  }

  void registerReceive(const std::string& place,
                       const std::shared_ptr<const ReceiveBinding>& binding,
                       const std::shared_ptr<const EnvironmentValues>& environment) {
    reachedReceivers.insert(place);
    auto found = receivers.find(place);
    if (found != receivers.end() && binding->samePublisher(*found->second.target->binding)) {
      // Same stream: keep the subscription (and so the timer's cadence); swap the handler.
      found->second.target->binding = binding;
      found->second.target->environment = environment;
      return;
    }
    auto target = std::make_shared<ReceiveTarget>(ReceiveTarget{binding, environment});
    ReceiveSlot slot;
    slot.subscription = binding->subscribe(target);
    slot.target = std::move(target);
    receivers[place] = std::move(slot);
  }

  void registerChange(const std::string& place, const std::shared_ptr<const ChangeBinding>& binding,
                      const std::shared_ptr<const EnvironmentValues>& environment) {
    reachedChanges.insert(place);
    auto found = changes.find(place);
    if (found != changes.end()) {
      if (binding->differsFrom(*found->second)) pendingChanges.push_back({binding, environment});
      found->second = binding;
    } else {
      changes.emplace(place, binding);
    }
  }

  // How many elements a child list will splice in, as far as it says without evaluating.
  static std::size_t expectedCount(const std::vector<Node>& children) {
    std::size_t count = 0;
    for (const Node& child : children) {
      const NodeData* data = &child.data();
      while (data->kind == NodeData::Kind::modified) data = data->subject.get();
      if (data->kind == NodeData::Kind::forEach) {
        count += data->other->ids.size();
        continue;
      }
      count += data->kind == NodeData::Kind::group ? data->children.size() : 1;
    }
    return count;
  }

  // Resolves node into out. Held by the graph only, node is the only reference to its description
  // (a body just made), and each part of it that nobody else holds is consumed as it is resolved:
  // an element's properties are moved into the tree and a child is released once resolved, so a
  // body of thousands of rows never stands whole beside the tree it becomes.
  void resolve(const Node& node, Holders holders, const std::string& place,
               const std::shared_ptr<const EnvironmentValues>& parentEnvironment,
               std::vector<Element>& out) {
    // Unwrap the modifiers: the outermost (applied last) comes first in the chain.
    if (!node.isSoleOwner()) holders = Holders::shared;
    const NodeData* subject = &node.data();
    std::vector<const NodeData*> modifiers;  // outermost first
    while (subject->kind == NodeData::Kind::modified) {
      modifiers.push_back(subject);
      if (subject->subject.use_count() != 1) holders = Holders::shared;
      subject = subject->subject.get();
    }
    const NodeData& data = *subject;
    // Parts of a description nobody else holds may be taken apart: it was made mutable (only
    // the shared empty group is made const, and it is never the sole owner).
    NodeData* mine = holders == Holders::graphOnly ? const_cast<NodeData*>(subject) : nullptr;

    // Walking outside in, each event modifier sees the environment set by the modifiers outside
    // it; the subject sees them all (the one applied closest to it wins).
    auto environment = parentEnvironment;
    for (std::size_t k = 0; k < modifiers.size(); ++k) {
      const NodeModifier* modifier = modifiers[k]->acting.get();
      if (modifier == nullptr) continue;
      if (modifier->applyEnvironment) {
        auto changed = std::make_shared<EnvironmentValues>(*environment);
        modifier->applyEnvironment(*changed);
        noteObjects(*changed);
        environment = std::move(changed);
      }
      if (modifier->receive || modifier->change) {
        // Numbered innermost first, so adding an outer modifier leaves the inner places alone.
        std::string modifierPlace = place + "~" + std::to_string(modifiers.size() - 1 - k);
        if (modifier->receive) registerReceive(modifierPlace, modifier->receive, environment);
        if (modifier->change) registerChange(modifierPlace, modifier->change, environment);
      }
    }

    auto resolveChild = [&](std::size_t i, const std::string& childPlace,
                            std::vector<Element>& into) {
      resolve(data.children[i], holders, childPlace, environment, into);
      if (mine != nullptr) mine->children[i] = Node();
    };

    std::size_t first = out.size();
    switch (data.kind) {
      case NodeData::Kind::element: {
        Element element = makeElement(*data.element, holders);
        element.identity = place;
        element.children.reserve(expectedCount(data.children));
        for (std::size_t i = 0; i < data.children.size(); ++i) {
          resolveChild(i, place + "/" + std::to_string(i), element.children);
        }
        if (element.action) {
          element.action = [environment, action = std::move(element.action)] {
            Environment::Scope scope(*environment);
            action();
          };
        }
        out.push_back(std::move(element));
        break;
      }
      case NodeData::Kind::group:
        for (std::size_t i = 0; i < data.children.size(); ++i) {
          resolveChild(i, place + "/" + std::to_string(i), out);
        }
        break;
      case NodeData::Kind::conditional:
        for (std::size_t i = 0; i < data.children.size(); ++i) {
          resolveChild(i, place + "/" + data.other->branch, out);
        }
        break;
      case NodeData::Kind::forEach:
        // Each row is made, resolved and let go before the next is made.
        for (std::size_t i = 0; i < data.other->ids.size(); ++i) {
          Node row;
          {
            Environment::Scope scope(*environment);
            row = data.other->makeRow(i);
          }
          resolve(row, Holders::graphOnly, place + "/" + escapeId(data.other->ids[i]), environment,
                  out);
        }
        break;
      case NodeData::Kind::view:
        resolveView(*data.other->view, place + ":" + data.other->view->typeName(), environment,
                    out);
        break;
      case NodeData::Kind::modified:
        break;  // unwrapped above
    }

    if (modifiers.empty()) return;
    for (std::size_t i = first; i < out.size(); ++i) {
      out[i].modifiers.reserve(out[i].modifiers.size() + modifiers.size());
      for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) {
        out[i].modifiers.push_back((*it)->shown);
      }
    }
  }

  void resolveView(const AnyView& view, const std::string& place,
                   const std::shared_ptr<const EnvironmentValues>& environment,
                   std::vector<Element>& out) {
    reachedViews.insert(place);
    auto current = view.clone();
    auto found = views.find(place);
    if (found != views.end()) {
      // The place lives on: the view value made by this evaluation uses the kept state.
      current->adoptStateBoxes(found->second.boxes);
      found->second.view = current;
    } else {
      // A new place starts afresh with the states the view value arrived with.
      ViewSlot slot;
      slot.view = current;
      slot.boxes = current->stateBoxes();
      for (const auto& box : slot.boxes) box->setObserver(scheduler());
      views.emplace(place, std::move(slot));
    }

    Element element;
    element.kind = ElementKind::view;
    element.viewType = current->typeName();
    element.identity = place;
    Node body;
    {
      Environment::Scope scope(*environment);
      body = current->body();
    }
    resolve(body, Holders::graphOnly, place + "/body", environment, element.children);
    out.push_back(std::move(element));
  }
};

ViewGraph::ViewGraph(Node root, EnvironmentValues environment, MainQueue& mainQueue)
    : impl_(std::make_shared<Impl>(std::move(root), std::move(environment), mainQueue)) {
  if (!impl_->rootEnvironment->hasTimerScheduler()) return;  // no timers, nothing to come first
  std::weak_ptr<Impl> weak = impl_;
  impl_->beforeTimers = impl_->rootEnvironment->timerScheduler().beforeTimers([weak] {
    if (auto self = weak.lock()) self->evaluateBeforeTimer();
  });
}

ViewGraph::~ViewGraph() = default;

void ViewGraph::evaluate() {
  impl_->evaluate();
}

void ViewGraph::setRoot(Node root) {
  impl_->root = std::move(root);
}

const Element& ViewGraph::tree() const {
  return impl_->tree;
}

void ViewGraph::onEvaluated(std::function<void(const Element&)> listener) {
  impl_->listeners.push_back(std::move(listener));
}

ViewGraph::Stats ViewGraph::stats() const {
  return Stats{impl_->evaluations};
}

bool ViewGraph::isEvaluationQueued() const {
  return impl_->queued;
}

}  // namespace dunvel
