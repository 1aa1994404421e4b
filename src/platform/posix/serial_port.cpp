#include "platform/serial_port.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string_view>

#include "common/utf8.h"

namespace kinevra::platform {

namespace detail {
bool setArbitraryBaud(int fd, std::uint32_t baud);
}

namespace {

int fd(std::intptr_t h) { return static_cast<int>(h); }

// A total time-out: multiplier per byte plus constant, as the comm API counts
// it, saturating where that product would not fit.
std::int64_t totalWaitMs(std::uint32_t multiplierMs, std::uint32_t constantMs, std::size_t bytes) {
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 40;  // some 35 years
  const std::uint64_t perByte = multiplierMs;
  const std::uint64_t n = bytes;
  const std::uint64_t variable = perByte != 0 && n > kLimit / perByte ? kLimit : perByte * n;
  return static_cast<std::int64_t>(std::min(variable + constantMs, kLimit));
}

std::int64_t nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// "com12" / "COM12" -> 12; 0 when the name is not a port name.
int portNumberOf(std::string_view name) {
  if (name.size() < 4 || name.size() > 9) return 0;
  if ((name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' || (name[2] | 0x20) != 'm') return 0;
  int n = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n;
}

// A device name as the system would list it: "COM" (any case) and a number
// without leading zeros; 0 otherwise.
int deviceNumberOf(const std::string& name) {
  if (name.size() > 3 && name[3] == '0') return 0;
  return portNumberOf(name);
}

const char* mappingFolder() {
  const char* dir = std::getenv("KINEVRA_COM_DIR");
  return dir && *dir ? dir : nullptr;
}

std::string readLine(const std::string& path) {
  std::ifstream in(path);
  std::string s;
  std::getline(in, s);
  return s;
}

bool isCharDevice(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

struct MappedPort {
  int number;
  std::string path;
};

// The ports of the mapping, in number order.
std::vector<MappedPort> mappedPorts() {
  std::vector<MappedPort> ports;
  if (const char* dir = mappingFolder()) {
    if (DIR* d = opendir(dir)) {
      while (dirent* e = readdir(d)) {
        if (int n = portNumberOf(e->d_name); n > 0) ports.push_back({n, std::string(dir) + "/" + e->d_name});
      }
      closedir(d);
    }
  } else if (DIR* d = opendir("/dev")) {
    while (dirent* e = readdir(d)) {
      const std::string_view name = e->d_name;
      struct Family {
        std::string_view prefix;
        int first;
        int count;
      };
      for (const Family f : {Family{"ttyS", 1, 32}, Family{"ttyUSB", 33, 32}, Family{"ttyACM", 65, 64}}) {
        if (name.size() <= f.prefix.size() || name.substr(0, f.prefix.size()) != f.prefix) continue;
        const std::string_view digits = name.substr(f.prefix.size());
        if (digits.size() > 2 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
          continue;
        const int k = std::atoi(std::string(digits).c_str());
        if (k >= f.count) continue;
        // Every machine has /dev/ttyS0..31 placeholders; only UARTs the kernel found count.
        if (f.prefix == "ttyS" && readLine("/sys/class/tty/" + std::string(name) + "/type") == "0") continue;
        if (f.prefix == "ttyS" && readLine("/sys/class/tty/" + std::string(name) + "/type").empty()) continue;
        ports.push_back({f.first + k, "/dev/" + std::string(name)});
      }
    }
    closedir(d);
  }
  std::sort(ports.begin(), ports.end(), [](const MappedPort& a, const MappedPort& b) { return a.number < b.number; });
  return ports;
}

std::string upperHex4(const std::string& s) {
  std::string r = s.substr(0, 4);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

// USB vendor and product of the device behind a tty, from the nearest sysfs
// ancestor that has them.
SerialDeviceIdentity identityOf(int number, const std::string& path) {
  SerialDeviceIdentity id;
  id.friendlyName = "Serial port (COM" + std::to_string(number) + ")";
  // In a folder mapping, a file beside the link may give the port's hardware
  // identifiers ("com5.hwid", one line such as USB\VID_1A86&PID_7523): the
  // USB identity that a pseudo-terminal standing in for a controller lacks.
  if (mappingFolder()) {
    const std::string ids = readLine(path + ".hwid");
    if (!ids.empty()) {
      id.friendlyName = "USB serial device (COM" + std::to_string(number) + ")";
      id.hardwareIds = ids;
      return id;
    }
  }
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) return id;
  const std::string_view dev = resolved;
  const std::string base(dev.substr(dev.rfind('/') + 1));
  char sys[PATH_MAX];
  if (!realpath(("/sys/class/tty/" + base + "/device").c_str(), sys)) return id;
  std::string dir = sys;
  while (dir.size() > 4) {
    const std::string vid = readLine(dir + "/idVendor");
    const std::string pid = readLine(dir + "/idProduct");
    if (vid.size() >= 4 && pid.size() >= 4) {
      std::string product = readLine(dir + "/product");
      if (product.empty()) product = "USB serial device";
      id.friendlyName = product + " (COM" + std::to_string(number) + ")";
      id.hardwareIds = "USB\\VID_" + upperHex4(vid) + "&PID_" + upperHex4(pid);
      std::string rev = readLine(dir + "/bcdDevice");
      if (!rev.empty()) id.hardwareIds += "&REV_" + upperHex4(rev);
      return id;
    }
    dir = dir.substr(0, dir.rfind('/'));
  }
  return id;
}

}  // namespace

std::uint32_t lastSystemError() { return static_cast<std::uint32_t>(errno); }
void clearLastSystemError() { errno = 0; }

std::uint32_t timeoutErrorCode() { return ETIMEDOUT; }

bool systemErrorText(std::uint32_t code, std::wstring& text) {
  char buf[256];
  const char* msg = strerror_r(static_cast<int>(code), buf, sizeof buf);
  text = msg ? widenUtf8(msg) : std::wstring();
  return !text.empty();
}

bool SerialDevice::fail() {
  lastError_ = static_cast<std::uint32_t>(errno);
  return false;
}

bool SerialDevice::exists(int n) {
  const std::string path = comPortPath(n);
  if (path.empty()) {
    errno = ENOENT;
    return fail();
  }
  if (!isCharDevice(path)) {
    if (errno == 0) errno = ENODEV;
    return fail();
  }
  return true;
}

bool SerialDevice::open(int n) { return openPath(comPortPath(n)); }

bool SerialDevice::open(const std::string& name) {
  const int n = deviceNumberOf(name);
  return openPath(n > 0 ? comPortPath(n) : std::string());
}

bool SerialDevice::openPath(const std::string& path) {
  close();
  if (path.empty()) {
    errno = ENOENT;
    return fail();
  }
  const int f = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (f < 0) return fail();
  if (!isatty(f)) {
    ::close(f);
    errno = ENOTTY;
    return fail();
  }
  // Not shared: a second open of the device by anyone but root fails.
  ioctl(f, TIOCEXCL);
  handle_ = f;
  timeouts_ = SerialTimeouts{};
  return true;
}

bool SerialDevice::setLine(const SerialLineSettings& line) {
  if (!isOpen()) return errno = EBADF, fail();
  termios t{};
  if (tcgetattr(fd(handle_), &t) != 0) return fail();
  const tcflag_t softwareFlow = t.c_iflag & (IXON | IXOFF | IXANY);
  const tcflag_t hardwareFlow = t.c_cflag & CRTSCTS;
  cfmakeraw(&t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  switch (line.dataBits) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return errno = EINVAL, fail();
  }
  switch (line.parity) {
    case Parity::None: break;
    case Parity::Odd: t.c_cflag |= PARENB | PARODD; break;
    case Parity::Even: t.c_cflag |= PARENB; break;
    case Parity::Mark: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case Parity::Space: t.c_cflag |= PARENB | CMSPAR; break;
  }
  if (line.stopBits != StopBits::One) t.c_cflag |= CSTOPB;
  t.c_cflag |= CLOCAL | CREAD;
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  if (line.keepFlowControl) {
    t.c_iflag |= softwareFlow;
    t.c_cflag |= hardwareFlow;
  }
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (tcsetattr(fd(handle_), TCSANOW, &t) != 0) return fail();
  if (!detail::setArbitraryBaud(fd(handle_), line.baudRate)) return fail();
  return true;
}

bool SerialDevice::modemStatus(std::uint32_t* status) {
  if (!isOpen()) return errno = EBADF, fail();
  int bits = 0;
  std::uint32_t s = 0;
  if (ioctl(fd(handle_), TIOCMGET, &bits) == 0) {
    // The comm API's MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON.
    if (bits & TIOCM_CTS) s |= 0x10;
    if (bits & TIOCM_DSR) s |= 0x20;
    if (bits & TIOCM_RNG) s |= 0x40;
    if (bits & TIOCM_CAR) s |= 0x80;
  } else if (errno != ENOTTY && errno != EINVAL) {
    return fail();
  }
  if (status) *status = s;
  return true;
}

bool SerialDevice::clearErrors(std::uint32_t* errors, std::uint32_t* waiting) {
  if (errors) *errors = 0;  // the tty layer reports framing and overrun errors in-band, if at all
  if (!waiting) return isOpen() ? true : (errno = EBADF, fail());
  return bytesWaiting(waiting);
}

bool SerialDevice::setTotalTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
  if (!isOpen()) return errno = EBADF, fail();
  timeouts_.readTotalConstantMs = readMs;
  timeouts_.writeTotalConstantMs = writeMs;
  return true;
}

bool SerialDevice::setTimeouts(const SerialTimeouts& timeouts) {
  if (!isOpen()) return errno = EBADF, fail();
  timeouts_ = timeouts;
  return true;
}

bool SerialDevice::setBufferSizes(std::uint32_t, std::uint32_t) {
  return isOpen() ? true : (errno = EBADF, fail());
}

bool SerialDevice::purge(bool receive, bool transmit) {
  if (!isOpen()) return errno = EBADF, fail();
  if (!receive && !transmit) return true;
  const int which = receive && transmit ? TCIOFLUSH : receive ? TCIFLUSH : TCOFLUSH;
  return tcflush(fd(handle_), which) == 0 ? true : fail();
}

bool SerialDevice::bytesWaiting(std::uint32_t* count) {
  if (!isOpen()) return errno = EBADF, fail();
  int n = 0;
  if (ioctl(fd(handle_), FIONREAD, &n) != 0) return fail();
  // A device that went away leaves nothing to read but a hang-up.
  if (n == 0) {
    pollfd p{fd(handle_), POLLIN, 0};
    if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return errno = EIO, fail();
  }
  if (count) *count = static_cast<std::uint32_t>(n < 0 ? 0 : n);
  return true;
}

bool SerialDevice::read(void* buffer, std::size_t size, std::size_t* got) {
  if (got) *got = 0;
  if (!isOpen()) return errno = EBADF, fail();
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t have = 0;
  std::int64_t deadline = nowMs() + totalWaitMs(timeouts_.readTotalMultiplierMs, timeouts_.readTotalConstantMs, size);
  while (have < size) {
    const ssize_t r = ::read(fd(handle_), out + have, size - have);
    if (r > 0) {
      have += static_cast<std::size_t>(r);
      if (got) *got = have;
      // The interval time-out: at most that long until the next byte.
      if (timeouts_.readIntervalMs != 0) deadline = std::min(deadline, nowMs() + timeouts_.readIntervalMs);
      continue;
    }
    // A raw line with VMIN 0 answers 0 for "nothing yet"; a hang-up shows in poll.
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN) return fail();
    const std::int64_t left = deadline - nowMs();
    if (left <= 0) break;
    pollfd p{fd(handle_), POLLIN, 0};
    const int pr = poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left, 1000)));
    if (pr < 0 && errno != EINTR) return fail();
    if (pr > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
      int n = 0;
      if (ioctl(fd(handle_), FIONREAD, &n) != 0 || n <= 0) return errno = EIO, fail();  // the other side is gone
    }
  }
  return true;
}

