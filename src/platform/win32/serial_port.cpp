#include "platform/serial_port.h"

#include <windows.h>
#include <setupapi.h>

#include <cwchar>

#include "common/utf8.h"

namespace kinevra::platform {

namespace {

HANDLE h(std::intptr_t v) { return reinterpret_cast<HANDLE>(v); }

// GUID_DEVINTERFACE_COMPORT
const GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

std::string registryText(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property) {
  BYTE buf[1024 + 2] = {};
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyA(set, data, property, &type, buf, 1024, nullptr)) return {};
  // REG_MULTI_SZ: the texts joined by NULs, as they stand (searched as one block).
  std::size_t n = 0;
  while (n < 1024 && !(buf[n] == 0 && buf[n + 1] == 0)) ++n;
  return std::string(reinterpret_cast<const char*>(buf), n);
}

}  // namespace

std::uint32_t lastSystemError() { return GetLastError(); }
void clearLastSystemError() { SetLastError(0); }

std::uint32_t timeoutErrorCode() { return ERROR_TIMEOUT; }

bool systemErrorText(std::uint32_t code, std::wstring& text) {
  wchar_t* buf = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT),
                                 reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  if (n == 0 || !buf) {
    if (buf) LocalFree(buf);
    text.clear();
    return false;
  }
  text.assign(buf, n);
  LocalFree(buf);
  return true;
}

bool SerialDevice::fail() {
  lastError_ = GetLastError();
  return false;
}

bool SerialDevice::exists(int n) {
  const std::wstring name = L"COM" + std::to_wstring(n);
  COMMCONFIG cc{};
  DWORD size = 52;  // the size of COMMCONFIG the drivers expect
  if (!GetDefaultCommConfigW(name.c_str(), &cc, &size)) return fail();
  return true;
}

bool SerialDevice::open(int n) { return openPath(comPortPath(n)); }

bool SerialDevice::open(const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos) {
    close();
    SetLastError(ERROR_FILE_NOT_FOUND);
    return fail();
  }
  return openPath("\\\\.\\" + name);
}

bool SerialDevice::openPath(const std::string& path) {
  close();
  const std::wstring wide = widenUtf8(path);
  HANDLE f = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return fail();
  handle_ = reinterpret_cast<std::intptr_t>(f);
  return true;
}

bool SerialDevice::setLine(const SerialLineSettings& line) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h(handle_), &dcb)) return fail();
  dcb.BaudRate = line.baudRate;
  dcb.ByteSize = line.dataBits;
  dcb.Parity = static_cast<BYTE>(line.parity);
  dcb.StopBits = static_cast<BYTE>(line.stopBits);
  if (!line.keepFlowControl) {
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
  }
  if (!SetCommState(h(handle_), &dcb)) return fail();
  return true;
}

bool SerialDevice::modemStatus(std::uint32_t* status) {
  DWORD s = 0;
  if (!GetCommModemStatus(h(handle_), &s)) return fail();
  if (status) *status = s;
  return true;
}

bool SerialDevice::clearErrors(std::uint32_t* errors, std::uint32_t* waiting) {
  DWORD e = 0;
  COMSTAT st{};
  if (!ClearCommError(h(handle_), &e, waiting ? &st : nullptr)) return fail();
  if (errors) *errors = e;
  if (waiting) *waiting = st.cbInQue;
  return true;
}

bool SerialDevice::setTotalTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
  COMMTIMEOUTS t{};
  if (!GetCommTimeouts(h(handle_), &t)) return fail();
  t.ReadTotalTimeoutConstant = readMs;
  t.WriteTotalTimeoutConstant = writeMs;
  if (!SetCommTimeouts(h(handle_), &t)) return fail();
  timeouts_.readTotalConstantMs = readMs;
  timeouts_.writeTotalConstantMs = writeMs;
  return true;
}

bool SerialDevice::setTimeouts(const SerialTimeouts& timeouts) {
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = timeouts.readIntervalMs;
  t.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplierMs;
  t.ReadTotalTimeoutConstant = timeouts.readTotalConstantMs;
  t.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplierMs;
  t.WriteTotalTimeoutConstant = timeouts.writeTotalConstantMs;
  if (!SetCommTimeouts(h(handle_), &t)) return fail();
  timeouts_ = timeouts;
  return true;
}

bool SerialDevice::setBufferSizes(std::uint32_t in, std::uint32_t out) {
  return SetupComm(h(handle_), in, out) ? true : fail();
}

bool SerialDevice::purge(bool receive, bool transmit) {
  DWORD flags = (receive ? PURGE_RXCLEAR : 0) | (transmit ? PURGE_TXCLEAR : 0);
  if (!flags) return true;
  return PurgeComm(h(handle_), flags) ? true : fail();
}

bool SerialDevice::read(void* buffer, std::size_t size, std::size_t* got) {
  DWORD n = 0;
  const DWORD want = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(size);
  const BOOL ok = ReadFile(h(handle_), buffer, want, &n, nullptr);
  if (got) *got = n;
  return ok ? true : fail();
}

bool SerialDevice::write(const void* data, std::size_t size, std::size_t* written) {
  DWORD n = 0;
  const DWORD want = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(size);
  const BOOL ok = WriteFile(h(handle_), data, want, &n, nullptr);
  if (written) *written = n;
  return ok ? true : fail();
}

bool SerialDevice::bytesWaiting(std::uint32_t* count) { return clearErrors(nullptr, count); }

bool SerialDevice::close() {
  if (!isOpen()) return true;
  HANDLE f = h(handle_);
  handle_ = kInvalid;
  return CloseHandle(f) ? true : fail();
}

bool dosDeviceNames(std::vector<std::string>& names, std::uint32_t* error) {
  names.clear();
  std::wstring buf(4096, L'\0');
  for (;;) {
    const DWORD n = QueryDosDeviceW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n != 0) {
      buf.resize(n);
      break;
    }
    const DWORD e = GetLastError();
    if (e != ERROR_INSUFFICIENT_BUFFER || buf.size() >= (1u << 24)) {
      if (error) *error = e;
      return false;
    }
    buf.assign(buf.size() * 2, L'\0');
  }
  for (std::size_t i = 0; i < buf.size();) {
    const std::size_t end = buf.find(L'\0', i);
    const std::size_t stop = end == std::wstring::npos ? buf.size() : end;
    if (stop > i) names.push_back(narrowToUtf8(std::wstring_view(buf).substr(i, stop - i)));
    i = stop + 1;
  }
  if (error) *error = 0;
  return true;
}

std::vector<SerialDeviceIdentity> presentSerialDevices() {
  std::vector<SerialDeviceIdentity> out;
  HDEVINFO set = SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return out;
  for (DWORD i = 0; i < 6000; ++i) {
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInfo(set, i, &data)) {
      if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
      continue;
    }
    out.push_back({registryText(set, &data, SPDRP_FRIENDLYNAME), registryText(set, &data, SPDRP_HARDWAREID)});
  }
  SetupDiDestroyDeviceInfoList(set);
  return out;
}

bool dosDeviceExists(const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos) return false;
  const std::wstring wide = widenUtf8(name);
  wchar_t target[256];
  return QueryDosDeviceW(wide.c_str(), target, 256) != 0;
}

std::string comPortPath(int n) { return "\\\\.\\COM" + std::to_string(n); }

}  // namespace kinevra::platform
