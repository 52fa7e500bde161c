/* The reference for the tap's throughput: the least a relay can do for one
 * exchange. One thread, one epoll set, non-blocking sockets, no decoding, no
 * journal: accept, connect to the reader, pass whatever is readable on one
 * side to the other, pass an end of input on as a shutdown, close both when
 * both have ended. Prints "listening on 127.0.0.1:PORT" and runs until SIGTERM
 * or SIGINT.
 *
 *   pcpos-bench-relay-peer READER_PORT
 *
 * Its writes assume what loopback gives a small exchange: the other side's
 * buffer takes a read's bytes at once. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

struct side {
  int fd;
  int ended;
  struct side* other;
};

static volatile sig_atomic_t g_stop = 0;
static void OnSignal(int number) {
  (void)number;
  g_stop = 1;
}

static void Watch(int set, struct side* s) {
  struct epoll_event event;
  memset(&event, 0, sizeof event);
  event.events = EPOLLIN | EPOLLRDHUP;
  event.data.ptr = s;
  epoll_ctl(set, EPOLL_CTL_ADD, s->fd, &event);
}

/* Pairs closed in this round of events: freed after it, since an event of
 * the same round may still name the other side. */
static struct side* g_closed[512];
static int g_closed_count = 0;

static void CloseBoth(struct side* a) {
  struct side* b = a->other;
  close(a->fd);
  close(b->fd);
  a->fd = b->fd = -1;
  /* The pair was allocated as one. */
  g_closed[g_closed_count++] = a < b ? a : b;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: pcpos-bench-relay-peer READER_PORT\n");
    return 2;
  }
  struct sockaddr_in reader;
  memset(&reader, 0, sizeof reader);
  reader.sin_family = AF_INET;
  reader.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  reader.sin_port = htons((unsigned short)atoi(argv[1]));

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
  if (bind(listener, (struct sockaddr*)&address, sizeof address) != 0 ||
      listen(listener, 65535) != 0) {
    perror("relay-peer: listen");
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
  event.data.ptr = NULL;
  epoll_ctl(set, EPOLL_CTL_ADD, listener, &event);

  struct epoll_event ready[256];
  char buffer[16384];
  while (!g_stop) {
    int count = epoll_wait(set, ready, 256, 500);
    if (count < 0 && errno != EINTR) break;
    for (int i = 0; i < count; ++i) {
      struct side* s = ready[i].data.ptr;
      if (s != NULL && s->fd < 0) continue;
      if (s == NULL) {
        for (;;) {
          int ecr = accept4(listener, NULL, NULL, SOCK_NONBLOCK | SOCK_CLOEXEC);
          if (ecr < 0) break;
          /* A loopback connect completes at once; blocking keeps this short. */
          int up = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
          if (connect(up, (struct sockaddr*)&reader, sizeof reader) != 0) {
            struct linger reset = {1, 0};
            setsockopt(ecr, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            close(ecr);
            close(up);
            continue;
          }
          fcntl(up, F_SETFL, fcntl(up, F_GETFL) | O_NONBLOCK);
          setsockopt(ecr, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
          setsockopt(up, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
          struct side* pair = calloc(2, sizeof *pair);
          pair[0].fd = ecr;
          pair[1].fd = up;
          pair[0].other = &pair[1];
          pair[1].other = &pair[0];
          Watch(set, &pair[0]);
          Watch(set, &pair[1]);
        }
        continue;
      }
      for (;;) {
        ssize_t n = read(s->fd, buffer, sizeof buffer);
        if (n > 0) {
          ssize_t sent = send(s->other->fd, buffer, (size_t)n, MSG_NOSIGNAL);
          (void)sent;
          continue;
        }
        if (n == 0) {
          s->ended = 1;
          epoll_ctl(set, EPOLL_CTL_DEL, s->fd, NULL);
          shutdown(s->other->fd, SHUT_WR);
          if (s->other->ended) CloseBoth(s);
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
          struct linger reset = {1, 0};
          setsockopt(s->other->fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
          CloseBoth(s);
        }
        break;
      }
    }
    for (int i = 0; i < g_closed_count; ++i) free(g_closed[i]);
    g_closed_count = 0;
  }
  close(set);
  close(listener);
  return 0;
}
