// Decodes the exchanges and writes them down on a thread of its own, so that
// neither the decoding, the disk nor a slow terminal holds up the relay: the
// text or JSON on standard output,
// the journal row, the recording's step. Rows of exchanges that end within one
// group window share one flush to the disk, as a database groups its commits.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tap/exchange.h"
#include "tap/recording.h"

namespace pcpos::tap {

struct OutputOptions {
  // The least time between two flushes: under load each flush carries many
  // rows, and the disk's cost per exchange stops competing with the relay for
  // the processor. An exchange's line and row wait at most this long.
  std::chrono::milliseconds group_window{10};
  bool json = false;
  bool colour = false;                 // the outcome in the terminal's colours
  std::optional<std::string> journal;  // the journal's path; none: no journal
  std::FILE* out = stdout;
  std::FILE* errors = stderr;
};

class Output {
 public:
  // `recording` open already, or null.
  Output(OutputOptions options, Recording* recording);
  ~Output();  // writes what is queued, then joins
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // In the order the exchanges ended: a repeated approval is seen in that order.
  void Add(ExchangeLog exchange);
  // Returns once everything added so far is written.
  void Drain();

 private:
  void Run();
  void Write(std::vector<ExchangeLog>& batch);

  OutputOptions options_;
  Recording* recording_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable drained_;
  // Swapped whole with the writer's batch, so both keep their room and an
  // exchange costs the relay no allocation here.
  std::vector<ExchangeLog> queue_;
  ApprovalHistory approvals_;  // the writer's thread's alone
  std::size_t added_ = 0;
  std::size_t written_ = 0;
  bool closing_ = false;
  std::string last_error_;  // said once, not once per row
  std::thread thread_;
};

}  // namespace pcpos::tap
