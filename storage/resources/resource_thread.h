// The picture cache: one background thread per process that keeps every resource in
// most-recently-used order and unloads the ones beyond the ten most recent or beyond 100 MiB,
// and the process-wide re-entrant lock that orders every resource operation with that trimming
// and with the loading and saving of documents.
//
// Nothing starts the thread on its own: whoever starts the engine (a program's main, a test
// fixture) holds one TResourceThreadScope for as long as the cache should run. Without one,
// resources work on their own and every lock and list operation is skipped.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
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
  // Stops the thread (Stop); the resources still listed are left alone and simply stop counting
  // as listed.
  ~TdtpResourceThread();
  TdtpResourceThread(const TdtpResourceThread&) = delete;
  TdtpResourceThread& operator=(const TdtpResourceThread&) = delete;

  // Asks the thread to end and waits in steps of 10 ms until it has; nothing when it has already.
  // Must not be called from the cache thread itself.
  void Stop();

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
  class TListGuard;

  void Execute();
  bool Listed(const TdtpResource* resource) const;
  void Unlink(TdtpResource* resource);

  // Tells this thread's list apart from those of earlier and later threads, so that a resource
  // that outlived one thread is never taken for a member of the next (addresses may be reused).
  const uint64_t generation_;
  TdtpResource* first_ = nullptr;  // the list runs through the resources' cache links
  int count_ = 0;
  // Read by the thread outside the lock, hence atomic.
  std::atomic<int64_t> lastTrim_{0};
  std::atomic<int> touches_{0};
  // The lock is re-entrant and knows its owner, so an unlock by a thread that does not hold it
  // is refused instead of undefined.
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
  int depth_ = 0;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

// Starts the picture-cache thread and makes it the process's one for the scope's lifetime. A
// second scope while one is active raises "The picture-cache thread is running already". The
// destructor stops the thread and waits until no other thread uses it (holds the lock, runs a
// trim), so it must not run while its own thread holds the lock. Resources outlive it.
class TResourceThreadScope {
public:
  TResourceThreadScope();
  ~TResourceThreadScope();
  TResourceThreadScope(const TResourceThreadScope&) = delete;
  TResourceThreadScope& operator=(const TResourceThreadScope&) = delete;

  TdtpResourceThread& Thread() { return *thread_; }

private:
  std::shared_ptr<TdtpResourceThread> thread_;
};

// The running thread; null when no scope is active. The pointer is only good while the scope
// that started the thread lives: code that may run beside its end uses the functions below.
TdtpResourceThread* ResourceThread();

// Enter and leave the process-wide lock; both do nothing but count when there is no thread.
// UnlockResources on a thread that holds no lock raises
// "UnlockResources called more often than LockResources".
void LockResources();
void UnlockResources();
// One trim at once, on the caller's thread; nothing without a thread.
void TrimResources();

// The list operations of a resource (creation, destruction, use); nothing without a thread.
void RegisterResource(TdtpResource* resource);
void UnregisterResource(TdtpResource* resource);
void TouchResource(TdtpResource* resource);
// Leaves the lock entered by LockResources; false, touching nothing, when the calling thread has
// not entered it.
bool TryUnlockResources();

// Holds the process-wide lock for a scope (nothing when there is no thread).
class TResourceLock {
public:
  TResourceLock();
  ~TResourceLock();
  TResourceLock(const TResourceLock&) = delete;
  TResourceLock& operator=(const TResourceLock&) = delete;
};

}  // namespace sw
