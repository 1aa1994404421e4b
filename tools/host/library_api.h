#pragma once
// The library's exports as kinevra-host uses them, looked up by name in the
// loaded library (as a host application does).
#include <string>
#include <vector>

#include "kinevra.h"
#include "library_loader.h"

namespace kinevra_host {

struct LibraryApi {
#define KINEVRA_HOST_EXPORTS(X)                                                                                        \
  X(startGamesource_Thread)                                                                                            \
  X(stopGamesource_Thread) X(setMotionsystemready) X(setTimerPrecision) X(getGameID) X(getGameName)                   \
  X(getGameTimeFrame) X(getMotionDataTimeFrame) X(getGameData) X(getGameDataNames) X(getMotionCueData)                 \
  X(getactiveProfil) X(getTransitionStatus) X(getProfilAirTransitionStatus) X(getProfilGrdTransitionStatus)           \
  X(setActiveAxis) X(setBelt_Mix) X(SetInputDofLimitValue) X(setcheckFilterstring) X(SetRigDofLimitValue)             \
  X(getOutputData) X(activateMotionCancel) X(setFilterMotionCancel) X(setGainMotionCancel)                           \
  X(GetCalculationSnapshots) X(FreeCalculationSnapshots) X(GetAccelerationSnapshots) X(FreeAccelerationSnapshots) \
  X(initWindSerial) X(setStandartPort)                        \
  X(startMMFtoSerial_Thread) X(stopMMFtoSerial_Thread) X(readMessagemmf) X(newMessagemmf) X(isConnected)            \
  X(isInterfaceRunning) X(resumeInterface) X(enableAutoconnect) X(disableAutoconnect) X(getOutputTimeFrame)            \
  X(setUDPport) X(startUPDListenThread) X(setMulticastAddr) X(startUPDMulticastSenderThread)

#define KINEVRA_HOST_MEMBER(name) decltype(&::name) name = nullptr;
  KINEVRA_HOST_EXPORTS(KINEVRA_HOST_MEMBER)
#undef KINEVRA_HOST_MEMBER

  // Looks every export up; the names the library lacks are kept in missing.
  void load(const LibraryLoader& lib) {
    missing.clear();
#define KINEVRA_HOST_LOOKUP(name)                                 \
  name = lib.get<decltype(&::name)>(#name);                      \
  if (!name) missing.push_back(#name);
    KINEVRA_HOST_EXPORTS(KINEVRA_HOST_LOOKUP)
#undef KINEVRA_HOST_LOOKUP
  }

  std::vector<std::string> missing;
};

}  // namespace kinevra_host
