#pragma once
// The engine's telemetry sources: the game flags, the per-game readers and the
// telemetry frame they fill.
#include <array>
#include <atomic>
#include <cstdint>

#include "sources/game_table.h"
#include "sources/telemetry_frame.h"
#include "sources/telemetry_link.h"

namespace kinevra {

class TelemetrySources final : public TelemetryLink {
 public:
  TelemetrySources();
  ~TelemetrySources() override;

  int detectGame() override;
  int attachGame() override;
  int readGameData() override;
  int detachGame() override;
  void clearGameFlags() override;
  int gameId() const override;
  int groundState() const override;

  // One-byte flags indexed by game id; set by detection, cleared by detach.
  // Host threads read them through getGameID and getGameName.
  std::array<std::atomic<std::uint8_t>, kGameCount> gameFlags{};

  TelemetryFrame frame;
};

}  // namespace kinevra
