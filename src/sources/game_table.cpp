#include "sources/game_table.h"

namespace kinevra {

namespace {
// X-Plane's native Linux build runs as "X-Plane-x86_64"; under Wine it is
// "X-Plane.exe" there too.
#if defined(_WIN32)
constexpr std::array<std::string_view, 4> kXPlaneExecutables = {"X-Plane.exe"};
#else
constexpr std::array<std::string_view, 4> kXPlaneExecutables = {"X-Plane.exe", "X-Plane-x86_64"};
#endif
// Indexed by game id. The display names are NUL-terminated literals, so
// gameDisplayName can hand out their data().
constexpr std::array<GameInfo, kGameCount> kGames = {{
    {0, "Xplane", kXPlaneExecutables, Transport::Udp, 4321},
    {1, "DCS", {"DCS.exe", "DCS64.exe"}, Transport::UdpText, 4124},
    {2, "MSFS2020", {"FlightSimulator.exe"}, Transport::FlightSimClient, 0},
    {3, "AssettoCorsa/Comp.", {}, Transport::SharedMemory, 0},
    {4, "RaceRoom", {"RRRE64.exe", "RRRE.exe"}, Transport::SharedMemory, 0},
    {5, "DirtRally2", {}, Transport::Udp, 20778},
    {6, "Condor2", {}, Transport::UdpText, 55278},
    {7, "F1-2023-24", {"F1_23.exe", "F1_23_64.exe", "F1_24.exe", "F1_24_64.exe"}, Transport::Udp, 20777},
    {8, "NoLimits2", {}, Transport::Tcp, 0},
    {9, "PCAR2/Automobilista2", {}, Transport::SharedMemory, 0},
    {10, "iRacing", {"iRacingSim64DX11.exe", "Iracing.exe"}, Transport::SharedMemory, 0},
    {11, "WRC23", {}, Transport::Udp, 20788},
    {12, "BeamNG", {}, Transport::Udp, 4444},
    {13, "LFS", {"LFS.exe", "LFS64.exe"}, Transport::Udp, 4123},
    {14, "rFactor2", {"rFactor2.exe"}, Transport::SharedMemory, 0},
    {15, "MSFS2024", {"FlightSimulator2024.exe"}, Transport::FlightSimClient, 0},
    {16, "AssettoCorsaEvo", {"AssettoCorsaEVO.exe"}, Transport::SharedMemory, 0},
    {17, "ETSM2/AMT", {"eurotrucks2.exe"}, Transport::SharedMemory, 0},
}};
}  // namespace

const GameInfo& gameInfo(int id) { return kGames.at(static_cast<std::size_t>(id)); }

const char* gameDisplayName(int id) {
  if (id < 0 || id >= kGameCount) return nullptr;
  return kGames[static_cast<std::size_t>(id)].displayName.data();
}

}  // namespace kinevra
