#pragma once
// Where each cue channel takes its input: the four fixed tables of the cue
// computation. A rule's input is GameData value 4 + k, that is item k of the
// 43 values handed to hosts by getGameData.
#include <array>

#include "sources/telemetry_frame.h"

namespace kinevra {

struct ChannelRule {
  int output;  // cue channel 0..22
  int k;       // input: GameData value kFirstRuleInput + k
  bool clamp;  // limit the input to the channel's inputDofLimits first
};

inline constexpr int kFirstRuleInput = 4;
// Inputs a rule may name: the 43 handed-out values 4..46.
inline constexpr int kRuleInputCount = kGameDataCount - kFirstRuleInput;

// Evaluated in both profiles, weighted by the profile weights.
inline constexpr std::array<ChannelRule, 10> kMainTable{{
    {0, 3, true},     // lateral_accel_g
    {1, 7, true},     // longitu_accel_g
    {2, 11, true},    // vertica_accel_g
    {3, 14, true},    // yaw_speed
    {4, 17, true},    // roll_speed
    {5, 20, true},    // pitch_speed
    {6, 3, true},     // lateral_accel_g, turned into roll
    {7, 7, true},     // longitu_accel_g, turned into pitch
    {8, 16, false},   // roll_position
    {9, 19, false},   // pitch_position
}};

// Air profile only, full weight, in this order: the four components first,
// then the belt channel itself, whose input is their weighted sum (value 46).
inline constexpr std::array<ChannelRule, 5> kBeltTable{{
    {11, 7, false},   // longitu_accel_g
    {12, 11, false},  // vertica_accel_g
    {13, 17, false},  // roll_speed
    {14, 20, false},  // pitch_speed
    {10, 42, false},  // the belt sum
}};

// Air profile only, full weight. Their input (GameData value 4) is never
// written by a reader: these channels carry what their chains generate.
inline constexpr std::array<ChannelRule, 6> kEffectTable{{
    {15, 0, false}, {16, 0, false}, {17, 0, false}, {18, 0, false}, {19, 0, false}, {20, 0, false},
}};

// Air profile only, full weight: the fan follows the speed.
inline constexpr ChannelRule kWindRule{21, 28, false};

// Output channel of the belt and the GameData value that carries its sum.
inline constexpr int kBeltChannel = 10;
inline constexpr int kBeltSumValue = 46;

}  // namespace kinevra
