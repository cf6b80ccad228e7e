#include "app/center_form.h"

#include <gtest/gtest.h>

using namespace fm;

TEST(CenterForm, CentresInARectOfTheWorkAreasSizeAndNeverGoesNegative) {
    constexpr double kW = 425 * 15, kH = 411 * 15; // twips at 15 twips per pixel
    struct Case {
        double w, h;
        ScaleMode mode;
        double tx, ty;
        WorkArea area;
        double left, top;
    } cases[] = {
        {kW, kH, ScaleMode::Twips, 15, 15, {0, 0, 1024, 738}, 4492.5, 2452.5},
        {kW, kH, ScaleMode::Twips, 15, 15, {0, 30, 1024, 768}, 4492.5, 2452.5}, // offset unused
        {kW, kH, ScaleMode::Twips, 15, 15, {60, 0, 1024, 768}, (964 - 425) * 7.5, 178.5 * 15},
        {kW, kH, ScaleMode::Twips, 15, 15, {0, 0, 300, 200}, 0, 0},
        {kW, kH, ScaleMode::Twips, 15, 15, {0, 0, 1024, 300}, 4492.5, 0},
        // Factors and pixel sizes round half to even: 14.5 -> 14, 15.5 -> 16, 22.5 -> 22.
        {1400, 1600, ScaleMode::Twips, 14.5, 15.5, {0, 0, 1000, 1000}, 900 * 7.0, 900 * 8.0},
        {23.5 * 15, 22.5 * 15, ScaleMode::Twips, 15, 15, {0, 0, 101, 101}, 77 * 7.5, 79 * 7.5},
        {425, 411, ScaleMode::Pixels, 15, 15, {0, 0, 1024, 738}, 4492.5, 2452.5},
        {425, 411, ScaleMode::Other, 15, 15, {0, 0, 1024, 738}, 1024 * 7.5, 738 * 7.5},
    };
    for (const Case& c : cases) {
        FormPosition p = CenterFormPosition(c.w, c.h, c.mode, c.tx, c.ty, c.area);
        EXPECT_DOUBLE_EQ(p.left, c.left) << c.w << " " << c.area.right;
        EXPECT_DOUBLE_EQ(p.top, c.top) << c.h << " " << c.area.bottom;
    }
    EXPECT_EQ(RoundInt16(-2.5), -2);
    EXPECT_EQ(RoundInt16(1e9), 32767);
    EXPECT_EQ(RoundInt16(32767.6), 32767); // rounds to 32768, which a 16-bit value cannot hold
}
