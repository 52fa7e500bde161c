#include "startup/process_win32.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

#include <iostream>
#include <streambuf>

#include "text/utf16.h"

namespace pcpos::startup {
namespace {

// Length of the longest prefix that ends on a whole UTF-8 sequence, so that a
// character split between two writes is converted once it is complete.
std::size_t CompletePrefix(const std::string& bytes) {
  std::size_t end = bytes.size();
  for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
    const auto c = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (need > back) end = bytes.size() - back;
    break;
  }
  return end;
}

class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}
  ~ConsoleBuffer() override { Flush(true); }

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof()))
      pending_.push_back(traits_type::to_char_type(c));
    if (pending_.size() >= 4096) Flush(false);
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* data, std::streamsize size) override {
    pending_.append(data, static_cast<std::size_t>(size));
    if (pending_.size() >= 4096) Flush(false);
    return size;
  }
  int sync() override { return Flush(false) ? 0 : -1; }

 private:
  bool Flush(bool all) {
    const std::size_t n = all ? pending_.size() : CompletePrefix(pending_);
    if (n == 0) return true;
    const std::wstring wide = Wide(std::string_view(pending_).substr(0, n));
    pending_.erase(0, n);
    const wchar_t* p = wide.data();
    DWORD left = static_cast<DWORD>(wide.size());
    while (left > 0) {
      DWORD written = 0;
      if (!WriteConsoleW(console_, p, left, &written, nullptr) || written == 0) return false;
      p += written;
      left -= written;
    }
    return true;
  }

  HANDLE console_;
  std::string pending_;
};

}  // namespace

std::vector<std::string> Utf8Arguments() {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  if (wide == nullptr) return args;
  for (int i = 0; i < count; ++i) args.push_back(Utf8(std::wstring_view(wide[i])));
  LocalFree(wide);
  return args;
}

std::string ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD got = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (got < path.size()) {
      path.resize(got);
      return Utf8(path);
    }
    path.resize(path.size() * 2);
  }
}

struct ConsoleText::Redirect {
  Redirect(std::ostream& target, HANDLE console) : stream(target), buffer(console) {
    stream.flush();
    previous = stream.rdbuf(&buffer);
  }
  ~Redirect() {
    stream.flush();
    stream.rdbuf(previous);
  }
  std::ostream& stream;
  ConsoleBuffer buffer;
  std::streambuf* previous = nullptr;
};

namespace {

// The handle when it is a console, else null.
HANDLE ConsoleOf(DWORD which) {
  const HANDLE h = GetStdHandle(which);
  DWORD mode = 0;
  return h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) ? h : nullptr;
}

}  // namespace

ConsoleText::ConsoleText() {
  // Text that reaches the console by another road (the runtime's own messages)
  // is read as UTF-8 too.
  SetConsoleOutputCP(CP_UTF8);
  if (const HANDLE h = ConsoleOf(STD_OUTPUT_HANDLE))
    out_ = std::make_unique<Redirect>(std::cout, h);
  if (const HANDLE h = ConsoleOf(STD_ERROR_HANDLE)) err_ = std::make_unique<Redirect>(std::cerr, h);
}

ConsoleText::~ConsoleText() = default;

}  // namespace pcpos::startup
