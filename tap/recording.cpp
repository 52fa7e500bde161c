#include "tap/recording.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace pcpos::tap {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kHead = "{\n  \"steps\": [";
constexpr const char* kTail = "\n  ],\n  \"repeat\": false\n}\n";

// Seconds as the script reads them, to the millisecond.
double Seconds(double ms) { return std::round(std::max(ms, 0.0)) / 1000; }

bool IsText(const std::string& bytes) {
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string HexOf(const std::string& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
  }
  return out;
}

}  // namespace

std::optional<std::string> RecordedStep(const Exchange& x) {
  const auto& t = x.timings;
  if (!t.reader_connected_ms) return std::nullopt;
  const double since = t.request_out_ms.value_or(*t.reader_connected_ms);
  Json step;
  if (x.answer.empty()) {
    if (x.reader_left_first && x.reader_end != Ending::Open) {
      step["action"] = x.reader_end == Ending::Reset ? "reset" : "close";
      step["delay"] = Seconds(t.reader_closed_ms.value_or(since) - since);
    } else {
      step["action"] = "silence";
    }
    return step.dump();
  }
  if (IsText(x.answer)) {
    step["raw"] = x.answer;
  } else {
    step["hex"] = HexOf(x.answer);
  }
  step["delay"] = Seconds(x.pieces.empty() ? 0.0 : x.pieces.front().after_ms);
  if (x.pieces.size() > 1) {
    Json offsets = Json::array();
    Json pauses = Json::array();
    std::size_t at = 0;
    for (std::size_t i = 0; i + 1 < x.pieces.size(); ++i) {
      at += x.pieces[i].bytes;
      if (at >= x.answer.size()) break;
      offsets.push_back(at);
      pauses.push_back(Seconds(x.pieces[i + 1].after_ms));
    }
    step["pieces"] = offsets;
    step["pauses"] = pauses;
  }
  // After an answer a close is the reader's own, whichever FIN came first:
  // both sides close at once when the answer is read.
  if (x.reader_end == Ending::Open) {
    step["end"] = "silence";
  } else if (x.reader_end == Ending::Reset) {
    step["end"] = "reset";
  }
  return step.dump();
}

Recording::~Recording() {
  if (file_) std::fclose(file_);
}

bool Recording::Open(const std::string& path, std::string& error) {
  path_ = path;
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) {
    error = "cannot write the recording " + path + ": " + std::strerror(errno);
    return false;
  }
  std::fputs(kHead, file_);
  tail_at_ = std::ftell(file_);
  std::fputs(kTail, file_);
  if (std::fflush(file_) != 0) {
    error = "cannot write the recording " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool Recording::Append(const std::vector<std::string>& steps, std::string& error) {
  if (!file_ || steps.empty()) return true;
  std::fseek(file_, tail_at_, SEEK_SET);
  std::string text;
  for (const auto& step : steps) {
    if (steps_ > 0 || &step != &steps.front()) text += ",";
    text += "\n    " + step;
  }
  std::fwrite(text.data(), 1, text.size(), file_);
  tail_at_ = std::ftell(file_);
  std::fputs(kTail, file_);
  steps_ += steps.size();
  if (std::ferror(file_) || std::fflush(file_) != 0) {
    error = "cannot write the recording " + path_ + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace pcpos::tap
