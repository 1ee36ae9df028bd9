#include "views/NoAnswerControl.h"

#include "views/AnswerCommand.h"

namespace dunvel {

Node NoAnswerControl::body() const {
  return Button([store = store] { sendCommand(*store, "noAnswer", HapticType::failure); },
                Label(LocalizedStringKey{"محد جاوب"}, SystemName{"xmark"}))
      .tint(Color::red());
}

}  // namespace dunvel
