// The update pass wired to the real network, package reader, digests and processes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/crypto.h"
#include "updater/update.h"

namespace tandrel::updater {

using MessageSink = std::function<void(std::string_view title, std::string_view text)>;

std::unique_ptr<UpdateOperations> CreateSystemOperations(std::string program_folder,
                                                         platform::RsaPublicKey publisher_key,
                                                         MessageSink show_message);

}  // namespace tandrel::updater
