#pragma once
// The fan controller on a serial port of its own. The class is part of the
// library's public interface (include/kinevra_wind.h, exported); this header
// adds what only the library uses.
#include <cstdint>

#include "kinevra_wind.h"
#include "platform/serial_port.h"

namespace kinevra {

// The fan byte for a wind value in percent: clamped to [0, 100] in single
// precision (NaN gives 0), scaled to 0..255 and truncated toward zero:
// -5 gives 0, 50 gives 127, 100.5 gives 255.
std::uint8_t windPowerByte(double percent);

// A frame format of exactly three characters into line: data bits (the first
// character - '0'), parity 'N', 'E' or 'O' in either case, stop bits '1' or
// '2'. False, line partly set, for any other text.
bool frameFormatLine(const std::string& format, platform::SerialLineSettings& line);

}  // namespace kinevra
