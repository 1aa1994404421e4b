#pragma once
// Readers of games that publish their telemetry in named shared memory. Each
// maps its block read-only from attach to detach, never reads past the view
// it actually got (a block may be smaller than its format says), and releases
// everything a failed detection test or attach opened.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "common/byte_view.h"
#include "platform/named_event.h"
#include "platform/shared_memory.h"
#include "sources/game_reader.h"
#include "sources/irsdk_format.h"

namespace kinevra {

// Names and sizes of the blocks.
namespace blocks {
// Asks for a view of all of a block, whatever its size.
inline constexpr std::size_t kWholeBlock = SIZE_MAX;
inline constexpr std::string_view kAcpmfPhysics = "Local\\acpmf_physics";
inline constexpr std::size_t kAcpmfPhysicsSize = 712;
inline constexpr std::string_view kAcpmfGraphics = "Local\\acpmf_graphics";
inline constexpr std::size_t kAcpmfGraphicsSize = 1320;
inline constexpr std::size_t kAcpmfStatusOffset = 4;
inline constexpr std::int32_t kAcpmfLive = 2;
inline constexpr std::string_view kR3e = "$R3E";
inline constexpr std::size_t kR3eSize = 39320;  // versions 2.x; 3.5 has 43996 (mapped whole)
inline constexpr std::string_view kPcars2 = "$pcars2$";
inline constexpr std::size_t kPcars2Size = 20700;  // Automobilista 2; Project CARS 2 has 20576 (mapped whole)
inline constexpr std::string_view kIrsdk = "Local\\IRSDKMemMapFileName";
inline constexpr std::string_view kIrsdkEvent = "Local\\IRSDKDataValidEvent";
inline constexpr std::string_view kRf2 = "Local\\Kinevra_rf2_data";
inline constexpr std::size_t kRf2Size = 1888;
inline constexpr std::int32_t kRf2NotReady = 1234567890;
inline constexpr std::string_view kScs = "SCSTelemetryExample";
inline constexpr std::size_t kScsSize = 177;
}  // namespace blocks

// The view a block holds, bounded by what was really mapped.
inline ByteView viewOf(const platform::SharedMemory& m) { return ByteView(m.view(), m.viewSize()); }

// acpmf pages: the physics page (GameIds 3 and 16) and, for GameId 3, the
// graphics page whose status says whether a session is live. The library
// creates the pages when the game has not (as the game does), so these are
// opened with create-or-open.
class AcpmfReader : public GameReader {
 public:
  AcpmfReader(int gameId, Clock& clock, bool withGraphics);

  bool probe() override;
  int attach() override;
  int update(double* gameData) override;
  void detach() override;

  // The last packet counter seen.
  std::int32_t lastPacket = 0;
  const platform::SharedMemory& physics() const { return physics_; }
  const platform::SharedMemory& graphics() const { return graphics_; }

 protected:
  // Converts the physics page when it holds a new packet (its counter
  // changed); true when it did. A page too short for the fields, or whose
  // values are not all numbers, converts to nothing.
  virtual bool convert(ByteView physics, double* gameData);

 private:
  bool withGraphics_;
  platform::SharedMemory physics_;
  platform::SharedMemory graphics_;
};

// Is the graphics page's status "live"? False for a view too short to hold it.
bool acpmfSessionLive(ByteView graphics);

// A block the game creates and the library only opens ("$R3E", "$pcars2$"),
// with the reader's mapped, ready and failed states. Only the view is kept,
// not a handle: on Windows a held handle would keep the block's name alive
// after the game has gone, and the check that the block still exists could
// never see it go.
class MappedBlockReader : public GameReader {
 public:
  // size: the most that is mapped (blocks::kWholeBlock for all of it).
  MappedBlockReader(int gameId, Clock& clock, std::string_view name, std::size_t size);

  bool probe() override;
  int attach() override;
  int update(double* gameData) override;
  void detach() override;

  int mapped = 0;
  int ready = 0;
  int failed = 0;
  const platform::SharedMemory& block() const { return block_; }

