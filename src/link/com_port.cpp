#include "link/com_port.h"

#include <string>

namespace kinevra {

bool CSerialException::getErrorMessage(wchar_t* buffer, unsigned capacity, unsigned* helpContext) const {
  if (helpContext) *helpContext = 0;
  if (!buffer || capacity == 0) return false;
  std::wstring text;
  if (!platform::systemErrorText(error, text)) {
    buffer[0] = L'\0';
    return false;
  }
  const std::size_t n = text.size() < capacity - 1u ? text.size() : capacity - 1u;
  text.copy(buffer, n);
  buffer[n] = L'\0';
  return true;
}

void CSerialPort::raise() { throw CSerialException(device_.lastError()); }

void CSerialPort::checkExists(int n) {
  std::lock_guard<std::mutex> g(lock_);
  if (!device_.exists(n)) raise();
}

void CSerialPort::open(int n) {
  std::lock_guard<std::mutex> g(lock_);
  if (!device_.open(n)) raise();
}

void CSerialPort::setLine(const platform::SerialLineSettings& line) {
  std::lock_guard<std::mutex> g(lock_);
  if (!device_.setLine(line)) {
    const std::uint32_t code = device_.lastError();
    device_.close();
    throw CSerialException(code);
  }
}

std::uint32_t CSerialPort::modemStatus() {
  std::lock_guard<std::mutex> g(lock_);
  std::uint32_t s = 0;
  if (!device_.modemStatus(&s)) raise();
  return s;
}

std::uint32_t CSerialPort::clearErrors(bool fetchStatus) {
  std::lock_guard<std::mutex> g(lock_);
  std::uint32_t errors = 0, waiting = 0;
  if (!device_.clearErrors(&errors, fetchStatus ? &waiting : nullptr)) raise();
  return waiting;
}

void CSerialPort::setTotalTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
  std::lock_guard<std::mutex> g(lock_);
  if (!device_.setTotalTimeouts(readMs, writeMs)) raise();
}

void CSerialPort::setBufferSizes(std::uint32_t in, std::uint32_t out) {
  std::lock_guard<std::mutex> g(lock_);
  if (!device_.setBufferSizes(in, out)) raise();
}

void CSerialPort::purgeReceive() {
  std::lock_guard<std::mutex> g(lock_);
  if (!device_.purge(true, false)) raise();
}

std::size_t CSerialPort::read(void* buffer, std::size_t size) {
  std::lock_guard<std::mutex> g(lock_);
  std::size_t got = 0;
  if (!device_.read(buffer, size, &got)) raise();
  return got;
}

std::size_t CSerialPort::write(const void* data, std::size_t size) {
  std::lock_guard<std::mutex> g(lock_);
  std::size_t n = 0;
  if (!device_.write(data, size, &n)) raise();
  // The write time-out expired with bytes left: the device stopped taking
  // data (a controller that no longer reads). Taken as done, the rest of the
  // frame would be lost without a word and every later write would wait out
  // the time-out again, the port never closed; it is a failure of the port.
  if (n < size) throw CSerialException(platform::timeoutErrorCode());
  return n;
}

std::uint32_t CSerialPort::bytesWaiting() {
  std::lock_guard<std::mutex> g(lock_);
  std::uint32_t n = 0;
  if (!device_.bytesWaiting(&n)) raise();
  return n;
}

void CSerialPort::close() {
  std::lock_guard<std::mutex> g(lock_);
  device_.close();
}

bool CSerialPort::isOpen() const {
  std::lock_guard<std::mutex> g(lock_);
  return device_.isOpen();
}

CSerialPort2& serialPort() {
  // Destroyed when the library is unloaded (or the process ends): its
  // destructor closes the handle.
  static CSerialPort2 port;
  return port;
}

}  // namespace kinevra
