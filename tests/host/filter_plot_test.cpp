// kinevra-host plot's figures for filters whose answers are known in closed
// form, computed by the library's own compiler and evaluation; and the recording
// reader's refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <sstream>

#include "filter_plot.h"
#include "recording_csv.h"

namespace kinevra_host {
namespace {

constexpr double kPi = 3.141592653589793;

class FilterPlot : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(makePlotInput("step", 10, step, error)) << error;
  }
  PlotInput step;
};

// An EMA of N at 1 Hz with one evaluation per 2 ms: y += (x - y) / N.
std::complex<double> emaLowPass(double n) {
  const double a = 1.0 / n, w = 2 * kPi * 0.002;
  return a / (1.0 - (1.0 - a) * std::exp(std::complex<double>(0, -w)));
}
double lagDegrees(std::complex<double> h) { return -std::arg(h) * 180 / kPi; }

TEST_F(FilterPlot, FiguresOfKnownFiltersMatchTheirClosedForms) {
  // A pure gain: no lag, no settling, no washout, the gain everywhere.
  const PlotResult gain = runFilterText("GAIN(VALUE;-2.5)", step);
  ASSERT_TRUE(gain.compiled);
  EXPECT_EQ(gain.figures.peak, -2.5);
  EXPECT_NEAR(gain.figures.peakTime, 0.2, 1e-12);
  EXPECT_EQ(gain.figures.settle, 0.0);
  EXPECT_NEAR(gain.figures.washout, 0.0, 1e-12);
  EXPECT_NEAR(gain.figures.gain1Hz, 2.5, 1e-9);
  EXPECT_NEAR(std::fabs(gain.figures.lag1Hz), 180.0, 1e-6);  // inverted

  // EMALP(N): after the step y_j = 1 - (1 - 1/N)^(j+1); it stays within 2 %
  // of 1 from j = ceil(ln 0.02 / ln(1 - 1/N)) - 1 on.
  for (double n : {10.0, 50.0, 250.0}) {
    const PlotResult lp = runFilterText("EMALP(VALUE;" + std::to_string(static_cast<int>(n)) + ")", step);
    ASSERT_TRUE(lp.compiled);
    const double cycles = std::ceil(std::log(0.02) / std::log(1 - 1 / n)) - 1;
    EXPECT_NEAR(lp.figures.settle, cycles * 0.002, 0.0021) << n;
    EXPECT_FALSE(lp.figures.stillMoving);
    EXPECT_NEAR(lp.figures.peak, 1.0, 1e-4) << n;  // the EMA is kept in single precision
    EXPECT_NEAR(lp.figures.washout, 0.0, 1e-4) << n;  // holds the input
    EXPECT_NEAR(lp.figures.gain1Hz, std::abs(emaLowPass(n)), 1e-4) << n;
    EXPECT_NEAR(lp.figures.lag1Hz, lagDegrees(emaLowPass(n)), 0.05) << n;
  }
  // Time constant: N cycles of 2 ms is tau = 2 N ms; the 1 Hz lag of N = 50
  // (tau 0.1 s) is close to atan(2 pi f tau) = 32.1 degrees.
  EXPECT_NEAR(lagDegrees(emaLowPass(50)), std::atan(2 * kPi * 0.1) * 180 / kPi, 1.0);

  // EMAHP(N), the washout: the input minus its EMA. Peak 1 - 1/N right at
  // the step, then (1 - 1/N)^(j+1) back to 0; a phase lead at 1 Hz.
  const PlotResult hp = runFilterText("EMAHP(VALUE;250)", step);
  ASSERT_TRUE(hp.compiled);
  EXPECT_NEAR(hp.figures.peak, 1 - 1.0 / 250, 1e-6);
  EXPECT_NEAR(hp.figures.peakTime, 0.2, 1e-12);
  const double left = std::pow(1 - 1.0 / 250, static_cast<double>(step.v.size() - step.stepIndex));
  EXPECT_NEAR(hp.figures.washout, 100 * (1 - left / (1 - 1.0 / 250)), 0.01);
  EXPECT_GT(hp.figures.washout, 99.9);
  const std::complex<double> h = 1.0 - emaLowPass(250);
  EXPECT_NEAR(hp.figures.gain1Hz, std::abs(h), 1e-4);
  EXPECT_NEAR(hp.figures.lag1Hz, lagDegrees(h), 0.05);
  EXPECT_LT(hp.figures.lag1Hz, 0.0);

  // A step that has not settled within the run says so.
  std::string error;
  PlotInput shortStep;
  ASSERT_TRUE(makePlotInput("step", 1, shortStep, error));
  EXPECT_TRUE(runFilterText("EMALP(VALUE;2000)", shortStep).figures.stillMoving);

  // The report, as printed.
  const std::string text = figuresText(gain, step);
  EXPECT_NE(text.find("peak -2.5000 at 0.200 s; settles within 2 % of the step in 0.000 s; washout 0.0 %"),
            std::string::npos)
      << text;
}

