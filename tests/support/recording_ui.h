// An OperatorUi that records every call, for tests to assert what the operator was shown.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "base/operator_ui.h"

namespace qm::test {

class RecordingUi final : public OperatorUi {
 public:
  void show_status(const std::string& text) override { add("status:" + text); }
  void clear_status() override { add("clear"); }
  void show_link_status(const std::string& text) override { add("link:" + text); }
  void show_unit_status(const std::string& text) override { add("unit:" + text); }
  void flash_activity(Activity which) override { add(which == Activity::Transmit ? "tx" : "rx"); }
  void remote_link_dropped() override { add("dropped"); }
  BoxAnswer message_box(const std::string& title, const std::string& text, BoxButtons,
                        BoxIcon) override {
    add("box:" + title + "|" + text);
    std::lock_guard lock(mutex_);
    if (answers_.empty()) return BoxAnswer::No;
    const BoxAnswer a = answers_.front();
    answers_.erase(answers_.begin());
    return a;
  }
  void edit_sequence_file(const std::string& path, int line) override {
    add("edit:" + path + ":" + std::to_string(line));
  }
  // Answers for the next message boxes, in order; No once they run out.
  void answer(std::vector<BoxAnswer> answers) {
    std::lock_guard lock(mutex_);
    answers_ = std::move(answers);
  }

  std::vector<std::string> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  // The status texts only, in order.
  std::vector<std::string> statuses() const { return texts_of("status:"); }
  // The message boxes' "title|text" only, in order.
  std::vector<std::string> boxes() const { return texts_of("box:"); }
  void clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
  }

 private:
  // The calls that start with `kind`, without it.
  std::vector<std::string> texts_of(const std::string& kind) const {
    std::vector<std::string> out;
    for (const auto& c : calls())
      if (c.rfind(kind, 0) == 0) out.push_back(c.substr(kind.size()));
    return out;
  }
  void add(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::vector<BoxAnswer> answers_;
};

}  // namespace qm::test
