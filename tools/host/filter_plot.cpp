#include "filter_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "filter/filter_evaluation.h"
#include "recording_csv.h"
#include "svg_plot.h"

namespace kinevra_host {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kStepAt = 0.2;          // s: where the step, impulse and ramp begin
constexpr double kSettleBand = 0.02;     // of the step
constexpr double kMaxSeconds = 3600;
constexpr std::size_t kMaxTexts = 8;
// The 1 Hz figure: 30 s of sine, the last 5 whole periods analysed (the
// start-up of slow filters has died away by then).
constexpr int kSineCycles = 15000;
constexpr int kSineAnalysed = 2500;

const char* const kColors[kMaxTexts] = {"#d62728", "#1f77b4", "#2ca02c", "#9467bd",
                                        "#ff7f0e", "#8c564b", "#e377c2", "#17becf"};

std::size_t cyclesFor(double seconds) { return static_cast<std::size_t>(std::llround(seconds / kCycleSeconds)); }

std::string fixed(double v, int decimals) {
  char b[64];
  std::snprintf(b, sizeof b, "%.*f", decimals, v);
  // No "-0.000".
  if (std::strspn(b, "-0.") == std::strlen(b) && b[0] == '-') return b + 1;
  return b;
}

bool recordedInput(const std::string& source, double seconds, PlotInput& input, std::string& error) {
  const std::size_t colon = source.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == source.size()) {
    error = "--input takes step, impulse, sine-sweep, ramp or FILE.csv:COLUMN";
    return false;
  }
  const std::string file = source.substr(0, colon), column = source.substr(colon + 1);
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = "cannot read " + file;
    return false;
  }
  int index = -1;
  std::vector<double> times, values;
  const auto scan = kinevra_recording::scanRecording(
      in, false,
      [&](const kinevra_recording::RecordingReader& r, kinevra_recording::CsvProblem& p) {
        index = r.find(column);
        if (index > 0) return true;
        p = {1, 0, index == 0 ? "the time is no input" : "no column " + column};
        return false;
      },
      [&](const std::vector<double>& row) {
        times.push_back(row[0]);
        values.push_back(row[static_cast<std::size_t>(index)]);
      });
  if (!scan.ok) {
    error = file + ": " + scan.problem.format();
    return false;
  }
  // One value per 2 ms cycle from the first row on, each cycle taking the
  // last row at or before it (rows dropped by the recorder hold the value).
  const double t0 = times.front();
  const double span = seconds > 0 ? seconds : times.back() - t0 + kCycleSeconds;
  if (span > kMaxSeconds) {
    error = "the recording is longer than " + fixed(kMaxSeconds, 0) + " s; give --seconds";
    return false;
  }
  const std::size_t n = std::max<std::size_t>(1, cyclesFor(span));
  input.v.resize(n);
  std::size_t row = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const double t = t0 + static_cast<double>(k) * kCycleSeconds + 1e-9;
    while (row + 1 < times.size() && times[row + 1] <= t) ++row;
    input.v[k] = values[row];
  }
  input.name = source;
  // The file's own name only: the picture does not depend on where it lies.
  const std::size_t slash = file.find_last_of("/\\:");
  input.description = column + " recorded in " + (slash == std::string::npos ? file : file.substr(slash + 1));
  return true;
}

// The DFT term at 1 Hz over the last kSineAnalysed cycles: amplitude and phase.
void oneHertz(const std::vector<double>& x, double& amplitude, double& phase) {
  double re = 0, im = 0;
  for (int k = kSineCycles - kSineAnalysed; k < kSineCycles; ++k) {
    const double w = 2 * kPi * 1.0 * k * kCycleSeconds;
    re += x[static_cast<std::size_t>(k)] * std::cos(w);
    im += x[static_cast<std::size_t>(k)] * std::sin(w);
  }
  amplitude = 2 * std::hypot(re, im) / kSineAnalysed;
  phase = std::atan2(im, re);
}

FilterFigures figuresOf(const PlotInput& input, const std::vector<double>& out, const std::vector<double>& sineIn,
                        const std::vector<double>& sineOut) {
  FilterFigures f;
  for (std::size_t k = 0; k < out.size(); ++k) {
    if (std::isfinite(out[k]) && std::fabs(out[k]) > std::fabs(f.peak)) {
      f.peak = out[k];
      f.peakTime = static_cast<double>(k) * kCycleSeconds;
    }
  }
  const double end = out.empty() ? 0 : out.back();
  if (input.isStep && out.size() > input.stepIndex) {
    const double band = kSettleBand * std::fabs(input.stepSize);
    std::size_t last = input.stepIndex;  // first cycle from which it stays in the band
    for (std::size_t k = input.stepIndex; k < out.size(); ++k)
      if (!(std::fabs(out[k] - end) <= band)) last = k + 1;
    f.settle = static_cast<double>(last - input.stepIndex) * kCycleSeconds;
    // The end value is only the value it settles to when the last tenth of
    // the run no longer moves by the band.
    // Nor when it took more than half the run after the step to get there.
    const std::size_t after = out.size() - input.stepIndex;
    const std::size_t tail = out.size() - std::max<std::size_t>(1, after / 10);
    f.stillMoving = !(std::fabs(out[tail] - end) <= band) || (last - input.stepIndex) * 2 > after;
  }
  if (input.sustained) f.washout = f.peak != 0 ? 100.0 * (1.0 - std::fabs(end) / std::fabs(f.peak)) : 0.0;
  double ai = 0, pi = 0, ao = 0, po = 0;
  oneHertz(sineIn, ai, pi);
  oneHertz(sineOut, ao, po);
  f.gain1Hz = ai > 0 ? ao / ai : 0;
  double lag = (po - pi) * 180.0 / kPi;
  while (lag > 180) lag -= 360;
  while (lag <= -180) lag += 360;
  f.lag1Hz = ao > 1e-12 ? lag : 0;
  return f;
}