bool SerialDevice::write(const void* data, std::size_t size, std::size_t* written) {
  if (written) *written = 0;
  if (!isOpen()) return errno = EBADF, fail();
  const auto* in = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  const std::int64_t deadline =
      nowMs() + totalWaitMs(timeouts_.writeTotalMultiplierMs, timeouts_.writeTotalConstantMs, size);
  while (done < size) {
    const ssize_t r = ::write(fd(handle_), in + done, size - done);
    if (r > 0) {
      done += static_cast<std::size_t>(r);
      if (written) *written = done;
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN) return fail();
    const std::int64_t left = deadline - nowMs();
    if (left <= 0) break;
    pollfd p{fd(handle_), POLLOUT, 0};
    const int pr = poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left, 1000)));
    if (pr < 0 && errno != EINTR) return fail();
    if (pr > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return errno = EIO, fail();
  }
  return true;
}

bool SerialDevice::close() {
  if (!isOpen()) return true;
  const int f = fd(handle_);
  handle_ = kInvalid;
  return ::close(f) == 0 ? true : fail();
}

bool dosDeviceNames(std::vector<std::string>& names, std::uint32_t* error) {
  names.clear();
  if (const char* dir = mappingFolder()) {
    struct stat st {};
    if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) {
      if (error) *error = static_cast<std::uint32_t>(errno ? errno : ENOTDIR);
      return false;
    }
  }
  for (const MappedPort& p : mappedPorts()) names.push_back("COM" + std::to_string(p.number));
  if (error) *error = 0;
  return true;
}

std::vector<SerialDeviceIdentity> presentSerialDevices() {
  std::vector<SerialDeviceIdentity> out;
  for (const MappedPort& p : mappedPorts()) {
    if (out.size() >= 6000) break;
    if (isCharDevice(p.path)) out.push_back(identityOf(p.number, p.path));
  }
  return out;
}

bool dosDeviceExists(const std::string& name) {
  if (name.find('\0') != std::string::npos) return false;
  const int n = deviceNumberOf(name);
  return n > 0 && !comPortPath(n).empty();
}

std::string comPortPath(int n) {
  if (n <= 0) return {};
  for (const MappedPort& p : mappedPorts())
    if (p.number == n) return p.path;
  return {};
}

}  // namespace kinevra::platform
