#include "sources/network/dcs.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "sources/gravity.h"
#include "sources/game_values.h"

namespace kinevra {

namespace dcs {

namespace {

bool inTokenRange(char c) { return c >= ' ' && c <= ';'; }

// A decimal number at the start of [begin, end), as the C library's
// conversion would read it (leading blanks and a sign allowed, anything
// after the number ignored), independent of the process's locale. False
// when there is none or it is not a finite double.
bool parseNumber(const char* begin, const char* end, double* out) {
  while (begin < end && (*begin == ' ' || *begin == '\t')) ++begin;
  if (begin < end && *begin == '+') ++begin;
  double v = 0.0;
  const auto r = std::from_chars(begin, end, v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr == begin || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

}  // namespace

int readNumbers(const std::uint8_t* datagram, std::size_t length, double (&out)[kNumbers]) {
  char text[kTextBuffer];
  std::size_t n = 0;
  while (n < length && n < kTextBuffer - 1 && datagram[n] != 0) {
    text[n] = static_cast<char>(datagram[n]);
    ++n;
  }
  text[n] = '\0';

  for (double& x : out) x = 0.0;
  const char* p = text;
  const char* const end = text + n;
  int taken = 0;
  for (int i = 0; i < kNumbers; ++i) {
    const char* stop = static_cast<const char*>(std::memchr(p, ' ', static_cast<std::size_t>(end - p)));
    if (!stop) {
      stop = p;
      while (stop < end && inTokenRange(*stop)) ++stop;
      if (stop == end) break;  // no token: this and every later number read 0
    }
    if (static_cast<std::size_t>(stop - p) < kShortestToken) break;  // not taken, nor anything after it
    if (!parseNumber(p, stop, &out[i])) break;  // not a number: it and the rest read 0
    ++taken;
    p = stop + 1;
  }
  return taken;
}

}  // namespace dcs

DcsReader::DcsReader(Clock& clock) : UdpReader(1, clock, udpReaderSetup(1)) {}

bool DcsReader::convert(const std::uint8_t* datagram, std::size_t length, double* gameData) {
  double n[dcs::kNumbers];
  dcs::readNumbers(datagram, length, n);
  GameValues v;
  v.set(gd::kLongitudinalAccelG, n[0] * kStandardGravity);
  v.set(gd::kLateralAccelG, n[1] * kStandardGravity);
  v.set(gd::kVerticalAccelG, n[2] * kStandardGravity);
  v.set(gd::kLateralSpeed, n[3]);
  v.set(gd::kLongitudinalSpeed, n[4]);
  v.set(gd::kVerticalSpeed, n[5]);
  v.set(gd::kYawSpeed, degrees(n[6]));
  v.set(gd::kRollSpeed, degrees(n[7]));
  v.set(gd::kPitchSpeed, degrees(n[8]));
  v.set(gd::kYawPosition, degrees(n[9]));
  v.set(gd::kRollPosition, degrees(n[10]));
  v.set(gd::kPitchPosition, degrees(n[11]));
  v.set(26, n[13]);  // fr_lft_susp_pos
  v.set(28, n[15]);  // re_lft_susp_pos
  // The game's clock, seconds: its step in milliseconds.
  v.set(gd::kGameTimeStep, (n[24] - gameData[gd::kGameTime]) * 1000.0);
  v.set(gd::kGameTime, n[24]);
  return v.writeIfFinite(gameData);
}

}  // namespace kinevra