 protected:
  // Converts the block when the game is live; true when it did. Without the
  // block's format nothing is converted.
  virtual bool convert(ByteView block, double* gameData);
  // Does the block still exist (the game has not closed it)? Allocates nothing.
  bool blockStillExists() const { return preparedName_.exists(); }

 private:
  void release();

  std::string_view name_;
  platform::SharedMemoryName preparedName_;
  std::size_t size_;
  platform::SharedMemory block_;
};

// RaceRoom's "$R3E", read by its version: the fields move as the block grows.
class R3eReader final : public MappedBlockReader {
 public:
  explicit R3eReader(Clock& clock);

 protected:
  // The game's pause, menu and replay flags, the block's existence, then one
  // copy of the player's fields.
  bool convert(ByteView block, double* gameData) override;

 private:
  // The last unsupported version reported, so that it is reported once.
  std::int32_t reportedMajor_ = INT_MIN, reportedMinor_ = INT_MIN;
};

// Project CARS 2 and Automobilista 2: "$pcars2$", whose size differs between the two.
class Pcars2Reader final : public MappedBlockReader {
 public:
  explicit Pcars2Reader(Clock& clock);

 protected:
  // The game's state (playing), the block's existence, then one copy of the fields.
  bool convert(ByteView block, double* gameData) override;
};

// The iRacing SDK: a block of any size described by its own header, and a
// data-valid event that is held open while attached.
class IrsdkReader : public GameReader {
 public:
  explicit IrsdkReader(Clock& clock);

  bool probe() override;
  void releaseAfterFailedProbe() override { release(); }
  int attach() override;
  // 1 on every call while attached, new line or not.
  int update(double* gameData) override;
  void detach() override { release(); }

  // Opens what is not yet held: the block, a view of all of it, the event.
  bool startUp();
  // Releases the event, view and block and forgets every state.
  void release();

  std::int32_t lastTick = INT_MAX;
  bool valid = false;
  bool mapped = false;
  bool attached = false;
  // When a line was last copied (seconds since the epoch).
  std::int64_t lastUpdateTime = 0;
  const platform::SharedMemory& block() const { return block_; }
  const platform::NamedEvent& event() const { return event_; }
  const IrsdkLine& line() const { return *line_; }

 protected:
  // Copies the newest data line when it is newer than the last and converts
  // it; true when values were written.
  virtual bool convert(ByteView block, double* gameData);

 private:
  platform::SharedMemory block_;
  platform::NamedEvent event_;
  std::unique_ptr<IrsdkLine> line_;
};

// The block the rFactor 2 plug-in publishes.
class Rf2Reader : public GameReader {
 public:
  explicit Rf2Reader(Clock& clock);

  bool probe() override;
  void releaseAfterFailedProbe() override { release(); }
  int attach() override { return mapStep(); }
  int update(double* gameData) override;
  void detach() override { release(); }

  // Maps the block when the game runs and the plug-in has made it ready.
  int mapStep();
  void release();

  int ready = 0;
  int mapped = 0;
  int failed = 0;
  double lastSimulationTime = 0.0;
  const platform::SharedMemory& block() const { return block_; }

 protected:
  // Converts the block when its simulation time has moved on and the
  // plug-in has not marked it not ready.
  virtual bool convert(ByteView block, double* gameData);

 private:
  platform::SharedMemory block_;
};

// The truck simulators' telemetry plug-in block. The plug-in refuses to
// start when its block exists already, so the library only ever opens it;
// like "$R3E" it keeps only the view and looks each cycle whether the block
// still exists, since nothing in the block says that the game has gone.
class ScsReader : public GameReader {
 public:
  explicit ScsReader(Clock& clock);

  bool probe() override;
  int attach() override;
  int update(double* gameData) override;
  void detach() override { block_.close(); }

  const platform::SharedMemory& block() const { return block_; }

 protected:
  // Converts the block while its first byte says the game sends.
  virtual bool convert(ByteView block, double* gameData);

 private:
  platform::SharedMemoryName preparedName_;
  platform::SharedMemory block_;
};

}  // namespace kinevra
