#pragma once
// A drive recording: CSV text, one header line of column names (the first is
// "time", in seconds), then one line of numbers per motion cycle. Written by
// kinevra-host --record, read by gamesim --replay and kinevra-host plot.
//
// Reading checks everything: a line cut short at the end of the file, a
// field count that differs from the header, text that is not a number, NaN
// and infinities, times that do not increase, and absurdly long lines are
// all refused with the line and the column (1-based), or skipped and counted.
// Header-only, so that tools that link the library and tools that load it
// share one reader.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <istream>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace kinevra_recording {

inline constexpr std::string_view kTimeColumn = "time";
// Longer lines are refused (a recording's line is about a kilobyte).
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;
inline constexpr std::size_t kMaxColumns = 1024;

struct CsvProblem {
  long long line = 0;  // 1-based
  int column = 0;      // 1-based field number; 0 for the whole line
  std::string what;

  std::string format() const {
    std::string s = "line " + std::to_string(line);
    if (column > 0) s += ", column " + std::to_string(column);
    return s + ": " + what;
  }
};

// The shortest text that reads back as the same double.
inline std::string formatNumber(double v) {
  char b[32];
  const auto r = std::to_chars(b, b + sizeof b, v);
  return std::string(b, r.ptr);
}

// A time in seconds from a count of milliseconds, exactly ("12.346").
inline std::string formatMilliseconds(unsigned long long ms) {
  char b[32];
  std::snprintf(b, sizeof b, "%llu.%03llu", ms / 1000, ms % 1000);
  return b;
}

