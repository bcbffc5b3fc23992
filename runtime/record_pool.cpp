// Record pools: growable arrays of fixed-size records linked by index into a free list and
// a used list; each owner registers its pool and the runtime creates and frees them all.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/runtime_local.h"

// Lives for the process: the pools the subsystems registered at start-up.
static std::vector<RecordPool*> gRegisteredPools;

static RecordLinks* LinksOf(RecordPool& pool, int32_t index) { return RecordAt<RecordLinks>(pool, index); }

// Chains records [from, to) into a free list in index order, continuing at `to`'s end.
static void ChainFree(RecordPool& pool, int32_t from, int32_t to) {
  for (int32_t i = from; i < to; ++i) {
    LinksOf(pool, i)->next = i + 1 < to ? i + 1 : -1;
    LinksOf(pool, i)->prev = i - 1;
  }
}

bool CreateRecordPool(RecordPool& pool) {
  DestroyRecordPool(pool);
  if (pool.recordSize < static_cast<int32_t>(sizeof(RecordLinks)) || pool.initialCapacity < 1) return false;
  pool.records = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(pool.initialCapacity), static_cast<size_t>(pool.recordSize)));
  if (pool.records == nullptr) return false;
  if (pool.growParallel != nullptr && !pool.growParallel(pool.initialCapacity)) {
    std::free(pool.records);
    pool.records = nullptr;
    return false;
  }
  pool.capacity = pool.initialCapacity;
  pool.count = 0;
  ChainFree(pool, 0, pool.capacity);
  pool.freeHead = 0;
  pool.usedHead = pool.usedTail = -1;
  return true;
}

// Doubles the pool; the new records continue the free list. False leaves it as it was.
static bool GrowPool(RecordPool& pool) {
  if (pool.capacity > INT32_MAX / 2) return false;
  int32_t newCapacity = pool.capacity * 2;
  auto* grown = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(newCapacity), static_cast<size_t>(pool.recordSize)));
  if (grown == nullptr) return false;
  if (pool.growParallel != nullptr && !pool.growParallel(newCapacity)) {
    std::free(grown);
    return false;
  }
  std::memcpy(grown, pool.records, static_cast<size_t>(pool.capacity) * static_cast<size_t>(pool.recordSize));
  std::free(pool.records);
  pool.records = grown;
  int32_t oldCapacity = pool.capacity;
  pool.capacity = newCapacity;
  ChainFree(pool, oldCapacity, newCapacity);
  // Hang the new records after the end of the current free list.
  if (pool.freeHead < 0) {
    pool.freeHead = oldCapacity;
  } else {
    int32_t last = pool.freeHead;
    while (LinksOf(pool, last)->next >= 0) last = LinksOf(pool, last)->next;
    LinksOf(pool, last)->next = oldCapacity;
    LinksOf(pool, oldCapacity)->prev = last;
  }
  return true;
}

int32_t AllocRecord(RecordPool& pool) {
  if (pool.records == nullptr || (pool.count > pool.capacity - pool.growMargin && !GrowPool(pool)) ||
      pool.freeHead < 0) {
    RuntimeError(101);
    return -1;
  }
  int32_t index = pool.freeHead;
  pool.freeHead = LinksOf(pool, index)->next;
  std::memset(RecordAddress(pool, index), 0, static_cast<size_t>(pool.recordSize));
  if (pool.initRecord != nullptr) pool.initRecord(RecordAddress(pool, index));
  RecordLinks* links = LinksOf(pool, index);
  links->next = -1;
  links->prev = pool.usedTail;
  if (pool.usedTail >= 0) LinksOf(pool, pool.usedTail)->next = index;
  else pool.usedHead = index;
  pool.usedTail = index;
  pool.count += 1;
  return index;
}

void FreeRecord(RecordPool& pool, int32_t index) {
  if (pool.count < 1 || index < 0 || index >= pool.capacity) return;
  RecordLinks* links = LinksOf(pool, index);
  if (links->prev >= 0) LinksOf(pool, links->prev)->next = links->next;
  else pool.usedHead = links->next;
  if (links->next >= 0) LinksOf(pool, links->next)->prev = links->prev;
  else pool.usedTail = links->prev;
  if (pool.releaseRecord != nullptr) pool.releaseRecord(RecordAddress(pool, index));
  links->next = pool.freeHead;
  links->prev = -1;
  if (pool.freeHead >= 0) LinksOf(pool, pool.freeHead)->prev = index;
  pool.freeHead = index;
  pool.count -= 1;
}

void DestroyRecordPool(RecordPool& pool) {
  if (pool.records != nullptr && pool.releaseRecord != nullptr)
    for (int32_t i = pool.usedHead; i >= 0; i = LinksOf(pool, i)->next) pool.releaseRecord(RecordAddress(pool, i));
  std::free(pool.records);
  pool.records = nullptr;
  pool.capacity = pool.count = 0;
  pool.freeHead = pool.usedHead = pool.usedTail = -1;
}

void RegisterRecordPool(RecordPool* pool) {
  for (RecordPool* p : gRegisteredPools)
    if (p == pool) return;
  gRegisteredPools.push_back(pool);
}

bool CreateRecordPools() {
  bool ok = true;
  for (RecordPool* pool : gRegisteredPools) ok = CreateRecordPool(*pool) && ok;
  return ok;
}

void FreeRecordPools() {
  for (RecordPool* pool : gRegisteredPools) DestroyRecordPool(*pool);
}
