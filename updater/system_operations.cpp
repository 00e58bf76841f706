// The update pass's operations as the updater program has them: the HTTP client, the
// package reader, the system's clock and signature check, and process starts.
#include <chrono>
#include <functional>

#include "platform/crypto.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "updater/http.h"
#include "updater/package.h"
#include "updater/system_operations.h"
#include "updater/update_public_key.h"

namespace tandrel::updater {
namespace {

class ReaderEntries : public PackageEntries {
 public:
  explicit ReaderEntries(std::span<const std::uint8_t> bytes) { reader_.Open(bytes); }
  // Damage in the stream gives no entry; a checksum that does not match is the
  // package's own business, the signed digest has vouched for its bytes already.
  std::optional<std::span<const std::uint8_t>> Next() override {
    const std::uint8_t* entry = reader_.Next();
    if (entry == nullptr) return std::nullopt;
    return std::span<const std::uint8_t>(entry, static_cast<std::size_t>(reader_.Size()));
  }

 private:
  PackageReader reader_;
};

class SystemOperations : public UpdateOperations {
 public:
  SystemOperations(std::string program_folder, std::vector<platform::RsaPublicKey> keys,
                   MessageSink show)
      : program_folder_(std::move(program_folder)), keys_(std::move(keys)), show_(std::move(show)) {}

  bool StartNetwork() override { return StartHttpNetwork(); }
  bool Download(const std::string& url, const std::string& file, const HttpLimits& limits) override {
    return ReceiveHttpFile(url, file, limits);
  }
  void ShowMessage(std::string_view title, std::string_view text) override { show_(title, text); }
  std::int64_t Now() override {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
  }
  bool VerifySignature(std::string_view data, std::span<const std::uint8_t> signature) override {
    return SignedByAnyKey(keys_, {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()},
                          signature);
  }
  std::unique_ptr<PackageEntries> OpenPackage(std::span<const std::uint8_t> bytes) override {
    return std::make_unique<ReaderEntries>(bytes);
  }
  bool WaitForMainProgramEnd(std::uint32_t timeout_ms) override {
    return platform::WaitUntilNotRunning(program_folder_, timeout_ms);
  }
  bool StartProgram(const std::string& program, std::string_view argument,
                    const std::string& folder) override {
    return platform::StartProgram(program, argument, folder);
  }
  bool OpenWithShell(const std::string& file, std::string_view argument,
                     const std::string& folder) override {
    return platform::OpenWithShell(file, argument, folder);
  }

 private:
  std::string program_folder_;
  std::vector<platform::RsaPublicKey> keys_;
  MessageSink show_;
};

}  // namespace

std::unique_ptr<UpdateOperations> CreateSystemOperations(
    std::string program_folder, std::vector<platform::RsaPublicKey> publisher_keys,
    MessageSink show_message) {
  return std::make_unique<SystemOperations>(std::move(program_folder), std::move(publisher_keys),
                                            std::move(show_message));
}

}  // namespace tandrel::updater
