#include "views/RevealControl.h"

#include "views/AnswerCommand.h"
#include "views/AppColors.h"

namespace dunvel {

Node RevealControl::body() const {
  return Button([store = store] { sendCommand(*store, "reveal", HapticType::click); },
                Label(LocalizedStringKey{"اعرض الإجابة"}, SystemName{"eye.fill"}))
      .tint(accentGold());
}

}  // namespace dunvel
