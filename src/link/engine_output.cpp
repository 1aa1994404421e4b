// Provisional hand-over of the engine's message: queued like a host message
// until the send queues have their pending engine slot.
#include "link/engine_output.h"

namespace kinevra {

bool queueEngineOutput(LinkState& state, std::span<const std::uint8_t> message) {
  if (!state.bridgeRunning && !state.linkRunning) return false;
  if (message.empty() || message.size() > kMaxMessageBytes) return false;
  if (state.serialDataValid) return state.serialTxQueue.push(message);
  if (state.udpDataValid) return state.udpTxQueue.push(message);
  state.serialTxQueue.push(message);
  state.udpTxQueue.push(message);
  return true;
}

}  // namespace kinevra
