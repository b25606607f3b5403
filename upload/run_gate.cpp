// The gates of asynchronous runs: a re-entrant hold per record, kept in a
// registry beside the task list.
#include "upload/run_gate.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace zem::upload {

struct RunGate {
  std::mutex lock;
  std::condition_variable released;
  std::thread::id owner;
  int depth = 0;
  // Threads inside a hold, also those that let the other thread in for a
  // while (a read that waits for the network): the record stays theirs to
  // finish with, so the close waits for them as well.
  int members = 0;
  bool open = true;
  // A download's query that ends later: awaited, and whether its end came.
  bool awaiting = false;
  bool arrived = false;

  // Under lock: waits until no other thread holds the gate, then takes it.
  void Take(std::unique_lock<std::mutex> &held, int nDepth) {
    released.wait(held, [this] { return depth == 0; });
    owner = std::this_thread::get_id();
    depth = nDepth;
  }
  // Under lock.
  void Give() {
    depth = 0;
    owner = std::thread::id();
    released.notify_all();
  }
};

namespace {

std::mutex &RegistryLock() {
  static std::mutex lock;
  return lock;
}

std::unordered_map<const void *, std::shared_ptr<RunGate>> &Registry() {
  static std::unordered_map<const void *, std::shared_ptr<RunGate>> gates;
  return gates;
}

}  // namespace

void OpenRunGate(const REQUEST_CONTEXT *ctx) {
  std::lock_guard<std::mutex> hold(RegistryLock());
  Registry()[ctx] = std::make_shared<RunGate>();
}

void CloseRunGate(const REQUEST_CONTEXT *ctx) {
  std::shared_ptr<RunGate> gate;
  {
    std::lock_guard<std::mutex> hold(RegistryLock());
    auto found = Registry().find(ctx);
    if (found == Registry().end()) return;
    gate = std::move(found->second);
    Registry().erase(found);
  }
  std::unique_lock<std::mutex> held(gate->lock);
  // No thread enters from now on; those inside finish first.
  gate->open = false;
  gate->released.wait(held, [&] { return gate->members == 0; });
}

RunGateHold::RunGateHold(const void *pvRecord) {
  std::shared_ptr<RunGate> gate;
  {
    std::lock_guard<std::mutex> hold(RegistryLock());
    auto found = Registry().find(pvRecord);
    if (found == Registry().end()) return;
    gate = found->second;
  }
  std::unique_lock<std::mutex> held(gate->lock);
  if (gate->owner == std::this_thread::get_id() && gate->depth > 0) {
    ++gate->depth;
  } else {
    if (!gate->open) return;
    gate->Take(held, 1);
    if (!gate->open) {
      gate->Give();
      return;
    }
    ++gate->members;
  }
  gate_ = std::move(gate);
}

RunGateHold::~RunGateHold() {
  if (gate_ == nullptr) return;
  std::lock_guard<std::mutex> held(gate_->lock);
  if (--gate_->depth == 0) {
    --gate_->members;
    gate_->Give();
  }
}

void RunGateHold::AwaitCompletion(bool bAwait) {
  if (gate_ == nullptr) return;
  gate_->awaiting = bAwait;
  gate_->arrived = false;
}

bool RunGateHold::CompletionArrived() const { return gate_ != nullptr && gate_->arrived; }

bool RunGateHold::HandOverCompletion() {
  if (gate_ == nullptr || !gate_->awaiting) return false;
  gate_->awaiting = false;
  gate_->arrived = true;
  return true;
}

RunGateHold::Opening::Opening(RunGateHold &hold) : hold_(hold) {
  if (hold_.gate_ == nullptr) return;
  std::lock_guard<std::mutex> held(hold_.gate_->lock);
  depth_ = hold_.gate_->depth;
  hold_.gate_->Give();
}

RunGateHold::Opening::~Opening() {
  if (hold_.gate_ == nullptr) return;
  std::unique_lock<std::mutex> held(hold_.gate_->lock);
  hold_.gate_->Take(held, depth_);
}

}  // namespace zem::upload
