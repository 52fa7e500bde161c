#include "simulator/log_writer.h"

namespace pcpos::sim {
namespace {
// Past this much, the lines are written without waiting for the timer, so the
// buffer stays small whatever the load.
constexpr std::size_t kPendingMax = 256 * 1024;
}  // namespace

LogWriter::LogWriter(asio::io_context& io, std::FILE* out, std::chrono::milliseconds longest_wait)
    : out_(out), timer_(io), longest_wait_(longest_wait) {}

LogWriter::~LogWriter() { Flush(); }

void LogWriter::Add(std::string_view line) {
  pending_.append(line);
  pending_ += '\n';
  if (pending_.size() >= kPendingMax || closed_) {
    Flush();
    return;
  }
  if (armed_) return;
  armed_ = true;
  timer_.expires_after(longest_wait_);
  timer_.async_wait([this](const std::error_code& error) {
    armed_ = false;
    if (!error) Flush();
  });
}

void LogWriter::AddNow(std::string_view line) {
  pending_.append(line);
  pending_ += '\n';
  Flush();
}

void LogWriter::Flush() {
  if (!pending_.empty()) {
    std::fwrite(pending_.data(), 1, pending_.size(), out_);
    pending_.clear();
  }
  std::fflush(out_);
}

void LogWriter::Close() {
  closed_ = true;
  timer_.cancel();
  Flush();
}

}  // namespace pcpos::sim
