#include "sim/sequence_engine.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "compiler/sequence_format.h"

namespace qm::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kSend{0x02, 0x03, 0x07, 0x01, 0x28};  // SEND 7 1 40

class RecordingHost : public SequenceHost {
 public:
  std::vector<Bytes> sent;
  Bytes output;
  std::map<std::string, Bytes> files;
  std::function<void()> on_send;

  void sequence_send(std::span<const std::uint8_t> message) override {
    sent.emplace_back(message.begin(), message.end());
    if (on_send) on_send();
  }
  void sequence_output(std::span<const std::uint8_t> bytes) override {
    output.insert(output.end(), bytes.begin(), bytes.end());
  }
  const std::vector<std::uint8_t>* sequence_file(const std::string& name) override {
    const auto it = files.find(name);
    return it == files.end() ? nullptr : &it->second;
  }
};

// A header calling a main body at offset 5, then `body`.
Bytes with_header(std::initializer_list<Bytes> body) {
  const auto header = sequence_header(5);
  Bytes image(header.begin(), header.end());
  for (const Bytes& part : body)
    image.insert(image.end(), part.begin(), part.end());
  return image;
}

class SequenceEngineTest : public testing::Test {
 protected:
  // Starts `image` at time 0 and follows its deadlines; the time it ended or began to wait
  // for a key.
  std::uint64_t run_to_end(const Bytes& image) {
    engine.start("MAIN.SFB", image, 0);
    std::uint64_t now = 0;
    for (int i = 0; i < 100000; ++i) {
      const std::optional<std::uint64_t> next = engine.run(now);
      if (!next) return now;
      now = *next;
    }
    ADD_FAILURE() << "never ended";
    return now;
  }

  RecordingHost host;
  SequenceEngine engine{host};
};

TEST_F(SequenceEngineTest, CompiledProcedureSendsThenWaitsFiftyFields) {
  const Bytes image{0x09, 0x0C, 0x00, 0x00, 0x11, 0x02, 0x04, 0x07, 0x01, 0x28,
                    0x01, 0x0A, 0x09, 0x05, 0x00, 0x00, 0x05, 0x00, 0x32, 0x0A};
  engine.start("DEMO.SFB", image, 0);
  EXPECT_EQ(engine.run(0), 1000u);
  EXPECT_EQ(host.sent, std::vector<Bytes>{(Bytes{0x07, 0x01, 0x28, 0x01})});
  EXPECT_EQ(engine.file_name(), "DEMO.SFB");
  EXPECT_EQ(engine.run(999), 1000u);
  EXPECT_EQ(engine.run(1000), std::nullopt);
  EXPECT_FALSE(engine.running());
  EXPECT_EQ(engine.last_result(), SequenceResult::Normal);
  EXPECT_EQ(engine.file_name(), "");
  EXPECT_EQ(host.sent.size(), 1u);

  EXPECT_EQ(run_to_end(with_header({{0x05, 0x00, 0x00}, kSend, {0x0A}})), 0u);  // WAIT 0
  EXPECT_EQ(host.sent.size(), 2u);
}

TEST_F(SequenceEngineTest, WaitEventHoldsUntilAKeyArrivesWhileWaiting) {
  engine.start("KEY.SFB", Bytes{0x09, 0x05, 0x00, 0x00, 0x11, 0x12, 0x0A}, 0);
  engine.key(1, 0);  // before the WAIT EVENT: dropped
  EXPECT_EQ(engine.run(0), std::nullopt);
  EXPECT_EQ(engine.run(5000), std::nullopt);
  EXPECT_TRUE(engine.running());
  engine.key(1, 6000);
  EXPECT_EQ(engine.run(6000), std::nullopt);
  EXPECT_FALSE(engine.running());
  EXPECT_EQ(engine.last_result(), SequenceResult::Normal);
}

TEST_F(SequenceEngineTest, RepeatRunsItsBodyCountTimes) {
  struct Case {
    Bytes body;
    std::size_t sends;
  };
  const Case cases[] = {
      {{0x0B, 0x00, 0x00, 0x02, 0x03, 7, 1, 40, 0x0C, 0x0A}, 1},          // REPEAT 0
      {{0x0B, 0x00, 0x03, 0x02, 0x03, 7, 1, 40, 0x0C, 0x0A}, 3},          // REPEAT 3
      {{0x0B, 0x01, 0x00, 0x01, 0x02, 0x03, 7, 1, 40, 0x0C, 0x0A}, 256},  // REPEAT 256
      {{0x0B, 0x00, 0x02, 0x0B, 0x00, 0x03, 0x02, 0x03, 7, 1, 40, 0x0C, 0x0C, 0x0A}, 6},
      {{0x0C, 0x02, 0x03, 7, 1, 40, 0x0D, 0x02, 1, 0, 0, 0, 0x0A}, 1},  // no loop: ignored
  };
  for (const Case& c : cases) {
    host.sent.clear();
    run_to_end(with_header({c.body}));
    EXPECT_EQ(host.sent.size(), c.sends);
    EXPECT_EQ(engine.last_result(), SequenceResult::Normal);
  }
}

TEST_F(SequenceEngineTest, UntilRepeatsUntilItsFieldsPassedSinceTheRepeat) {
  // REPEAT FOREVER; SEND; WAIT 10 fields; UNTIL 50 fields
  const Bytes until{0x0D, 0x02, 0x32, 0x00, 0x00, 0x00};
  EXPECT_EQ(run_to_end(with_header({{0x0B, 0x00, 0xFF}, kSend, {0x05, 0x00, 0x0A}, until, {0x0A}})),
            1000u);
  EXPECT_EQ(host.sent.size(), 5u);  // at 0, 200, 400, 600 and 800 ms
  // Without a WAIT the loop yields once per run() and still ends on time.
  EXPECT_EQ(run_to_end(with_header({{0x0B, 0x00, 0xFF, 0x0D, 0x02, 0x02, 0, 0, 0, 0x0A}})), 40u);
}

