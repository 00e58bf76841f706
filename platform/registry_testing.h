// What tests need of the registry's stand-in table (builds for other systems) beyond the
// product's calls.
#pragma once

#ifndef _WIN32
namespace tandrel::platform {

// Refuses every key from now on, as a registry does to a user without administrator
// rights, or grants them again.
void RefuseMachineKeys(bool refuse);

}  // namespace tandrel::platform
#endif
