// The bounded message queues: limits, order, the senders' repeat step, and
// many threads adding and taking at once (run under ThreadSanitizer too).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "link/link_state.h"
#include "link/message_queue.h"

namespace kinevra {
namespace {

Message msg(std::uint8_t v, std::size_t n = 4) { return Message(n, v); }

TEST(MessageQueue, ReceiveQueuesHold151AndSendQueues150) {
  auto state = std::make_unique<LinkState>();
  LinkState& s = *state;
  for (MessageQueue* q : {&s.serialRxQueue, &s.udpRxQueue}) {
    for (int i = 0; i < 151; ++i) ASSERT_TRUE(q->push(msg(1)));
    EXPECT_FALSE(q->push(msg(2)));
    EXPECT_EQ(q->size(), 151u);
  }
  for (MessageQueue* q : {&s.serialTxQueue, &s.udpTxQueue, &s.autoTxQueue}) {
    for (int i = 0; i < 150; ++i) ASSERT_TRUE(q->push(msg(1)));
    EXPECT_FALSE(q->push(msg(2)));
    EXPECT_EQ(q->size(), 150u);
  }
}

TEST(MessageQueue, KeepsOrderAndOwnCopiesAcrossWrapAround) {
  MessageQueue q(3);
  std::uint8_t bytes[] = {1, 2, 3};
  ASSERT_TRUE(q.push(bytes, 3));
  bytes[0] = 9;  // the entry is a copy
  ASSERT_TRUE(q.push(msg(2, 2)));
  Message out = msg(0xEE, 100);
  ASSERT_TRUE(q.take(out));
  EXPECT_EQ(out, (Message{1, 2, 3}));
  // Around the ring a few times: strict FIFO, entries never mixed.
  for (std::uint8_t v = 3; v < 20; ++v) {
    ASSERT_TRUE(q.push(msg(v, v)));
    ASSERT_TRUE(q.take(out));
    EXPECT_EQ(out, msg(static_cast<std::uint8_t>(v - 1), v - 1u));
  }
  ASSERT_TRUE(q.take(out));
  EXPECT_EQ(out, msg(19, 19));
  EXPECT_FALSE(q.take(out));
  EXPECT_EQ(out, msg(19, 19));  // untouched when empty
  // An empty entry is an entry.
  ASSERT_TRUE(q.push(nullptr, 0));
  EXPECT_EQ(q.size(), 1u);
  ASSERT_TRUE(q.take(out));
  EXPECT_TRUE(out.empty());
}

TEST(MessageQueue, EntriesUpToTheHostWindowFit) {
  MessageQueue q(2);
  EXPECT_FALSE(q.push(Message(kMaxMessageBytes + 1, 1)));
  EXPECT_TRUE(q.empty());
  ASSERT_TRUE(q.push(Message(kMaxMessageBytes, 2)));
  Message out;
  ASSERT_TRUE(q.take(out));
  EXPECT_EQ(out, Message(kMaxMessageBytes, 2));
}

TEST(MessageQueue, DrainTakesAllInOrderAndClearCountsWhatItDiscards) {
  MessageQueue q(150);
  for (std::uint8_t v = 0; v < 5; ++v) q.push(msg(v));
  std::vector<Message> all(9, msg(0xAA));  // leftovers from an earlier cycle
  q.drain(all);
  ASSERT_EQ(all.size(), 5u);
  for (std::uint8_t v = 0; v < 5; ++v) EXPECT_EQ(all[v], msg(v));
  EXPECT_TRUE(q.empty());
  q.drain(all);
  EXPECT_TRUE(all.empty());

  for (std::uint8_t v = 0; v < 150; ++v) q.push(msg(v));
  EXPECT_EQ(q.clear(), 150u);
  EXPECT_TRUE(q.empty());
  EXPECT_EQ(q.clear(), 0u);
  ASSERT_TRUE(q.push(msg(7)));  // usable again, starting from the front
  Message out;
  ASSERT_TRUE(q.take(out));
  EXPECT_EQ(out, msg(7));
}

// The automatic-message step: how often each message goes out.
std::vector<std::uint8_t> runAutoCycles(MessageQueue& q, std::int32_t& counter, int cycles) {
  std::vector<std::uint8_t> sent;
  Message out;
  for (int i = 0; i < cycles; ++i)
    if (q.takeRepeating(out, counter)) sent.push_back(out[0]);
  return sent;
}

TEST(MessageQueue, LoneAutoMessageGoesOutTwelveTimesThenIsDropped) {
  MessageQueue q(150);
  std::int32_t counter = 0;
  q.push(msg(1));
  EXPECT_EQ(runAutoCycles(q, counter, 20), std::vector<std::uint8_t>(12, 1));
  EXPECT_TRUE(q.empty());
  EXPECT_EQ(counter, 1);
  // The counter now starts at 1: eleven times.
  q.push(msg(2));
  EXPECT_EQ(runAutoCycles(q, counter, 20), std::vector<std::uint8_t>(11, 2));
}

TEST(MessageQueue, NewerAutoMessageEndsTheRepetitionAfterOneMoreSend) {
  MessageQueue q(150);
  std::int32_t counter = 0;
  q.push(msg(1));
  q.push(msg(2));
  // Each once, in order; the second then repeats alone.
  const auto sent = runAutoCycles(q, counter, 3);
  EXPECT_EQ(sent, (std::vector<std::uint8_t>{1, 2, 2}));
  EXPECT_EQ(counter, 2);
  q.push(msg(3));
  EXPECT_EQ(runAutoCycles(q, counter, 2), (std::vector<std::uint8_t>{2, 3}));
  EXPECT_EQ(counter, 1);
}

// --- Many threads ---

// A message carries its producer and sequence number.
Message tagged(std::uint32_t producer, std::uint32_t seq) {
  Message m(8 + (seq % 40));
  std::memcpy(m.data(), &producer, 4);
  std::memcpy(m.data() + 4, &seq, 4);
  return m;
}
std::pair<std::uint32_t, std::uint32_t> tagOf(const Message& m) {
  std::uint32_t p, s;
  std::memcpy(&p, m.data(), 4);
  std::memcpy(&s, m.data() + 4, 4);
  return {p, s};
}

TEST(MessageQueueStress, ProducersAndConsumersLoseAndDuplicateNothing) {
  constexpr int kProducers = 3;
  constexpr std::uint32_t kPerProducer = 20000;
  MessageQueue q(kTxQueueEntries);
  std::atomic<int> producersLeft{kProducers};
  std::vector<std::vector<bool>> accepted(kProducers, std::vector<bool>(kPerProducer));
  std::vector<std::uint64_t> refused(kProducers, 0);

  // Consumers: one takes one at a time, one drains everything per cycle, one
  // sometimes clears (as the UDP listener does on a time-out) and counts.
  std::vector<std::vector<Message>> taken(3);
  std::atomic<std::uint64_t> cleared{0};
  std::vector<bool> orderBroken(3, false);
  auto consumer = [&](int id) {
    std::vector<std::uint32_t> lastSeq(kProducers, 0);
    std::vector<bool> seen(kProducers, false);
    auto record = [&](Message& m) {
      auto [p, s] = tagOf(m);
      // A single consumer sees each producer's messages in their order.
      if (seen[p] && s <= lastSeq[p]) orderBroken[id] = true;
      seen[p] = true;
      lastSeq[p] = s;
      taken[id].push_back(std::move(m));
    };
    Message one;
    std::vector<Message> batch;
    int round = 0;
    for (;;) {
      const bool done = producersLeft.load() == 0;
      bool got = false;
      if (id == 0) {
        while (q.take(one)) {
          record(one);
          got = true;
        }
      } else if (id == 1) {
        q.drain(batch);
        for (Message& m : batch) record(m);
        got = !batch.empty();
      } else if (++round % 8 == 0) {
        const std::size_t n = q.clear();
        cleared += n;
        got = n > 0;
      } else if (q.take(one)) {
        record(one);
        got = true;
      }
      if (done) break;
      if (!got) std::this_thread::yield();
    }
  };
  std::vector<std::thread> threads;
  for (int c = 0; c < 3; ++c) threads.emplace_back(consumer, c);
  for (int p = 0; p < kProducers; ++p)
    threads.emplace_back([&, p] {
      for (std::uint32_t s = 0; s < kPerProducer; ++s) {
        if (q.push(tagged(p, s)))
          accepted[p][s] = true;
        else
          ++refused[p];
        // Bursts in the first half meet a full queue; the second half is paced.
        if (s >= kPerProducer / 2 && s % 16 == 0) std::this_thread::yield();
      }
      --producersLeft;
    });
  for (auto& t : threads) t.join();

  // Whatever the consumers left behind still counts.
  std::vector<Message> rest;
  q.drain(rest);

  std::set<std::pair<std::uint32_t, std::uint32_t>> delivered;
  std::uint64_t deliveredCount = 0;
  auto check = [&](const Message& m) {
    const auto tag = tagOf(m);
    ASSERT_LT(tag.first, static_cast<std::uint32_t>(kProducers));
    ASSERT_LT(tag.second, kPerProducer);
    EXPECT_EQ(m, tagged(tag.first, tag.second)) << "entry bytes mixed up";
    EXPECT_TRUE(accepted[tag.first][tag.second]) << "delivered but never accepted";
    EXPECT_TRUE(delivered.insert(tag).second) << "delivered twice";
    ++deliveredCount;
  };
  for (const auto& list : taken)
    for (const Message& m : list) check(m);
  for (const Message& m : rest) check(m);
  for (int c = 0; c < 3; ++c) EXPECT_FALSE(orderBroken[c]) << "consumer " << c;

  std::uint64_t acceptedCount = 0, refusedCount = 0;
  for (int p = 0; p < kProducers; ++p) {
    for (bool a : accepted[p]) acceptedCount += a;
    refusedCount += refused[p];
  }
  // Every message is accounted for exactly once: delivered, discarded by a
  // clear, or refused by the limit.
  EXPECT_EQ(acceptedCount + refusedCount, kProducers * std::uint64_t{kPerProducer});
  EXPECT_EQ(deliveredCount + cleared.load(), acceptedCount);
  RecordProperty("refused", std::to_string(refusedCount));
  RecordProperty("cleared", std::to_string(cleared.load()));
}

TEST(MessageQueueStress, AutoMessagesReachTwoSendersAtLeastOnceEachInOrder) {
  // The host adds state messages while the serial bridge and the multicast
  // sender both run their repeat step on the same queue.
  constexpr std::uint32_t kMessages = 20000;
  MessageQueue q(kTxQueueEntries);
  std::atomic<bool> producing{true};
  std::vector<bool> accepted(kMessages);
  std::vector<std::vector<std::uint32_t>> sent(2);
  auto sender = [&](int id) {
    std::int32_t counter = 0;
    Message out;
    for (;;) {
      const bool last = !producing.load();
      while (q.takeRepeating(out, counter)) sent[id].push_back(tagOf(out).second);
      if (last) break;
      std::this_thread::yield();
    }
  };
  std::thread a(sender, 0), b(sender, 1);
  for (std::uint32_t s = 0; s < kMessages; ++s) {
    accepted[s] = q.push(tagged(0, s));
    if (s % 64 == 0) std::this_thread::yield();
  }
  producing = false;
  a.join();
  b.join();

  std::vector<int> times(kMessages, 0);
  for (const auto& list : sent) {
    std::vector<int> bySender(kMessages, 0);
    for (std::size_t i = 0; i < list.size(); ++i) {
      ASSERT_LT(list[i], kMessages);
      ++times[list[i]];
      ++bySender[list[i]];
      if (i > 0) {
        EXPECT_LE(list[i - 1], list[i]) << "a sender went backwards";
      }
    }
    // One sender repeats a message at most 12 times (its counter from 0 to 11).
    for (std::uint32_t s = 0; s < kMessages; ++s) EXPECT_LE(bySender[s], 12) << "message " << s;
  }
  for (std::uint32_t s = 0; s < kMessages; ++s) {
    if (accepted[s]) {
      EXPECT_GE(times[s], 1) << "message " << s << " never sent";
    } else {
      EXPECT_EQ(times[s], 0);
    }
  }
  EXPECT_TRUE(q.empty());
}

}  // namespace
}  // namespace kinevra
