// The second thread of a text load: the reading thread splits each block it reads into
// records and hands it here, where the records go into the table while the next block
// is read. Internal to index/.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <vector>

#include "index/index.h"
#include "platform/threads.h"

namespace tandrel::index {

class BlockStage {
 public:
  struct Block {
    std::vector<char> bytes;
    std::size_t size = 0;  // of `bytes`, those read
    std::vector<IndexTableBuilder::BlockEntry> entries;
  };

  // Starts the thread; when the system has none to give, Hand adds on the caller's.
  explicit BlockStage(IndexTableBuilder& builder);
  ~BlockStage();
  BlockStage(const BlockStage&) = delete;
  BlockStage& operator=(const BlockStage&) = delete;

  // The block to fill next, once the stage is done with what it held before. The block
  // handed last stays untouched until the one after this is handed.
  Block& Next();
  // Hands the block Next gave, with the first `count` of its entries to add.
  void Hand(std::size_t count);
  // True once the entries of a handed block did not all fit into the table.
  bool Failed() const { return failed_.load(std::memory_order_relaxed); }
  // Waits until every handed block is added.
  void Finish();

 private:
  // Enough blocks in flight that neither thread waits for the other at every block; a
  // thread that waits is woken only once half the ring is ready for it, since a wake-up
  // costs about as much as the work on a block (fewer blocks measured slower).
  static constexpr std::size_t kBlocks = 16;
  static constexpr std::size_t kWakeAfter = 8;

  void Run();
  void Add(Block& block, std::size_t count);

  IndexTableBuilder& builder_;
  std::array<Block, kBlocks> blocks_;
  std::array<std::size_t, kBlocks> counts_{};
  platform::Mutex lock_;
  platform::ConditionVariable handed_more_;
  platform::ConditionVariable done_more_;
  std::size_t handed_ = 0;  // blocks handed so far
  std::size_t done_ = 0;    // blocks added so far
  bool closed_ = false;     // nothing more will be handed
  std::atomic<bool> failed_{false};
  platform::Thread thread_;
  bool threaded_ = false;
};

}  // namespace tandrel::index