bool evaluate(const std::string& text, const std::vector<double>& in, std::vector<double>& out, PlotResult& r) {
  out.assign(in.size(), 0.0);
  std::string reason;
  int column = -1;
  const int n = kinevra::evaluateFilterText(text.c_str(), in.data(), out.data(), static_cast<int>(in.size()), &column,
                                            &reason);
  if (n == static_cast<int>(in.size())) return true;
  r.failColumn = column;
  r.reason = n == -1 ? reason : "the input is too long";
  return false;
}

void usage(std::FILE* to) {
  std::fprintf(to,
               "usage: kinevra-host plot FILTER-TEXT... [--input KIND] [--seconds S] [-o FILE.svg]\n"
               "\n"
               "  Runs each filter text through the library's compiler and evaluation at 500 Hz (one evaluation per\n"
               "  2 ms motion cycle, from rest) and draws the input and every output on one scale.\n"
               "  --input KIND   step (0 -> 1 at 0.2 s; default), impulse (1 for one cycle at 0.2 s), ramp (0 -> 1\n"
               "                 from 0.2 s to 1.2 s, then held), sine-sweep (amplitude 1, 0.1 Hz -> 10 Hz), or\n"
               "                 FILE.csv:COLUMN, a column of a kinevra-host --record recording\n"
               "  --seconds S    length of the run (default 5 s, sine-sweep 20 s, a recording its own length)\n"
               "  -o FILE.svg    the plot (default kinevra-plot.svg)\n"
               "  Printed per text: the peak output, the time to settle within 2 %% of a step, the washout (how far\n"
               "  the output returns to 0 while the input is held), and gain and phase lag for a 1 Hz sine.\n");
}

}  // namespace

bool makePlotInput(const std::string& name, double seconds, PlotInput& input, std::string& error) {
  input = PlotInput{};
  if (seconds > kMaxSeconds) {
    error = "--seconds takes at most " + fixed(kMaxSeconds, 0);
    return false;
  }
  if (name != "step" && name != "impulse" && name != "ramp" && name != "sine-sweep")
    return recordedInput(name, seconds, input, error);
  const double span = seconds > 0 ? seconds : name == "sine-sweep" ? 20.0 : 5.0;
  const std::size_t n = std::max<std::size_t>(1, cyclesFor(span));
  const std::size_t at = cyclesFor(kStepAt);
  input.name = name;
  input.v.assign(n, 0.0);
  if (name == "step") {
    for (std::size_t k = at; k < n; ++k) input.v[k] = 1.0;
    input.isStep = input.sustained = true;
    input.stepIndex = at;
    input.stepSize = 1.0;
    input.description = "step 0 -> 1 at 0.2 s";
  } else if (name == "impulse") {
    if (at < n) input.v[at] = 1.0;
    input.description = "impulse of 1 for one cycle at 0.2 s";
  } else if (name == "ramp") {
    const std::size_t top = cyclesFor(kStepAt + 1.0);
    for (std::size_t k = at; k < n; ++k)
      input.v[k] = k >= top ? 1.0 : static_cast<double>(k - at) / static_cast<double>(top - at);
    input.sustained = true;
    input.description = "ramp 0 -> 1 from 0.2 s to 1.2 s, then held";
  } else {
    // Exponential sweep: the frequency rises from f0 to f1 over the run.
    const double f0 = 0.1, f1 = 10.0, T = static_cast<double>(n) * kCycleSeconds, g = std::log(f1 / f0);
    for (std::size_t k = 0; k < n; ++k) {
      const double t = static_cast<double>(k) * kCycleSeconds;
      input.v[k] = std::sin(2 * kPi * f0 * T / g * (std::exp(g * t / T) - 1.0));
    }
    input.description = "sine sweep 0.1 Hz -> 10 Hz";
  }
  return true;
}

