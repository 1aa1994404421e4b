// Completed I/O on Linux: one process-wide I/O thread waits on epoll for the
// streams with started reads or writes, carries them out without blocking and
// runs the completion routine. Closing a stream hands its unfinished I/O back
// to that thread, which completes it as cancelled, so the routine never runs
// on the caller's thread and every started I/O completes exactly once.
#include "platform/overlapped_stream.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kinevra::platform {

namespace {

std::uint32_t statusOfErrno(int e) {
  switch (e) {
    case ECONNRESET:
      return kStatusConnectionReset;
    case EPIPE:
      return kStatusPipeBroken;
    case ECONNABORTED:
    case ESHUTDOWN:
      return kStatusRemoteDisconnect;
    case ECANCELED:
      return kStatusCancelled;
    case EBADF:
      return kStatusInvalidHandle;
    default:
      return kStatusOtherError | (static_cast<std::uint32_t>(e) & 0xFFFF);
  }
}

struct Pending {
  bool active = false;
  unsigned char* data = nullptr;
  std::uint32_t length = 0;
  std::uint32_t done = 0;
  IoRecord* record = nullptr;
};

struct Stream {
  int fd = -1;
  IoCompletion routine = nullptr;
  std::mutex lock;  // the two started I/Os
  Pending read, write;
};

struct Completion {
  IoCompletion routine;
  std::uint32_t status;
  std::uint32_t bytes;
  IoRecord* record;
};

class IoThread {
 public:
  static IoThread& instance() {
    static IoThread t;
    return t;
  }

  bool add(int fd, IoCompletion routine) {
    std::lock_guard<std::mutex> g(lock_);
    if (!startLocked()) return false;
    auto s = std::make_shared<Stream>();
    s->fd = fd;
    s->routine = routine;
    epoll_event ev{};
    ev.events = EPOLLONESHOT;
    ev.data.fd = fd;
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) != 0) return false;
    streams_[fd] = s;
    return true;
  }

  std::uint32_t start(int fd, bool isWrite, unsigned char* data, std::uint32_t length, IoRecord* record) {
    std::shared_ptr<Stream> s = find(fd);
    if (!s) return kStatusInvalidHandle;
    std::lock_guard<std::mutex> g(s->lock);
    Pending& p = isWrite ? s->write : s->read;
    if (p.active) return kStatusOtherError | EBUSY;
    p = Pending{true, data, length, 0, record};
    rearm(*s);
    return 0;
  }

  void remove(int fd) {
    std::shared_ptr<Stream> s;
    {
      std::lock_guard<std::mutex> g(lock_);
      auto it = streams_.find(fd);
      if (it == streams_.end()) {
        ::close(fd);  // never bound
        return;
      }
      s = it->second;
      streams_.erase(it);
      epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    }
    std::vector<Completion> cancelled;
    {
      // Waits for an I/O the thread is carrying out on this stream right now.
      std::lock_guard<std::mutex> g(s->lock);
      for (Pending* p : {&s->read, &s->write}) {
        if (p->active) cancelled.push_back({s->routine, kStatusCancelled, p->done, p->record});
        p->active = false;
      }
      s->fd = -1;
    }
    ::close(fd);
    if (!cancelled.empty()) {
      std::lock_guard<std::mutex> g(lock_);
      deferred_.insert(deferred_.end(), cancelled.begin(), cancelled.end());
      wake();
    }
  }

 private:
  IoThread() = default;
  ~IoThread() {
    {
      std::lock_guard<std::mutex> g(lock_);
      stop_ = true;
      wake();
    }
    if (thread_.joinable()) thread_.join();
    if (epoll_ >= 0) ::close(epoll_);
    if (wake_ >= 0) ::close(wake_);
  }

  bool startLocked() {
    if (thread_.joinable()) return true;
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epoll_ < 0 || wake_ < 0) return false;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = wake_;
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &ev) != 0) return false;
    thread_ = std::thread([this] { run(); });
    return true;
  }

  void wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
  }

  std::shared_ptr<Stream> find(int fd) {
    std::lock_guard<std::mutex> g(lock_);
    auto it = streams_.find(fd);
    return it == streams_.end() ? nullptr : it->second;
  }

  // Waits for what the started I/O needs (called under the stream's lock).
  // One-shot: a stream reports once and then rests until I/O is started
  // again, so a hung-up stream with nothing started never keeps the thread
  // spinning.
  void rearm(Stream& s) {
    if (!s.read.active && !s.write.active) return;
    epoll_event ev{};
    ev.events = EPOLLONESHOT | (s.read.active ? EPOLLIN | EPOLLRDHUP : 0u) | (s.write.active ? EPOLLOUT : 0u);
    ev.data.fd = s.fd;
    epoll_ctl(epoll_, EPOLL_CTL_MOD, s.fd, &ev);
  }

  // Carries out what the stream can do now (under the stream's lock).
  void serve(Stream& s, std::vector<Completion>* out) {
    if (s.read.active) {
      const ssize_t n = ::recv(s.fd, s.read.data, s.read.length, MSG_DONTWAIT);
      if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        const std::uint32_t status = n >= 0 ? kStatusSuccess : statusOfErrno(errno);
        out->push_back({s.routine, status, n > 0 ? static_cast<std::uint32_t>(n) : 0u, s.read.record});
        s.read.active = false;
      }
    }
    while (s.write.active) {
      const ssize_t n = ::send(s.fd, s.write.data + s.write.done, s.write.length - s.write.done,
                               MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
      if (n < 0) {
        out->push_back({s.routine, statusOfErrno(errno), s.write.done, s.write.record});
        s.write.active = false;
        break;
      }
      s.write.done += static_cast<std::uint32_t>(n);
      if (s.write.done >= s.write.length) {
        out->push_back({s.routine, kStatusSuccess, s.write.done, s.write.record});
        s.write.active = false;
      }
    }
    rearm(s);
  }

  void run() {
    std::vector<Completion> ready;
    epoll_event events[32];
    for (;;) {
      const int n = epoll_wait(epoll_, events, 32, -1);
      ready.clear();
      {
        std::lock_guard<std::mutex> g(lock_);
        ready.swap(deferred_);
        if (stop_) return;
      }
      for (int i = 0; i < n; ++i) {
        if (events[i].data.fd == wake_) {
          std::uint64_t v;
          while (::read(wake_, &v, sizeof v) > 0) {
          }
          continue;
        }
        std::shared_ptr<Stream> s = find(events[i].data.fd);
        if (!s) continue;
        std::lock_guard<std::mutex> g(s->lock);
        if (s->fd >= 0) serve(*s, &ready);
      }
      // The routine may start the next I/O or close the stream: no lock held.
      for (const Completion& c : ready) c.routine(c.status, c.bytes, c.record);
    }
  }

  std::mutex lock_;  // the stream table and the deferred completions
  std::map<int, std::shared_ptr<Stream>> streams_;
  std::vector<Completion> deferred_;
  std::thread thread_;
  int epoll_ = -1;
  int wake_ = -1;
  bool stop_ = false;
};

