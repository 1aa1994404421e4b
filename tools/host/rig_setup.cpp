#include "rig_setup.h"

#include <string>

namespace kinevra_host {

namespace {

class Setup {
 public:
  Setup(const LibraryApi& api, const RigProfile& p, std::vector<ProfileMessage>& errors,
        std::vector<ProfileMessage>& warnings)
      : api_(api), p_(p), errors_(errors), warnings_(warnings) {}

  // False (and reported once per export) when the library lacks it.
  template <class Fn>
  bool has(Fn fn, const char* name, int line, const char* what) {
    if (fn) return true;
    errors_.push_back({p_.file, line, std::string("the library has no ") + name + " export, needed for " + what});
    return false;
  }

  void run() {
    filters();
    activeChannels();
    beltMix();
    limits();
    motionCancel();
    wind();
  }

  bool ok() const { return errors_.empty(); }

 private:
  void filters() {
    for (const FilterSetting& f : p_.filters) {
      if (!has(api_.setcheckFilterstring, "setcheckFilterstring", f.line, "filter chains")) return;
      if (!api_.setcheckFilterstring(static_cast<int>(f.motion), f.channel, f.text.c_str()))
        errors_.push_back({p_.file, f.line,
                           std::string("[") + motionName(f.motion) + "] " + channelName(f.channel) + " (channel " +
                               std::to_string(f.channel) + "): the library refuses the filter text '" + f.text + "'"});
    }
  }

  void activeChannels() {
    if (p_.axes) {
      for (int axis = 0; axis < kRigAxisCount; ++axis) {
        if ((*p_.axes)[static_cast<std::size_t>(axis)]) continue;
        if (!has(api_.setActiveAxis, "setActiveAxis", 0, "the rig's axes")) return;
        for (int ch : channelsOfAxis(axis))
          for (int m = 0; m < 2; ++m) api_.setActiveAxis(m, ch, false);
      }
    }
    for (const ActiveSetting& a : p_.active) {
      if (!has(api_.setActiveAxis, "setActiveAxis", a.line, "switching channels")) return;
      api_.setActiveAxis(static_cast<int>(a.motion), a.channel, a.on);
    }
  }

  void beltMix() {
    for (const BeltMixSetting& b : p_.beltMix) {
      if (!has(api_.setBelt_Mix, "setBelt_Mix", b.line, "the belt mix")) return;
      api_.setBelt_Mix(static_cast<int>(b.motion), b.index, b.weight);
    }
  }

  void limits() {
    for (const LimitSetting& l : p_.inputLimits) {
      if (!has(api_.SetInputDofLimitValue, "SetInputDofLimitValue", l.line, "input limits")) break;
      api_.SetInputDofLimitValue(static_cast<unsigned>(l.channel), l.low, l.high);
    }
    for (const LimitSetting& l : p_.rigLimits) {
      if (!has(api_.SetRigDofLimitValue, "SetRigDofLimitValue", l.line, "rig limits")) break;
      api_.SetRigDofLimitValue(l.channel, l.low, l.high);
    }
  }

  void motionCancel() {
    const MotionCancelSetting& m = p_.motionCancel;
    if (!m.enabled) return;
    if (!has(api_.activateMotionCancel, "activateMotionCancel", m.line, "motion cancel") ||
        !has(api_.setFilterMotionCancel, "setFilterMotionCancel", m.line, "motion cancel") ||
        !has(api_.setGainMotionCancel, "setGainMotionCancel", m.line, "motion cancel"))
      return;
    api_.activateMotionCancel(true);
    if (m.filter && !api_.setFilterMotionCancel(*m.filter))
      errors_.push_back({p_.file, m.line, "the library refuses the motion-cancel filter"});
    if (m.gain && !api_.setGainMotionCancel(*m.gain))
      errors_.push_back({p_.file, m.line, "the library refuses the motion-cancel gain"});
  }

  void wind() {
    const WindSetting& w = p_.wind;
    if (w.port.empty()) return;
    if (!has(api_.initWindSerial, "initWindSerial", w.line, "the fan controller")) return;
    const std::basic_string<kinevra_char16> port(w.port.begin(), w.port.end());
    const std::basic_string<kinevra_char16> format(w.format.begin(), w.format.end());
    if (!api_.initWindSerial(port.c_str(), w.baudRate, format.c_str(), w.intervalMs))
      warnings_.push_back({p_.file, w.line, "the system has no port " + w.port + ": the fan stays off"});
  }

  const LibraryApi& api_;
  const RigProfile& p_;
  std::vector<ProfileMessage>& errors_;
  std::vector<ProfileMessage>& warnings_;
};

}  // namespace

bool configureEngine(const LibraryApi& api, const RigProfile& profile, std::vector<ProfileMessage>& errors,
                     std::vector<ProfileMessage>& warnings) {
  const std::size_t before = errors.size();
  Setup setup(api, profile, errors, warnings);
  setup.run();
  return errors.size() == before;
}

void configureAfterStart(const LibraryApi& api, const RigProfile& profile) {
  if (profile.busyWaitPacing && api.setTimerPrecision) api.setTimerPrecision(*profile.busyWaitPacing ? 1 : 0);
}

}  // namespace kinevra_host
