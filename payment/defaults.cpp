#include "payment/defaults.h"

#ifdef _WIN32

namespace pcpos {

std::string DefaultLogFolder() { return "C:\\"; }

}  // namespace pcpos

#else

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace pcpos {

std::string DefaultLogFolder() {
  // The log path adds no separator, so the folder carries its own.
  const auto with_separator = [](std::string folder) {
    if (folder.back() != '/') folder += '/';
    return folder;
  };
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return with_separator(home);
  }
  if (const passwd* entry = ::getpwuid(::geteuid());
      entry != nullptr && entry->pw_dir != nullptr && *entry->pw_dir != '\0') {
    return with_separator(entry->pw_dir);
  }
  return "/tmp/";
}

}  // namespace pcpos

#endif
