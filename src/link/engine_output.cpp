#include "link/engine_output.h"

namespace kinevra {

bool queueEngineOutput(LinkState& state, std::span<const std::uint8_t> message) {
  if (!state.bridgeRunning && !state.linkRunning) return false;
  if (message.empty() || message.size() > kMaxMessageBytes) return false;
  if (state.serialDataValid) return state.serialEngineOutput.put(message);
  if (state.udpDataValid) return state.udpEngineOutput.put(message);
  state.serialEngineOutput.put(message);
  state.udpEngineOutput.put(message);
  return true;
}

bool takeSerialEngineOutput(LinkState& state, Message& out) { return state.serialEngineOutput.take(out); }

bool takeUdpEngineOutput(LinkState& state, Message& out) { return state.udpEngineOutput.take(out); }

}  // namespace kinevra
