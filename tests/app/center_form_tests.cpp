#include "app/center_form.h"

#include <gtest/gtest.h>

using fm::CenterFormPosition;
using fm::ScaleMode;
using fm::WorkArea;

// A window 425 x 411 pixels, given in twips at 15 twips per pixel.
constexpr double kW = 425 * 15;
constexpr double kH = 411 * 15;

TEST(CenterForm, TaskbarAtBottomCentresInWorkArea) {
    auto p = CenterFormPosition(kW, kH, ScaleMode::Twips, 15, 15, WorkArea{0, 0, 1024, 738});
    EXPECT_DOUBLE_EQ(p.left, 4492.5);
    EXPECT_DOUBLE_EQ(p.top, 2452.5);
}

TEST(CenterForm, WorkAreaOffsetIsNotAdded) {
    // Taskbar at the top: the same top, measured from the screen's edge.
    auto p = CenterFormPosition(kW, kH, ScaleMode::Twips, 15, 15, WorkArea{0, 30, 1024, 768});
    EXPECT_DOUBLE_EQ(p.top, 2452.5);
    p = CenterFormPosition(kW, kH, ScaleMode::Twips, 15, 15, WorkArea{60, 0, 1024, 768});
    EXPECT_DOUBLE_EQ(p.left, (964 - 425) * 15 / 2.0);
}

TEST(CenterForm, NeverNegative) {
    auto p = CenterFormPosition(kW, kH, ScaleMode::Twips, 15, 15, WorkArea{0, 0, 300, 200});
    EXPECT_EQ(p.left, 0);
    EXPECT_EQ(p.top, 0);
    p = CenterFormPosition(kW, kH, ScaleMode::Twips, 15, 15, WorkArea{0, 0, 1024, 300});
    EXPECT_GT(p.left, 0);
    EXPECT_EQ(p.top, 0);
}

TEST(CenterForm, FactorsAndSizesRoundHalfToEven) {
    // 14.5 twips per pixel rounds to 14, 15.5 to 16.
    auto p =
        CenterFormPosition(1400, 1600, ScaleMode::Twips, 14.5, 15.5, WorkArea{0, 0, 1000, 1000});
    EXPECT_DOUBLE_EQ(p.left, (1000 - 100) * 14 / 2.0);
    EXPECT_DOUBLE_EQ(p.top, (1000 - 100) * 16 / 2.0);
    // A height of 22.5 pixels rounds to 22, 23.5 to 24.
    p = CenterFormPosition(23.5 * 15, 22.5 * 15, ScaleMode::Twips, 15, 15,
                           WorkArea{0, 0, 101, 101});
    EXPECT_DOUBLE_EQ(p.left, (101 - 24) * 15 / 2.0);
    EXPECT_DOUBLE_EQ(p.top, (101 - 22) * 15 / 2.0);
}

TEST(CenterForm, OtherScaleModes) {
    auto p = CenterFormPosition(425, 411, ScaleMode::Pixels, 15, 15, WorkArea{0, 0, 1024, 738});
    EXPECT_DOUBLE_EQ(p.left, 4492.5);
    EXPECT_DOUBLE_EQ(p.top, 2452.5);
    // Unknown units count as a size of zero.
    p = CenterFormPosition(425, 411, ScaleMode::Other, 15, 15, WorkArea{0, 0, 1024, 738});
    EXPECT_DOUBLE_EQ(p.left, 1024 * 15 / 2.0);
}

TEST(CenterForm, RoundInt16) {
    EXPECT_EQ(fm::RoundInt16(2.5), 2);
    EXPECT_EQ(fm::RoundInt16(3.5), 4);
    EXPECT_EQ(fm::RoundInt16(-2.5), -2);
    EXPECT_EQ(fm::RoundInt16(1e9), 32767);
}
