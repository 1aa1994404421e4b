// The chain-text compiler: syntax, argument counts, numbers, the structure of
// compiled chains, and texts of any size or content.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "filter/filter_compiler.h"
#include "filter/filter_evaluation.h"

namespace kinevra {
namespace {

bool compiles(const std::string& text) { return parseFilterString(text)->valid.load(); }

std::vector<std::shared_ptr<FilterSys>> nodesOf(const std::shared_ptr<FilterSys>& head) {
  std::vector<std::shared_ptr<FilterSys>> nodes;
  for (auto n = head; n; n = n->nextNode()) nodes.push_back(n);
  return nodes;
}

// param1 of a compiled 'GAIN(VALUE;<number>)'; NaN when it does not compile.
double gainOf(const std::string& number) {
  auto head = parseFilterString("GAIN(VALUE;" + number + ")");
  return head->valid.load() ? head->param1 : std::nan("");
}

void expectInvalidHead(const std::shared_ptr<FilterSys>& head) {
  ASSERT_NE(head, nullptr);
  EXPECT_FALSE(head->valid.load());
  EXPECT_EQ(head->kind, 0);
  EXPECT_TRUE(head->name.empty());
  EXPECT_EQ(head->nextNode(), nullptr);
  EXPECT_EQ(head->param1, 0.0f);
  EXPECT_EQ(head->noise, nullptr);
}

TEST(FilterCompiler, TerminalAndWhiteSpace) {
  auto value = parseFilterString("VALUE");
  EXPECT_TRUE(value->valid.load());
  EXPECT_EQ(value->kind, kValue);
  EXPECT_EQ(value->name, "VALUE");
  EXPECT_EQ(value->nextNode(), nullptr);
  EXPECT_EQ(value->prevNode(), nullptr);

  EXPECT_TRUE(compiles(" VALUE "));
  EXPECT_TRUE(compiles("\t\r\nVALUE\v\f"));
  EXPECT_TRUE(compiles("gain (VALUE; 2 )"));
  EXPECT_TRUE(compiles("  Gain  (VALUE;2)"));
  EXPECT_TRUE(compiles("CROP(GAIN(VALUE;2) ;-1;1)"));  // after the inner ')': ignored
  for (const char* bad : {"value", "", "   ", "VALUE ;", "gain( VALUE;2)", "GAIN(VALUE ;2)", "VAL UE",
                          "VALUE(VALUE)", "FOO(VALUE;1)", "GAIN VALUE;2", "GAIN)VALUE;2(", "GAIN(VALUE;2",
                          "(VALUE)", "G\xC3\x84IN(VALUE;2)"}) {
    SCOPED_TRACE(bad);
    expectInvalidHead(parseFilterString(bad));
  }
}

TEST(FilterCompiler, AnythingAfterTheLastParenthesisIsIgnored) {
  auto head = parseFilterString("GAIN(VALUE;2)tail ;3)(x");
  EXPECT_FALSE(head->valid.load());  // the last ')' is the one before '(x'
  head = parseFilterString("GAIN(VALUE;2)tail");
  ASSERT_TRUE(head->valid.load());
  EXPECT_EQ(head->param1, 2.0f);
  EXPECT_EQ(nodesOf(head).size(), 2u);
}

TEST(FilterCompiler, ArgumentCountsOfEveryStep) {
  struct Case {
    const char* keyword;
    int numbers;
  };
  const Case cases[] = {{"EMALP", 1}, {"EMAHP", 1}, {"MUL", 1},      {"GAIN", 1},     {"LOGISTIC", 2},
                        {"CROP", 2},  {"ROLLOVER", 1}, {"REMAP", 4}, {"NOISE", 3},    {"BITSCALE", 2},
                        {"BITSCALESIGNED", 2}, {"SINUS", 2}, {"ABS", 0}, {"SETVALUE", 1}, {"ADD", 1}};
  for (const Case& c : cases) {
    for (int given = 0; given <= c.numbers + 1; ++given) {
      std::string text = std::string(c.keyword) + "(VALUE";
      for (int i = 1; i <= given; ++i) text += ";" + std::to_string(i * 3);
      text += ")";
      SCOPED_TRACE(text);
      auto head = parseFilterString(text);
      EXPECT_EQ(head->valid.load(), given == c.numbers);
      if (given == c.numbers) {
        EXPECT_EQ(head->name, c.keyword);
        EXPECT_EQ(filterKindName(head->kind), c.keyword);
        EXPECT_EQ(head->noise != nullptr, std::string(c.keyword) == "NOISE");
      }
    }
  }
  EXPECT_EQ(filterKindName(16), "UNKNOWN");
  EXPECT_EQ(filterKindName(-1), "UNKNOWN");
}

TEST(FilterCompiler, StepSpecificChecks) {
  EXPECT_FALSE(compiles("EMALP(VALUE;0.5)"));
  EXPECT_FALSE(compiles("EMAHP(VALUE;0.999)"));
  EXPECT_FALSE(compiles("EMALP(VALUE;-4)"));
  EXPECT_TRUE(compiles("EMALP(VALUE;1)"));
  EXPECT_TRUE(compiles("EMAHP(VALUE;1)"));

  EXPECT_FALSE(compiles("REMAP(VALUE;5;5;0;1)"));
  EXPECT_TRUE(compiles("REMAP(VALUE;0;10;0;1)"));
  EXPECT_TRUE(compiles("REMAP(VALUE;0;10;1;1)"));  // a flat output range is fine
  // Distinct as written, equal once stored in single precision.
  EXPECT_FALSE(compiles("REMAP(VALUE;1;1.00000001;0;1)"));

  EXPECT_TRUE(compiles("ABS(VALUE)"));
  EXPECT_FALSE(compiles("ABS(VALUE;1)"));
  EXPECT_TRUE(compiles("ABS(GAIN(VALUE;2))"));
  EXPECT_FALSE(compiles("ABS(VALUE;x)"));  // not a number, so it stays part of the inner text
}

TEST(FilterCompiler, DecimalNumbers) {
  EXPECT_EQ(gainOf("1.5"), 1.5);
  EXPECT_EQ(gainOf("1,5"), 1.5);
  EXPECT_EQ(gainOf(" -2,25 "), -2.25);
  EXPECT_EQ(gainOf("+1.5"), 1.5);
  EXPECT_EQ(gainOf("1.5.3"), 1.5);
  EXPECT_EQ(gainOf("1,5,3"), 1.5);
  EXPECT_EQ(gainOf("1."), 1.0);
  EXPECT_EQ(gainOf(".5"), 0.5);
  EXPECT_EQ(gainOf("1-2"), 1.0);  // the longest valid prefix
  EXPECT_EQ(gainOf("007"), 7.0);
  EXPECT_EQ(gainOf("0"), 0.0);
  EXPECT_EQ(gainOf("340000000000000000000000000000000000000"), static_cast<double>(3.4e38f));
  for (const char* bad : {"1e3", "1E3", "-", "+", ".", ",", "+-1", "--1", "-+1", "1 5", "inf", "nan", "1f",
                          "0X10", "", " ", "1;", "3500000000000000000000000000000000000000",
                          "0.00000000000000000000000000000000000000000000000001"}) {
    SCOPED_TRACE(bad);
    EXPECT_TRUE(std::isnan(gainOf(bad)));
  }
}

TEST(FilterCompiler, HexadecimalNumbers) {
  EXPECT_EQ(gainOf("0x10"), 16.0);
  EXPECT_EQ(gainOf("-0x10"), -16.0);
  EXPECT_EQ(gainOf("0xff"), 255.0);
  EXPECT_EQ(gainOf("0xFF"), 255.0);
  EXPECT_EQ(gainOf("0x00000000000000010"), 16.0);
  EXPECT_EQ(gainOf("0xFFFFFFFF"), static_cast<double>(4294967295.0f));
  EXPECT_EQ(gainOf("-0x100000000"), -4294967296.0);
  EXPECT_EQ(gainOf("-0x8000000000000000"), -9223372036854775808.0);
  for (const char* bad : {"0x100000000", "0x1G", "0X10", "0x", "-0x", "0x 1", "0x1.5", "+0x10", "0x-1",
                          "-0x8000000000000001", "0xFFFFFFFFFFFFFFFFFFFF"}) {
    SCOPED_TRACE(bad);
    EXPECT_TRUE(std::isnan(gainOf(bad)));
  }
}

TEST(FilterCompiler, PopLastNumberTakesFromTheRightAndLeavesFailuresUntouched) {
  std::string_view args = "CROP(VALUE;1;2);3; 4 ";
  double v = 0.0;
  ASSERT_TRUE(popLastNumber(args, v));
  EXPECT_EQ(v, 4.0);
  EXPECT_EQ(args, "CROP(VALUE;1;2);3");
  ASSERT_TRUE(popLastNumber(args, v));
  EXPECT_EQ(v, 3.0);
  EXPECT_EQ(args, "CROP(VALUE;1;2)");
  EXPECT_FALSE(popLastNumber(args, v));
  EXPECT_EQ(args, "CROP(VALUE;1;2)");
  EXPECT_EQ(v, 3.0);
  for (const char* bad : {"", "VALUE", "VALUE;", "VALUE; ", ";", "a;1e5"}) {
    std::string_view text = bad;
    EXPECT_FALSE(popLastNumber(text, v)) << bad;
    EXPECT_EQ(text, bad);
  }
  std::string_view lone = ";7";
  ASSERT_TRUE(popLastNumber(lone, v));
  EXPECT_EQ(lone, "");
}

TEST(FilterCompiler, ChainStructureAndLinks) {
  auto head = parseFilterString("CROP(GAIN(VALUE;2);-1;1)");
  ASSERT_TRUE(head->valid.load());
  auto nodes = nodesOf(head);
  ASSERT_EQ(nodes.size(), 3u);
  EXPECT_EQ(nodes[0]->name, "CROP");
  EXPECT_EQ(nodes[0]->param1, -1.0f);
  EXPECT_EQ(nodes[0]->param2, 1.0f);
  EXPECT_EQ(nodes[1]->name, "GAIN");
  EXPECT_EQ(nodes[1]->param1, 2.0f);
  EXPECT_EQ(nodes[2]->kind, kValue);
  EXPECT_FALSE(nodes[1]->valid.load());  // only the head carries the flag
  EXPECT_EQ(head->prevNode(), nullptr);
  EXPECT_EQ(nodes[1]->prevNode(), nodes[0]);
  EXPECT_EQ(nodes[2]->prevNode(), nodes[1]);
  EXPECT_EQ(getTail(head), nodes[2]);
  EXPECT_EQ(getTail(nodes[2]), nodes[2]);
  EXPECT_EQ(getTail(nullptr), nullptr);
  EXPECT_EQ(nodes[1]->shared_from_this(), nodes[1]);

  auto remap = parseFilterString("REMAP(VALUE;1;2;3;4)");
  EXPECT_EQ(remap->param1, 1.0f);
  EXPECT_EQ(remap->param2, 2.0f);
  EXPECT_EQ(remap->param3, 3.0f);
  EXPECT_EQ(remap->param4, 4.0f);

  // Dropping the head frees the chain; prev keeps nothing alive.
  std::weak_ptr<FilterSys> tail = nodes[2];
  nodes.clear();
  head.reset();
  EXPECT_TRUE(tail.expired());
}

std::string nested(int steps, const char* inner = "VALUE") {
  std::string text;
  for (int i = 0; i < steps; ++i) text += "ABS(";
  text += inner;
  text.append(static_cast<std::size_t>(steps), ')');
  return text;
}

TEST(FilterCompiler, ChainLengthIsBounded) {
  EXPECT_TRUE(compiles(nested(kMaxChainNodes - 1)));
  EXPECT_EQ(nodesOf(parseFilterString(nested(kMaxChainNodes - 1))).size(), static_cast<std::size_t>(kMaxChainNodes));
  EXPECT_FALSE(compiles(nested(kMaxChainNodes)));
  // Far deeper than any stack or the bound: refused, promptly.
  expectInvalidHead(parseFilterString(nested(300000)));
}

TEST(FilterCompiler, TextsOfAnySizeOrContent) {
  // A valid chain followed by a megabyte of anything.
  std::string text = "GAIN(EMALP(VALUE;8);2)" + std::string(1 << 20, ';');
  EXPECT_TRUE(compiles(text));
  // Unbalanced, endless openings; endless numbers; every byte value.
  EXPECT_FALSE(compiles(std::string(1 << 20, '(')));
  EXPECT_FALSE(compiles("ABS(" + std::string(1 << 20, '1') + ")"));
  EXPECT_FALSE(compiles("GAIN(VALUE;" + std::string(1 << 20, '9') + ")"));  // far beyond single precision
  EXPECT_FALSE(compiles("GAIN(VALUE;0." + std::string(1 << 16, '0') + "1)"));
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_FALSE(compiles(all));
  EXPECT_FALSE(compiles(std::string("GAIN(VAL\0UE;2)", 14)));

  std::mt19937 rng(12345);
  const std::string alphabet = "ABSGAINVALUEvalue();,.-+0x1f9 \t";
  for (int i = 0; i < 2000; ++i) {
    std::string junk(rng() % 64, ' ');
    for (char& c : junk) c = alphabet[rng() % alphabet.size()];
    auto head = parseFilterString(junk);
    ASSERT_NE(head, nullptr);
    if (head->valid.load()) {
      EXPECT_EQ(getTail(head)->kind, kValue) << junk;
    }
  }
}

TEST(FilterCompiler, ARefusalSaysWhereAndWhy) {
  using P = FilterRefusal::Problem;
  struct Case {
    const char* text;
    P problem;
    std::size_t column;
    const char* words;
  };
  const Case cases[] = {
      {"  ", P::Empty, 2, "empty"},
      {"gain( VALUE;2)", P::SpacedValue, 5, "without spaces"},
      {"GAIN(VALUE;2;3)", P::ExtraNumber, 10, "GAIN takes only 1 number"},
      {"ABS(VALUE;1)", P::ExtraNumber, 9, "ABS takes no number"},
      {"CROP(VALUE;1)", P::MissingNumber, 10, "CROP needs 2 numbers"},
      {"GAIN(EMALP(VALUE;2))", P::MissingNumber, 19, "GAIN needs 1 number"},
      {" EMALP(VALUE;0.5)", P::BelowOne, 13, "at least 1"},
      {"GAIN(VALUE;1e3)", P::BadNumber, 11, "not a number"},
      {"GAIN(VALUE; 0x1G )", P::BadNumber, 12, "not a number"},
      {"REMAP(VALUE;5;5;0;1)", P::EmptyRange, 14, "differ"},
      {"CROP(FOO(VALUE;1);0;1)", P::UnknownStep, 5, "no step of that name"},
      {"VALUE(VALUE)", P::ValueWithParens, 0, "no parentheses"},
      {"GAIN(EMALP(VALUE;10)", P::MissingClose, 16, "without a ')'"},
      {"GAIN)(VALUE;2", P::MissingClose, 13, "without a ')'"},
      {"value", P::NotAStep, 0, "expected VALUE"},
  };
  for (const Case& c : cases) {
    FilterRefusal r;
    EXPECT_FALSE(parseFilterString(c.text, &r)->valid.load()) << c.text;
    EXPECT_EQ(r.problem, c.problem) << c.text;
    EXPECT_EQ(r.column, c.column) << c.text;
    EXPECT_NE(describeRefusal(r).find(c.words), std::string::npos) << c.text << ": " << describeRefusal(r);
  }
  FilterRefusal r;
  EXPECT_FALSE(parseFilterString(std::string(300, 'A').insert(0, "GAIN(").append(";1)"), &r)->valid.load());
  std::string deep = "VALUE";
  for (int i = 0; i < kMaxChainNodes; ++i) deep = "ABS(" + deep + ")";
  EXPECT_FALSE(parseFilterString(deep, &r)->valid.load());
  EXPECT_EQ(r.problem, P::TooLong);
  EXPECT_EQ(r.column, 4u * (kMaxChainNodes - 1));
  // A text that compiles leaves the refusal as it was.
  FilterRefusal untouched;
  EXPECT_TRUE(parseFilterString("GAIN(VALUE;2)", &untouched)->valid.load());
  EXPECT_EQ(untouched.problem, P::None);
}

TEST(FilterCompiler, DestroyingAVeryLongChainDoesNotRecurse) {
  // Longer than the compiler makes; built by hand to exercise the release.
  auto head = std::make_shared<FilterSys>();
  auto node = head;
  for (int i = 0; i < 200000; ++i) {
    node->next = std::make_shared<FilterSys>();
    node = node->next;
  }
  std::weak_ptr<FilterSys> tail = node;
  node.reset();
  head.reset();
  EXPECT_TRUE(tail.expired());
}

// Installs a locale whose decimal separator is ',' for the scope; false when
// this machine offers none.
class CommaLocale {
 public:
  CommaLocale() {
    const char* saved = std::setlocale(LC_ALL, nullptr);
    saved_ = saved ? saved : "C";
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252", "de-DE", "German"}) {
      if (std::setlocale(LC_ALL, name) && isComma()) return;
    }
#ifndef _WIN32
    // Build one into the test's own folder: glibc reads LOCPATH on every setlocale.
    dir_ = ::testing::TempDir() + "kinevra-locale-" + std::to_string(std::random_device{}());
    const std::string cmd = "mkdir -p '" + dir_ + "' && localedef -i de_DE -f UTF-8 '" + dir_ +
                            "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == 0) {
      setenv("LOCPATH", dir_.c_str(), 1);
      if (std::setlocale(LC_ALL, "de_DE.UTF-8") && isComma()) return;
    }
#endif
    std::setlocale(LC_ALL, saved_.c_str());
  }
  ~CommaLocale() {
    std::setlocale(LC_ALL, saved_.c_str());
#ifndef _WIN32
    if (!dir_.empty()) {
      unsetenv("LOCPATH");
      std::system(("rm -rf '" + dir_ + "'").c_str());
    }
#endif
  }
  static bool isComma() { return std::strcmp(std::localeconv()->decimal_point, ",") == 0; }