void setError(int* error, int value) {
  if (error) *error = value;
}

}  // namespace

std::string pipeSocketName(const std::string& pipeName) { return std::string(1, '\0') + pipeName; }

StreamHandle openPipe(const std::string& pipeName, int* error) {
  const std::string name = pipeSocketName(pipeName);
  sockaddr_un a{};
  if (name.size() > sizeof a.sun_path) {
    setError(error, ENAMETOOLONG);
    return kInvalidStream;
  }
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path, name.data(), name.size());
  const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) {
    setError(error, errno);
    return kInvalidStream;
  }
  const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
  if (::connect(s, reinterpret_cast<const sockaddr*>(&a), len) != 0) {
    setError(error, errno);
    ::close(s);
    return kInvalidStream;
  }
  return s;
}

StreamHandle openTcp(const std::string& address, const std::string& port, bool ipv6, int* error) {
  addrinfo hints{};
  hints.ai_family = ipv6 ? AF_INET6 : AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(address.c_str(), port.c_str(), &hints, &found);
  if (rc != 0 || !found) {
    setError(error, rc);
    return kInvalidStream;
  }
  const int s = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
  if (s < 0 || ::connect(s, found->ai_addr, found->ai_addrlen) != 0) {
    setError(error, errno);
    if (s >= 0) ::close(s);
    ::freeaddrinfo(found);
    return kInvalidStream;
  }
  ::freeaddrinfo(found);
  return s;
}

bool bindCompletion(StreamHandle h, StreamKind, IoCompletion routine) {
  if (h < 0 || h > INT32_MAX || !routine) return false;
  const int fd = static_cast<int>(h);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  return IoThread::instance().add(fd, routine);
}

bool setNoDelay(StreamHandle h) {
  int on = 1;
  return ::setsockopt(static_cast<int>(h), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

std::uint32_t startRead(StreamHandle h, StreamKind, void* buffer, std::uint32_t length, IoRecord* record) {
  if (h < 0 || h > INT32_MAX) return kStatusInvalidHandle;
  return IoThread::instance().start(static_cast<int>(h), false, static_cast<unsigned char*>(buffer), length,
                                    record);
}

std::uint32_t startWrite(StreamHandle h, StreamKind, const void* data, std::uint32_t length, IoRecord* record) {
  if (h < 0 || h > INT32_MAX) return kStatusInvalidHandle;
  return IoThread::instance().start(static_cast<int>(h), true,
                                    const_cast<unsigned char*>(static_cast<const unsigned char*>(data)), length,
                                    record);
}

void closeStream(StreamHandle h, StreamKind kind) {
  if (h < 0 || h > INT32_MAX) return;
  const int fd = static_cast<int>(h);
  if (kind == StreamKind::Tcp) ::shutdown(fd, SHUT_RDWR);
  IoThread::instance().remove(fd);  // also closes the descriptor
}

}  // namespace kinevra::platform