TEST_F(FilterPlot, ARefusedTextIsShownWithACaretAndNotRun) {
  const PlotResult r = runFilterText("GAIN(EMALP(VALUE;0,5);2)", step);
  EXPECT_FALSE(r.compiled);
  EXPECT_EQ(r.failColumn, 17);
  EXPECT_TRUE(r.out.empty() || r.out == std::vector<double>(step.v.size(), 0.0));
  EXPECT_EQ(refusalText(r),
            "  GAIN(EMALP(VALUE;0,5);2)\n"
            "                   ^ column 18: EMALP's N must be at least 1\n");
}

std::string scanText(const std::string& text, bool skip, long long* rows = nullptr, long long* skipped = nullptr) {
  std::istringstream in(text);
  const auto r = kinevra_recording::scanRecording(
      in, skip, [](const kinevra_recording::RecordingReader&, kinevra_recording::CsvProblem&) { return true; },
      [](const std::vector<double>&) {});
  if (rows) *rows = r.rows;
  if (skipped) *skipped = r.skipped;
  return r.ok ? (r.skipped ? "skipped: " + r.firstSkipped.format() : "ok") : r.problem.format();
}

TEST(Recording, BadRecordingsAreRefusedWithLineAndColumnOrTheirRowsSkipped) {
  const std::string head = "time,a,b\n";
  EXPECT_EQ(scanText(head + "0,1,2\n0.002,1.5,-3e2\r\n", false), "ok");
  EXPECT_EQ(scanText(head + "0,1,2\n0.002,1,2", false), "line 3: the file ends in the middle of this line (cut short?)");
  EXPECT_EQ(scanText(head + "0,1,2\n0.002,1\n", false), "line 3, column 3: only 2 of the header's 3 fields (b is missing)");
  EXPECT_EQ(scanText(head + "0,1,2,3\n", false), "line 2, column 4: more fields than the header's 3 columns");
  EXPECT_EQ(scanText(head + "0,1,2\n0.002,x1,2\n", false), "line 3, column 2: \"x1\" is not a number (a)");
  EXPECT_EQ(scanText(head + "0,1, 2\n", false), "line 2, column 3: \" 2\" is not a number (b)");
  EXPECT_EQ(scanText(head + "0,1,nan\n", false), "line 2, column 3: not a finite number (b)");
  EXPECT_EQ(scanText(head + "0,1,2\n0,1,2\n", false), "line 3, column 1: the time does not increase");
  EXPECT_EQ(scanText(head + "0,1,2\n\n", false), "line 3: an empty line");
  EXPECT_EQ(scanText("", false), "line 1: the file is empty");
  EXPECT_EQ(scanText("a,time\n0,1\n", false), "line 1, column 1: the first column must be \"time\"");
  EXPECT_EQ(scanText("time,a,a\n", false), "line 1, column 3: column a appears twice");
  EXPECT_EQ(scanText("time,,a\n", false), "line 1, column 2: an empty column name");
  EXPECT_EQ(scanText(head, false), "line 1: the recording has no rows");
  EXPECT_EQ(scanText(head + std::string(70000, '1') + "\n", false).substr(0, 27), "line 2: a line longer than ");
  // Skipping: the bad rows are counted, the good ones kept; the time mark
  // stays with the last good row.
  long long rows = 0, skipped = 0;
  EXPECT_EQ(scanText(head + "0,1,2\n0.002,x,2\n0.004,1,2,9\n0,1,2\n0.006,1,inf\n0.008,1,2\n0.010,1", true, &rows,
                     &skipped),
            "skipped: line 3, column 2: \"x\" is not a number (a)");
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(skipped, 5);
  EXPECT_EQ(scanText(head + "0,x,2\n", true), "line 2: no good row in the recording");
  // What the recorder writes reads back exactly.
  for (double v : {0.1, -1e-300, 123456789.123456789, 5e-324, -0.0}) {
    double back = 0;
    const std::string s = kinevra_recording::formatNumber(v);
    std::istringstream in(head + "0," + s + ",0\n");
    kinevra_recording::scanRecording(
        in, false, [](const kinevra_recording::RecordingReader&, kinevra_recording::CsvProblem&) { return true; },
        [&](const std::vector<double>& row) { back = row[1]; });
    EXPECT_EQ(back, v) << s;
    EXPECT_EQ(std::signbit(back), std::signbit(v)) << s;
  }
  EXPECT_EQ(kinevra_recording::formatMilliseconds(12346), "12.346");
}

}  // namespace
}  // namespace kinevra_host
