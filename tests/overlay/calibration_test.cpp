// Result texts, units and the colour table.

#include "overlay/calibration.h"

#include <gtest/gtest.h>

namespace {

struct TextCase {
    GVLResult kind;
    double value;
    int precision;
    int unit;
    const char* expected;
};

TEST(ResultTextTest, FormatsByKindPrecisionAndUnit) {
    const TextCase cases[] = {
        {GVLResult::Length, 20.0, 2, 0, "L=20.00 um"},
        {GVLResult::Length, 12.345, 2, 1, "L=12.35 mm"},
        {GVLResult::Length, 12.345, 1, 2, "L=12.3 cm"},
        {GVLResult::Length, 1.0 / 3.0, 5, 3, "L=0.33333 dm"},
        {GVLResult::Area, 3.0, 2, 1, "S=3.00 mm2"},
        {GVLResult::Area, 3.0, 4, 4, "S=3.0000 mil2"},
        {GVLResult::Radius, 2.5, 3, 5, "R=2.500 inch"},
        {GVLResult::Angle, 45.0, 2, 1, "A=45.00 deg"},
        {GVLResult::Angle, 270.0, 1, 4, "A=270.0 deg"},
        {GVLResult::RulerArm, 10.0, 2, 0, "10.00 um"},
        // Outside 1..5 no format is chosen and nothing is drawn.
        {GVLResult::Length, 20.0, 0, 0, ""},
        {GVLResult::Length, 20.0, 6, 0, ""},
        {GVLResult::Area, 20.0, -1, 0, ""},
        {GVLResult::Angle, 20.0, 6, 0, ""},
        // A stored unit out of range gets no suffix, and no stray "2" that would read as a digit.
        {GVLResult::Length, 20.0, 2, 9, "L=20.00"},
        {GVLResult::Area, 20.0, 2, -1, "S=20.00"},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(GVLResultText(c.kind, c.value, c.precision, c.unit).toStdString(), c.expected)
            << "value " << c.value << " precision " << c.precision << " unit " << c.unit;
}

TEST(ResultTextTest, ChangingTheUnitRelabelsOnly) {
    EXPECT_EQ(GVLResultText(GVLResult::Length, 7.25, 2, 1), "L=7.25 mm");
    EXPECT_EQ(GVLResultText(GVLResult::Length, 7.25, 2, 0), "L=7.25 um");
}

TEST(UnitTest, NamesAndSuffixes) {
    const char* names[] = {"um", "mm", "cm", "dm", "mil", "inch"};
    for (int i = 0; i < kGVLUnitCount; ++i) {
        EXPECT_EQ(GVLUnitName(i).toStdString(), names[i]);
        EXPECT_EQ(GVLUnitSuffix(i).toStdString(), std::string(" ") + names[i]);
    }
    EXPECT_TRUE(GVLUnitName(6).isEmpty());
    EXPECT_TRUE(GVLUnitSuffix(-1).isEmpty());
}

TEST(ColorTableTest, EightColoursWithIndexZeroNeverPureBlack) {
    const QRgb expected[8] = {qRgb(1, 1, 1),     qRgb(255, 255, 255), qRgb(255, 0, 0),
                              qRgb(0, 255, 0),   qRgb(0, 0, 255),     qRgb(0, 255, 255),
                              qRgb(255, 0, 255), qRgb(255, 255, 0)};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(GVLColor(i).rgb(), expected[i]) << "index " << i;
    // Indices from a damaged settings file stay inside the table.
    for (int i : {-1, 8, 1000, -2147483647 - 1, 2147483647})
        EXPECT_EQ(GVLColor(i).rgb(), qRgb(1, 1, 1)) << i;
}

}  // namespace
