#pragma once

#include "driver.h"

namespace driver {

int MenuItemsVerb(const Args& args);
int PopupItemsVerb(const Args& args);
int ClosePopupVerb(const Args& args);

}  // namespace driver
