// How a simulated unit runs a binary sequence file.
//
// - Execution starts at offset 0, the header's call of the main body; END, or a return with
//   no open call, ends the file.
// - An INCLUDE runs the named flash file as a nested call: from its own offset 0, with its own
//   offsets, calls and loops. Its END (or outermost return) resumes the including file after
//   the INCLUDE. At most 4 includes may be open at once.
// - At most 16 PROC calls (all files together) and 16 loops per file may be open; one more
//   ends the sequence with IncludeDepth, the unit's only "nested too deep" result.
// - PROC arguments are read and ignored: the unit has no use for them.
// - REPEAT 255 repeats forever; REPEAT 0 runs its body once, like REPEAT 1. UNTIL repeats its
//   loop while less time than its field count has passed since the REPEAT ran; it ignores the
//   REPEAT count. AGAIN or UNTIL with no open loop does nothing.
// - Time is only what run() is given: a WAIT lasts its fields from the run() that executed it.
// - One run() executes at most kInstructionBudget instructions, then asks to run again 1 ms
//   later, so a loop with no WAIT in it cannot hold the simulator.
// - A key releases a WAIT EVENT that is already waiting; other keys are dropped.
// - The opcodes and value types the compiler never produces (SEND vars, WAIT 6..8, UNTIL
//   14/15, variables) end the sequence with Unsupported.
#include "sim/sequence_engine.h"

#include <algorithm>

#include "compiler/sequence_format.h"
#include "sim/flash_fs.h"

