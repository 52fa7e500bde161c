#include "startup/errors.h"

#include <cstdlib>
#include <memory>
#include <typeinfo>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#endif

#include "screen/texts.h"

namespace pcpos::startup {

std::string ErrorKind(const std::exception& error) {
  const char* name = typeid(error).name();
#if __has_include(<cxxabi.h>)
  int status = 0;
  const std::unique_ptr<char, void (*)(void*)> plain(
      abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
  if (status == 0 && plain) return plain.get();
#endif
  return name;
}

std::string StartupErrorReport(const std::exception& error, std::string_view program_path,
                               std::uintptr_t address) {
  const std::size_t separator = program_path.find_last_of("\\/");
  const std::string_view module =
      separator == std::string_view::npos ? program_path : program_path.substr(separator + 1);
  return screen::StartupErrorText(ErrorKind(error), module, address, error.what());
}

}  // namespace pcpos::startup
