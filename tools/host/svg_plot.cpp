#include "svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kinevra_host {

namespace {

constexpr double kWidth = 1000;
constexpr double kLeft = 60;
constexpr double kRight = 20;
constexpr double kPanelHeight = 140;
constexpr double kPanelGap = 34;  // title and legend above each panel
constexpr double kTop = 40;
constexpr double kBottom = 40;

std::string escaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '"') out += "&quot;";
    else out += c;
  }
  return out;
}

std::string num(double v, const char* format = "%.1f") {
  char b[32];
  std::snprintf(b, sizeof b, format, v);
  return b;
}

double peakOf(const PlotSeries& s) {
  double peak = 0;
  for (double v : s.v)
    if (std::isfinite(v)) peak = std::max(peak, std::fabs(v));
  return peak;
}

// The polyline points of one series: per horizontal pixel the first, lowest
// and highest value, so that spikes survive the thinning.
std::string pointsOf(const PlotSeries& s, double t0, double t1, double top, double peak) {
  const double plotW = kWidth - kLeft - kRight;
  const double mid = top + kPanelHeight / 2;
  const double half = kPanelHeight / 2 - 4;
  const double scale = peak > 0 ? half / peak : 0;
  std::string out;
  auto add = [&](double t, double v) {
    const double x = kLeft + (t - t0) / (t1 - t0) * plotW;
    const double y = mid - v * scale;
    out += num(x) + "," + num(y) + " ";
  };
  const std::size_t n = std::min(s.t.size(), s.v.size());
  long bucket = -1;
  double lo = 0, hi = 0, loT = 0, hiT = 0;
  auto flush = [&]() {
    if (bucket < 0) return;
    if (loT <= hiT) {
      add(loT, lo);
      if (hiT != loT) add(hiT, hi);
    } else {
      add(hiT, hi);
      add(loT, lo);
    }
  };
  for (std::size_t i = 0; i < n; ++i) {
    const double t = s.t[i], v = s.v[i];
    if (!std::isfinite(t) || !std::isfinite(v) || t < t0 || t > t1) continue;
    const long b = static_cast<long>((t - t0) / (t1 - t0) * plotW);
    if (b != bucket) {
      flush();
      bucket = b;
      lo = hi = v;
      loT = hiT = t;
    } else {
      if (v < lo) lo = v, loT = t;
      if (v > hi) hi = v, hiT = t;
    }
  }
  flush();
  return out;
}

}  // namespace

std::string renderSvgPlot(const std::string& title, const std::vector<PlotPanel>& panels, double t0, double t1) {
  if (!(t1 > t0)) t1 = t0 + 1;
  const double height = kTop + panels.size() * (kPanelHeight + kPanelGap) + kBottom;
  const double plotW = kWidth - kLeft - kRight;
  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(kWidth, "%.0f") + "\" height=\"" +
         num(height, "%.0f") + "\" viewBox=\"0 0 " + num(kWidth, "%.0f") + " " + num(height, "%.0f") +
         "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg += "<text x=\"" + num(kLeft) + "\" y=\"24\" font-size=\"16\" font-weight=\"bold\">" + escaped(title) +
         "</text>\n";
  for (std::size_t p = 0; p < panels.size(); ++p) {
    const PlotPanel& panel = panels[p];
    const double top = kTop + p * (kPanelHeight + kPanelGap) + kPanelGap;
    const double mid = top + kPanelHeight / 2;
    svg += "<text x=\"" + num(kLeft) + "\" y=\"" + num(top - 18) + "\" font-weight=\"bold\">" +
           escaped(panel.title) + "</text>\n";
    svg += "<rect x=\"" + num(kLeft) + "\" y=\"" + num(top) + "\" width=\"" + num(plotW) + "\" height=\"" +
           num(kPanelHeight) + "\" fill=\"none\" stroke=\"#999\"/>\n";
    svg += "<line x1=\"" + num(kLeft) + "\" y1=\"" + num(mid) + "\" x2=\"" + num(kLeft + plotW) + "\" y2=\"" +
           num(mid) + "\" stroke=\"#ddd\"/>\n";
    double legendX = kLeft + 140;
    double panelPeak = 0;
    for (const PlotSeries& s : panel.series) panelPeak = std::max(panelPeak, peakOf(s));
    if (panel.sharedScale) {
      svg += "<text x=\"" + num(kLeft - 4) + "\" y=\"" + num(top + 10) + "\" text-anchor=\"end\">" +
             num(panelPeak, "%.3g") + "</text>\n";
      svg += "<text x=\"" + num(kLeft - 4) + "\" y=\"" + num(top + kPanelHeight) + "\" text-anchor=\"end\">" +
             num(-panelPeak, "%.3g") + "</text>\n";
    }
    for (const PlotSeries& s : panel.series) {
      const double peak = peakOf(s);
      const double scaleTo = panel.sharedScale ? panelPeak : peak;
      const std::string legend = s.label + " (peak " + num(peak, "%.3g") + (s.unit.empty() ? "" : " " + s.unit) + ")";
      svg += "<rect x=\"" + num(legendX) + "\" y=\"" + num(top - 27) + "\" width=\"14\" height=\"4\" fill=\"" +
             s.color + "\"/>\n";
      svg += "<text x=\"" + num(legendX + 18) + "\" y=\"" + num(top - 22) + "\">" + escaped(legend) + "</text>\n";
      legendX += 30 + 6.5 * static_cast<double>(legend.size());
      svg += "<polyline fill=\"none\" stroke=\"" + s.color + "\" stroke-width=\"1.2\"" +
             (s.dashed ? std::string(" stroke-dasharray=\"5,3\"") : std::string()) + " points=\"" +
             pointsOf(s, t0, t1, top, scaleTo) + "\"/>\n";
    }
  }
  // Time axis under the last panel.
  const double axisY = height - kBottom + 4;
  const double span = t1 - t0;
  const double step = span > 60 ? 10 : span > 20 ? 5 : span > 8 ? 2 : 1;
  for (double t = std::ceil(t0 / step) * step; t <= t1 + 1e-9; t += step) {
    const double x = kLeft + (t - t0) / span * plotW;
    svg += "<line x1=\"" + num(x) + "\" y1=\"" + num(axisY - 8) + "\" x2=\"" + num(x) + "\" y2=\"" + num(axisY - 2) +
           "\" stroke=\"#666\"/>\n";
    svg += "<text x=\"" + num(x) + "\" y=\"" + num(axisY + 10) + "\" text-anchor=\"middle\">" + num(t, "%g") +
           "</text>\n";
  }
  bool ownPeaks = false;
  for (const PlotPanel& p : panels) ownPeaks = ownPeaks || !p.sharedScale;
  svg += "<text x=\"" + num(kLeft + plotW) + "\" y=\"" + num(axisY + 26) + "\" text-anchor=\"end\">time (s)" +
         (ownPeaks ? "; each curve scaled to its own peak" : "") + "</text>\n";
  svg += "</svg>\n";
  return svg;
}

}  // namespace kinevra_host
