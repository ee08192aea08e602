#include "storage/resources/resource_thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

#include "base/exception.h"
#include "storage/resources/resource.h"

namespace sw {

namespace {

// Which thread is the process's one. Resources reach it through these slots under the mutex and
// hold a reference while they use it, so ending the scope never frees a thread under a user.
// The retiring slot keeps a thread that is being stopped reachable for resources that are
// destroyed meanwhile, so that they leave a list a running trim may still walk.
struct TRegistry {
  std::mutex mutex;
  std::shared_ptr<TdtpResourceThread> current;
  std::shared_ptr<TdtpResourceThread> retiring;
};

TRegistry& Registry() {
  // A function-local static: nothing is built before main and nothing is started by it.
  static TRegistry registry;
  return registry;
}

std::shared_ptr<TdtpResourceThread> CurrentThread() {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.mutex);
  return r.current;
}

std::atomic<uint64_t> gGenerations{0};

// The lock this thread entered through LockResources: the thread it locked (kept alive by this
// reference until the last leave) and how deep. The depth counts even without a thread, so that
// brackets opened before a thread started stay matched.
struct TLockHold {
  std::shared_ptr<TdtpResourceThread> thread;
  int depth = 0;
};
thread_local TLockHold tHold;

}  // namespace

// Holds a thread's list lock for a scope.
class TdtpResourceThread::TListGuard {
public:
  explicit TListGuard(TdtpResourceThread& thread) : thread_(thread) { thread_.Lock(); }
  ~TListGuard() { thread_.Unlock(); }
  TListGuard(const TListGuard&) = delete;
  TListGuard& operator=(const TListGuard&) = delete;

private:
  TdtpResourceThread& thread_;
};

TdtpResourceThread::TdtpResourceThread() : generation_(++gGenerations), thread_([this] { Execute(); }) {}

TdtpResourceThread::~TdtpResourceThread() { Stop(); }

void TdtpResourceThread::Stop() {
  terminated_.store(true);
  if (!thread_.joinable()) return;
  while (!finished_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(kSleepMs));
  thread_.join();
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
  const std::thread::id self = std::this_thread::get_id();
  // Only this thread can have stored its own id, so a match means it holds the lock already.
  if (owner_.load(std::memory_order_relaxed) == self) {
    ++depth_;
    return;
  }
  mutex_.lock();
  owner_.store(self, std::memory_order_relaxed);
  depth_ = 1;
}

bool TdtpResourceThread::Unlock() {
  if (owner_.load(std::memory_order_relaxed) != std::this_thread::get_id()) return false;
  if (--depth_ == 0) {
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }
  return true;
}

bool TdtpResourceThread::Listed(const TdtpResource* resource) const {
  return resource->cacheGeneration_ == generation_;
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
  resource->cacheGeneration_ = 0;
  --count_;
}

void TdtpResourceThread::Register(TdtpResource* resource) {
  TListGuard guard(*this);
  if (Listed(resource)) return;
  resource->cacheGeneration_ = generation_;
  resource->cachePrev_ = nullptr;
  resource->cacheNext_ = first_;
  if (first_) first_->cachePrev_ = resource;
  first_ = resource;
  ++count_;
}

void TdtpResourceThread::Unregister(TdtpResource* resource) {
  TListGuard guard(*this);
  if (Listed(resource)) Unlink(resource);
}

void TdtpResourceThread::Touch(TdtpResource* resource) {
  TListGuard guard(*this);
  if (first_ == resource) return;
  if (Listed(resource)) Unlink(resource);
  Register(resource);
  touches_.fetch_add(1, std::memory_order_relaxed);
}

void TdtpResourceThread::Trim() {
  TListGuard guard(*this);
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
  TListGuard guard(*this);
  std::vector<TdtpResource*> out;
  out.reserve(static_cast<size_t>(count_));
  for (TdtpResource* r = first_; r; r = r->cacheNext_) out.push_back(r);
  return out;
}

int TdtpResourceThread::Count() {
  TListGuard guard(*this);
  return count_;
}

// ---- the scope ----

TResourceThreadScope::TResourceThreadScope() {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.mutex);
  if (r.current || r.retiring) RaiseError("The picture-cache thread is running already");
  thread_ = std::make_shared<TdtpResourceThread>();
  r.current = thread_;
}

TResourceThreadScope::~TResourceThreadScope() {
  TRegistry& r = Registry();
  {
    std::lock_guard<std::mutex> guard(r.mutex);
    r.retiring = std::move(r.current);
  }
  thread_->Stop();
  // Other threads may still walk the list (a trim they started) or hold the lock; resources
  // destroyed meanwhile must still find the list to leave it. The references of this thread's
  // own lock and of the two holders here are not waited for.
  const long own = 2 + (tHold.thread == thread_ ? 1 : 0);
  while (thread_.use_count() > own) {
    std::this_thread::sleep_for(std::chrono::milliseconds(TdtpResourceThread::kSleepMs));
  }
  std::lock_guard<std::mutex> guard(r.mutex);
  r.retiring.reset();
}

// ---- module operations ----

TdtpResourceThread* ResourceThread() { return CurrentThread().get(); }

void LockResources() {
  if (tHold.depth == 0) tHold.thread = CurrentThread();
  ++tHold.depth;
  if (tHold.thread) tHold.thread->Lock();
}

bool TryUnlockResources() {
  if (tHold.depth <= 0) return false;
  if (tHold.thread) tHold.thread->Unlock();
  if (--tHold.depth == 0) tHold.thread.reset();
  return true;
}

void UnlockResources() {
  if (!TryUnlockResources()) RaiseError("UnlockResources called more often than LockResources");
}

void TrimResources() {
  if (std::shared_ptr<TdtpResourceThread> thread = CurrentThread()) thread->Trim();
}

void RegisterResource(TdtpResource* resource) {
  if (std::shared_ptr<TdtpResourceThread> thread = CurrentThread()) thread->Register(resource);
}

void UnregisterResource(TdtpResource* resource) {
  std::shared_ptr<TdtpResourceThread> current;
  std::shared_ptr<TdtpResourceThread> retiring;
  {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    current = r.current;
    retiring = r.retiring;
  }
  if (current) current->Unregister(resource);
  if (retiring) retiring->Unregister(resource);
}

void TouchResource(TdtpResource* resource) {
  if (std::shared_ptr<TdtpResourceThread> thread = CurrentThread()) thread->Touch(resource);
}

TResourceLock::TResourceLock() { LockResources(); }

TResourceLock::~TResourceLock() { TryUnlockResources(); }

}  // namespace sw
