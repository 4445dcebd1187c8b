#include "platform/kept_memory.h"

#include <cstdlib>

namespace {

struct KeptBlock {
  void* memory = nullptr;
  std::size_t capacity = 0;
  bool in_use = false;
  ~KeptBlock() { std::free(memory); }
};

// One for each thread: every worker reads its files through its own.
KeptBlock& kept_block() {
  thread_local KeptBlock block;
  return block;
}

}  // namespace

void* kept_allocate(std::size_t size) {
  KeptBlock& kept = kept_block();
  if (kept.in_use) return std::malloc(size);
  if (kept.capacity < size) {
    std::free(kept.memory);
    kept.memory = std::malloc(size);
    kept.capacity = kept.memory != nullptr ? size : 0;
    if (kept.memory == nullptr) return nullptr;
  }
  kept.in_use = true;
  return kept.memory;
}

void kept_release(void* memory) {
  KeptBlock& kept = kept_block();
  if (memory != nullptr && memory == kept.memory) {
    kept.in_use = false;
  } else {
    std::free(memory);
  }
}
