// The picture cache: one background thread per process that keeps every resource in
// most-recently-used order and unloads the ones beyond the ten most recent or beyond 100 MiB,
// and the process-wide re-entrant lock that orders every resource operation with that trimming
// and with the loading and saving of documents.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace sw {

class TdtpResource;

class TdtpResourceThread {
public:
  // A trim keeps this many of the most recently used resources...
  static constexpr int kKeepCount = 10;
  // ...and fewer when the memory counted for those before them already exceeds this.
  static constexpr int64_t kMemoryBudget = 104857600;
  // The thread trims at most this often (milliseconds), and only after more touches than this.
  static constexpr int64_t kTrimInterval = 2000;
  static constexpr int kTouchThreshold = 20;
  static constexpr int kSleepMs = 10;

  // Starts the thread at once, one step below normal priority.
  TdtpResourceThread();
  // Asks the thread to end, waits in steps of 10 ms until it has, and forgets every resource.
  ~TdtpResourceThread();
  TdtpResourceThread(const TdtpResourceThread&) = delete;
  TdtpResourceThread& operator=(const TdtpResourceThread&) = delete;

  // The process-wide lock; re-entrant.
  void Lock();
  // False, touching nothing, when the calling thread does not hold the lock.
  bool Unlock();

  // Inserts the resource at the front unless it is registered already.
  void Register(TdtpResource* resource);
  // Does nothing for a resource this thread does not know.
  void Unregister(TdtpResource* resource);
  // Moves the resource to the front (registering it when needed) and counts a touch, unless it is
  // first already.
  void Touch(TdtpResource* resource);
  // Unloads the resources beyond the ten most recent or beyond the memory budget; nothing with ten
  // or fewer registered. Never decodes and raises nothing: a resource that cannot be unloaded
  // (its encoder or store failed) stays as it is.
  void Trim();

  // The registered resources, most recently used first.
  std::vector<TdtpResource*> Resources();
  int Count();
  int TouchCount() const { return touches_.load(std::memory_order_relaxed); }
  bool Finished() const { return finished_.load(); }

  // Milliseconds of a monotonic clock.
  static int64_t TickCount();

private:
  void Execute();
  void Unlink(TdtpResource* resource);

  TdtpResource* first_ = nullptr;  // the list runs through the resources' cache links
  int count_ = 0;
  // Read by the thread outside the lock, hence atomic.
  std::atomic<int64_t> lastTrim_{0};
  std::atomic<int> touches_{0};
  std::recursive_mutex lock_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

// The thread of the process; null before it is started and after it is stopped.
TdtpResourceThread* ResourceThread();
// What program start does: creates and starts the thread when there is none.
void StartResourceThread();
// What program end does: asks the thread to end, waits for it and frees it with its lock. Every
// operation afterwards skips the lock and the list.
void StopResourceThread();

// Enter and leave the process-wide lock; both do nothing when there is no thread. UnlockResources
// on a thread that holds no lock raises "UnlockResources called more often than LockResources".
void LockResources();
void UnlockResources();
// One trim at once, on the caller's thread.
void TrimResources();

// Holds the process-wide lock for a scope (nothing when there is no thread).
class TResourceLock {
public:
  TResourceLock();
  ~TResourceLock();
  TResourceLock(const TResourceLock&) = delete;
  TResourceLock& operator=(const TResourceLock&) = delete;

private:
  TdtpResourceThread* thread_;
};

}  // namespace sw
