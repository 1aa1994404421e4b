#pragma once
// The process's threads by name with the CPU time each has used, so that
// the demo can say what every loop costs; and naming the host's own threads.
#include <string>
#include <vector>

namespace kinevra_host {

struct ThreadCpu {
  long id = 0;
  std::string name;
  double seconds = 0;  // user + system
};

// Every thread of this process (Linux: from /proc; elsewhere empty).
std::vector<ThreadCpu> threadCpuTimes();

// Each thread's share of one core between two readings, busiest first, by
// name (threads of one name are summed).
struct ThreadShare {
  std::string name;
  double percent = 0;
};
std::vector<ThreadShare> threadShares(const std::vector<ThreadCpu>& before, const std::vector<ThreadCpu>& after,
                                      double wallSeconds);

// Names the calling thread (at most 15 characters show on Linux).
void nameThisThread(const char* name);

}  // namespace kinevra_host
