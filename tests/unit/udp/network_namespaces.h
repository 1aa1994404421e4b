#pragma once
// Network namespaces that a test makes for itself (as root, with the ip
// tool): named namespaces joined by veth pairs with addresses of the test's
// choosing, removed again with everything in them when the object goes.
// Threads of the test enter one with setns; programs run in one through
// "ip netns exec". Nothing here reaches the machine's own network.
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kinevra::test {

inline std::string ipTool() {
  for (const char* p : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"})
    if (std::filesystem::exists(p)) return p;
  return {};
}

class NetworkNamespaces {
 public:
  // Namespaces tag-0, tag-1, ... (unique per process and object).
  NetworkNamespaces(const std::string& tag, int count) {
    static int made = 0;
    const std::string base = "kv-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(made++);
    ip_ = ipTool();
    if (::geteuid() != 0) {
      why_ = "network namespaces need root";
      return;
    }
    if (ip_.empty()) {
      why_ = "no ip tool";
      return;
    }
    for (int i = 0; i < count; ++i) {
      const std::string name = base + "-" + std::to_string(i);
      if (!ip("netns add " + name)) {
        why_ = "cannot make the network namespace " + name;
        return;
      }
      names_.push_back(name);
      ip("-n " + name + " link set lo up");
    }
  }
  ~NetworkNamespaces() {
    // Removing a namespace removes its veth ends and their peers.
    for (const std::string& n : names_) ip("netns del " + n);
  }
  NetworkNamespaces(const NetworkNamespaces&) = delete;
  NetworkNamespaces& operator=(const NetworkNamespaces&) = delete;

  bool ok() const { return why_.empty(); }
  const std::string& why() const { return why_; }
  const std::string& name(int i) const { return names_[static_cast<std::size_t>(i)]; }

  // Runs "ip ARGS"; true on success.
  bool ip(const std::string& args) const { return std::system((ip_ + " " + args + " >/dev/null 2>&1").c_str()) == 0; }

  // A veth pair from namespace a (end nameA, address addressA/24 with the
  // given route metric) to namespace b (nameB, addressB/24), both ends up.
  bool vethPair(int a, const std::string& nameA, const std::string& addressA, int metric, int b,
                const std::string& nameB, const std::string& addressB) const {
    const std::string na = name(a), nb = name(b);
    return ip("link add " + nameA + " netns " + na + " type veth peer name " + nameB + " netns " + nb) &&
           ip("-n " + na + " addr add " + addressA + "/24 dev " + nameA + " metric " + std::to_string(metric)) &&
           ip("-n " + nb + " addr add " + addressB + "/24 dev " + nameB) && ip("-n " + na + " link set " + nameA + " up") &&
           ip("-n " + nb + " link set " + nameB + " up");
  }

  // Runs body on a new thread inside namespace i (its sockets, adapter list
  // and routes are that namespace's); the thread is joined by the caller.
  std::thread threadIn(int i, std::function<void()> body) const {
    const std::string path = "/run/netns/" + name(i);
    return std::thread([path, body = std::move(body)] {
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      const bool entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
      if (fd >= 0) ::close(fd);
      if (entered) body();
    });
  }
  // Runs body inside namespace i and waits for it.
  void runIn(int i, std::function<void()> body) const { threadIn(i, std::move(body)).join(); }

  // The command line that runs a program inside namespace i.
  std::vector<std::string> execIn(int i) const { return {"netns", "exec", name(i)}; }
  const std::string& ipProgram() const { return ip_; }

 private:
  std::string ip_;
  std::string why_;
  std::vector<std::string> names_;
};

}  // namespace kinevra::test
