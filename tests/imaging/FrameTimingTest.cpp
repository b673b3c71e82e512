// Frame timing of the animators and the process-wide animator thread, driven by a fake
// clock: each pass of the thread is one step the test releases, so the frame sequence is
// exact. Runs natively (also under ThreadSanitizer) and under Wine.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "imaging/AnimatorThread.h"
#include "imaging/ImageAnimator.h"

using namespace imaging;

namespace {

// Simulated time shared by the test and the thread's clock; it outlives every thread.
class TFakeTime {
 public:
  // Animator thread side.
  // A real tick's sleep always ends: one of a thread being stopped ends as well, even
  // when the stop's wake came before the sleep began.
  void Sleep(uint32_t ms, const TGPAnimatorThread* owner) {
    std::unique_lock<std::mutex> l(FLock);
    uint64_t until = FNow + ms;
    uint64_t wakes = FWakes;
    ++FPasses;
    FSleeping = true;
    FSleepWakes = wakes;
    FChanged.notify_all();
    FChanged.wait(l, [&] { return FNow >= until || FWakes != wakes || (owner && owner->Terminated()); });
    FSleeping = false;
  }
  bool WaitForWake() {
    std::unique_lock<std::mutex> l(FLock);
    FIdle = true;
    FChanged.notify_all();
    FChanged.wait(l, [&] { return FWoken || FExpire; });
    FIdle = false;
    FExpire = false;
    return FWoken;
  }
  void Wake() {
    std::lock_guard<std::mutex> l(FLock);
    FWoken = true;
    ++FWakes;
    FChanged.notify_all();
  }
  void ResetWake() {
    std::lock_guard<std::mutex> l(FLock);
    FWoken = false;
  }
  // A new thread starts with a fresh clock: forget what the last one left behind.
  void Fresh() {
    std::lock_guard<std::mutex> l(FLock);
    FWoken = FExpire = FIdle = false;
  }

  // Test side. Waits (bounded) until the thread sleeps after `passes` passes, and after
  // a pass that saw every wake so far: a registration's wake that has not ended the
  // current sleep yet means a pass for the new animator is still to come.
  bool WaitPasses(int passes) {
    std::unique_lock<std::mutex> l(FLock);
    return FChanged.wait_for(l, std::chrono::seconds(10),
                             [&] { return FSleeping && FPasses >= passes && FSleepWakes == FWakes; });
  }
  // Lets one more pass run and waits for it.
  bool Step() {
    int next;
    {
      std::lock_guard<std::mutex> l(FLock);
      next = FPasses + 1;
      FNow += kAnimatorTickMs;
      FChanged.notify_all();
    }
    return WaitPasses(next);
  }
  void Advance() {
    std::lock_guard<std::mutex> l(FLock);
    FNow += kAnimatorTickMs;
    FChanged.notify_all();
  }
  bool WaitIdle() {
    std::unique_lock<std::mutex> l(FLock);
    return FChanged.wait_for(l, std::chrono::seconds(10), [&] { return FIdle; });
  }
  void ExpireIdle() {
    std::lock_guard<std::mutex> l(FLock);
    FNow += kAnimatorIdleExitMs;
    FExpire = true;
    FChanged.notify_all();
  }
  int Passes() {
    std::lock_guard<std::mutex> l(FLock);
    return FPasses;
  }
  uint64_t Now() {
    std::lock_guard<std::mutex> l(FLock);
    return FNow;
  }

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  uint64_t FNow = 0;
  uint64_t FWakes = 0;
  uint64_t FSleepWakes = 0;  // the wakes seen when the current sleep began
  int FPasses = 0;
  bool FSleeping = false, FIdle = false, FWoken = false, FExpire = false;
};

TFakeTime* gTime = nullptr;
std::atomic<int> gNotifies{0};
std::atomic<int> gThreadsMade{0};

class TFakeClock : public IAnimatorClock {
 public:
  const TGPAnimatorThread* Owner = nullptr;
  void Sleep(uint32_t ms) override { gTime->Sleep(ms, Owner); }
  bool WaitForWake(uint32_t) override { return gTime->WaitForWake(); }
  void Wake() override { gTime->Wake(); }
  void ResetWake() override { gTime->ResetWake(); }
};

class TRecordingHost : public IAnimatorHost {
 public:
  void PostNotify() override { ++gNotifies; }
};

TGPAnimatorThread* FakeFactory() {
  ++gThreadsMade;
  auto clock = std::make_unique<TFakeClock>();
  TFakeClock* fake = clock.get();
  auto* t = new TGPAnimatorThread(std::move(clock));
  fake->Owner = t;
  t->SetHost(new TRecordingHost);
  return t;
}

class TFakeImage : public IAnimatedImage {
 public:
  TFakeImage(int32_t frames, std::vector<uint32_t> delays, bool hasDelays = true)
      : FFrames(frames), FDelays(std::move(delays)), FHasDelays(hasDelays) {}
  int32_t TimeFrameCount() override { return FFrames; }
  bool ReadFrameDelays(std::vector<uint32_t>& delays) override {
    delays = FDelays;
    return FHasDelays;
  }
  void SelectTimeFrame(int32_t index) override { Selected.push_back(index); }
  std::vector<int32_t> Selected;  // GUI thread only

