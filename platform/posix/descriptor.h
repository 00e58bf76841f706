// The owner of an open file descriptor, for a function that opens one, may fail on
// several paths and must close it on each.
#pragma once

#include <unistd.h>

#include "platform/owned.h"

namespace tandrel::platform {

using OwnedDescriptor = Owned<int, ::close, -1>;

}  // namespace tandrel::platform
