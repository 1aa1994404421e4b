#include "engine/channel_names.h"

#include <cstring>

namespace kinevra {

const char kChannelNameText[] =
    "lateral_speed\0lateral_accel\0lateral_accel_g\0lateral_gravi\0"
    "longitu_speed\0longitu_accel\0longitu_accel_g\0longitu_gravi\0"
    "vertica_speed\0vertica_accel\0vertica_accel_g\0vertica_gravi\0"
    "yaw_position\0yaw_speed\0yaw_accel\0"
    "roll_position\0roll_speed\0roll_accel\0"
    "pitch_position\0pitch_speed\0pitch_accel\0"
    "fr_lft_susp_pos\0fr_rgt_susp_pos\0re_lft_susp_pos\0re_rgt_susp_pos\0"
    "engine_torque\0rpm\0speed\0stall\0flaps\0ldg_gear_turb\0ldg_gear\0spd_brakes\0"
    "simtools_axis1a\0simtools_axis2a\0simtools_axis3a\0simtools_axis4a\0"
    "simtools_axis1b\0simtools_axis2b\0simtools_axis3b\0simtools_axis4b\0"
    "\0";  // entries 41 and 42 (the literal's own NUL ends the second)

const char* channelName(int entry) {
  if (entry < 0 || entry > 42) return nullptr;
  const char* p = kChannelNameText;
  for (int i = 0; i < entry; ++i) p += std::strlen(p) + 1;
  return p;
}

}  // namespace kinevra
