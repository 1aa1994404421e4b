#pragma once
// The iRacing SDK block and its data-valid event.
#include <climits>
#include <cstdint>
#include <memory>

#include "platform/named_event.h"
#include "sources/game_reader.h"
#include "sources/irsdk_format.h"
#include "sources/shared_memory/blocks.h"

namespace kinevra {

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

}  // namespace kinevra
