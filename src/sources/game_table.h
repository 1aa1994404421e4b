#pragma once
// The supported games: id, display name, executables, and how each is found.
#include <array>
#include <cstdint>
#include <string_view>

namespace kinevra {

inline constexpr int kGameCount = 18;

enum class Transport : std::uint8_t { Udp, UdpText, FlightSimClient, SharedMemory, Tcp };

struct GameInfo {
  int id;
  std::string_view displayName;
  // Executable names looked for, in the order tried; empty entries end the list.
  std::array<std::string_view, 4> executables;
  Transport transport;
  std::uint16_t udpPort;  // 0 where the game has none
};

// The games by id.
const GameInfo& gameInfo(int id);

// Detection, reading, detach and the game-id getters visit the games in this order.
inline constexpr std::array<int, kGameCount> kPriorityOrder = {0, 1, 2, 15, 3, 16, 4, 5, 6,
                                                                7, 8, 9, 10, 11, 12, 13, 14, 17};

// Display name of a game, null for an id that names none.
const char* gameDisplayName(int id);

}  // namespace kinevra