 private:
  int32_t FFrames;
  std::vector<uint32_t> FDelays;
  bool FHasDelays;
};

// A picture: counts the frame changes reported to it and may react like a user would.
struct TPicture {
  explicit TPicture(TFakeImage* image) : Image(image) {}
  TFakeImage* Image;
  std::vector<int32_t> Frames;
  bool StopOnChange = false;
  TPicture* AlsoStop = nullptr;
  static void OnFrame(void* ctx, base::TObject* sender) {
    auto* self = static_cast<TPicture*>(ctx);
    self->Frames.push_back(static_cast<TGPImageAnimator*>(sender)->FrameIndex());
    if (self->StopOnChange) RemoveImageAnimators(self->Image, &TPicture::OnFrame);
    if (self->AlsoStop) RemoveImageAnimators(self->AlsoStop->Image, &TPicture::OnFrame);
  }
  TFrameChangeEvent Handler() { return {&TPicture::OnFrame, this}; }
};

class FrameThread : public ::testing::Test {
 protected:
  void SetUp() override {
    gTime = &FTime;
    gNotifies = 0;
    gThreadsMade = 0;
    SetAnimatorThreadFactory(&FakeFactory);
  }
  void TearDown() override {
    FreeAnimatorThread();
    // A thread that ended itself may still be on its way out.
    for (int i = 0; i < 1000 && AnimatorThread(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    SetAnimatorThreadFactory(nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    gTime = nullptr;
  }
  TFakeTime FTime;
};

// How many ticks each shown frame lasts, over two cycles of the animation.
std::vector<int> TicksPerFrame(TGPImageAnimator& a, int ticks) {
  std::vector<int> runs{1};
  int32_t frame = a.FrameIndex();
  for (int i = 0; i < ticks; ++i) {
    a.Tick();
    if (a.FrameIndex() == frame) {
      ++runs.back();
    } else {
      frame = a.FrameIndex();
      runs.push_back(1);
    }
  }
  runs.pop_back();  // the last run may be cut short
  return runs;
}

}  // namespace

TEST(FrameAnimator, FramesLastTheirDelaysRoundedUpToWholeTicks) {
  struct Case {
    const char* name;
    int32_t frames;
    std::vector<uint32_t> delays;
    bool hasProperty;
    std::vector<int> ticks;  // per frame, first cycle (a frame is shown from tick 0)
  } cases[] = {
      {"10/20/0 hundredths: 100, 200 and 100 ms", 3, {10, 20, 0}, true, {2, 4, 2}},
      {"no delay property: one frame a tick", 3, {}, false, {1, 1, 1}},
      {"7 hundredths still take two ticks", 2, {7, 1}, true, {2, 1}},
      {"fewer delays than frames are ignored", 3, {30, 30}, true, {1, 1, 1}},
      {"more delays than frames are fine", 2, {5, 15, 99}, true, {1, 3}},
  };
  for (const Case& c : cases) {
    TFakeImage image(c.frames, c.delays, c.hasProperty);
    TGPImageAnimator a(&image);
    ASSERT_TRUE(a.Animatable()) << c.name;
    EXPECT_EQ(a.FrameCount(), c.frames) << c.name;
    std::vector<int> runs = TicksPerFrame(a, 40);
    ASSERT_GE(runs.size(), c.ticks.size()) << c.name;
    EXPECT_EQ(std::vector<int>(runs.begin(), runs.begin() + static_cast<long>(c.ticks.size())), c.ticks) << c.name;
    EXPECT_TRUE(a.Changed()) << c.name;
    EXPECT_TRUE(image.Selected.empty()) << c.name << ": frames are shown only by the GUI thread";
  }
}

TEST(FrameAnimator, SingleFramesAndFrameIndexBounds) {
  for (int32_t frames : {0, 1}) {
    TFakeImage image(frames, {10});
    TGPImageAnimator a(&image);
    EXPECT_FALSE(a.Animatable());
    EXPECT_EQ(a.FrameCount(), 1);
    EXPECT_EQ(a.Delays().size(), 1u);
  }
  TFakeImage image(4, {});
  TGPImageAnimator a(&image);
  a.SetFrameIndex(2);
  EXPECT_EQ(a.FrameIndex(), 2);
  a.SelectFrame();
  a.SetFrameIndex(-1);
  EXPECT_EQ(a.FrameIndex(), 0);
  a.SelectFrame();
  a.SetFrameIndex(3);
  a.SetFrameIndex(4);  // beyond the last frame: back to the first
  EXPECT_EQ(a.FrameIndex(), 0);
  a.SelectFrame();
  EXPECT_EQ(image.Selected, (std::vector<int32_t>{2, 0, 0}));
  EXPECT_FALSE(a.Changed());
  a.SelectFrame();  // nothing changed since: nothing shown
  EXPECT_EQ(image.Selected.size(), 3u);
}

TEST_F(FrameThread, ThreadTicksEvery50msAndReportsOnTheGuiThread) {
  TFakeImage image(3, {10, 20, 0});
  TPicture picture(&image);
  TGPImageAnimator* a = CreateImageAnimator(&image, picture.Handler());
  ASSERT_NE(a, nullptr);
  ASSERT_NE(AnimatorThread(), nullptr);
  ASSERT_TRUE(FTime.WaitPasses(1));
  // Frame shown at each simulated millisecond a pass ran; the pass at t runs the tick
  // that ends at t + 50.
  std::vector<std::pair<uint64_t, int32_t>> changes;
  int32_t last = 0;
  for (int i = 0; i < 16; ++i) {
    if (a->FrameIndex() != last) {
      last = a->FrameIndex();
      changes.emplace_back(FTime.Now(), last);
    }
    ASSERT_TRUE(FTime.Step());
  }
  // Frame 1 after 100 ms, frame 2 200 ms later, frame 0 again 100 ms after that.
  ASSERT_GE(changes.size(), 4u);
  EXPECT_EQ(changes[0], (std::pair<uint64_t, int32_t>{50, 1}));
  EXPECT_EQ(changes[1], (std::pair<uint64_t, int32_t>{250, 2}));
  EXPECT_EQ(changes[2], (std::pair<uint64_t, int32_t>{350, 0}));
  EXPECT_EQ(changes[3], (std::pair<uint64_t, int32_t>{450, 1}));
  EXPECT_GT(gNotifies.load(), 0);
  EXPECT_TRUE(image.Selected.empty());
  EXPECT_TRUE(picture.Frames.empty());

  AnimatorNotificationPass();  // what message 2025 runs on the GUI thread
  ASSERT_EQ(image.Selected.size(), 1u);
  EXPECT_EQ(image.Selected[0], a->FrameIndex());
  EXPECT_EQ(picture.Frames, (std::vector<int32_t>{a->FrameIndex()}));
  EXPECT_FALSE(a->Changed());
  AnimatorNotificationPass();  // not dirty any more: no second report
  EXPECT_EQ(picture.Frames.size(), 1u);
  AnimatorFrameChange(a);  // message 2024: that animator's handler, once
  EXPECT_EQ(picture.Frames.size(), 2u);
  TFakeImage other(2, {});
  TGPImageAnimator stranger(&other);
  stranger.Handler = picture.Handler();
  AnimatorFrameChange(&stranger);  // not in the list: ignored
  AnimatorFrameChange(nullptr);
  EXPECT_EQ(picture.Frames.size(), 2u);

  RemoveImageAnimators(&image, &TPicture::OnFrame);
  EXPECT_EQ(AnimatorThread(), nullptr) << "the last animator went: the thread is destroyed at once";
}

TEST_F(FrameThread, OneAnimatorPerImageAndHandlerAndNoneForOneFrame) {
  TFakeImage still(1, {});
  TPicture p0(&still);
  EXPECT_EQ(CreateImageAnimator(&still, p0.Handler()), nullptr);
  EXPECT_EQ(AnimatorThread(), nullptr);
  EXPECT_EQ(gThreadsMade.load(), 0) << "a single-frame image starts no thread";

  TFakeImage image(2, {});
  TPicture p1(&image), p2(&image);
  TGPImageAnimator* first = CreateImageAnimator(&image, p1.Handler());
  TGPImageAnimator* second = CreateImageAnimator(&image, p2.Handler());  // same handler code
  ASSERT_NE(second, nullptr);
  TGPAnimatorThread* thread = AnimatorThread();
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(thread->List().Count(), 1);
  EXPECT_TRUE(thread->List().Contains(second));
  (void)first;  // freed by the second registration (ASan would see a use)
  EXPECT_EQ(gThreadsMade.load(), 1);
}

TEST_F(FrameThread, HandlerStoppingAnimationsDuringThePassIsSafe) {
  TFakeImage i1(2, {}), i2(2, {}), i3(2, {});
  TPicture p1(&i1), p2(&i2), p3(&i3);
  p1.StopOnChange = true;  // stops itself
  p1.AlsoStop = &p2;       // and another whose report is still due in this pass
  ASSERT_NE(CreateImageAnimator(&i1, p1.Handler()), nullptr);
  ASSERT_NE(CreateImageAnimator(&i2, p2.Handler()), nullptr);
  ASSERT_NE(CreateImageAnimator(&i3, p3.Handler()), nullptr);
  ASSERT_TRUE(FTime.WaitPasses(1));  // every frame advanced on the first pass
  AnimatorNotificationPass();
  EXPECT_EQ(p1.Frames.size(), 1u);
  EXPECT_TRUE(p2.Frames.empty()) << "removed before its turn: not called";
  EXPECT_EQ(p3.Frames.size(), 1u);
  ASSERT_NE(AnimatorThread(), nullptr);
  EXPECT_EQ(AnimatorThread()->List().Count(), 1);

  // The last picture stops itself inside the pass: the thread goes after the pass.
  p3.StopOnChange = true;
  ASSERT_TRUE(FTime.Step());
  AnimatorNotificationPass();
  EXPECT_EQ(p3.Frames.size(), 2u);
  EXPECT_EQ(AnimatorThread(), nullptr);
}

TEST_F(FrameThread, IdleExitAndNewRegistrationNeverLoseAnAnimator) {
  TFakeImage image(2, {});
  TPicture picture(&image);
  for (int round = 0; round < 30; ++round) {
    // A thread with an empty list waits idle: make one by removing its only animator
    // from a second picture's point of view (same image, other handler code).
    FTime.Fresh();
    TFakeImage keep(2, {});
    TPicture holder(&keep);
    int passes = FTime.Passes();
    ASSERT_NE(CreateImageAnimator(&keep, holder.Handler()), nullptr);
    ASSERT_TRUE(FTime.WaitPasses(passes + 1));
    TGPAnimatorThread* thread = AnimatorThread();
    ASSERT_NE(thread, nullptr);
    // Empty the list without the destroy-at-once path: as the thread would see it when
    // its last picture went while a pass pinned it.
    thread->List().Remove(&keep, nullptr);
    FTime.Advance();  // end the pause: the thread finds no work and waits idle
    ASSERT_TRUE(FTime.WaitIdle()) << "round " << round;
    // The idle wait ends while a picture registers on the GUI thread.
    std::thread expire([&] { FTime.ExpireIdle(); });
    TGPImageAnimator* a = CreateImageAnimator(&image, picture.Handler());
    expire.join();
    ASSERT_NE(a, nullptr);
    bool found = false;
    for (int i = 0; i < 1000 && !found; ++i) {
      TGPAnimatorThread* now = AnimatorThread();
      found = now && now->List().Contains(a);
      if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(found) << "round " << round << ": the animator must sit in a live thread";
    RemoveImageAnimators(&image, &TPicture::OnFrame);
    ASSERT_EQ(AnimatorThread(), nullptr);
  }
}
