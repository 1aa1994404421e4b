#include "sources/game_reader.h"

#include "platform/process.h"
#include "sources/telemetry_frame.h"

namespace kinevra {

GameReader::GameReader(int gameId, Clock& clock, GravityDirection gravity, bool negateLongitudinal)
    : meter(clock), gameId_(gameId), gravity_(gravity), negateLongitudinal_(negateLongitudinal) {}

void GameReader::stepMeter(double* gameData) {
  // Host threads read the interval through getGameTimeFrame.
  storeShared(gameData[gd::kIntervalMs], meter.step());
}

int GameReader::finishUpdate(double* gameData) {
  splitGravity(gameData, gravity_, negateLongitudinal_);
  return 1;
}

bool GameReader::gameProcessRunning() const {
  for (std::string_view exe : info().executables) {
    if (exe.empty()) break;
    if (platform::isProcessRunning(exe)) return true;
  }
  return false;
}

}  // namespace kinevra