// One line from in without its line end ("\n" or "\r\n"). Returns false at
// the end of the text. truncated: the line had no line end (the file ends in
// the middle of a line); tooLong: it was longer than kMaxLineBytes (the rest
// of it is consumed, the text kept is cut).
inline bool nextLine(std::istream& in, std::string& line, bool& truncated, bool& tooLong) {
  line.clear();
  truncated = tooLong = false;
  std::streambuf* sb = in.rdbuf();
  if (!sb) return false;
  bool any = false;
  for (;;) {
    const int c = sb->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      if (!any) return false;
      truncated = true;
      break;
    }
    any = true;
    if (c == '\n') break;
    if (line.size() < kMaxLineBytes) line.push_back(static_cast<char>(c));
    else tooLong = true;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// Reads a recording line by line: the header first, then the rows.
class RecordingReader {
 public:
  // The header: "time" first, then unique, non-empty names of letters,
  // digits and '_'.
  bool readHeader(std::string_view line, CsvProblem& problem) {
    columns_.clear();
    lastTime_ = -std::numeric_limits<double>::infinity();
    problem = CsvProblem{1, 0, {}};
    std::size_t start = 0;
    for (;;) {
      const std::size_t comma = line.find(',', start);
      const std::string_view name = line.substr(start, comma == std::string_view::npos ? line.size() - start : comma - start);
      problem.column = static_cast<int>(columns_.size()) + 1;
      if (columns_.size() >= kMaxColumns) return fail(problem, "more than " + std::to_string(kMaxColumns) + " columns");
      if (name.empty()) return fail(problem, "an empty column name");
      for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return fail(problem, "a column name of other than letters, digits and '_' (is this a recording?)");
      }
      for (const std::string& seen : columns_)
        if (seen == name) return fail(problem, "column " + std::string(name) + " appears twice");
      columns_.emplace_back(name);
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    if (columns_.front() != kTimeColumn) {
      problem.column = 1;
      return fail(problem, "the first column must be \"time\"");
    }
    return true;
  }

  // One row into values (as many as there are columns). A row that is
  // refused changes nothing (the time of the last good row stays the mark).
  bool readRow(std::string_view line, long long lineNumber, bool truncated, bool tooLong, std::vector<double>& values,
               CsvProblem& problem) {
    problem = CsvProblem{lineNumber, 0, {}};
    if (tooLong) return fail(problem, "a line longer than " + std::to_string(kMaxLineBytes) + " bytes");
    if (truncated) return fail(problem, "the file ends in the middle of this line (cut short?)");
    if (line.empty()) return fail(problem, "an empty line");
    values.assign(columns_.size(), 0.0);
    std::size_t start = 0;
    std::size_t field = 0;
    for (;;) {
      const std::size_t comma = line.find(',', start);
      const std::string_view text = line.substr(start, comma == std::string_view::npos ? line.size() - start : comma - start);
      problem.column = static_cast<int>(field) + 1;
      if (field >= columns_.size())
        return fail(problem, "more fields than the header's " + std::to_string(columns_.size()) + " columns");
      double v = 0;
      const char* first = text.data();
      const char* last = text.data() + text.size();
      const auto r = std::from_chars(first, last, v);
      if (text.empty() || r.ec != std::errc() || r.ptr != last)
        return fail(problem, "\"" + std::string(text.substr(0, 40)) + "\" is not a number (" + columns_[field] + ")");
      if (!std::isfinite(v)) return fail(problem, "not a finite number (" + columns_[field] + ")");
      values[field++] = v;
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    if (field < columns_.size()) {
      problem.column = static_cast<int>(field) + 1;
      return fail(problem, "only " + std::to_string(field) + " of the header's " + std::to_string(columns_.size()) +
                               " fields (" + columns_[field] + " is missing)");
    }
    if (!(values[0] > lastTime_)) {
      problem.column = 1;
      return fail(problem, "the time does not increase");
    }
    lastTime_ = values[0];
    return true;
  }

  const std::vector<std::string>& columns() const { return columns_; }
  int find(std::string_view name) const {
    for (std::size_t i = 0; i < columns_.size(); ++i)
      if (columns_[i] == name) return static_cast<int>(i);
    return -1;
  }

 private:
  static bool fail(CsvProblem& problem, std::string what) {
    problem.what = std::move(what);
    return false;
  }

  std::vector<std::string> columns_;
  double lastTime_ = -std::numeric_limits<double>::infinity();
};

// The result of a pass over a whole recording.
struct ScanResult {
  bool ok = false;
  CsvProblem problem;       // when not ok: the refusal
  long long rows = 0;       // rows taken
  long long skipped = 0;    // rows skipped (skipBad)
  CsvProblem firstSkipped;  // the first of them
};

// Reads the header and every row of in, calling row(values) for each good
// row. With skipBad, bad rows are counted and skipped; otherwise the first
// one refuses the recording. A recording without a good row is refused.
template <class OnHeader, class OnRow>
ScanResult scanRecording(std::istream& in, bool skipBad, OnHeader&& onHeader, OnRow&& row) {
  ScanResult result;
  RecordingReader reader;
  std::string line;
  bool truncated = false, tooLong = false;
  if (!nextLine(in, line, truncated, tooLong)) {
    result.problem = {1, 0, "the file is empty"};
    return result;
  }
  if (tooLong) {
    result.problem = {1, 0, "a header line longer than " + std::to_string(kMaxLineBytes) + " bytes"};
    return result;
  }
  if (!reader.readHeader(line, result.problem)) return result;
  if (!onHeader(reader, result.problem)) return result;
  std::vector<double> values;
  long long lineNumber = 1;
  while (nextLine(in, line, truncated, tooLong)) {
    ++lineNumber;
    CsvProblem problem;
    if (reader.readRow(line, lineNumber, truncated, tooLong, values, problem)) {
      ++result.rows;
      row(values);
    } else if (skipBad) {
      if (result.skipped++ == 0) result.firstSkipped = problem;
    } else {
      result.problem = problem;
      return result;
    }
  }
  if (result.rows == 0) {
    result.problem = {lineNumber, 0, result.skipped ? "no good row in the recording" : "the recording has no rows"};
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace kinevra_recording
