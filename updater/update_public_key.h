// The publisher's public keys that this build trusts (chosen when the build is
// configured): the current key, then the next one while keys are rotated, so that a
// release signed with the next key already installs everywhere the current one does.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/crypto.h"

namespace tandrel::updater {

std::vector<platform::RsaPublicKey> UpdatePublicKeys();

// True when `signature` over `message` verifies under any of `keys`.
inline bool SignedByAnyKey(std::span<const platform::RsaPublicKey> keys,
                           std::span<const std::uint8_t> message,
                           std::span<const std::uint8_t> signature) {
  for (const platform::RsaPublicKey& key : keys) {
    if (platform::VerifyRsaSha256(key, message, signature)) return true;
  }
  return false;
}

}  // namespace tandrel::updater
