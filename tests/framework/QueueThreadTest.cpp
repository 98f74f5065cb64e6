#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "framework/IPlugQueue.h"
#include "framework/ISender.h"

using iplug::IRingQueue;
using iplug::ISender;
using iplug::SenderRecord;

namespace {

#if defined(__SANITIZE_THREAD__)
constexpr uint64_t kRecords = 300'000;  // the sanitizer is ~10x slower; races show up early
#else
constexpr uint64_t kRecords = 3'000'000;
#endif

// Large enough that a torn copy would mix fields of two different records.
struct Record {
  uint64_t seq;
  uint64_t square;
  uint64_t inverted;
  double asDouble;
};

Record MakeRecord(uint64_t seq) {
  return Record{seq, seq * seq, ~seq, static_cast<double>(seq)};
}

bool Intact(const Record& r) {
  return r.square == r.seq * r.seq && r.inverted == ~r.seq &&
         r.asDouble == static_cast<double>(r.seq);
}

// A consumer slow enough for the queue to fill up now and then.
void Dawdle(uint64_t received) {
  if (received % 64 == 0) std::this_thread::sleep_for(std::chrono::microseconds(20));
}

// A producer that writes in bursts larger than the queue, so the two threads overlap for the
// whole run and every burst may overflow.
void Pace(uint64_t seq, uint64_t burst) {
  if (seq % burst == burst - 1) std::this_thread::sleep_for(std::chrono::microseconds(1));
}

}  // namespace

TEST(RingQueueThreads, DeliversEveryRecordInOrderAndIntact) {
  IRingQueue<Record> queue(33);
  std::thread producer([&] {
    for (uint64_t seq = 0; seq < kRecords; ++seq)
      while (!queue.Push(MakeRecord(seq))) std::this_thread::yield();
  });

  uint64_t expected = 0;
  uint64_t faults = 0;
  Record r;
  while (expected < kRecords) {
    if (!queue.Pop(r)) {
      std::this_thread::yield();
      continue;
    }
    if (r.seq != expected || !Intact(r)) ++faults;
    expected = r.seq + 1;
  }
  producer.join();
  EXPECT_EQ(faults, 0u);
  EXPECT_FALSE(queue.Pop(r));
}

TEST(RingQueueThreads, FullQueueDropsExactlyTheRecordsItRefused) {
  IRingQueue<Record> queue(17);
  std::vector<uint8_t> accepted(kRecords / 10, 0);  // written by the producer only
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (uint64_t seq = 0; seq < accepted.size(); ++seq) {
      accepted[seq] = queue.Push(MakeRecord(seq));
      Pace(seq, 40);
    }
    done.store(true, std::memory_order_release);
  });

  std::vector<uint64_t> received;
  received.reserve(accepted.size());
  Record r;
  uint64_t faults = 0;
  for (;;) {
    const bool finished = done.load(std::memory_order_acquire);
    while (queue.Pop(r)) {
      if (!Intact(r)) ++faults;
      received.push_back(r.seq);
      Dawdle(received.size());
    }
    if (finished) break;
    std::this_thread::yield();
  }
  producer.join();

  std::vector<uint64_t> expected;
  for (uint64_t seq = 0; seq < accepted.size(); ++seq)
    if (accepted[seq]) expected.push_back(seq);
  EXPECT_EQ(faults, 0u);
  EXPECT_LT(expected.size(), accepted.size()) << "the consumer never fell behind";
  EXPECT_EQ(received, expected);
}

// Hosts deliver parameter changes to the editor's queue from more than one thread.
TEST(RingQueueThreads, ProducersOnSeveralThreadsNeitherLoseNorTearNorReorderTheirRecords) {
  constexpr uint64_t kProducers = 3;
  constexpr uint64_t kEach = kRecords / 10;
  IRingQueue<Record> queue(33);
  std::vector<std::thread> producers;
  for (uint64_t p = 0; p < kProducers; ++p) {
    producers.emplace_back([&queue, p] {
      // The producer's number rides in the top bits, its own count in the rest.
      for (uint64_t n = 0; n < kEach; ++n)
        while (!queue.Push(MakeRecord(p << 48 | n))) std::this_thread::yield();
    });
  }
  std::vector<uint64_t> next(kProducers, 0);
  uint64_t faults = 0;
  Record r;
  for (uint64_t received = 0; received < kProducers * kEach;) {
    if (!queue.Pop(r)) {
      std::this_thread::yield();
      continue;
    }
    ++received;
    const uint64_t p = r.seq >> 48;
    if (!Intact(r) || p >= kProducers || (r.seq & 0xFFFF'FFFF'FFFF) != next[p]) {
      ++faults;
      continue;
    }
    ++next[p];
  }
  for (std::thread& t : producers) t.join();
  EXPECT_EQ(faults, 0u);
  EXPECT_EQ(next, std::vector<uint64_t>(kProducers, kEach));
  EXPECT_FALSE(queue.Pop(r));
}

namespace {

// Stands in for the editor delegate that ISender transmits to.
struct RecordingDelegate {
  std::vector<SenderRecord> records;
  uint64_t badSize = 0;
  void SendControlMessage(int ctrlTag, int msgTag, int dataSize, const void* data) {
    if (dataSize != static_cast<int>(sizeof(SenderRecord))) ++badSize;
    records.push_back(*static_cast<const SenderRecord*>(data));
    Dawdle(records.size());
  }
};

SenderRecord MakeSenderRecord(uint64_t seq) {
  SenderRecord r;
  r.ctrlTag = static_cast<int32_t>(seq & 0x7FFFFFFF);
  r.nChans = static_cast<int32_t>(seq % 7);
  r.chanOffset = -r.ctrlTag;
  r.vals[0] = static_cast<float>(seq % 4096);
  return r;
}

}  // namespace

TEST(SenderThreads, TransmitsAcceptedRecordsInOrderAndIntact) {
  ISender<1, 64> sender;
  const uint64_t total = kRecords / 10;
  std::vector<uint8_t> accepted(total, 0);
  std::atomic<bool> done{false};
  std::thread audio([&] {
    for (uint64_t seq = 0; seq < total; ++seq) {
      accepted[seq] = sender.PushData(MakeSenderRecord(seq));
      Pace(seq, 100);
    }
    done.store(true, std::memory_order_release);
  });

  RecordingDelegate editor;
  editor.records.reserve(total);
  for (;;) {
    const bool finished = done.load(std::memory_order_acquire);
    sender.TransmitToEditor(editor);
    if (finished) break;
    std::this_thread::yield();
  }
  audio.join();
  sender.TransmitToEditor(editor);

  uint64_t faults = 0;
  size_t next = 0;
  for (uint64_t seq = 0; seq < total; ++seq) {
    if (!accepted[seq]) continue;
    const SenderRecord want = MakeSenderRecord(seq);
    if (next >= editor.records.size()) {
      ++faults;
      break;
    }
    const SenderRecord& got = editor.records[next++];
    if (got.ctrlTag != want.ctrlTag || got.nChans != want.nChans ||
        got.chanOffset != want.chanOffset || got.vals[0] != want.vals[0])
      ++faults;
  }
  EXPECT_EQ(faults, 0u);
  EXPECT_EQ(next, editor.records.size()) << "records arrived that were never accepted";
  EXPECT_EQ(editor.badSize, 0u);
  EXPECT_LT(editor.records.size(), total) << "the consumer never fell behind";
}
