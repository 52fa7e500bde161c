// What the client's tests share: running RunCli in-process, reading the
// journal back by RFC 4180, and a fixture with a scratch log folder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli.h"
#include "tests/support/answers.h"
#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tcp_peer.h"

namespace pcpos::clitest {

using namespace std::chrono_literals;
using testing::kAnswer;
using testing::PeerSocket;
using testing::ReadFile;
using testing::Resetting;
using testing::Silent;
using testing::TcpPeer;

struct CliRun {
  int status;
  std::string out, err;
};

inline CliRun Cli(std::vector<std::string> args) {
  args.insert(args.begin(), "pcpos-cli");
  std::vector<const char*> argv;
  for (auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
  return {status, out.str(), err.str()};
}

using Record = std::vector<std::string>;

// The journal's records after its byte-order mark, read by RFC 4180; a record
// cut short or a mark anywhere else fails the test.
inline std::vector<Record> ReadJournal(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::string bom = "\xEF\xBB\xBF";
  EXPECT_EQ(bytes.substr(0, 3), bom);
  EXPECT_EQ(bytes.find(bom, 3), std::string::npos);
  std::vector<Record> records;
  Record record;
  std::string field;
  bool quoted = false;
  for (std::size_t i = 3; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < bytes.size() && bytes[i + 1] == '"') {
        field += c;
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      record.push_back(std::move(field));
      field.clear();
    } else if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      record.push_back(std::move(field));
      field.clear();
      records.push_back(std::move(record));
      record.clear();
      ++i;
    } else {
      field += c;
    }
  }
  EXPECT_TRUE(record.empty() && field.empty() && !quoted) << "the journal ends inside a row";
  if (!records.empty()) {
    EXPECT_EQ(records.front(),
              (Record{"time", "host", "port", "amount", "request", "answer", "response_code",
                      "result", "outcome", "connect_ms", "answer_ms", "error"}));
    records.erase(records.begin());
  }
  return records;
}

enum Column {
  kTime,
  kHost,
  kPort,
  kAmount,
  kRequest,
  kAnswer_,
  kCode,
  kResult,
  kOutcome,
  kConnectMs,
  kAnswerMs,
  kError,
  kColumns
};

// Until the peer has read `n` request lines; false after ten seconds.
inline bool WaitForRequests(const TcpPeer& peer, std::size_t n) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::ranges::count(peer.received(), '\n') < static_cast<std::ptrdiff_t>(n)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

class CliTest : public ::testing::Test {
 protected:
  testing::ScratchDir scratch_{"pcpos-cli-"};
  const std::string dir_ = scratch_.path().string();
  const std::string journal_ = dir_ + "/Selvarin-PcPosJournal.csv";
  std::vector<std::string> Args(const TcpPeer& peer, std::vector<std::string> more = {},
                                const std::string& host = "127.0.0.1") {
    return Args(peer.port_text(), std::move(more), host);
  }
  // A payment of 1000 unless `more` names its own amount.
  std::vector<std::string> Args(const std::string& port, std::vector<std::string> more = {},
                                const std::string& host = "127.0.0.1") {
    std::vector<std::string> a = {"--host", host, "--port", port, "--log-dir", dir_ + "/"};
    if (std::ranges::find(more, "--amount") == more.end()) a.insert(a.end(), {"--amount", "1000"});
    a.insert(a.end(), more.begin(), more.end());
    return a;
  }
};

}  // namespace pcpos::clitest
