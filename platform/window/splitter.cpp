// The geometry of a splitter, the same on every window layer.
#include "platform/window/splitter.h"

#include <algorithm>

namespace tandrel::ui {

Splitter::Splitter(Rect area, ControlId upper_id, ControlId lower_id)
    : area_(area), upper_id_(upper_id), lower_id_(lower_id), upper_height_(Room() / 2) {}

int Splitter::Room() const { return std::max(0, area_.height - kSplitterBarHeight); }

SplitPanes Splitter::Panes() const {
  const int room = Room();
  const int upper = std::clamp(upper_height_, 0, room);
  const int bar = std::min(kSplitterBarHeight, std::max(0, area_.height));
  SplitPanes panes;
  panes.upper = {area_.x, area_.y, area_.width, upper};
  panes.bar = {area_.x, area_.y + upper, area_.width, bar};
  panes.lower = {area_.x, area_.y + upper + bar, area_.width, room - upper};
  return panes;
}

void Splitter::MoveTo(Rect area) {
  const int old_room = Room();
  area_ = area;
  const int room = Room();
  upper_height_ = old_room == 0 ? room / 2 : upper_height_ * room / old_room;
}

void Splitter::DragBarTo(int bar_top) { upper_height_ = std::clamp(bar_top - area_.y, 0, Room()); }

}  // namespace tandrel::ui
