// The relay with real sockets on loopback: a scripted reader (TcpPeer) or the
// simulator behind the tap, and an ECR in front of it. Bytes, pieces, closes
// and resets must reach the other side as they were sent.
#include <gtest/gtest.h>

#include <asio/steady_timer.hpp>
#include <asio/write.hpp>

#include <array>
#include <functional>
#include <memory>
#include <thread>

#include "payment/message_format.h"
#include "simulator/in_process.h"
#include "tests/support/tcp_peer.h"
#include "tests/support/wine.h"
#include "tests/tap/tap_harness.h"

namespace pcpos::tap {
namespace {

using namespace std::chrono_literals;
using pcpos::testing::PeerSocket;
using pcpos::testing::RefusingPort;
using pcpos::testing::TcpPeer;
using test_support::EcrPlan;
using test_support::RunEcr;
using test_support::TapThread;

const std::string kRequest = "@@ZRM@@011000410000000020000000530000011\r\n";

// Under Wine 8 a reset reads as a graceful close (docs/windows.md).
bool LooksReset(const asio::error_code& end) {
  return end == asio::error::connection_reset ||
         (pcpos::testing::UnderWine() && end == asio::error::eof);
}

TEST(RelayTest, BytesAndPiecesReachEachSideUnchanged) {
  // Every byte value, in three pieces with pauses a reader might make.
  std::string answer;
  for (int b = 0; b < 256; ++b) answer += static_cast<char>(b);
  const std::vector<std::string> pieces = {answer.substr(0, 10), answer.substr(10, 200),
                                           answer.substr(210)};
  TcpPeer reader([&](PeerSocket& s) {
    s.ReadLine();
    for (const auto& piece : pieces) {
      s.Send(piece);
      std::this_thread::sleep_for(150ms);
    }
  });
  TapThread tap(reader.port());
  EcrPlan plan;
  plan.sends = {kRequest.substr(0, 20), kRequest.substr(20)};
  plan.pause = 100ms;
  const auto got = RunEcr(tap.port(), plan);
  reader.Join();

  EXPECT_EQ(reader.received(), kRequest);
  EXPECT_EQ(got.pieces, pieces);
  EXPECT_EQ(got.end, asio::error::eof);
  const auto exchanges = tap.WaitFor(1);
  ASSERT_EQ(exchanges.size(), 1u);
  const Exchange& x = exchanges[0];
  EXPECT_EQ(x.request, kRequest);
  ASSERT_EQ(x.pieces.size(), 3u);
  EXPECT_EQ(x.pieces[1].bytes, 200u);
  EXPECT_GE(x.pieces[1].after_ms, 100.0);
  EXPECT_EQ(x.answer_bytes, 256u);
  EXPECT_EQ(x.reader_end, Ending::Closed);
}

// An ECR that does not read fills its side: what the tap could not pass on at
// once waits for it, and arrives whole and in order once it reads.
TEST(RelayTest, AnEcrSlowToReadGetsEveryByteInOrder) {
  std::string answer(4 << 20, '\0');
  for (std::size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<char>(i * 7 % 251);
  TcpPeer reader([&](PeerSocket& s) {
    s.ReadLine();
    s.Send(answer);
  });
  TapThread tap(reader.port());
  EcrPlan plan;
  plan.sends = {kRequest};
  plan.read_after = 500ms;
  const auto got = RunEcr(tap.port(), plan);
  reader.Join();
  EXPECT_EQ(got.end, asio::error::eof);
  EXPECT_TRUE(got.all == answer) << got.all.size() << " of " << answer.size() << " bytes";
  const auto exchanges = tap.WaitFor(1);
  ASSERT_EQ(exchanges.size(), 1u);
  EXPECT_EQ(exchanges[0].answer_bytes, answer.size());
}

TEST(RelayTest, AHalfCloseIsPassedOnAndTheAnswerStillComesBack) {
  bool reader_saw_close = false;
  TcpPeer reader([&](PeerSocket& s) {
    s.ReadLine();
    reader_saw_close = s.WaitForClose(2s);
    s.Send("@@ZRM@@0812345678");
  });
  TapThread tap(reader.port());
  EcrPlan plan;
  plan.sends = {kRequest};
  plan.half_close = true;
  const auto got = RunEcr(tap.port(), plan);
  reader.Join();
  EXPECT_TRUE(reader_saw_close);
  EXPECT_EQ(got.all, "@@ZRM@@0812345678");
  EXPECT_EQ(got.end, asio::error::eof);
  const auto exchanges = tap.WaitFor(1);
  ASSERT_EQ(exchanges.size(), 1u);
  EXPECT_EQ(exchanges[0].ecr_end, Ending::Closed);
}

TEST(RelayTest, AResetIsPassedOnAsAReset) {
  if (pcpos::testing::UnderWine()) {
    GTEST_SKIP() << "under Wine 8 a reset reads as a graceful close (docs/windows.md)";
  }
  TcpPeer reader(pcpos::testing::Resetting());
  TapThread tap(reader.port());
  const auto got = RunEcr(tap.port(), {{kRequest}});
  EXPECT_EQ(got.end, asio::error::connection_reset);
  const auto exchanges = tap.WaitFor(1);
  ASSERT_EQ(exchanges.size(), 1u);
  EXPECT_EQ(exchanges[0].reader_end, Ending::Reset);
  EXPECT_TRUE(exchanges[0].Has(Flag::NoAnswer));
}

TEST(RelayTest, AnUnreachableReaderLooksToTheEcrAsARefusingOneAndSaysWhy) {
  const RefusingPort refusing;
  TapThread tap(refusing.port());
  const auto started = std::chrono::steady_clock::now();
  const auto got = RunEcr(tap.port(), {{kRequest}});
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  EXPECT_TRUE(LooksReset(got.end)) << got.end.message();
  EXPECT_TRUE(got.all.empty());
  const auto exchanges = tap.WaitFor(1);
  ASSERT_EQ(exchanges.size(), 1u);
  // The system's own words for it, on either platform.
  EXPECT_NE(exchanges[0].reader_error.find("refused"), std::string::npos)
      << exchanges[0].reader_error;
  EXPECT_EQ(exchanges[0].outcome, Outcome::NotSent);
}

TEST(RelayTest, AnEcrSendingWithoutALineEndIsCutOff) {
  TcpPeer reader(pcpos::testing::Silent());
  TapThread tap(reader.port());
  EcrPlan plan;
  plan.sends = {std::string(3000, 'A'), std::string(3000, 'A')};
  plan.pause = 50ms;
  const auto got = RunEcr(tap.port(), plan);
  EXPECT_TRUE(LooksReset(got.end)) << got.end.message();
  const auto exchanges = tap.WaitFor(1);
  ASSERT_EQ(exchanges.size(), 1u);
  EXPECT_TRUE(exchanges[0].Has(Flag::CutOff));
  EXPECT_LE(exchanges[0].request.size(), kMaxRequestLine);
}

// A thousand ECRs at once through one tap to one simulator, one of them
// held by a silent reader the whole time: each gets its own answer.
TEST(RelayTest, AThousandConnectionsAtOnceEachGetTheirAnswer) {
  constexpr int kEcrs = 1000;
  sim::ServerOptions options;
  options.silence_max = 60s;
  sim::InProcessSimulator simulator(options);
  std::string error;
  ASSERT_TRUE(simulator.Start(0, error)) << error;
  TapThread tap(simulator.port());

  // The silent one first: it must not hold up the rest.
  asio::io_context io(1);
  asio::ip::tcp::socket held(io);
  held.connect({asio::ip::address_v4::loopback(), tap.port()});
  const std::string held_request = BuildPurchaseRequest("1080") + "\r\n";
  asio::write(held, asio::buffer(held_request));

  struct Ecr {
    explicit Ecr(asio::io_context& io) : socket(io) {}
    asio::ip::tcp::socket socket;
    std::string request;
    std::array<char, 256> buffer{};
    std::string answer;
    bool done = false;
    std::function<void()> read;
  };
  std::vector<std::unique_ptr<Ecr>> ecrs;
  for (int i = 0; i < kEcrs; ++i) {
    auto ecr = std::make_unique<Ecr>(io);
    // Amounts ending in 00, 01, 30 or 51: an answer given to the wrong ECR shows.
    const char* endings[] = {"00", "01", "30", "51"};
    ecr->request = BuildPurchaseRequest(std::to_string(1000 + i / 4) + endings[i % 4]) + "\r\n";
    Ecr* e = ecr.get();
    e->read = [e] {
      e->socket.async_read_some(asio::buffer(e->buffer),
                                [e](const std::error_code& failed, std::size_t n) {
                                  if (failed) {
                                    // An ECR closes once the reader has.
                                    e->done = true;
                                    e->socket.close();
                                    return;
                                  }
                                  e->answer.append(e->buffer.data(), n);
                                  e->read();
                                });
    };
    e->socket.async_connect(
        {asio::ip::address_v4::loopback(), tap.port()}, [e](const std::error_code& failed) {
          if (failed) {
            e->done = true;
            return;
          }
          asio::async_write(e->socket, asio::buffer(e->request),
                            [e](const std::error_code&, std::size_t) { e->read(); });
        });
    ecrs.push_back(std::move(ecr));
  }
  io.run_for(30s);

  int answered = 0;
  for (const auto& ecr : ecrs) {
    const auto fields = ParseResponse(ecr->answer);
    const std::string amount = ecr->request.substr(14, 6);
    if (ecr->done && fields && fields->ResponseCode == amount.substr(4)) ++answered;
  }
  EXPECT_EQ(answered, kEcrs);
  const auto exchanges = tap.WaitFor(kEcrs, 30s);
  EXPECT_EQ(exchanges.size(), static_cast<std::size_t>(kEcrs));
  std::error_code ignored;
  held.close(ignored);
  EXPECT_EQ(tap.WaitFor(kEcrs + 1).size(), static_cast<std::size_t>(kEcrs + 1));
}

}  // namespace
}  // namespace pcpos::tap
