#include "app/ScreenDescription.h"

#include <algorithm>
#include <string>
#include <vector>

namespace dunvel {
namespace {

// The question clock: the text beside the "timer" symbol in the host remote screen's status row.
const Element* findClock(const Element& screen) {
  const Element* row = screen.find([](const Element& e) {
    if (e.kind != ElementKind::hstack) return false;
    for (const Element& child : e.children) {
      if (child.kind == ElementKind::image && child.systemName == "timer") return true;
    }
    return false;
  });
  if (row == nullptr) return nullptr;
  bool afterSymbol = false;
  for (const Element& child : row->children) {
    if (child.kind == ElementKind::image && child.systemName == "timer") {
      afterSymbol = true;
    } else if (afterSymbol && child.kind == ElementKind::text) {
      return &child;
    }
  }
  return nullptr;
}

bool isAwardControl(const Element& e) {
  return e.kind == ElementKind::view && e.viewType == "AwardControl";
}

// A row of the scoreboard: the turn dot beside the team's name and points.
bool isScoreboardRow(const Element& e) {
  if (e.kind != ElementKind::hstack) return false;
  return std::any_of(e.children.begin(), e.children.end(),
                     [](const Element& child) { return child.kind == ElementKind::circle; });
}

}  // namespace

ScreenDescription describeScreen(const Element& tree) {
  ScreenDescription description;
  const Element* screen = nullptr;
  if ((screen = tree.findView("HostRemoteView")) != nullptr) {
    description.screen = tree.findView("RevealControl") != nullptr ? "question" : "answer";
  } else if ((screen = tree.findView("ScoresView")) != nullptr) {
    description.screen = "scoreboard";
  } else if ((screen = tree.findView("TournamentGlanceView")) != nullptr) {
    description.screen = "tournament";
  } else if ((screen = tree.findView("IdleView")) != nullptr) {
    description.screen = "idle";
  } else {
    description.screen = "none";
    screen = &tree;
  }

  const Element* clock = findClock(*screen);
  if (clock != nullptr && clock->text) {
    description.clock = clock->text->shown();
    const Modifier* color = clock->modifier(ModifierKind::foregroundColor);
    description.overtime = color != nullptr && color->color == Color::red();
  }
  const std::vector<const Element*> texts = screen->findAll([](const Element& e) {
    return (e.kind == ElementKind::text || e.kind == ElementKind::label) && e.text;
  });
  // Sized once: a long list's texts are not copied again as the vector grows.
  description.texts.reserve(texts.size());
  for (const Element* e : texts) {
    if (e != clock) description.texts.push_back(e->text->shown());
  }
  description.teams =
      screen->findAll([](const Element& e) { return isAwardControl(e) || isScoreboardRow(e); })
          .size();
  return description;
}

std::string ScreenDescription::line() const {
  std::string out = screen + ":";
  const char* separator = " ";
  if (!clock.empty()) {
    out += separator + clock + (overtime ? " (overtime)" : "");
    separator = " | ";
  }
  // A long team list would make a line of a megabyte: whole texts up to the limit, and the
  // number of the rest.
  std::size_t shown = 0;
  for (const std::string& text : texts) {
    if (out.size() + 3 + text.size() > kMaxLineBytes) break;
    out += separator + text;
    separator = " | ";
    ++shown;
  }
  if (shown < texts.size()) {
    out += " … (" + std::to_string(texts.size() - shown) + " more texts";
    if (teams > 0) out += ", " + std::to_string(teams) + (teams == 1 ? " team" : " teams");
    out += ")";
  }
  return out;
}

}  // namespace dunvel
