// The journal's cost per payment: the row made and appended to the file, with
// the open, the lock, the flush to the disk and the close each payment pays for.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "payment/journal.h"

namespace {

const std::string kAnswer =
    "@@ZRM@@08123456780600012312123456789012030010200020016123456******789012139812051230";

pcpos::PaymentReport Approved() {
  pcpos::PaymentReport report;
  report.outcome = pcpos::Outcome::Approved;
  report.request = "@@ZRM@@011000410000000020000000530000011";
  report.answer = kAnswer;
  report.fields = pcpos::ParseResponse(kAnswer);
  report.result = pcpos::ResultLineFor("00");
  report.timings = {0.05, 0.42, 0.48, 212.3, 212.37};
  return report;
}

// An open outcome: the error's line break is written as " / ".
pcpos::PaymentReport Reset() {
  pcpos::PaymentReport report;
  report.outcome = pcpos::Outcome::Unknown;
  report.request = "@@ZRM@@011000410000000020000000530000011";
  report.error = "Socket Error # 10054\r\nConnection reset by peer.";
  report.result = pcpos::ResultLine{report.error, pcpos::Outcome::Unknown};
  report.timings = {0.05, 0.42, 0.48, std::nullopt, std::nullopt};
  return report;
}

// A rogue reader's answer: line breaks, a tab, backslashes and a formula, all
// escaped, and a code that is not read.
pcpos::PaymentReport Rogue() {
  pcpos::PaymentReport report = Reset();
  report.answer = "=HYPERLINK(\"http://attacker.invalid/\",\"00\")\r\n\t=1+1\\x41\r\n" + kAnswer;
  report.timings.answer_ms = 3.5;
  return report;
}

// A fresh folder under the temporary folder (TMPDIR), removed at the end. It
// must be on a disk for the flush to cost what it costs: run.sh points TMPDIR
// at the build folder, since /tmp may be a tmpfs.
class Folder {
 public:
  Folder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "pcpos-bench-journal-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string text() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

void BM_JournalRow(benchmark::State& state, const pcpos::PaymentReport& report) {
  const pcpos::PaymentInputs inputs{"192.168.1.50", "9053", "1000", "/tmp/"};
  const auto started = std::chrono::system_clock::now();
  for (auto _ : state) {
    auto row = pcpos::JournalRow(inputs, report, started);
    benchmark::DoNotOptimize(row);
  }
}
BENCHMARK_CAPTURE(BM_JournalRow, approved, Approved());
BENCHMARK_CAPTURE(BM_JournalRow, unknown, Reset());
BENCHMARK_CAPTURE(BM_JournalRow, rogue, Rogue());

// What each payment pays: row, open, lock, one write, fdatasync, close. Wall
// time, since most of it is spent in the kernel and waiting for the disk.
void BM_JournalPayment(benchmark::State& state, const pcpos::PaymentReport& report) {
  const Folder folder;
  const pcpos::PaymentInputs inputs{"192.168.1.50", "9053", "1000", folder.text()};
  for (auto _ : state) {
    auto error = pcpos::JournalPayment(inputs, report, std::chrono::system_clock::now());
    if (error) {
      state.SkipWithError(error->c_str());
      break;
    }
  }
}
BENCHMARK_CAPTURE(BM_JournalPayment, approved, Approved())->UseRealTime();
BENCHMARK_CAPTURE(BM_JournalPayment, unknown, Reset())->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