 private:
  std::string saved_;
  std::string dir_;
};

TEST(FilterCompiler, HostLocaleDoesNotChangeNumbers) {
  CommaLocale locale;
  if (!CommaLocale::isComma()) GTEST_SKIP() << "no locale with a comma decimal separator on this machine";
  // The C library now reads '1.5' as 1 ...
  EXPECT_EQ(std::strtod("1.5", nullptr), 1.0);
  // ... the compiler still reads both forms the same way.
  EXPECT_EQ(gainOf("1.5"), 1.5);
  EXPECT_EQ(gainOf("1,5"), 1.5);
  EXPECT_EQ(gainOf("-0,25"), -0.25);
  EXPECT_TRUE(std::isnan(gainOf("1e3")));
}

// A text run on a chain of its own, as kinevra-host plot runs it.
TEST(FilterEvaluation, ATextIsEvaluatedOnAChainOfItsOwn) {
  const double in[4] = {1, 1, 1, 1};
  double out[4] = {};
  int column = 7;
  std::string reason = "x";
  // 'EMALP(VALUE;4)' from rest: 0.25, 0.4375, 0.578125, ... ; then doubled.
  EXPECT_EQ(evaluateFilterText("GAIN(EMALP(VALUE;4);2)", in, out, 4, &column, &reason), 4);
  EXPECT_EQ(column, -1);
  EXPECT_EQ(reason, "");
  EXPECT_DOUBLE_EQ(out[0], 0.5);
  EXPECT_DOUBLE_EQ(out[1], 0.875);
  EXPECT_DOUBLE_EQ(out[2], 1.15625);
  // Each call starts from rest.
  EXPECT_EQ(evaluateFilterText("GAIN(EMALP(VALUE;4);2)", in, out, 1, nullptr, nullptr), 1);
  EXPECT_DOUBLE_EQ(out[0], 0.5);
  // Refused: where and why.
  EXPECT_EQ(evaluateFilterText("EMALP(VALUE;0.5)", in, out, 4, &column, &reason), -1);
  EXPECT_EQ(column, 12);
  EXPECT_EQ(reason.rfind("EMALP's", 0), 0u) << reason;
  EXPECT_EQ(evaluateFilterText("EMALP(VALUE;0.5)", nullptr, nullptr, 0, nullptr, nullptr), -1);
  EXPECT_EQ(evaluateFilterText(nullptr, in, out, 4, &column, &reason), -2);
  EXPECT_EQ(evaluateFilterText("VALUE", in, out, -1, nullptr, nullptr), -2);
  EXPECT_EQ(evaluateFilterText("VALUE", nullptr, out, 4, nullptr, nullptr), -2);
  EXPECT_EQ(evaluateFilterText("VALUE", in, out, 0, nullptr, nullptr), 0);
}

}  // namespace
}  // namespace kinevra
