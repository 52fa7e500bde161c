// pcpos-bench-spawn PROGRAM [ARGS...]: replaces itself with PROGRAM after putting
// the monotonic clock's reading (ns) in PCPOS_BENCH_T0_NS. The program's own
// exec, loading and start-up then all count towards what it measures from there.
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: pcpos-bench-spawn PROGRAM [ARGS...]\n");
    return 2;
  }
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const long long ns = static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
  setenv("PCPOS_BENCH_T0_NS", std::to_string(ns).c_str(), 1);
  execvp(argv[1], argv + 1);
  std::perror(argv[1]);
  return 127;
}
