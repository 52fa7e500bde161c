// A real TCP peer on loopback, started inside a test: it accepts connections
// and plays a script on each, recording what it received.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace pcpos::testing {

class PeerSocket {
 public:
  explicit PeerSocket(int fd) : fd_(fd) {}
  int fd() const { return fd_; }
  // Reads up to and including the first LF (or until the peer closes / timeout).
  std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  void Send(std::string_view bytes);
  // Closes with an RST instead of a FIN.
  void Reset();
  void Close();
  // Waits until the other side closes its sending direction (recv gives 0).
  bool WaitForClose(std::chrono::milliseconds timeout = std::chrono::seconds(5));

 private:
  int fd_;
};

class TcpPeer {
 public:
  using Script = std::function<void(PeerSocket&)>;

  // Listens on 127.0.0.1 with a port of the system's choice and serves up to
  // `connections` connections, one after the other, each with the script.
  explicit TcpPeer(Script script, int connections = 1);
  // The same on a fixed port of 127.0.0.1; throws std::runtime_error when the
  // port cannot be had.
  TcpPeer(Script script, int connections, std::uint16_t port);
  ~TcpPeer();
  TcpPeer(const TcpPeer&) = delete;
  TcpPeer& operator=(const TcpPeer&) = delete;

  std::uint16_t port() const { return port_; }
  std::string port_text() const { return std::to_string(port_); }
  // Everything the scripts read with ReadLine, in order.
  std::string received() const;
  int accepted() const { return accepted_.load(); }
  // Waits for the serving thread to finish its connections.
  void Join();

 private:
  void Serve(int connections);

  Script script_;
  int listen_fd_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
  std::atomic<int> accepted_{0};
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::string received_;
  friend class PeerSocket;
};

// Ready-made scripts. Each reads the request line first.
// Sends `answer` whole.
inline TcpPeer::Script Answering(std::string answer) {
  return [answer = std::move(answer)](PeerSocket& s) {
    s.ReadLine();
    s.Send(answer);
  };
}
// Sends `answer` in pieces cut at the offsets `cuts` (ascending), with `pause`
// before each piece after the first.
inline TcpPeer::Script Split(std::string answer, std::vector<std::size_t> cuts,
                             std::chrono::milliseconds pause) {
  return [answer = std::move(answer), cuts = std::move(cuts), pause](PeerSocket& s) {
    s.ReadLine();
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
      s.Send(std::string_view(answer).substr(from, cut - from));
      std::this_thread::sleep_for(pause);
      from = cut;
    }
    s.Send(std::string_view(answer).substr(from));
  };
}
// Closes with an RST at once.
inline TcpPeer::Script Resetting() {
  return [](PeerSocket& s) {
    s.ReadLine();
    s.Reset();
  };
}
// Sends nothing and holds the connection until the other side closes it.
inline TcpPeer::Script Silent() {
  return [](PeerSocket& s) {
    s.ReadLine();
    s.WaitForClose();
  };
}

// A loopback port that refuses connections for as long as this object lives:
// a socket holds it bound without listening, so no other test (or program)
// can be given it, and a connect to it is answered with a reset.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  std::uint16_t port() const { return port_; }
  std::string port_text() const { return std::to_string(port_); }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace pcpos::testing
