#include "link/link_worker.h"

#include <utility>

namespace qm {

LinkWorker::LinkWorker(Link& link) : link_(link), thread_([this] { run(); }) {}

LinkWorker::~LinkWorker() {
  std::deque<Job> dropped;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    dropped.swap(jobs_);
    wake_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

void LinkWorker::set_poster(Poster poster) {
  const std::lock_guard lock(mutex_);
  poster_ = std::move(poster);
}

void LinkWorker::post(Job job) {
  const std::lock_guard lock(mutex_);
  if (stopping_) return;
  jobs_.push_back(std::move(job));
  wake_.notify_one();
}

void LinkWorker::deliver(std::function<void()> result) {
  Poster poster;
  {
    const std::lock_guard lock(mutex_);
    poster = poster_;
  }
  if (poster) {
    poster(std::move(result));
  } else {
    result();
  }
}

void LinkWorker::drop_pending() {
  std::deque<Job> dropped;
  const std::lock_guard lock(mutex_);
  dropped.swap(jobs_);
}

void LinkWorker::wait_until_idle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return stopping_ || (jobs_.empty() && !running_job_); });
}

void LinkWorker::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (stopping_) break;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    running_job_ = true;
    lock.unlock();
    job(link_);
    job = nullptr;  // what the job holds is released here, on the link thread
    lock.lock();
    running_job_ = false;
    if (jobs_.empty()) idle_.notify_all();
  }
  running_job_ = false;
  idle_.notify_all();
}

}  // namespace qm
