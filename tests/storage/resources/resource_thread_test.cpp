#include "storage/resources/resource_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "base/exception.h"
#include "storage/resources/resource.h"
#include "support/errors.h"

namespace sw {
namespace {

// A resource whose codec is the bitmap's raw stream form, so that the cache can be tested without
// any picture format.
class TRawResource : public TdtpResource {
public:
  ~TRawResource() override { Unregister(); }

  void Give(int32_t width, int32_t height, TColor32 color) {
    TResourceAccess access(*this);
    bitmap_ = std::make_unique<TBitmap32>();
    bitmap_->SetSize(width, height);
    bitmap_->Clear(color);
    bitmapModified_ = true;
    Touch();
  }
  TBitmap32* Picture() {
    Touch();
    EnsureState(kStateBitmap);
    return bitmap_.get();
  }
  int64_t MemorySize() override {
    if (countedMemory >= 0) return bitmap_ ? countedMemory : 0;
    return bitmap_ ? int64_t(bitmap_->Width()) * bitmap_->Height() * 4 : 0;
  }

  std::atomic<int> stores{0};
  std::atomic<int> loads{0};
  int64_t countedMemory = -1;

protected:
  void StoreObject() override {
    ++stores;
    bitmap_->SaveToStream(data_);
  }
  void LoadObject() override {
    ++loads;
    auto bitmap = std::make_unique<TBitmap32>();
    bitmap->LoadFromStream(data_);
    bitmap_ = std::move(bitmap);
  }
};

using TResources = std::vector<std::unique_ptr<TRawResource>>;

// Makes count resources holding a bitmap each; the last one made is the most recently used.
TResources MakeResources(int count) {
  TResources list;
  for (int i = 0; i < count; ++i) {
    list.push_back(std::make_unique<TRawResource>());
    list.back()->Give(4, 4, 0xFF000000u + static_cast<TColor32>(i));
  }
  return list;
}

// Keeps the cache thread from trimming while a test looks at the resources; declared first, so
// the resources are gone before it is released.
using THoldCache = TResourceLock;

// The cache runs for each test, as it does for a program; resources made in a test are gone
// before it stops.
class ResourceThreadTest : public ::testing::Test {
protected:
  TResourceThreadScope cache_;
};

int Position(TdtpResource* resource) {
  const std::vector<TdtpResource*> list = ResourceThread()->Resources();
  const auto it = std::find(list.begin(), list.end(), resource);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

// Nothing starts the cache but a scope, and there is one at a time.
TEST(ResourceThreadScope, StartsAndStopsTheOneThread) {
  EXPECT_EQ(ResourceThread(), nullptr);
  {
    TResourceThreadScope cache;
    ASSERT_EQ(ResourceThread(), &cache.Thread());
    EXPECT_FALSE(cache.Thread().Finished());
    EXPECT_EQ(test::ErrorOf<Exception>([] { TResourceThreadScope second; }),
              "The picture-cache thread is running already");
    EXPECT_EQ(ResourceThread(), &cache.Thread());
  }
  EXPECT_EQ(ResourceThread(), nullptr);
  TResourceThreadScope again;
  EXPECT_NE(ResourceThread(), nullptr);
}

TEST_F(ResourceThreadTest, ListKeepsMostRecentlyUsedFirst) {
  THoldCache hold;
  TResources list = MakeResources(3);
  EXPECT_EQ(Position(list[2].get()), 0);
  EXPECT_EQ(Position(list[0].get()), 2);
  const int before = ResourceThread()->TouchCount();
  // Touching the first one changes nothing and counts nothing.
  list[2]->Touch();
  // (The cache thread may just be resetting the count after a trim, so it can only fall.)
  EXPECT_LE(ResourceThread()->TouchCount(), before);
  list[0]->Touch();
  EXPECT_EQ(Position(list[0].get()), 0);
  EXPECT_EQ(Position(list[2].get()), 1);
  EXPECT_LE(ResourceThread()->TouchCount(), before + 1);
  TdtpResource* gone = list[1].get();
  list[1].reset();
  EXPECT_EQ(Position(gone), -1);
  EXPECT_EQ(ResourceThread()->Count(), 2);
}

TEST_F(ResourceThreadTest, TrimUnloadsBeyondTheTenMostRecent) {
  THoldCache hold;
  TResources ten = MakeResources(10);
  TrimResources();
  for (auto& r : ten) EXPECT_EQ(r->State(), TdtpResource::kStateBitmap);

  // An eleventh resource, made first, is the least recently used.
  auto oldest = std::make_unique<TRawResource>();
  oldest->Give(4, 4, 0xFF123456u);
  for (auto& r : ten) r->Touch();
  ASSERT_EQ(Position(oldest.get()), 10);
  TrimResources();
  // Embedded: the bitmap is encoded and dropped, the data stays.
  EXPECT_FALSE(oldest->HasBitmap());
  EXPECT_EQ(oldest->State(), TdtpResource::kStateData);
  EXPECT_EQ(oldest->stores.load(), 1);
  for (auto& r : ten) EXPECT_TRUE(r->HasBitmap());
  // The next read decodes again.
  TBitmap32* again = oldest->Picture();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Pixel(3, 3), 0xFF123456u);
  EXPECT_EQ(oldest->loads.load(), 1);
}

TEST_F(ResourceThreadTest, TrimKeepsResourcesInUseAndThoseOfKindNone) {
  THoldCache hold;
  TResources list = MakeResources(12);
  // list[0] and list[1] are beyond the ten; list[0] is in use, list[1] lives only in memory.
  TResourceAccess inUse(*list[0]);
  list[1]->SetStorageKind(TdtpStorageKind::None);
  list[1]->Give(4, 4, 0xFF00FF00u);
  for (int i = 2; i < 12; ++i) list[i]->Touch();
  TrimResources();
  EXPECT_TRUE(list[0]->HasBitmap());
  // Kind None keeps its data but not its bitmap.
  EXPECT_FALSE(list[1]->HasBitmap());
  EXPECT_GT(list[1]->Data().Size(), 0);
}

TEST_F(ResourceThreadTest, MemoryBudgetCountsDataAndPixels) {
  THoldCache hold;
  TResources list = MakeResources(11);
  // Most recent first: 60 MiB, 60 MiB (pushes the sum past 100 MiB and is kept), then the rest.
  list[10]->countedMemory = int64_t(60) << 20;
  list[9]->countedMemory = int64_t(60) << 20;
  TrimResources();
  EXPECT_TRUE(list[10]->HasBitmap());
  EXPECT_TRUE(list[9]->HasBitmap());
  for (int i = 0; i <= 8; ++i) EXPECT_FALSE(list[i]->HasBitmap()) << "resource " << i;
}

TEST_F(ResourceThreadTest, ArchiveResourceWithoutStorageKeepsItsBytes) {
  THoldCache hold;
  TResources list = MakeResources(11);
  // Without a storage the bytes cannot be stored, so they stay marked modified and are kept.
  list[0]->SetStorageKind(TdtpStorageKind::Archive);
  list[0]->Give(4, 4, 0xFF0000FFu);
  for (int i = 1; i < 11; ++i) list[i]->Touch();
  TrimResources();
  EXPECT_FALSE(list[0]->HasBitmap());
  EXPECT_TRUE(list[0]->DataModified());
  EXPECT_GT(list[0]->Data().Size(), 0);
}

TEST_F(ResourceThreadTest, LockOrdersATrimAfterTheHolder) {
  LockResources();
  std::atomic<bool> trimmed{false};
  std::thread other([&] {
    TrimResources();
    trimmed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(trimmed.load());
  UnlockResources();
  other.join();
  EXPECT_TRUE(trimmed.load());
}

TEST_F(ResourceThreadTest, UnmatchedUnlockAndEndAccessAreRefused) {
  try {
    UnlockResources();
    FAIL() << "unmatched UnlockResources accepted";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "UnlockResources called more often than LockResources");
  }
  TRawResource r;
  try {
    r.EndAccess();
    FAIL() << "unmatched EndAccess accepted";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Access count mismatch");
  }
  EXPECT_EQ(r.AccessCount(), 0);
  // The lock is still in order: another thread can take it.
  std::thread other([] { TResourceLock lock; });
  other.join();
  r.BeginAccess();
  r.BeginAccess();
  EXPECT_EQ(r.AccessCount(), 2);
  r.EndAccess();
  r.EndAccess();
  EXPECT_EQ(r.AccessCount(), 0);
}

TEST_F(ResourceThreadTest, TheThreadTrimsAfterMoreThanTwentyTouches) {
  TResources list = MakeResources(11);
  TRawResource* oldest = list[0].get();
  // 25 touches of the ten newer ones, each moving one to the front.
  for (int round = 0; round < 25; ++round) list[1 + round % 10]->Touch();
  ASSERT_EQ(Position(oldest), 10);
  // The thread trims at most every two seconds; give it up to five.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  bool unloaded = false;
  while (!unloaded && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    TResourceLock lock;
    unloaded = !oldest->HasBitmap();
  }
  EXPECT_TRUE(unloaded);
  for (int i = 1; i < 11; ++i) {
    TResourceLock lock;
    EXPECT_TRUE(list[i]->HasBitmap());
  }
}

// Users on two threads read and change their own pictures while trims run on the cache thread
// and on the main thread; every read under its access bracket sees a whole picture.
TEST_F(ResourceThreadTest, ConcurrentUseAndTrimming) {
  TResources shared = MakeResources(30);
  std::atomic<bool> failed{false};
  auto user = [&](int first) {
    for (int round = 0; round < 2000; ++round) {
      TRawResource& r = *shared[static_cast<size_t>(first + round % 15)];
      TResourceAccess access(r);
      TBitmap32* b = r.Picture();
      if (!b || b->Width() != 4) {
        failed = true;
        return;
      }
      if (round % 7 == 0) r.Give(4, 4, 0xFF000000u + static_cast<TColor32>(round));
    }
  };
  // Resources made and freed meanwhile are met by trims while half constructed or destroyed.
  auto maker = [&] {
    for (int round = 0; round < 500; ++round) {
      auto r = std::make_unique<TRawResource>();
      r->Give(2, 2, 0xFF000000u);
    }
  };
  std::thread a(user, 0);
  std::thread b(user, 15);
  std::thread c(maker);
  for (int i = 0; i < 1000; ++i) TrimResources();
  a.join();
  b.join();
  c.join();
  EXPECT_FALSE(failed.load());
}

// Program end: the thread stops, resources outlive it and work without lock and list; resources
// made while there is no thread work too, and a new thread knows only resources made after it.
TEST(ResourceThreadScope, ResourcesOutliveAndPredateTheThread) {
  auto cache = std::make_unique<TResourceThreadScope>();
  auto survivor = std::make_unique<TRawResource>();
  survivor->Give(2, 2, 0xFFAABBCCu);
  cache.reset();
  ASSERT_EQ(ResourceThread(), nullptr);
  LockResources();  // nothing to lock
  UnlockResources();
  TrimResources();
  survivor->Unload();
  EXPECT_FALSE(survivor->HasBitmap());
  ASSERT_NE(survivor->Picture(), nullptr);
  EXPECT_EQ(survivor->Picture()->Pixel(1, 1), 0xFFAABBCCu);
  auto early = std::make_unique<TRawResource>();
  early->Give(2, 2, 0xFF010203u);

  cache = std::make_unique<TResourceThreadScope>();
  ASSERT_NE(ResourceThread(), nullptr);
  EXPECT_EQ(ResourceThread()->Count(), 0);
  auto late = std::make_unique<TRawResource>();
  EXPECT_EQ(Position(late.get()), 0);
  // A touch brings an older resource into the new list.
  early->Touch();
  EXPECT_EQ(Position(early.get()), 0);
  survivor.reset();
  early.reset();
  late.reset();
  EXPECT_EQ(ResourceThread()->Count(), 0);
}

// Ending the scope while another thread holds the lock waits for that thread: the lock it holds
// is never freed under it, and it leaves the lock normally.
TEST(ResourceThreadScope, EndingWaitsForAThreadThatHoldsTheLock) {
  auto cache = std::make_unique<TResourceThreadScope>();
  std::atomic<bool> locked{false}, release{false}, unlocked{false}, ended{false};
  std::thread user([&] {
    TRawResource r;
    r.BeginAccess();
    locked = true;
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    r.Give(2, 2, 0xFF000000u);
    r.EndAccess();
    unlocked = true;
  });
  while (!locked.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::thread ender([&] {
    cache.reset();
    ended = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(ended.load());
  release = true;
  user.join();
  ender.join();
  EXPECT_TRUE(unlocked.load());
  EXPECT_TRUE(ended.load());
  EXPECT_EQ(ResourceThread(), nullptr);
}

// An access bracket belongs to the thread that opened it: closing it on another thread neither
// releases a lock that thread does not hold nor lowers the count under the user.
TEST_F(ResourceThreadTest, EndAccessOnAnotherThreadIsRefused) {
  TRawResource r;
  r.BeginAccess();
  std::string error;
  std::thread other([&] { error = test::ErrorOf<Exception>([&] { r.EndAccess(); }); });
  other.join();
  EXPECT_EQ(error, "EndAccess called on a thread without BeginAccess");
  EXPECT_EQ(r.AccessCount(), 1);
  r.EndAccess();
  EXPECT_EQ(r.AccessCount(), 0);
  // The lock is free again for other threads.
  std::thread taker([] { TResourceLock lock; });
  taker.join();
}

}  // namespace
}  // namespace sw
