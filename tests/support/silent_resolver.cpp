#include "tests/support/silent_resolver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#include "tests/support/scratch_dir.h"

namespace pcpos::testing {
namespace {

constexpr int kNotAllowed = 77;

bool WriteFile(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

// A process that is not root maps itself to root in a user namespace first.
bool EnterNamespaces() {
  if (::geteuid() == 0) return ::unshare(CLONE_NEWNET | CLONE_NEWNS) == 0;
  const uid_t uid = ::geteuid();
  const gid_t gid = ::getegid();
  if (::unshare(CLONE_NEWUSER | CLONE_NEWNET | CLONE_NEWNS) != 0) return false;
  WriteFile("/proc/self/setgroups", "deny");
  return WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
         WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
}

bool LoopbackUp() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  ::close(fd);
  return ok;
}

// Bound and never read: queries pile up unanswered.
bool SilentNameServer() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(53);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// The child's own view of /etc/resolv.conf points at the silent server; the
// file it shows is written into the caller's scratch folder.
bool UseSilentResolver(const std::string& file) {
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  return WriteFile(file, "nameserver 127.0.0.1\noptions timeout:30 attempts:5\n") &&
         ::mount(file.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
}

}  // namespace

std::optional<int> RunWithSilentResolver(const std::function<int()>& body) {
  const ScratchDir scratch("pcpos-resolv-");
  const std::string resolv_conf = (scratch.path() / "resolv.conf").string();
  const pid_t child = ::fork();
  if (child < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (child == 0) {
    if (!EnterNamespaces() || !LoopbackUp() || !SilentNameServer() ||
        !UseSilentResolver(resolv_conf)) {
      ::_exit(kNotAllowed);
    }
    int result = 255;
    try {
      result = body();
    } catch (...) {
    }
    // _exit: the abandoned lookup thread may still be running, and the test
    // framework's clean-up belongs to the parent.
    ::_exit(result == kNotAllowed ? 255 : result & 0xFF);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "waitpid");
  }
  if (!WIFEXITED(status)) return 255;
  if (WEXITSTATUS(status) == kNotAllowed) return std::nullopt;
  return WEXITSTATUS(status);
}

}  // namespace pcpos::testing
