// The message codec per call: reading an answer and building a request.
#include <benchmark/benchmark.h>

#include <string>

#include "payment/message_format.h"

namespace {

// A full approval as a reader sends it.
const std::string kAnswer =
    "@@ZRM@@08123456780600012312123456789012030010200020016123456******789012139812051230";
// Same length, wrong header: the shortest way out.
const std::string kWrongHeader =
    "@@zrm@@08123456780600012312123456789012030010200020016123456******789012139812051230";

// The largest text one read can hand the parser: 32768 bytes of fields of 99.
std::string LongAnswer() {
  std::string text = "@@ZRM@@";
  while (text.size() + 101 <= 32768) text += "99" + std::string(99, '7');
  return text;
}

void BM_ParseResponse(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    auto fields = pcpos::ParseResponse(text);
    benchmark::DoNotOptimize(fields);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK_CAPTURE(BM_ParseResponse, approval, kAnswer);
BENCHMARK_CAPTURE(BM_ParseResponse, wrong_header, kWrongHeader);
BENCHMARK_CAPTURE(BM_ParseResponse, long_32KiB, LongAnswer());

void BM_BuildPurchaseRequest(benchmark::State& state, const std::string& amount) {
  for (auto _ : state) {
    auto request = pcpos::BuildPurchaseRequest(amount);
    benchmark::DoNotOptimize(request);
  }
}
BENCHMARK_CAPTURE(BM_BuildPurchaseRequest, amount_1000, std::string("1000"));
BENCHMARK_CAPTURE(BM_BuildPurchaseRequest, amount_12_digits, std::string("999999999999"));
// Characters above 127 take the UTF-8 path (each goes out as "?").
BENCHMARK_CAPTURE(BM_BuildPurchaseRequest, amount_persian_digits, std::string("۲۵۰۰۰۰"));

}  // namespace

BENCHMARK_MAIN();
