#pragma once
// A small SVG line chart: stacked panels sharing one time axis, each curve
// scaled to its own peak so that shapes and timing compare at a glance (or
// all curves of a panel on one scale). The text is the same for the same
// data: fixed number formats, no dates.
#include <string>
#include <vector>

namespace kinevra_host {

struct PlotSeries {
  std::string label;  // e.g. "game: lateral_accel_g"
  std::string unit;   // shown with the peak
  std::string color;  // SVG colour
  std::vector<double> t;  // seconds
  std::vector<double> v;
  bool dashed = false;
};

struct PlotPanel {
  std::string title;
  std::vector<PlotSeries> series;
  // All curves on one scale (the largest peak), so that sizes compare too.
  bool sharedScale = false;
};

// The whole document. Time runs from t0 to t1 seconds.
std::string renderSvgPlot(const std::string& title, const std::vector<PlotPanel>& panels, double t0, double t1);

}  // namespace kinevra_host
