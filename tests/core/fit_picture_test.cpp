#include "core/fit_picture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct fit_case {
    double top, left, area_h, area_w, pic_h, pic_w, percent;
    double want_left, want_top, want_w, want_h;
};

class FitPicture : public ::testing::TestWithParam<fit_case> {};

TEST_P(FitPicture, PlacesThePicture) {
    const fit_case c = GetParam();
    const lv::fit_result r =
        lv::fit_picture(c.top, c.left, c.area_h, c.area_w, c.pic_h, c.pic_w, c.percent);
    ASSERT_TRUE(r.ok);
    EXPECT_DOUBLE_EQ(r.left, c.want_left);
    EXPECT_DOUBLE_EQ(r.top, c.want_top);
    EXPECT_DOUBLE_EQ(r.width, c.want_w);
    EXPECT_DOUBLE_EQ(r.height, c.want_h);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, FitPicture,
    ::testing::Values(
        // landscape filling a landscape area exactly
        fit_case{0, 0, 600, 800, 300, 400, 100, 0, 0, 800, 600},
        // portrait at 75%: height-driven, centred, fractional left kept
        fit_case{0, 0, 600, 800, 1000, 500, 75, 287.5, 75, 225, 450},
        // very wide landscape at 50%: width-driven
        fit_case{0, 0, 600, 800, 100, 1000, 50, 200, 280, 400, 40},
        // the area's own top and left offset the result
        fit_case{10, 20, 600, 800, 300, 400, 50, 220, 160, 400, 300},
        // portrait in a tall narrow area: wider than the area, left raised from -150
        fit_case{0, 0, 800, 300, 400, 300, 100, 0, 0, 600, 800},
        // square picture counts as landscape and is capped by the height
        fit_case{0, 0, 600, 800, 50, 50, 100, 100, 0, 600, 600},
        // small pictures are enlarged too
        fit_case{0, 0, 100, 100, 10, 20, 100, 0, 25, 100, 50}));

TEST(FitPictureNoSize, RefusesPicturesWithoutASize) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (auto [h, w] : {std::pair{0.0, 400.0}, {400.0, 0.0}, {-5.0, 400.0}, {400.0, -1.0},
                        {0.0, 0.0}, {nan, 10.0}}) {
        const lv::fit_result r = lv::fit_picture(0, 0, 600, 800, h, w, 100);
        EXPECT_FALSE(r.ok) << h << "x" << w;
        EXPECT_FALSE(std::isnan(r.left) || std::isnan(r.top) || std::isnan(r.width) ||
                     std::isnan(r.height));
    }
}

}  // namespace
