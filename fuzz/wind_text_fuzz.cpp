// The texts of initWindSerial, as a host may pass them: any UTF-16 units
// become UTF-8, and a frame format is accepted exactly when it is three
// characters of data bits, N/E/O parity and 1/2 stop bits. The device-name
// check takes any text without reading past it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/utf8.h"
#include "platform/serial_port.h"
#include "wind/wind_serial.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string units;
  for (std::size_t i = 0; i + 2 <= size; i += 2) units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  const std::string text = kinevra::utf16ToUtf8(units);

  kinevra::platform::SerialLineSettings line;
  const bool ok = kinevra::frameFormatLine(text, line);
  const bool expected = text.size() == 3 && std::string("NnEeOo").find(text[1]) != std::string::npos &&
                        (text[2] == '1' || text[2] == '2');
  if (ok != expected) std::abort();
  if (ok && line.dataBits != static_cast<std::uint8_t>(text[0] - '0')) std::abort();

  // Names are looked up, never opened; most are no device.
  if (text.size() < 64) (void)kinevra::platform::dosDeviceExists(text);
  return 0;
}
