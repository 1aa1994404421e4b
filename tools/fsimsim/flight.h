#pragma once
// fsimsim's scripted flight: a 120 s loop of taxi, take-off roll, climb, a
// turn, the approach and the landing with its roll-out, in light turbulence
// while airborne, given as the
// simulation variables a client asks for by name (the simulator's units:
// metres, seconds, radians; the pitch is negative with the nose up). Tests
// compare what a reader made of the data with these values.
#include <cmath>
#include <string>

namespace fsimsim {

inline constexpr double kLoopSeconds = 120.0;

struct FlightState {
  double accel[3];     // ACCELERATION BODY X, Y, Z
  double rotAccel[3];  // ROTATION ACCELERATION BODY X, Y, Z
  double velocity[3];  // VELOCITY BODY X, Y, Z
  double rotVel[3];    // ROTATION VELOCITY BODY X, Y, Z
  double heading, bank, pitch;
  bool onGround;
};

inline FlightState flightAt(double t) {
  t = std::fmod(t < 0 ? 0 : t, kLoopSeconds);
  FlightState s{};
  if (t < 20) {  // taxi, a gentle weave
    s.velocity[2] = 5.0;
    s.rotVel[1] = 0.05 * std::sin(t * 0.5);
    s.heading = 0.1 * std::sin(t * 0.5);
    s.onGround = true;
  } else if (t < 35) {  // take-off roll
    s.accel[2] = 3.0;
    s.velocity[2] = 5.0 + 3.0 * (t - 20);
    s.onGround = true;
  } else if (t < 60) {  // climb
    s.accel[1] = t < 37 ? 1.5 : 0.0;
    s.velocity[2] = 50.0;
    s.velocity[1] = 5.0;
    s.pitch = -0.15;
    s.rotVel[0] = t < 37 ? -0.075 : 0.0;
    s.onGround = false;
  } else if (t < 90) {  // a turn to the right
    s.velocity[2] = 55.0;
    s.bank = 0.44;
    s.rotVel[1] = 0.05;
    s.accel[0] = 0.5;
    s.heading = 0.05 * (t - 60);
    s.onGround = false;
  } else if (t < 115) {  // approach
    s.velocity[2] = 45.0;
    s.velocity[1] = -3.0;
    s.pitch = -0.05;
    s.heading = 1.5;
    s.onGround = false;
  } else {  // touch-down and roll-out
    s.accel[1] = t < 115.5 ? 8.0 : 0.0;
    s.accel[2] = -4.0;
    s.velocity[2] = 45.0 - 8.0 * (t - 115);
    s.heading = 1.5;
    s.onGround = true;
  }
  if (!s.onGround) {
    // Light turbulence aloft, as a real flight never holds still (an engine
    // fed unchanging telemetry for half a second fades the rig out).
    s.accel[1] += 0.4 * std::sin(2 * 3.14159265358979 * 0.7 * t) * std::sin(2 * 3.14159265358979 * 0.11 * t);
    s.rotVel[2] += 0.01 * std::sin(2 * 3.14159265358979 * 0.9 * t);
  }
  return s;
}

// The value of a variable by its name; false when the script has none.
inline bool flightValue(const FlightState& s, const std::string& name, double* value) {
  static const char* const kVectors[4][3] = {
      {"ACCELERATION BODY X", "ACCELERATION BODY Y", "ACCELERATION BODY Z"},
      {"ROTATION ACCELERATION BODY X", "ROTATION ACCELERATION BODY Y", "ROTATION ACCELERATION BODY Z"},
      {"VELOCITY BODY X", "VELOCITY BODY Y", "VELOCITY BODY Z"},
      {"ROTATION VELOCITY BODY X", "ROTATION VELOCITY BODY Y", "ROTATION VELOCITY BODY Z"}};
  const double* vectors[4] = {s.accel, s.rotAccel, s.velocity, s.rotVel};
  for (int v = 0; v < 4; ++v) {
    for (int i = 0; i < 3; ++i) {
      if (name == kVectors[v][i]) {
        *value = vectors[v][i];
        return true;
      }
    }
  }
  if (name == "PLANE HEADING DEGREES TRUE") *value = s.heading;
  else if (name == "PLANE BANK DEGREES") *value = s.bank;
  else if (name == "PLANE PITCH DEGREES") *value = s.pitch;
  else if (name == "GEAR IS ON GROUND" || name == "SIM ON GROUND") *value = s.onGround ? 1.0 : 0.0;
  else return false;
  return true;
}

}  // namespace fsimsim
