#include "storage/resources/resource_thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

#include "base/exception.h"
#include "storage/resources/resource.h"

namespace sw {

namespace {

// Constant-initialised, so resources created before the module starts (or destroyed after it
// ends) safely find no thread.
std::atomic<TdtpResourceThread*> gThread{nullptr};

// How often the calling thread holds the process-wide lock; a recursive mutex must never be
// unlocked by a thread that does not hold it.
thread_local int tLockDepth = 0;

// Program start creates the thread, program end stops it.
struct TResourceModule {
  TResourceModule() { StartResourceThread(); }
  ~TResourceModule() { StopResourceThread(); }
} gModule;

}  // namespace

TdtpResourceThread::TdtpResourceThread() : thread_([this] { Execute(); }) {}

TdtpResourceThread::~TdtpResourceThread() {
  terminated_.store(true);
  while (!finished_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(kSleepMs));
  if (thread_.joinable()) thread_.join();
  // Resources that outlive the thread must not point into its list any more.
  std::lock_guard<std::recursive_mutex> guard(lock_);
  while (first_) Unlink(first_);
}

int64_t TdtpResourceThread::TickCount() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void TdtpResourceThread::Execute() {
  // One step below normal priority; Linux keeps a nice value per thread.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 1);
  while (!terminated_.load()) {
    const int64_t now = TickCount();
    if (now - lastTrim_.load(std::memory_order_relaxed) > kTrimInterval &&
        touches_.load(std::memory_order_relaxed) > kTouchThreshold) {
      Trim();
      lastTrim_.store(now, std::memory_order_relaxed);
      touches_.store(0, std::memory_order_relaxed);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kSleepMs));
  }
  finished_.store(true);
}

void TdtpResourceThread::Lock() {
  lock_.lock();
  ++tLockDepth;
}

bool TdtpResourceThread::Unlock() {
  if (tLockDepth <= 0) return false;
  --tLockDepth;
  lock_.unlock();
  return true;
}

void TdtpResourceThread::Unlink(TdtpResource* resource) {
  if (resource->cachePrev_) {
    resource->cachePrev_->cacheNext_ = resource->cacheNext_;
  } else {
    first_ = resource->cacheNext_;
  }
  if (resource->cacheNext_) resource->cacheNext_->cachePrev_ = resource->cachePrev_;
  resource->cachePrev_ = nullptr;
  resource->cacheNext_ = nullptr;
  resource->cacheOwner_ = nullptr;
  --count_;
}

void TdtpResourceThread::Register(TdtpResource* resource) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (resource->cacheOwner_ == this) return;
  resource->cacheOwner_ = this;
  resource->cachePrev_ = nullptr;
  resource->cacheNext_ = first_;
  if (first_) first_->cachePrev_ = resource;
  first_ = resource;
  ++count_;
}

void TdtpResourceThread::Unregister(TdtpResource* resource) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (resource->cacheOwner_ == this) Unlink(resource);
}

void TdtpResourceThread::Touch(TdtpResource* resource) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (first_ == resource) return;
  if (resource->cacheOwner_ == this) Unlink(resource);
  Register(resource);
  touches_.fetch_add(1, std::memory_order_relaxed);
}

void TdtpResourceThread::Trim() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (count_ <= kKeepCount) return;
  int64_t sum = 0;
  int index = 0;
  for (TdtpResource* r = first_; r; ++index) {
    // Unloading never touches the list, but take the successor first all the same.
    TdtpResource* next = r->cacheNext_;
    // A resource is listed from its base constructor on, so one that is still being constructed
    // on another thread may be met here: it holds nothing (state 0, no bitmap), and no virtual
    // call is made on it. For every other resource this is the same as calling them.
    if (index >= kKeepCount || sum > kMemoryBudget) {
      if (r->State() != TdtpResource::kStateEmpty) {
        try {
          r->Unload();
        } catch (...) {
          // The cache cannot report anything; the resource keeps what it has and the error
          // comes back to whoever stores it next, on their own thread.
        }
      }
    } else {
      sum += r->Data().Length();
      if (r->HasBitmap()) sum += r->MemorySize();
    }
    r = next;
  }
}

std::vector<TdtpResource*> TdtpResourceThread::Resources() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  std::vector<TdtpResource*> out;
  out.reserve(static_cast<size_t>(count_));
  for (TdtpResource* r = first_; r; r = r->cacheNext_) out.push_back(r);
  return out;
}

int TdtpResourceThread::Count() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return count_;
}

TdtpResourceThread* ResourceThread() { return gThread.load(); }

void StartResourceThread() {
  if (gThread.load()) return;
  gThread.store(new TdtpResourceThread());
}

void StopResourceThread() {
  TdtpResourceThread* thread = gThread.exchange(nullptr);
  delete thread;
}

void LockResources() {
  if (TdtpResourceThread* thread = ResourceThread()) thread->Lock();
}

void UnlockResources() {
  TdtpResourceThread* thread = ResourceThread();
  if (thread && !thread->Unlock()) RaiseError("UnlockResources called more often than LockResources");
}

void TrimResources() {
  if (TdtpResourceThread* thread = ResourceThread()) thread->Trim();
}

TResourceLock::TResourceLock() : thread_(ResourceThread()) {
  if (thread_) thread_->Lock();
}

TResourceLock::~TResourceLock() {
  if (thread_) thread_->Unlock();
}

}  // namespace sw