namespace qm::sim {

namespace {

constexpr std::size_t kMaxCallDepth = 16;
constexpr std::size_t kMaxLoopDepth = 16;
constexpr std::size_t kMaxIncludeDepth = 4;
constexpr int kInstructionBudget = 10000;

// A typed operand, or the result that ends the sequence when it cannot be read.
struct Operand {
  TypedValue value;
  SequenceResult error = SequenceResult::Normal;
};

Operand read_operand(std::span<const std::uint8_t> image, std::size_t offset) {
  if (const std::optional<TypedValue> v = read_typed_value(image, offset)) return {*v};
  if (offset < image.size() && !typed_value_width(image[offset]))
    return {{}, SequenceResult::NotDefined};
  return {{}, SequenceResult::ReadingBytes};
}

std::uint64_t fields_ms(std::uint32_t fields) {
  return std::uint64_t{fields} * kFieldMs;
}

}  // namespace

SequenceEngine::SequenceEngine(SequenceHost& host) : host_(host) {}

void SequenceEngine::start(const std::string& name, std::vector<std::uint8_t> image,
                           std::uint64_t now_ms) {
  levels_.clear();
  levels_.push_back(Level{std::move(image), 0, {}, {}});
  name_ = name;
  ready_ms_ = now_ms;
  waiting_key_ = false;
  last_result_ = SequenceResult::Normal;
  last_offset_ = 0;
}

void SequenceEngine::stop() {
  if (running()) finish(SequenceResult::UserStopped, levels_.back().pc);
}

std::optional<std::uint64_t> SequenceEngine::run(std::uint64_t now_ms) {
  if (!running() || waiting_key_) return std::nullopt;
  if (now_ms < ready_ms_) return ready_ms_;
  for (int i = 0; i < kInstructionBudget; ++i) {
    switch (execute(now_ms)) {
      case Step::Next:
        if (!running()) return std::nullopt;  // the host stopped it
        break;
      case Step::Wait:
        return ready_ms_;
      case Step::WaitKey:
      case Step::Ended:
        return std::nullopt;
    }
  }
  ready_ms_ = now_ms + 1;
  return ready_ms_;
}

void SequenceEngine::key(std::uint8_t /*key*/, std::uint64_t now_ms) {
  if (!running() || !waiting_key_) return;
  waiting_key_ = false;
  ready_ms_ = now_ms;
}

bool SequenceEngine::running() const {
  return !levels_.empty();
}

const std::string& SequenceEngine::file_name() const {
  return name_;
}

SequenceResult SequenceEngine::last_result() const {
  return last_result_;
}

std::uint16_t SequenceEngine::last_offset() const {
  return last_offset_;
}

// Executes the instruction at the current file's pc.
SequenceEngine::Step SequenceEngine::execute(std::uint64_t now_ms) {
  Level& level = levels_.back();
  const std::span<const std::uint8_t> image(level.image);
  const std::size_t at = level.pc;
  if (at >= image.size()) return fail(SequenceResult::ReadingBytes, at);
  const std::uint8_t code = image[at];
  if (!is_legal_opcode(code)) return fail(SequenceResult::NotDefined, at);
  const std::size_t p = at + 1;

  // A count byte and that many bytes after the opcode.
  auto counted_bytes = [&]() -> std::optional<std::span<const std::uint8_t>> {
    if (p >= image.size() || image.size() - p - 1 < image[p]) return std::nullopt;
    return image.subspan(p + 1, image[p]);
  };

  switch (static_cast<Opcode>(code)) {
    // INCLUDE name 0
    case Opcode::Include: {
      const auto name_end =
          std::find(image.begin() + static_cast<std::ptrdiff_t>(p), image.end(), std::uint8_t{0});
      if (name_end == image.end()) return fail(SequenceResult::ReadingBytes, at);
      const std::string name(image.begin() + static_cast<std::ptrdiff_t>(p), name_end);
      if (name.empty() || name.size() > kMaxFlashName) return fail(SequenceResult::IncludeName, at);
      if (levels_.size() > kMaxIncludeDepth) return fail(SequenceResult::IncludeDepth, at);
      const std::vector<std::uint8_t>* file = host_.sequence_file(name);
      if (file == nullptr) return fail(SequenceResult::IncludeOpen, at);
      level.pc = p + name.size() + 1;
      levels_.push_back(Level{*file, 0, {}, {}});  // `level` is not used past this
      return Step::Next;
    }
    // SEND n device address function data...
    case Opcode::Send: {
      const auto message = counted_bytes();
      if (!message) return fail(SequenceResult::ReadingBytes, at);
      if (message->size() < 3) return fail(SequenceResult::NotDefined, at);
      level.pc = p + 1 + message->size();
      // A copy: the host may stop or replace this sequence while it handles the message.
      const std::vector<std::uint8_t> copy(message->begin(), message->end());
      host_.sequence_send(copy);
      return Step::Next;
    }
    // OUTPUT n bytes...
    case Opcode::Output: {
      const auto bytes = counted_bytes();
      if (!bytes) return fail(SequenceResult::ReadingBytes, at);
      level.pc = p + 1 + bytes->size();
      const std::vector<std::uint8_t> copy(bytes->begin(), bytes->end());
      host_.sequence_output(copy);
      return Step::Next;
    }
    // WAIT fields
    case Opcode::Wait: {
      const Operand fields = read_operand(image, p);
      if (fields.error != SequenceResult::Normal) return fail(fields.error, at);
      if (fields.value.type == ValueType::Variable) return fail(SequenceResult::Unsupported, at);
      level.pc = p + fields.value.size;
      if (fields.value.value == 0) return Step::Next;
      ready_ms_ = now_ms + fields_ms(fields.value.value);
      return Step::Wait;
    }
    // PROC address n arguments...
    case Opcode::Proc: {
      const std::optional<std::uint16_t> address = read_le16(image, p);
      if (!address || p + 2 >= image.size()) return fail(SequenceResult::ReadingBytes, at);
      std::size_t next = p + 3;
      for (std::uint8_t i = 0; i < image[p + 2]; ++i) {
        const Operand argument = read_operand(image, next);
        if (argument.error != SequenceResult::Normal) return fail(argument.error, at);
        next += argument.value.size;
      }
      if (*address >= image.size()) return fail(SequenceResult::FlashSeek, at);
      if (call_depth() >= kMaxCallDepth) return fail(SequenceResult::IncludeDepth, at);
      level.calls.push_back(next);
      level.pc = *address;
      return Step::Next;
    }
    // ENDPROC
    case Opcode::EndProc:
      if (level.calls.empty()) return leave_file();
      level.pc = level.calls.back();
      level.calls.pop_back();
      return Step::Next;
    // REPEAT count
    case Opcode::Repeat: {
      const Operand count = read_operand(image, p);
      if (count.error != SequenceResult::Normal) return fail(count.error, at);
      if (count.value.type == ValueType::Variable) return fail(SequenceResult::Unsupported, at);
      if (level.loops.size() >= kMaxLoopDepth) return fail(SequenceResult::IncludeDepth, at);
      level.pc = p + count.value.size;
      level.loops.push_back(
          Loop{level.pc, count.value.value, count.value.value == kRepeatForever, 1, now_ms});
      return Step::Next;
    }
    // AGAIN
    case Opcode::Again: {
      level.pc = p;
      if (level.loops.empty()) return Step::Next;
      Loop& loop = level.loops.back();
      if (loop.forever || loop.iteration < loop.count) {
        ++loop.iteration;
        level.pc = loop.start;
      } else {
        level.loops.pop_back();
      }
      return Step::Next;
    }
    // UNTIL fields (type 2)
    case Opcode::Until: {
      const Operand fields = read_operand(image, p);
      if (fields.error != SequenceResult::Normal) return fail(fields.error, at);
      if (fields.value.type == ValueType::Variable) return fail(SequenceResult::Unsupported, at);
      if (fields.value.type != ValueType::Long) return fail(SequenceResult::NotDefined, at);
      level.pc = p + fields.value.size;
      if (level.loops.empty()) return Step::Next;
      Loop& loop = level.loops.back();
      if (now_ms - loop.started_ms < fields_ms(fields.value.value)) {
        ++loop.iteration;
        level.pc = loop.start;
      } else {
        level.loops.pop_back();
      }
      return Step::Next;
    }
    // END
    case Opcode::End:
      return leave_file();
    // WAIT EVENT
    case Opcode::WaitEvent:
      level.pc = p;
      waiting_key_ = true;
      return Step::WaitKey;
    // SEND vars, the WAIT and UNTIL variants: legal, but this unit does not run them.
    case Opcode::SendVars:
    case Opcode::Wait6:
    case Opcode::Wait7:
    case Opcode::Wait8:
    case Opcode::Until14:
    case Opcode::Until15:
      return fail(SequenceResult::Unsupported, at);
  }
  return fail(SequenceResult::NotDefined, at);
}

// Ends the current file: an include returns to its includer, the started file ends normally.
SequenceEngine::Step SequenceEngine::leave_file() {
  if (levels_.size() > 1) {
    levels_.pop_back();
    return Step::Next;
  }
  finish(SequenceResult::Normal, 0);
  return Step::Ended;
}

SequenceEngine::Step SequenceEngine::fail(SequenceResult result, std::size_t offset) {
  finish(result, offset);
  return Step::Ended;
}

void SequenceEngine::finish(SequenceResult result, std::size_t offset) {
  last_result_ = result;
  last_offset_ = static_cast<std::uint16_t>(std::min<std::size_t>(offset, 0xFFFF));
  levels_.clear();
  name_.clear();
  waiting_key_ = false;
}

std::size_t SequenceEngine::call_depth() const {
  std::size_t depth = 0;
  for (const Level& level : levels_)
    depth += level.calls.size();
  return depth;
}

}  // namespace qm::sim
