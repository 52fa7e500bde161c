#include "tap/output.h"

#include <exception>
#include <vector>

#include "payment/journal.h"
#include "tap/report.h"

namespace pcpos::tap {
namespace {

// Exchanges a batch keeps room for: more than ten milliseconds bring at full speed.
constexpr std::size_t kRoomKept = 1024;

}  // namespace

Output::Output(OutputOptions options, Recording* recording)
    : options_(std::move(options)), recording_(recording), thread_([this] { Run(); }) {}

Output::~Output() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void Output::Add(ExchangeLog exchange) {
  bool was_empty = false;
  {
    std::lock_guard lock(mutex_);
    was_empty = queue_.empty();
    queue_.push_back(std::move(exchange));
    ++added_;
  }
  // The writer waits for the first row of a batch only; waking it for each
  // row of one would cost a system call an exchange.
  if (was_empty) wake_.notify_one();
}

void Output::Drain() {
  std::unique_lock lock(mutex_);
  const std::size_t target = added_;
  drained_.wait(lock, [&] { return written_ >= target; });
}

void Output::Run() {
  std::unique_lock lock(mutex_);
  auto last_flush = std::chrono::steady_clock::time_point();
  std::vector<ExchangeLog> batch;
  for (;;) {
    wake_.wait(lock, [&] { return closing_ || !queue_.empty(); });
    if (queue_.empty()) return;
    // Within the window of the last flush, the rows gather for the next one.
    wake_.wait_until(lock, last_flush + options_.group_window, [&] { return closing_; });
    last_flush = std::chrono::steady_clock::now();
    batch.swap(queue_);
    lock.unlock();
    Write(batch);
    const std::size_t written = batch.size();
    batch.clear();
    // A backlog (a terminal that stopped reading) does not keep its room.
    if (batch.capacity() > kRoomKept) std::vector<ExchangeLog>().swap(batch);
    lock.lock();
    written_ += written;
    drained_.notify_all();
  }
}

void Output::Write(std::vector<ExchangeLog>& batch) {
  std::string rows;
  std::string text;
  std::vector<std::string> steps;
  for (ExchangeLog& log : batch) {
    const Exchange x = log.Finish(approvals_);
    if (options_.journal) rows += ExchangeRow(x);
    text += options_.json ? ExchangeJson(x) : ExchangeText(x, options_.colour);
    if (recording_) {
      if (auto step = RecordedStep(x)) steps.push_back(std::move(*step));
    }
  }
  std::string error;
  if (options_.journal) {
    try {
      AppendJournalRows(*options_.journal, rows, kTapJournalHeader);
    } catch (const std::exception& e) {
      error = std::string("pcpos-tap: the journal: ") + e.what();
    }
  }
  std::string recording_error;
  if (recording_ && !recording_->Append(steps, recording_error)) {
    if (!error.empty()) error += '\n';
    error += "pcpos-tap: ";
    error += recording_error;
  }
  // The record on the disk first: whoever reads the line can rely on the row.
  std::fwrite(text.data(), 1, text.size(), options_.out);
  std::fflush(options_.out);
  if (!error.empty() && error != last_error_) {
    std::fprintf(options_.errors, "%s\n", error.c_str());
    std::fflush(options_.errors);
  }
  last_error_ = error;
}

}  // namespace pcpos::tap