PlotResult runFilterText(const std::string& text, const PlotInput& input) {
  PlotResult r;
  r.text = text;
  if (!evaluate(text, input.v, r.out, r)) return r;
  std::vector<double> sineIn(kSineCycles), sineOut;
  for (int k = 0; k < kSineCycles; ++k) sineIn[static_cast<std::size_t>(k)] = std::sin(2 * kPi * k * kCycleSeconds);
  if (!evaluate(text, sineIn, sineOut, r)) return r;
  r.compiled = true;
  r.figures = figuresOf(input, r.out, sineIn, sineOut);
  return r;
}

std::string figuresText(const PlotResult& r, const PlotInput& input) {
  const FilterFigures& f = r.figures;
  std::string s = "  " + r.text + "\n    peak " + fixed(f.peak, 4) + " at " + fixed(f.peakTime, 3) + " s";
  if (input.isStep) {
    if (f.stillMoving) s += "; still moving at the end (no settle time; try a longer --seconds)";
    else s += "; settles within 2 % of the step in " + fixed(f.settle, 3) + " s";
  }
  if (input.sustained) s += "; washout " + fixed(f.washout, 1) + " %";
  s += "\n    at 1 Hz: gain " + fixed(f.gain1Hz, 3) + ", phase lag " + fixed(f.lag1Hz, 1) + " deg\n";
  return s;
}

std::string refusalText(const PlotResult& r) {
  std::string s = "  " + r.text + "\n  ";
  const std::size_t at = r.failColumn < 0 ? 0 : static_cast<std::size_t>(r.failColumn);
  // Tabs stay tabs, so the caret lines up under the text as printed.
  for (std::size_t i = 0; i < at && i < r.text.size(); ++i) s += r.text[i] == '\t' ? '\t' : ' ';
  for (std::size_t i = r.text.size(); i < at; ++i) s += ' ';
  s += "^ column " + std::to_string(at + 1) + ": " + r.reason + "\n";
  return s;
}

std::string renderFilterPlot(const PlotInput& input, const std::vector<PlotResult>& results) {
  PlotPanel panel;
  panel.title = "input (dashed) and filter outputs, on one scale";
  panel.sharedScale = true;
  std::vector<double> t(input.v.size());
  for (std::size_t k = 0; k < t.size(); ++k) t[k] = static_cast<double>(k) * kCycleSeconds;
  PlotSeries in{"input", "", "#888888", t, input.v};
  in.dashed = true;
  panel.series.push_back(in);
  for (std::size_t i = 0; i < results.size(); ++i)
    panel.series.push_back({results[i].text, "", kColors[i % kMaxTexts], t, results[i].out});
  const double t1 = t.empty() ? 1.0 : static_cast<double>(t.size() - 1) * kCycleSeconds;
  return renderSvgPlot("filter plot: " + input.description + ", 500 Hz", {panel}, 0.0, t1);
}

int runPlot(int argc, char** argv) {
  std::vector<std::string> texts;
  std::string inputName = "step", output = "kinevra-plot.svg";
  double seconds = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    } else if (a == "--input" && hasValue) {
      inputName = argv[++i];
    } else if (a == "--seconds" && hasValue) {
      char* end = nullptr;
      seconds = std::strtod(argv[++i], &end);
      if (!end || *end != '\0' || !(seconds > 0)) {
        std::fprintf(stderr, "kinevra-host plot: --seconds takes a number of seconds above 0\n");
        return 2;
      }
    } else if (a == "-o" && hasValue) {
      output = argv[++i];
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "kinevra-host plot: unknown option %s\n", a.c_str());
      usage(stderr);
      return 2;
    } else {
      texts.push_back(a);
    }
  }
  if (texts.empty() || texts.size() > kMaxTexts) {
    std::fprintf(stderr, "kinevra-host plot: give 1 to %zu filter texts\n", kMaxTexts);
    usage(stderr);
    return 2;
  }
  PlotInput input;
  std::string error;
  if (!makePlotInput(inputName, seconds, input, error)) {
    std::fprintf(stderr, "kinevra-host plot: %s\n", error.c_str());
    return 2;
  }

  std::vector<PlotResult> results;
  bool refused = false;
  for (const std::string& text : texts) {
    results.push_back(runFilterText(text, input));
    if (!results.back().compiled) {
      if (!refused) std::fprintf(stderr, "kinevra-host plot: the filter language refuses:\n");
      std::fputs(refusalText(results.back()).c_str(), stderr);
      refused = true;
    }
  }
  if (refused) {
    std::fprintf(stderr, "kinevra-host plot: nothing plotted\n");
    return 2;
  }

  std::printf("kinevra-host plot: %s, %s s at 500 Hz\n", input.description.c_str(),
              fixed(static_cast<double>(input.v.size()) * kCycleSeconds, 3).c_str());
  for (const PlotResult& r : results) std::fputs(figuresText(r, input).c_str(), stdout);
  std::ofstream svg(output, std::ios::binary);
  svg << renderFilterPlot(input, results);
  svg.close();
  if (!svg) {
    std::fprintf(stderr, "kinevra-host plot: cannot write %s\n", output.c_str());
    return 1;
  }
  std::printf("kinevra-host plot: wrote %s\n", output.c_str());
  return 0;
}

}  // namespace kinevra_host
