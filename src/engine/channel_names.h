#pragma once
// Names of the GameData values handed to hosts (entry i names value 5 + i).

namespace kinevra {

inline constexpr int kNamedChannels = 41;

// The 41 names, each NUL-terminated, one after another, followed by the two
// empty entries 41 and 42: a host may walk 43 NUL-terminated texts from here.
extern const char kChannelNameText[];

// Entry i of the table (empty for 41 and 42, null beyond).
const char* channelName(int entry);

}  // namespace kinevra
