// The geometry of a splitter, shared by every window layer: two panes one above the
// other, split by a bar the user can drag. The bar keeps its share of the height when
// the splitter is resized.
#pragma once

#include "platform/window/values.h"

namespace tandrel::ui {

inline constexpr int kSplitterBarHeight = 4;

struct SplitPanes {
  Rect upper, bar, lower;
};

class Splitter {
 public:
  Splitter() = default;
  Splitter(Rect area, ControlId upper_id, ControlId lower_id);

  ControlId UpperId() const { return upper_id_; }
  ControlId LowerId() const { return lower_id_; }
  Rect Area() const { return area_; }
  SplitPanes Panes() const;
  // Resizes the splitter; the upper pane keeps its share of the room.
  void MoveTo(Rect area);
  // Puts the bar's top at `bar_top` (in the splitter's parent), kept inside the area.
  void DragBarTo(int bar_top);

 private:
  Rect area_;
  ControlId upper_id_{-1};
  ControlId lower_id_{-1};
  int upper_height_ = 0;  // of Room(), for the bar's share
  int Room() const;
};

}  // namespace tandrel::ui
