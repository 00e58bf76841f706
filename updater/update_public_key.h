// The publisher's public key that this build trusts (chosen when the build is configured).
#pragma once

#include "platform/crypto.h"

namespace tandrel::updater {

platform::RsaPublicKey UpdatePublicKey();

}  // namespace tandrel::updater
