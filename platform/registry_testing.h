// What tests need of the registry's stand-in table (builds for other systems) beyond the
// product's calls.
#pragma once

#ifndef _WIN32
#include "platform/registry.h"

namespace tandrel::platform {

// Refuses full access to every key of `root` from now on, as the registry does to a user
// without administrator rights for the machine's keys, or grants it again. Reading stays.
void RefuseRegistryKeys(RegistryRoot root, bool refuse);

}  // namespace tandrel::platform
#endif
