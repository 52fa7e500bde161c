/* The reference for the simulator's throughput: the least a loopback reader
 * can do for one exchange. One thread, one epoll set, non-blocking sockets:
 * accept, read until the line end, send one fixed approval, close. Prints
 * "listening on 127.0.0.1:PORT" and runs until SIGTERM or SIGINT. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

static const char kAnswer[] =
    "@@ZRM@@08314159260600000112634206000001030010200020016123456******789012140509170621";

static volatile sig_atomic_t g_stop = 0;
static void OnSignal(int number) {
  (void)number;
  g_stop = 1;
}

int main(int argc, char** argv) {
  unsigned short port = 0;
  if (argc > 1) port = (unsigned short)atoi(argv[1]);
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = OnSignal;
  sigaction(SIGTERM, &action, NULL);
  sigaction(SIGINT, &action, NULL);
  signal(SIGPIPE, SIG_IGN);

  int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  struct sockaddr_in address;
  memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (bind(listener, (struct sockaddr*)&address, sizeof address) != 0 ||
      listen(listener, 512) != 0) {
    perror("epoll-peer: listen");
    return 1;
  }
  socklen_t length = sizeof address;
  getsockname(listener, (struct sockaddr*)&address, &length);
  printf("listening on 127.0.0.1:%u\n", ntohs(address.sin_port));
  fflush(stdout);

  int set = epoll_create1(EPOLL_CLOEXEC);
  struct epoll_event event;
  memset(&event, 0, sizeof event);
  event.events = EPOLLIN;
  event.data.fd = listener;
  epoll_ctl(set, EPOLL_CTL_ADD, listener, &event);

  struct epoll_event ready[256];
  char buffer[4096];
  while (!g_stop) {
    int count = epoll_wait(set, ready, 256, 500);
    if (count < 0 && errno != EINTR) break;
    for (int i = 0; i < count; ++i) {
      int fd = ready[i].data.fd;
      if (fd == listener) {
        for (;;) {
          int client = accept4(listener, NULL, NULL, SOCK_NONBLOCK | SOCK_CLOEXEC);
          if (client < 0) break;
          setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
          struct epoll_event watch;
          memset(&watch, 0, sizeof watch);
          watch.events = EPOLLIN | EPOLLRDHUP;
          watch.data.fd = client;
          epoll_ctl(set, EPOLL_CTL_ADD, client, &watch);
        }
        continue;
      }
      int answered = 0, gone = 0;
      for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
          if (memchr(buffer, '\n', (size_t)n)) {
            answered = 1;
            break;
          }
          continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) gone = 1;
        break;
      }
      if (answered) {
        /* A loopback socket's buffer takes the 84 bytes at once. */
        ssize_t sent = send(fd, kAnswer, sizeof kAnswer - 1, MSG_NOSIGNAL);
        (void)sent;
      }
      if (answered || gone) close(fd);
    }
  }
  close(set);
  close(listener);
  return 0;
}
