#pragma once
// A block the game creates and the library only opens.
#include <cstddef>
#include <string_view>

#include "sources/game_reader.h"
#include "sources/shared_memory/blocks.h"

namespace kinevra {

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

}  // namespace kinevra
