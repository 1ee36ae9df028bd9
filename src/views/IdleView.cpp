#include "views/IdleView.h"

#include "views/AppColors.h"

namespace dunvel {

Node IdleView::body() const {
  const bool reachable = store->reachable.get();
  return VStack(HorizontalAlignment::center, 8,
                {
                    Image(SystemName{"gamecontroller.fill"})
                        .font(Font::title2())
                        .foregroundColor(accentGold()),
                    Text(LocalizedStringKey{"Dunvel"}).font(Font::title3().bold()),
                    Text(LocalizedStringKey{reachable ? "بانتظار بدء اللعب…"
                                                      : "افتح التطبيق على الآيفون"})
                        .font(Font::footnote())
                        .foregroundColor(Color::secondary())
                        .multilineTextAlignment(TextAlignment::center),
                })
      .padding();
}

}  // namespace dunvel
