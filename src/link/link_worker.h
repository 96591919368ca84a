// The link thread: the one thread that drives the Link while the GUI runs, so that no window
// ever waits for a unit. Windows post jobs (an exchange, a step of a scan or of a run, a
// connection); the jobs run one at a time in the order posted, and each hands its result back
// through deliver(), which the GUI makes run on its own thread.
//
// Only one thread may drive a Link at a time: while a program uses a LinkWorker, it touches
// the Link only from jobs. Command-line programs and tests may drive the Link directly and
// post nothing; the thread then sleeps.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace qm {

class Link;

class LinkWorker {
 public:
  using Job = std::function<void(Link&)>;
  // Runs a result on the thread that owns the results (the GUI's event loop).
  using Poster = std::function<void(std::function<void()>)>;

  explicit LinkWorker(Link& link);
  // Drops the jobs not yet started and waits for the running one.
  ~LinkWorker();
  LinkWorker(const LinkWorker&) = delete;
  LinkWorker& operator=(const LinkWorker&) = delete;

  // How results reach their owner. Without a poster they run on the link thread.
  void set_poster(Poster poster);

  // Queues a job behind those already posted.
  void post(Job job);
  // Hands a job's result to the results' owner; call it from a job.
  void deliver(std::function<void()> result);

  // Forgets the jobs not yet started (the program is ending); the running one goes on.
  void drop_pending();
  // Blocks until every job posted so far has run (tests, the end of the program). Never call
  // it on a thread that must stay responsive while units are silent.
  void wait_until_idle();
  // True on the link thread, inside a job.
  bool on_link_thread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  void run();

  Link& link_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<Job> jobs_;
  bool running_job_ = false;
  bool stopping_ = false;
  Poster poster_;
  std::thread thread_;
};

}  // namespace qm
