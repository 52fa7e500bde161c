// A tester is left running all day: a thousand payments in one process must
// leave no descriptor, no thread and no growing memory behind.
#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "payment/transaction.h"
#include "tests/support/answers.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tcp_peer.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PCPOS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PCPOS_SANITIZED 1
#endif
#endif

namespace pcpos::testing {
namespace {

constexpr int kWarmUp = 50;
constexpr int kTransactions = 1000;
// Allocator arenas settle during the warm-up; after it, a leak of even a few
// hundred bytes per payment would pass this bound over a thousand payments.
constexpr long kRssGrowthLimit = 2L << 20;

int CountEntries(const char* folder) {
  DIR* dir = ::opendir(folder);
  if (dir == nullptr) return -1;
  int n = 0;
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] != '.') ++n;
  }
  ::closedir(dir);
  return n;
}

long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * ::sysconf(_SC_PAGESIZE);
}

struct Usage {
  int descriptors, threads;
  long resident;
};

Usage Measure() {
  return {CountEntries("/proc/self/fd"), CountEntries("/proc/self/task"), ResidentBytes()};
}

class CountingObserver : public TransactionObserver {
 public:
  void OnRawResponse(const std::string&) override {}
  void OnFields(const ResponseFields& f) override { terminal = f.TerminalNo; }
  void OnResultLine(const ResultLine& line) override { green = line.outcome == Outcome::Approved; }
  std::string terminal;
  bool green = false;
};

int RunPayments(int count, std::uint16_t port, const std::string& folder) {
  int approved = 0;
  for (int i = 0; i < count; ++i) {
    PaymentTransaction t({"127.0.0.1", std::to_string(port), "1000", folder});
    CountingObserver observer;
    t.Run(observer);
    approved += observer.green && observer.terminal == "12345678";
  }
  return approved;
}

TEST(LongRun, ThousandPaymentsLeaveNoDescriptorThreadOrMemoryBehind) {
  ScratchDir scratch("pcpos-leak-");
  TcpPeer peer(
      [](PeerSocket& s) {
        s.ReadLine();
        s.Send(kAnswer);
      },
      // One connection more than is made, so the peer's thread is still
      // there for the second count, as it was for the first.
      kWarmUp + kTransactions + 1);

  ASSERT_EQ(RunPayments(kWarmUp, peer.port(), scratch.folder()), kWarmUp);
  const Usage before = Measure();
  const auto started = std::chrono::steady_clock::now();
  const int approved = RunPayments(kTransactions, peer.port(), scratch.folder());
  const auto elapsed = std::chrono::steady_clock::now() - started;
  const Usage after = Measure();

  EXPECT_EQ(approved, kTransactions);
  EXPECT_EQ(after.descriptors, before.descriptors);
  EXPECT_EQ(after.threads, before.threads);
  const long growth = after.resident - before.resident;
#ifndef PCPOS_SANITIZED
  EXPECT_LT(growth, kRssGrowthLimit);
#endif

  char line[512];
  std::snprintf(line, sizeof line,
                "| %d payments%s | %d → %d | %d → %d | %.1f → %.1f MiB (%+ld KiB) | %.0f ms (%.2f "
                "ms each) |\n",
                kTransactions,
#ifdef PCPOS_SANITIZED
                " (sanitizer build: memory not bounded)",
#else
                "",
#endif
                before.descriptors, after.descriptors, before.threads, after.threads,
                static_cast<double>(before.resident) / (1 << 20),
                static_cast<double>(after.resident) / (1 << 20), growth / 1024,
                std::chrono::duration<double, std::milli>(elapsed).count(),
                std::chrono::duration<double, std::milli>(elapsed).count() / kTransactions);
  std::ofstream(PCPOS_LEAK_FIGURES) << "| Run | Descriptors | Threads | Resident memory | Time |\n"
                                    << "|---|---:|---:|---:|---:|\n"
                                    << line;
  std::printf("%s", line);
}

}  // namespace
}  // namespace pcpos::testing
