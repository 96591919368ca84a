// The link thread: jobs run one at a time in the order posted, on a thread of their own;
// results go through the poster; the end of the program forgets what was not started and
// waits for the job that runs.
#include "link/link_worker.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "link/link.h"
#include "support/recording_ui.h"

namespace qm {
namespace {

class LinkWorkerTest : public ::testing::Test {
 protected:
  LinkWorkerTest() : settings_(std::nullopt, {}), log_(std::nullopt) {}

  // Holds the link thread inside a job until release().
  void hold(LinkWorker& worker) {
    worker.post([this](Link&) {
      std::unique_lock lock(mutex_);
      held_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return released_; });
    });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return held_; });
  }
  void release() {
    const std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

  Settings settings_;
  TrafficLog log_;
  test::RecordingUi ui_;
  TickClock clock_;
  Link link_{settings_.values, log_, ui_, clock_};
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  bool released_ = false;
};

TEST_F(LinkWorkerTest, Jobs_RunInOrderOnTheLinkThreadWithTheLink) {
  LinkWorker worker(link_);
  std::vector<int> order;
  std::vector<std::thread::id> threads;
  for (int i = 0; i < 5; ++i) {
    worker.post([&, i](Link& link) {
      EXPECT_EQ(&link, &link_);
      EXPECT_TRUE(worker.on_link_thread());
      order.push_back(i);
      threads.push_back(std::this_thread::get_id());
    });
  }
  worker.wait_until_idle();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_FALSE(worker.on_link_thread());
  for (const auto& id : threads)
    EXPECT_EQ(id, threads.front());
  EXPECT_NE(threads.front(), std::this_thread::get_id());
}

TEST_F(LinkWorkerTest, Results_GoThroughThePoster) {
  LinkWorker worker(link_);
  std::vector<std::function<void()>> posted;  // the owner's queue, run on this thread
  std::mutex posted_mutex;
  worker.set_poster([&](std::function<void()> result) {
    const std::lock_guard lock(posted_mutex);
    posted.push_back(std::move(result));
  });
  int value = 0;
  worker.post([&](Link&) { worker.deliver([&value] { value = 7; }); });
  worker.wait_until_idle();
  EXPECT_EQ(value, 0);  // not yet: the owner runs it
  ASSERT_EQ(posted.size(), 1u);
  posted.front()();
  EXPECT_EQ(value, 7);
}

TEST_F(LinkWorkerTest, DropPending_ForgetsWhatHasNotStartedAndTheRunningJobEnds) {
  auto worker = std::make_unique<LinkWorker>(link_);
  hold(*worker);
  int ran = 0;
  worker->post([&](Link&) { ++ran; });
  worker->drop_pending();
  worker->post([&](Link&) { ran += 10; });
  release();
  worker->wait_until_idle();
  EXPECT_EQ(ran, 10);

  // Ending the worker waits for the job it is running.
  {
    const std::lock_guard lock(mutex_);
    released_ = held_ = false;
  }
  hold(*worker);
  std::thread ender([&] { worker.reset(); });
  release();
  ender.join();
  EXPECT_EQ(worker, nullptr);
}

}  // namespace
}  // namespace qm
