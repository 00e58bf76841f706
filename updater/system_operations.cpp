// The update pass's operations as the updater program has them: the HTTP client, the
// package reader, the system's digests and signature check, and process starts.
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

// The package is digested in blocks of this size.
constexpr std::size_t kDigestBlock = 1'000'000;

class ReaderEntries : public PackageEntries {
 public:
  bool Open(const std::string& file) { return reader_.Open(file); }
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

std::string DigestOfFile(platform::HashKind kind, const std::string& file) {
  platform::File input(file, platform::OpenMode::kRead);
  if (!input.IsOpen()) return {};
  platform::Hash hash(kind);
  std::vector<std::uint8_t> block(kDigestBlock);
  for (std::size_t got; (got = input.Read(block.data(), block.size())) > 0;) {
    hash.Add({block.data(), got});
  }
  const auto digest = hash.Finish();
  return digest ? platform::LowerHex(*digest) : std::string();
}

class SystemOperations : public UpdateOperations {
 public:
  SystemOperations(std::string program_folder, std::vector<platform::RsaPublicKey> keys,
                   MessageSink show)
      : program_folder_(std::move(program_folder)), keys_(std::move(keys)), show_(std::move(show)) {}

  bool StartNetwork() override { return StartHttpNetwork(); }
  bool Download(const std::string& url, const std::string& file) override {
    return ReceiveHttpFile(url, file);
  }
  void ShowMessage(std::string_view title, std::string_view text) override { show_(title, text); }
  std::string Md5OfFile(const std::string& file) override {
    return DigestOfFile(platform::HashKind::kMd5, file);
  }
  std::string Sha256OfFile(const std::string& file) override {
    return DigestOfFile(platform::HashKind::kSha256, file);
  }
  bool VerifySignature(std::string_view data, std::span<const std::uint8_t> signature) override {
    return SignedByAnyKey(keys_, {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()},
                          signature);
  }
  std::unique_ptr<PackageEntries> OpenPackage(const std::string& file) override {
    auto entries = std::make_unique<ReaderEntries>();
    if (!entries->Open(file)) return nullptr;
    return entries;
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