TEST_F(SequenceEngineTest, ForeverLoopYieldsUntilStopped) {
  engine.start("LOOP.SFB", with_header({{0x0B, 0x00, 0xFF, 0x0C, 0x0A}}), 0);
  EXPECT_EQ(engine.run(0), 1u);
  EXPECT_EQ(engine.run(1), 2u);
  engine.stop();
  EXPECT_EQ(engine.last_result(), SequenceResult::UserStopped);
  EXPECT_EQ(engine.run(2), std::nullopt);

  run_to_end(with_header({kSend, {0x0A}}));
  engine.stop();  // not running: the last result stays
  EXPECT_EQ(engine.last_result(), SequenceResult::Normal);

  host.on_send = [this] { engine.stop(); };  // a message that stops its own sequence
  run_to_end(with_header({kSend, kSend, {0x0A}}));
  EXPECT_EQ(host.sent.size(), 2u);
  EXPECT_EQ(engine.last_result(), SequenceResult::UserStopped);
}

TEST_F(SequenceEngineTest, IncludeRunsTheOtherFileThenContinues) {
  host.files["SUB"] = with_header({kSend, {0x0A}});
  run_to_end(with_header({{0x01, 'S', 'U', 'B', 0x00, 0x04, 0x01, 'A', 0x0A}}));
  EXPECT_EQ(host.sent.size(), 1u);
  EXPECT_EQ(host.output, Bytes{'A'});
  EXPECT_EQ(engine.last_result(), SequenceResult::Normal);
}

TEST_F(SequenceEngineTest, EndsWithTheResultAndOffsetOfTheFailingInstruction) {
  host.files["BAD"] = with_header({{0x00}});
  host.files["LOOP"] = with_header({kSend, {0x01, 'L', 'O', 'O', 'P', 0x00, 0x0A}});
  struct Case {
    Bytes body;
    SequenceResult result;
    std::uint16_t offset;
  };
  using R = SequenceResult;
  const Case cases[] = {
      {{0x00}, R::NotDefined, 5},
      {{0x10}, R::NotDefined, 5},
      {{0x13}, R::NotDefined, 5},
      {{0x04, 0x00, 0x05, 0x04, 0x00}, R::NotDefined, 7},  // illegal value type
      {{0x02, 0x02, 0x07, 0x01}, R::NotDefined, 5},        // SEND of two bytes
      {{0x0D, 0x00, 0x05}, R::NotDefined, 5},              // UNTIL with a byte
      {{0x03, 0x00}, R::Unsupported, 5},
      {{0x06, 0x00, 0x01}, R::Unsupported, 5},
      {{0x05, 0x03, 0x01}, R::Unsupported, 5},  // a variable
      {{0x02, 0x04, 0x07, 0x01, 0x28}, R::ReadingBytes, 5},
      {{0x05, 0x01, 0xF4}, R::ReadingBytes, 5},
      {{0x09, 0x05, 0x00, 0x01}, R::ReadingBytes, 5},  // its one argument missing
      {{0x04, 0x00}, R::ReadingBytes, 7},              // past the end
      {{0x09, 0x0A, 0x00, 0x00}, R::FlashSeek, 5},     // to offset 10 of 9 bytes
      {{0x01, 'B', 'A'}, R::ReadingBytes, 5},
      {{0x01, 0x00}, R::IncludeName, 5},
      {{0x01, '1', '2', '3', '4', '5', '6', '7', '8', '.', 'S', 'F', 'B', 'X', 0x00},
       R::IncludeName,
       5},
      {{0x01, 'N', 'O', 'N', 'E', 0x00}, R::IncludeOpen, 5},
      {{0x04, 0x00, 0x01, 'B', 'A', 'D', 0x00}, R::NotDefined, 5},  // BAD's own offset
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.body));
    run_to_end(with_header({c.body}));
    EXPECT_EQ(engine.last_result(), c.result);
    EXPECT_EQ(engine.last_offset(), c.offset);
    EXPECT_FALSE(engine.running());
  }

  host.sent.clear();  // LOOP includes itself: the fifth nested include is one too many
  run_to_end(host.files["LOOP"]);
  EXPECT_EQ(host.sent.size(), 5u);
  EXPECT_EQ(engine.last_result(), SequenceResult::IncludeDepth);
  EXPECT_EQ(engine.last_offset(), 10);

  host.sent.clear();  // the main body sends, then calls itself: 16 calls, header's included
  run_to_end(with_header({kSend, {0x09, 0x05, 0x00, 0x00}}));
  EXPECT_EQ(host.sent.size(), 16u);
  EXPECT_EQ(engine.last_result(), SequenceResult::IncludeDepth);
  EXPECT_EQ(engine.last_offset(), 10);

  Bytes loops;  // seventeen open loops
  for (int i = 0; i < 17; ++i)
    loops.insert(loops.end(), {0x0B, 0x00, 0x01});
  run_to_end(with_header({loops}));
  EXPECT_EQ(engine.last_result(), SequenceResult::IncludeDepth);
  EXPECT_EQ(engine.last_offset(), 5 + 16 * 3);

  run_to_end({0x09, 0x00, 0x10, 0x00, 0x11, 0x0A});  // main body outside the image
  EXPECT_EQ(engine.last_result(), SequenceResult::FlashSeek);
  EXPECT_EQ(engine.last_offset(), 0);
}

}  // namespace
}  // namespace qm::sim
