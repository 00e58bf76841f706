// The update pass wired to the real network, package reader, digests and processes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto.h"
#include "updater/update.h"

namespace tandrel::updater {

using MessageSink = std::function<void(std::string_view title, std::string_view text)>;

// A signature by any of `publisher_keys` is accepted.
std::unique_ptr<UpdateOperations> CreateSystemOperations(
    std::string program_folder, std::vector<platform::RsaPublicKey> publisher_keys,
    MessageSink show_message);

}  // namespace tandrel::updater
