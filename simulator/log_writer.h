// The simulator's log on standard output, one line per request. Writing each
// line at once would cost a system call per request; the lines are gathered
// and written at most a quarter second after the first of them, sooner when
// many are waiting, and at the end.
#pragma once

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace pcpos::sim {

class LogWriter {
 public:
  LogWriter(asio::io_context& io, std::FILE* out,
            std::chrono::milliseconds longest_wait = std::chrono::milliseconds(250));
  ~LogWriter();

  void Add(std::string_view line);     // gathered; written by the timer
  void AddNow(std::string_view line);  // written with everything before it
  void Flush();
  // Flushes and lets the io_context end: no timer is left waiting.
  void Close();

 private:
  std::FILE* out_;
  asio::steady_timer timer_;
  std::chrono::milliseconds longest_wait_;
  std::string pending_;
  bool armed_ = false;
  bool closed_ = false;
};

}  // namespace pcpos::sim
