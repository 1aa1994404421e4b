// The games' block formats on their own: RaceRoom's versions, the rFactor 2
// matrix, the truck simulators' turns and limits, blocks too short for their
// fields, and values that are not numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "sources/block_formats.h"
#include "sources/gravity.h"

namespace kinevra {
namespace {

TEST(R3eVersions, FieldsMoveWithTheVersion) {
  struct Row {
    int major, minor;
    bool supported;
    std::size_t flags, player;
  };
  const Row rows[] = {{2, 0, true, 0, 0},  {2, 11, true, 0, 0}, {3, 0, true, 0, 0}, {3, 2, true, 0, 0},
                      {3, 3, true, 4, 4},  {3, 4, true, 4, 8},  {3, 5, true, 4, 8}, {3, 9, true, 4, 8},
                      {1, 9, false, 0, 0}, {4, 0, false, 0, 0}, {3, -1, false, 0, 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.major) + "." + std::to_string(r.minor));
    const R3eLayout l = r3eLayout(r.major, r.minor);
    EXPECT_EQ(l.supported, r.supported);
    if (!r.supported) continue;
    EXPECT_EQ(l.flagShift, r.flags);
    EXPECT_EQ(l.playerShift, r.player);
  }
}

// The rotation the plug-in's matrix describes: heading about y, roll about
// z, pitch about x (car axes x left, y up, z back), rows in order.
void matrixOf(double yaw, double pitch, double roll, double (&m)[9]) {
  const double d = 3.141592653589793 / 180.0;
  const double h = -yaw * d, a = roll * d, b = pitch * d;
  const double ch = std::cos(h), sh = std::sin(h), ca = std::cos(a), sa = std::sin(a), cb = std::cos(b),
               sb = std::sin(b);
  const double r[9] = {ch * ca, -ch * sa * cb + sh * sb, ch * sa * sb + sh * cb, sa, ca * cb, -ca * sb,
                       -sh * ca, sh * sa * cb + ch * sb, -sh * sa * sb + ch * cb};
  std::memcpy(m, r, sizeof r);
}

TEST(Rf2Matrix, AnglesComeBackThroughEveryBranchOfTheQuaternion) {
  // Headings all round (towards 180 the trace falls and the other three
  // branches take over), pitch beyond the vertical, roll up to its limit.
  for (double yaw = -179.0; yaw <= 180.0; yaw += 11.0)
    for (double pitch = -170.0; pitch <= 170.0; pitch += 17.0)
      for (double roll = -85.0; roll <= 85.0; roll += 17.0) {
        double m[9];
        matrixOf(yaw, pitch, roll, m);
        const Rf2Attitude a = rf2Attitude(m);
        const double dyaw = std::remainder(a.yaw - yaw, 360.0), dpitch = std::remainder(a.pitch - pitch, 360.0);
        ASSERT_NEAR(dyaw, 0.0, 1e-9) << yaw << " " << pitch << " " << roll;
        ASSERT_NEAR(dpitch, 0.0, 1e-9) << yaw << " " << pitch << " " << roll;
        ASSERT_NEAR(a.roll, roll, 1e-9) << yaw << " " << pitch << " " << roll;
      }
  // Upright: rounding must not make the roll's sine exceed 1.
  double m[9];
  matrixOf(30.0, 0.0, 90.0, m);
  EXPECT_NEAR(rf2Attitude(m).roll, 90.0, 1e-6);
}

TEST(Rf2Matrix, GarbageMatrixGivesNoUpdate) {
  std::vector<std::uint8_t> block(rf2::kFieldsEnd, 0);
  GameValues good;
  ASSERT_TRUE(convertRf2(ByteView(block.data(), block.size()), &good));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::memcpy(block.data() + rf2::kOrientation, &nan, 8);
  GameValues v;
  ASSERT_TRUE(convertRf2(ByteView(block.data(), block.size()), &v));
  double g[47] = {};
  g[gd::kYawPosition] = 12.0;
  EXPECT_FALSE(v.commit(g));
  EXPECT_EQ(g[gd::kYawPosition], 12.0);  // left as it was
}

std::vector<std::uint8_t> scsBlock(float heading, float pitch, float roll) {
  std::vector<std::uint8_t> b(scs::kFieldsEnd, 0);
  b[0] = 1;
  std::memcpy(b.data() + scs::kHeading, &heading, 4);
  std::memcpy(b.data() + scs::kPitch, &pitch, 4);
  std::memcpy(b.data() + scs::kRoll, &roll, 4);
  return b;
}

TEST(ScsTurns, AnglesAreLimitedAfterTheirConversion) {
  struct Row {
    float heading, pitch, roll;
    double yaw, pitchDeg, rollDeg;
  };
  const Row rows[] = {
      {1.2f, 0.0f, -0.6f, 360.0, 0.0, 180.0},   // past a full turn; roll flipped, then limited
      {-0.1f, 0.3f, 0.6f, 0.0, 90.0, -180.0},
      {0.5f, -0.3f, 0.1f, 180.0, -90.0, -36.0},
      {0.25f, 0.125f, -0.25f, 90.0, 45.0, 90.0},
  };
  for (const Row& r : rows) {
    const auto b = scsBlock(r.heading, r.pitch, r.roll);
    GameValues v;
    ASSERT_TRUE(convertScs(ByteView(b.data(), b.size()), &v));
    EXPECT_EQ(v.value(gd::kYawPosition), r.yaw);
    EXPECT_EQ(v.value(gd::kPitchPosition), r.pitchDeg);
    EXPECT_FLOAT_EQ(static_cast<float>(v.value(gd::kRollPosition)), static_cast<float>(r.rollDeg));
  }
  // Single precision: 0.1 turns is 36 degrees as a float computes it.
  const auto b = scsBlock(0.1f, 0.0f, 0.0f);
  GameValues v;
  ASSERT_TRUE(convertScs(ByteView(b.data(), b.size()), &v));
  EXPECT_EQ(v.value(gd::kYawPosition), static_cast<double>(0.1f * 360.0f));

  // Not a number, or infinite: refused, not limited into something plausible.
  for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
    const auto nb = scsBlock(bad, 0.0f, 0.0f);
    GameValues nv;
    ASSERT_TRUE(convertScs(ByteView(nb.data(), nb.size()), &nv));
    double g[47] = {};
    EXPECT_FALSE(nv.commit(g));
  }
}

TEST(BlockFormats, BlocksTooShortForTheirFieldsConvertToNothing) {
  struct Format {
    const char* name;
    std::size_t size;
    bool (*convert)(ByteView, GameValues*);
  };
  const Format formats[] = {
      {"acpmf", acpmf::kFieldsEnd, convertAcpmfPhysics},
      {"r3e", r3e::kPlayerFieldsEnd - r3e::kPlayerFieldsBegin, convertR3ePlayer},
      {"pcars2", pcars2::kFieldsEnd - pcars2::kFieldsBegin, convertPcars2},
      {"rf2", rf2::kFieldsEnd, convertRf2},
      {"scs", scs::kFieldsEnd, convertScs},
  };
  for (const Format& f : formats) {
    SCOPED_TRACE(f.name);
    std::vector<std::uint8_t> exact(f.size, 0);
    GameValues v;
    EXPECT_FALSE(f.convert(ByteView(exact.data(), f.size - 1), &v));
    EXPECT_EQ(v.size(), 0u);
    EXPECT_TRUE(f.convert(ByteView(exact.data(), f.size), &v));
    EXPECT_GT(v.size(), 0u);
  }
}

}  // namespace
}  // namespace kinevra
