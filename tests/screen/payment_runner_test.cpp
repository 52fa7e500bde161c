// The runner against a real reader on loopback: outputs reach the window's
// thread only through the posting function, the journal row is on disk before
// OnFinished, and nothing of an abandoned run arrives late.
#include "screen/payment_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "link/errors.h"

#include "payment/journal.h"
#include "tests/support/answers.h"
#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tcp_peer.h"

namespace pcpos::screen {
namespace {

using namespace std::chrono_literals;
using testing::TcpPeer;

// The window's thread, played by the test: posts queue here and run when drained.
class PostQueue {
 public:
  PaymentRunner::Post Poster() {
    return [this](std::function<void()> call) {
      std::lock_guard lock(mutex_);
      calls_.push_back(std::move(call));
      ready_.notify_one();
    };
  }
  // Runs posted calls until `done` holds (false if it never does within `limit`).
  template <typename Done>
  bool RunUntil(Done done, std::chrono::seconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      std::unique_lock lock(mutex_);
      if (!ready_.wait_until(lock, deadline, [&] { return !calls_.empty(); })) return false;
      auto call = std::move(calls_.front());
      calls_.pop_front();
      lock.unlock();
      call();
    }
    return true;
  }
  std::size_t Pending() {
    std::lock_guard lock(mutex_);
    return calls_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> calls_;
};

class Recorder : public PaymentListener {
 public:
  explicit Recorder(std::string journal) : journal_(std::move(journal)) {}
  void OnRequestSent(const std::string&) override { events.push_back("request"); }
  void OnRawResponse(const std::string& text) override { events.push_back("raw " + text); }
  void OnFields(const ResponseFields& f) override { events.push_back("fields " + f.ResponseCode); }
  void OnResultLine(const ResultLine& line) override { events.push_back("line " + line.text); }
  void OnFinished(const PaymentReport& report, const std::optional<std::string>& error) override {
    events.push_back("finished");
    outcome = report.outcome;
    journal_error = error;
    journal_at_finish = testing::ReadFile(journal_);
  }
  std::vector<std::string> events;
  std::optional<Outcome> outcome;
  std::optional<std::string> journal_error;
  std::string journal_at_finish;

 private:
  std::string journal_;
};

TEST(PaymentRunner, JournalsBeforeFinishingAndDropsAnAbandonedRunsLatePosts) {
  testing::ScratchDir dir;
  const std::string journal = JournalFilePath(dir.folder());
  PostQueue queue;
  PaymentRunner runner(queue.Poster());

  // A run abandoned with its outputs still queued: none of them may show later.
  TcpPeer first(testing::Answering(testing::kAnswer));
  Recorder abandoned(journal);
  ASSERT_TRUE(runner.Start({"127.0.0.1", first.port_text(), "1000", dir.folder()}, {}, abandoned));
  EXPECT_FALSE(runner.Start({"127.0.0.1", first.port_text(), "1000", dir.folder()}, {}, abandoned))
      << "one payment at a time";
  first.Join();
  runner.CancelAndWait();
  EXPECT_FALSE(runner.IsRunning());
  EXPECT_GT(queue.Pending(), 0u) << "the first run's outputs are still on their way";

  std::string declined = testing::kAnswer;
  declined.replace(declined.find("0016123456"), 2, "55");  // response code 55
  TcpPeer second(testing::Answering(declined));
  Recorder current(journal);
  ASSERT_TRUE(runner.Start({"127.0.0.1", second.port_text(), "1000", dir.folder()}, {}, current));
  ASSERT_TRUE(queue.RunUntil([&] { return current.outcome.has_value(); }));
  EXPECT_TRUE(abandoned.events.empty());
  // This run's outputs, in the transaction's order, and nothing of the first.
  EXPECT_EQ(current.events,
            (std::vector<std::string>{"request", "raw ", "fields 55", "line " + ResultText(55),
                                      "raw " + declined, "finished"}));
  EXPECT_EQ(current.outcome, Outcome::Declined);
  EXPECT_FALSE(current.journal_error.has_value());
  EXPECT_FALSE(runner.IsRunning());
  // Both payments were tried, so both have their row, the second on disk before
  // the window heard of its end.
  const std::string& rows = current.journal_at_finish;
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 3) << rows;  // header and two rows
  EXPECT_NE(rows.find(",declined,"), std::string::npos) << rows;
}

// The log folder is looked at on the payment's thread: while the file system
// hangs on it (a share whose server is down), Start has returned and a cancel
// is taken, and the payment ends as soon as the file system answers.
TEST(PaymentRunner, AskingTheFileSystemAboutTheLogFolderBlocksNeitherStartNorCancel) {
  testing::ScratchDir dir;
  PostQueue queue;
  PaymentRunner runner(queue.Poster());
  std::promise<void> asked;
  std::promise<void> answer;
  std::shared_future<void> answered = answer.get_future().share();
  TransactionOptions options;
  options.is_folder = [&asked, answered](const std::string&) {
    asked.set_value();
    answered.wait();
    return true;
  };
  TcpPeer peer(testing::Silent());
  Recorder recorder(JournalFilePath(dir.folder()));
  // No separator at the end: the folder is asked about.
  std::string folder = dir.folder();
  folder.pop_back();
  ASSERT_TRUE(runner.Start({"127.0.0.1", peer.port_text(), "1000", folder}, options, recorder));
  ASSERT_EQ(asked.get_future().wait_for(10s), std::future_status::ready);
  runner.Cancel();
  EXPECT_TRUE(runner.IsRunning());
  answer.set_value();
  ASSERT_TRUE(queue.RunUntil([&] { return recorder.outcome.has_value(); }));
  EXPECT_EQ(recorder.outcome, Outcome::NotSent);
  EXPECT_EQ(recorder.events,
            (std::vector<std::string>{"raw " + std::string(kCanceledText),
                                      "line " + std::string(kCanceledText), "finished"}));
  EXPECT_NE(recorder.journal_at_finish.find(",not-sent,"), std::string::npos)
      << recorder.journal_at_finish;
}

// An error that gets past the transaction (here the window's posts fail right
// after the request went out, and the first try of the end's post too) ends
// the payment as unknown with that error, journaled, and the end still arrives.
TEST(PaymentRunner, AnErrorThatEscapesThePaymentIsJournaledAndStillEndsIt) {
  testing::ScratchDir dir;
  PostQueue queue;
  std::atomic<int> posts{0};
  const PaymentRunner::Post inner = queue.Poster();
  PaymentRunner runner([&posts, inner](std::function<void()> call) {
    const int n = ++posts;
    // The connect's and the request's posts go through; the next two and the
    // first try of the end's do not.
    if (n >= 3 && n <= 5) throw std::runtime_error("the window's queue is full");
    inner(std::move(call));
  });
  TcpPeer peer(testing::Silent());
  Recorder recorder(JournalFilePath(dir.folder()));
  ASSERT_TRUE(runner.Start({"127.0.0.1", peer.port_text(), "1000", dir.folder()}, {}, recorder));
  ASSERT_TRUE(queue.RunUntil([&] { return recorder.outcome.has_value(); }));
  EXPECT_EQ(recorder.outcome, Outcome::Unknown) << "the request had gone out";
  EXPECT_EQ(recorder.events,
            (std::vector<std::string>{"request", "raw the window's queue is full",
                                      "line the window's queue is full", "finished"}));
  EXPECT_NE(recorder.journal_at_finish.find(",unknown,"), std::string::npos)
      << recorder.journal_at_finish;
  EXPECT_FALSE(runner.IsRunning());
}

}  // namespace
}  // namespace pcpos::screen
