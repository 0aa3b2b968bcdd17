/* kestrava-bench-reference: the physical limit of this machine for the console's request mix. One
 * thread, one epoll set, level-triggered; every request is answered with canned bytes of the same
 * size as the console's answers, and an identification with "F|3|" and, 50 ms later as the console
 * spaces its messages, "S...". It listens on 127.0.0.1 only and ends when standard input closes or
 * after --max-seconds. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#define SEP "\xC7"
#define MAX_FDS (1 << 20)
#define SPACING_NS 50000000LL

static const char kFlag[] = "F" SEP "3" SEP;
static const char kSchedule[] = "S" SEP "12/6/2025 9:45:02 AM" SEP "0" SEP;
static const char kSettings[] = "O" SEP "10" SEP "80" SEP "21" SEP "23" SEP "25" SEP "110" SEP "1080" SEP "119" SEP
                                "5190" SEP "6667" SEP "0" SEP
                                "Your IT Adminstrator has prevented you from running \r\nthis application.\r\n" SEP
                                "False" SEP;
static const char kWhiteList[] = "P" SEP "0" SEP;
static const char kBlockList[] = "B" SEP "0" SEP;

struct pending {
    int fd;
    unsigned generation;
    long long due;
};

static unsigned *generation;
static struct pending *queue;
static size_t queue_head, queue_tail, queue_size;

static long long now_ns(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static void answer(int fd, const char *bytes, size_t size) {
    /* Canned answers are far below a socket buffer; a full one would only mean a dead client. */
    ssize_t sent = send(fd, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    (void)sent;
}

static void push_schedule(int fd) {
    if (queue_tail - queue_head == queue_size) {
        size_t bigger = queue_size ? queue_size * 2 : 4096;
        struct pending *grown = malloc(bigger * sizeof *grown);
        for (size_t i = queue_head; i < queue_tail; ++i)
            grown[i - queue_head] = queue[i % queue_size];
        queue_tail -= queue_head;
        queue_head = 0;
        free(queue);
        queue = grown;
        queue_size = bigger;
    }
    struct pending p = {fd, generation[fd], now_ns() + SPACING_NS};
    queue[queue_tail++ % queue_size] = p;
}

static void handle(int fd, const unsigned char *bytes, ssize_t size) {
    /* UTF-16LE: the letter is the low byte of each code unit. */
    for (ssize_t at = 0; at + 1 < size;) {
        switch (bytes[at]) {
        case 'd':
        case 'D':
            answer(fd, kFlag, sizeof kFlag - 1);
            push_schedule(fd);
            return;
        case 's':
            answer(fd, kSchedule, sizeof kSchedule - 1);
            at += 2;
            break;
        case 'o':
            answer(fd, kSettings, sizeof kSettings - 1);
            at += 2;
            break;
        case 'r':
            answer(fd, kWhiteList, sizeof kWhiteList - 1);
            at += 2;
            break;
        case 'b':
            answer(fd, kBlockList, sizeof kBlockList - 1);
            at += 2;
            break;
        case 'h':
            at += 6;
            break;
        default:
            return;
        }
    }
}

int main(int argc, char **argv) {
    int port = 0, max_seconds = 600;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--port"))
            port = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--max-seconds"))
            max_seconds = atoi(argv[i + 1]);
    }
    if (port <= 0 || port > 65535) {
        fprintf(stderr, "usage: %s --port N [--max-seconds S]\n", argv[0]);
        return 2;
    }
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    generation = calloc(MAX_FDS, sizeof *generation);

    int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    struct sockaddr_in address = {0};
    address.sin_family = AF_INET;
    address.sin_port = htons((uint16_t)port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, (struct sockaddr *)&address, sizeof address) != 0 || listen(listener, 4096) != 0) {
        perror("listen");
        return 1;
    }
    int epoll = epoll_create1(EPOLL_CLOEXEC);
    struct epoll_event event = {.events = EPOLLIN, .data.fd = listener};
    epoll_ctl(epoll, EPOLL_CTL_ADD, listener, &event);
    event.data.fd = STDIN_FILENO;
    int watch_stdin = epoll_ctl(epoll, EPOLL_CTL_ADD, STDIN_FILENO, &event) == 0;
    printf("listening %d\n", port);
    fflush(stdout);

    const long long end = now_ns() + (long long)max_seconds * 1000000000LL;
    struct epoll_event events[1024];
    unsigned char buffer[65536];
    for (;;) {
        long long now = now_ns();
        if (now >= end)
            break;
        int timeout = 1000;
        if (queue_tail != queue_head) {
            long long left = queue[queue_head % queue_size].due - now;
            timeout = left <= 0 ? 0 : (int)((left + 999999) / 1000000);
        }
        int ready = epoll_wait(epoll, events, 1024, timeout);
        for (int i = 0; i < ready; ++i) {
            int fd = events[i].data.fd;
            if (fd == listener) {
                int client;
                while ((client = accept4(listener, NULL, NULL, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
                    if (client >= MAX_FDS) {
                        close(client);
                        continue;
                    }
                    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    ++generation[client];
                    struct epoll_event in = {.events = EPOLLIN, .data.fd = client};
                    epoll_ctl(epoll, EPOLL_CTL_ADD, client, &in);
                }
                continue;
            }
            if (watch_stdin && fd == STDIN_FILENO) {
                if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
                    return 0;
                continue;
            }
            ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                if (got < 0 && (errno == EAGAIN || errno == EINTR))
                    continue;
                ++generation[fd];
                close(fd);
                continue;
            }
            handle(fd, buffer, got);
        }
        now = now_ns();
        while (queue_tail != queue_head && queue[queue_head % queue_size].due <= now) {
            struct pending p = queue[queue_head++ % queue_size];
            if (generation[p.fd] == p.generation)
                answer(p.fd, kSchedule, sizeof kSchedule - 1);
        }
    }
    return 0;
}
