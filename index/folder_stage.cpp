#include "index/folder_stage.h"

namespace tandrel {

FolderStage::FolderStage(IndexTableBuilder& builder) : builder_(builder) {
  threaded_ = thread_.Start([this](std::stop_token) { Run(); });
}

FolderStage::~FolderStage() { Finish(); }

FolderStage::Block& FolderStage::Next() {
  std::unique_lock<std::mutex> hold(lock_);
  if (handed_ - done_ == kBlocks) {
    done_more_.wait(hold, [this] { return handed_ - done_ <= kBlocks - kWakeAfter; });
  }
  return blocks_[handed_ % kBlocks];
}

void FolderStage::Hand(std::size_t count) {
  if (!threaded_) {
    Intern(blocks_[handed_ % kBlocks], count);
    ++handed_;
    ++done_;
    return;
  }
  bool wake = false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    counts_[handed_ % kBlocks] = count;
    ++handed_;
    wake = handed_ - done_ >= kWakeAfter;
  }
  if (wake) handed_more_.notify_one();
}

void FolderStage::Finish() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    closed_ = true;
  }
  handed_more_.notify_one();
  thread_.Wait();
}

void FolderStage::Run() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    if (done_ == handed_) {
      handed_more_.wait(hold, [this] { return handed_ - done_ >= kWakeAfter || closed_; });
    }
    if (done_ == handed_) return;
    const std::size_t slot = done_ % kBlocks;
    const std::size_t count = counts_[slot];
    hold.unlock();
    Intern(blocks_[slot], count);
    hold.lock();
    ++done_;
    if (handed_ - done_ == kBlocks - kWakeAfter) done_more_.notify_one();
  }
}

void FolderStage::Intern(Block& block, std::size_t count) {
  if (Failed()) return;
  if (builder_.AddBlockFolders(block.bytes.data(), block.bytes.size(), block.entries.data(), count) < count) {
    failed_.store(true, std::memory_order_relaxed);
  }
}

}  // namespace tandrel
