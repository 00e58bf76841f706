// The hand-over of blocks between the two threads of a text load.
#include "index/block_stage.h"

namespace tandrel::index {

BlockStage::BlockStage(IndexTableBuilder& builder) : builder_(builder) {
  threaded_ = thread_.Start([this](const platform::StopToken&) { Run(); });
}

BlockStage::~BlockStage() { Finish(); }

BlockStage::Block& BlockStage::Next() {
  platform::LockGuard hold(lock_);
  if (handed_ - done_ == kBlocks) {
    done_more_.Wait(hold, [this] { return handed_ - done_ <= kBlocks - kWakeAfter; });
  }
  return blocks_[handed_ % kBlocks];
}

void BlockStage::Hand(std::size_t count) {
  if (!threaded_) {
    Add(blocks_[handed_ % kBlocks], count);
    ++handed_;
    ++done_;
    return;
  }
  bool wake = false;
  {
    platform::LockGuard hold(lock_);
    counts_[handed_ % kBlocks] = count;
    ++handed_;
    wake = handed_ - done_ >= kWakeAfter;
  }
  if (wake) handed_more_.NotifyOne();
}

void BlockStage::Finish() {
  {
    platform::LockGuard hold(lock_);
    closed_ = true;
  }
  handed_more_.NotifyOne();
  thread_.Wait();
}

void BlockStage::Run() {
  platform::LockGuard hold(lock_);
  for (;;) {
    if (done_ == handed_) {
      handed_more_.Wait(hold, [this] { return handed_ - done_ >= kWakeAfter || closed_; });
    }
    if (done_ == handed_) return;
    const std::size_t slot = done_ % kBlocks;
    const std::size_t count = counts_[slot];
    hold.Unlock();
    Add(blocks_[slot], count);
    hold.Lock();
    ++done_;
    if (handed_ - done_ == kBlocks - kWakeAfter) done_more_.NotifyOne();
  }
}

void BlockStage::Add(Block& block, std::size_t count) {
  if (Failed()) return;
  if (builder_.AddBlock(block.bytes.data(), block.size, block.entries.data(), count) < count) {
    failed_.store(true, std::memory_order_relaxed);
  }
}

}  // namespace tandrel::index
