// What worker threads may do to the window: report progress. Every call is safe from any
// thread and returns at once; the main thread shows the newest value of each kind during
// its next wait for events (at the latest within one loop pass). Workers and the indexing
// run's observer take this instead of the whole window layer.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/window/values.h"

namespace tandrel::ui {

// A status-bar text as the bar shows it centred in its field: after one tab character.
inline std::string Centred(std::string_view text) { return "\t" + std::string(text); }

class StatusPoster {
 public:
  virtual void PostStatusText(FieldId field, std::string_view text) = 0;
  virtual void PostProgress(int maximum, int position) = 0;
  virtual void PostTrayImage(ImageId image) = 0;
  virtual void PostTrayTooltip(std::string_view tooltip) = 0;
  virtual void PostMenuItemEnabled(ItemId item, bool enabled) = 0;
  // Replaces the rows of an owner-data list with redrawing off, then sizes column
  // `fill_column` to fill the rest of the header (-1: no column is sized).
  virtual void PostListRows(WindowId window, ControlId id, std::shared_ptr<const RowSource> rows,
                            int fill_column) = 0;

 protected:
  ~StatusPoster() = default;
};

}  // namespace tandrel::ui
