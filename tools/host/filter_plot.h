#pragma once
// kinevra-host plot: filter texts run through the library's own compiler and
// evaluation (the engine's code, linked in; one evaluation per 2 ms cycle) against a
// test input or a recorded channel, drawn as an SVG, with the figures a rig
// owner reads: peak, settle time after a step, washout, and gain and phase
// lag at 1 Hz.
#include <string>
#include <vector>

namespace kinevra_host {

inline constexpr double kCycleSeconds = 0.002;

struct PlotInput {
  std::string name;         // "step", "impulse", "sine-sweep", "ramp", or FILE:COLUMN
  std::string description;  // for the title and the report
  std::vector<double> v;    // one value per cycle
  bool sustained = false;   // holds a value to the end (washout means something)
  bool isStep = false;      // a step of stepSize at stepIndex (settle time means something)
  std::size_t stepIndex = 0;
  double stepSize = 0;
};

// The test input of that name, or a recorded column "FILE.csv:COLUMN",
// over seconds (<= 0: the input's own length). false with error.
bool makePlotInput(const std::string& name, double seconds, PlotInput& input, std::string& error);

struct FilterFigures {
  double peak = 0;       // the output of largest magnitude (signed)
  double peakTime = 0;   // seconds
  double settle = -1;    // seconds after the step until it stays within 2 % of the step of its end value; -1: not a step
  bool stillMoving = false;  // a step response that has not settled by the end
  double washout = -1;   // percent: 100 (1 - |end| / |peak|) after a sustained input; -1: not sustained
  double gain1Hz = 0;    // output over input amplitude for a 1 Hz sine
  double lag1Hz = 0;     // degrees the output lags the input at 1 Hz (negative: leads)
};

struct PlotResult {
  std::string text;
  bool compiled = false;
  int failColumn = -1;     // byte offset in text, when refused
  std::string reason;      // the compiler's refusal
  std::vector<double> out;  // one value per input cycle
  FilterFigures figures;
};

// Runs one text over the input (and over a 1 Hz sine for the phase figure).
PlotResult runFilterText(const std::string& text, const PlotInput& input);

// The figures line and, for a refused text, the text with a caret under the
// place where it fails.
std::string figuresText(const PlotResult& r, const PlotInput& input);
std::string refusalText(const PlotResult& r);

// The SVG of input and outputs.
std::string renderFilterPlot(const PlotInput& input, const std::vector<PlotResult>& results);

// kinevra-host plot ARGS (argv[0] is "plot"); returns the exit code.
int runPlot(int argc, char** argv);

}  // namespace kinevra_host
