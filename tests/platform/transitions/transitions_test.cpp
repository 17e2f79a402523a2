// The numbered transitions: which numbers have one, their two ends and
// their middle, how they progress, their durations, and how they cope with
// pictures that are not in the expected shape.
#include "core/effects.h"
#include "platform/transitions/transition_kit.h"
#include "platform/transitions/transitions.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

std::vector<int> all_effect_numbers() {
    std::vector<int> numbers;
    for (int row = 2; row < lv::effect_rows; ++row) numbers.push_back(lv::effect_number_for_row(row));
    return numbers;
}

std::string label(int number) {
    for (int row = 2; row < lv::effect_rows; ++row)
        if (lv::effect_number_for_row(row) == number)
            return "effect " + std::to_string(number) + " \"" + lv::effect_names[std::size_t(row)] + "\"";
    return "effect " + std::to_string(number);
}

QImage solid(QSize size, QColor c, QImage::Format f = QImage::Format_ARGB32_Premultiplied) {
    QImage img(size, f);
    img.fill(c);
    return img;
}

// A face with structure everywhere, so that moved or scaled content differs
// from content left in place.
QImage pattern(QSize size, int seed) {
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb((x * 7 + seed * 40) & 255, (y * 5 + seed * 90) & 255, ((x ^ y) * 3 + seed * 17) & 255);
    }
    return img;
}

QImage frame(lv::Transition& t, const QImage& a, const QImage& b, double p) {
    QImage out(a.size(), a.format());
    out.fill(Qt::magenta);
    t.paint(out, a, b, p);
    return out;
}

int count_pixels(const QImage& img, QRgb value) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) n += line[x] == value;
    }
    return n;
}

TEST(Transitions, NumbersWithoutARowHaveNone) {
    for (int n : {0, 51, 82, 83, 84, 85, 86, 87, 88, 89, 114, 115, 255, 1000, -1, -50, -113, INT_MIN, INT_MAX}) {
        EXPECT_FALSE(lv::has_transition(n)) << n;
        EXPECT_EQ(lv::Transition::create(n, 4, QSize(64, 48)), nullptr) << n;
        EXPECT_EQ(lv::transition_duration_ms(n, 15, 4), 0) << n;
    }
}

TEST(Transitions, EveryTransitionRowHasOne) {
    const auto numbers = all_effect_numbers();
    ASSERT_EQ(numbers.size(), 104u);
    for (int n : numbers) {
        EXPECT_TRUE(lv::has_transition(n)) << label(n);
        EXPECT_NE(lv::Transition::create(n, 4, QSize(64, 48)), nullptr) << label(n);
    }
}

// p = 0 is the old face, p = 1 the new face, exactly; halfway shows some of
// each. Checked for the default grains and for the extremes, with solid
// faces and with patterned ones, on even and odd sizes.
TEST(Transitions, EndsAreExactAndTheMiddleShowsBoth) {
    lv::reset_effect_table();
    struct Case {
        QSize size;
        int grain;   // 0: the row's default
    };
    // The last size is large enough for the output to be written with
    // streaming stores.
    const Case cases[] = {{QSize(160, 90), 0}, {QSize(97, 61), 1}, {QSize(97, 61), 255}, {QSize(200, 40), 0},
                          {QSize(1030, 520), 0}};
    for (const Case& c : cases) {
        const QImage solids[2] = {solid(c.size, QColor(20, 40, 200)), solid(c.size, QColor(250, 200, 10))};
        const QImage patterns[2] = {pattern(c.size, 1), pattern(c.size, 2)};
        for (int row = 2; row < lv::effect_rows; ++row) {
            const int n = lv::effect_number_for_row(row);
            const int grain = c.grain ? c.grain : lv::effect_table()[std::size_t(row)].grain;
            auto t = lv::Transition::create(n, grain, c.size);
            ASSERT_NE(t, nullptr);
            for (const QImage* faces : {solids, patterns}) {
                SCOPED_TRACE(label(n) + " grain " + std::to_string(grain) + " size " + std::to_string(c.size.width()) +
                             "x" + std::to_string(c.size.height()) + (faces == solids ? " solid" : " pattern"));
                const QImage& a = faces[0];
                const QImage& b = faces[1];
                EXPECT_EQ(frame(*t, a, b, 0.0), a);
                EXPECT_EQ(frame(*t, a, b, 1.0), b);
                const QImage mid = frame(*t, a, b, 0.5);
                EXPECT_NE(mid, a);
                EXPECT_NE(mid, b);
                // Progress outside the run, or no number at all, shows an end.
                EXPECT_EQ(frame(*t, a, b, -0.5), a);
                EXPECT_EQ(frame(*t, a, b, 7.0), b);
                EXPECT_EQ(frame(*t, a, b, std::numeric_limits<double>::quiet_NaN()), a);
            }
        }
    }
}

// With two solid faces, every frame is made only of the two colours (the
// roll's shaded edge aside), and the new colour never loses ground as the
// run goes on: nothing flickers back.
TEST(Transitions, NewFaceGainsGroundSteadily) {
    // The large size is written with streaming stores.
    for (const auto& [size, steps] : {std::pair{QSize(120, 80), 40}, std::pair{QSize(1030, 520), 10}}) {
        const QImage a = solid(size, QColor(20, 40, 200)), b = solid(size, QColor(250, 200, 10));
        const QRgb old_px = a.pixel(0, 0), new_px = b.pixel(0, 0);
        for (int n : all_effect_numbers()) {
            SCOPED_TRACE(label(n) + " size " + std::to_string(size.width()));
            auto t = lv::Transition::create(n, 4, size);
            ASSERT_NE(t, nullptr);
            const bool rolls = n >= 98 && n <= 101;
            int last = 0;
            for (int i = 1; i < steps; ++i) {
                const double p = double(i) / steps;
                const QImage f = frame(*t, a, b, p);
                const int now = count_pixels(f, new_px);
                EXPECT_GE(now, last) << "at " << p;
                if (!rolls) {
                    EXPECT_EQ(now + count_pixels(f, old_px), size.width() * size.height()) << "at " << p;
                }
                last = now;
            }
        }
    }
}

// Near the end of the run nearly all of the picture is new, at the default
// grain and at the finer grains the effects editor offers, so that no effect
// leaps to the new face at its last frame. (Coarser grains are left out: at
// grain 8 one step of a box growing out of the middle of so small a picture
// is already 5% of its half width on every side.)
TEST(Transitions, NearTheEndNearlyAllIsNew) {
    lv::reset_effect_table();
    const QSize size(320, 200);
    const QImage a = solid(size, QColor(20, 40, 200)), b = solid(size, QColor(250, 200, 10));
    const QRgb new_px = b.pixel(0, 0);
    for (int row = 2; row < lv::effect_rows; ++row) {
        const int n = lv::effect_number_for_row(row);
        for (int grain : {lv::effect_table()[std::size_t(row)].grain, 1, 2, 4}) {
            auto t = lv::Transition::create(n, grain, size);
            ASSERT_NE(t, nullptr) << label(n);
            const double share = double(count_pixels(frame(*t, a, b, 0.975), new_px)) / (size.width() * size.height());
            EXPECT_GE(share, 0.92) << label(n) << " grain " << grain;
        }
    }
}

// Where the new face shows first is what the names promise: early in the
// run, region "first" shows more of the new face than region "later".
// Regions are fractions of the picture.
TEST(Transitions, NewFaceStartsWhereTheNameSays) {
    lv::reset_effect_table();
    const QSize size(320, 200);
    const QImage a = solid(size, Qt::black), b = solid(size, Qt::white);
    const QRgb white = b.pixel(0, 0);
    const auto share_new = [&](const QImage& f, QRectF unit) {
        const QRect r(int(unit.x() * size.width()), int(unit.y() * size.height()), int(unit.width() * size.width()),
                      int(unit.height() * size.height()));
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) n += f.pixel(x, y) == white;
        return double(n) / (r.width() * r.height());
    };
    const QRectF left(0, 0.3, 0.15, 0.4), right(0.85, 0.3, 0.15, 0.4), top(0.3, 0, 0.4, 0.15),
        bottom(0.3, 0.85, 0.4, 0.15), centre(0.4, 0.4, 0.2, 0.2), top_left(0, 0, 0.12, 0.12),
        top_right(0.88, 0, 0.12, 0.12), bottom_left(0, 0.88, 0.12, 0.12), bottom_right(0.88, 0.88, 0.12, 0.12),
        top_band(0, 0, 1, 0.25), bottom_band(0, 0.75, 1, 0.25), left_band(0, 0, 0.25, 1), right_band(0.75, 0, 0.25, 1),
        just_right_of_noon(0.52, 0, 0.1, 0.2), just_left_of_noon(0.38, 0, 0.1, 0.2);
    struct Case {
        int number;
        QRectF first, later;
    };
    const Case cases[] = {
        {1, left, right}, {2, right, left}, {3, top, bottom}, {4, bottom, top},
        {5, left, centre}, {5, right, centre}, {6, centre, left}, {7, top, centre}, {7, bottom, centre},
        {8, centre, top}, {9, bottom, top}, {10, top, bottom}, {11, bottom, top}, {12, top, bottom},
        {13, top_left, bottom_right}, {14, bottom_left, top_right}, {15, top_right, bottom_left},
        {16, bottom_right, top_left}, {17, top_left, centre}, {17, bottom_right, centre},
        {18, top_right, centre}, {18, bottom_left, centre}, {21, top_left, centre}, {21, bottom_right, centre},
        {22, centre, top_left}, {23, top_left, centre}, {24, top_left, centre}, {25, centre, top_left},
        {26, top_left, centre}, {26, bottom_right, centre}, {37, top_left, centre}, {38, centre, top_left},
        {44, centre, top_left}, {45, top_left, centre}, {46, top, bottom}, {47, top, bottom},
        {48, left, right}, {49, left, right}, {52, right, left}, {53, left, right},
        {54, right, left}, {55, left, right}, {56, bottom, top}, {57, top, bottom}, {58, right, left},
        {59, left, right}, {60, bottom_band, top_band}, {61, top_band, bottom_band}, {62, right_band, left_band},
        {63, left_band, right_band}, {64, bottom_band, top_band}, {65, top_band, bottom_band},
        {66, right_band, left_band}, {67, left_band, right_band}, {68, just_right_of_noon, just_left_of_noon},
        {69, just_left_of_noon, just_right_of_noon}, {70, right, left}, {71, left, right}, {72, left, centre},
        {72, right, centre}, {73, centre, left}, {76, top_left, bottom_right}, {77, top_right, bottom_left},
        {78, bottom_left, top_right}, {79, bottom_right, top_left}, {80, left, centre}, {80, right, centre},
        {81, top, centre}, {81, bottom, centre}, {90, top_band, bottom_band}, {91, bottom_band, top_band},
        {92, left_band, right_band}, {93, right_band, left_band}, {94, top_band, bottom_band},
        {95, bottom_band, top_band}, {96, left_band, right_band}, {97, right_band, left_band}, {98, top, bottom},
        {99, bottom, top}, {100, left, right}, {101, right, left}, {102, left, right}, {103, right, left},
        {104, top, bottom}, {105, bottom, top}, {106, left, centre}, {107, centre, left}, {108, top, centre},
        {109, centre, top}, {110, top_left, centre}, {111, centre, top_left},
    };
    for (const Case& c : cases) {
        int row = 2;
        while (lv::effect_number_for_row(row) != c.number) ++row;
        auto t = lv::Transition::create(c.number, lv::effect_table()[std::size_t(row)].grain, size);
        const QImage f = frame(*t, a, b, 0.3);
        EXPECT_GT(share_new(f, c.first), share_new(f, c.later) + 0.2) << label(c.number);
    }
    // The drips run down from the top edge: down each column the new face
    // comes first and the old one after, and some columns are further on.
    auto drip = lv::Transition::create(50, 8, size);
    for (double p : {0.2, 0.5, 0.8}) {
        const QImage f = frame(*drip, a, b, p);
        int shortest = size.height(), longest = 0;
        for (int x = 0; x < size.width(); ++x) {
            int y = 0;
            while (y < size.height() && f.pixel(x, y) == white) ++y;
            const int length = y;
            while (y < size.height() && f.pixel(x, y) != white) ++y;
            EXPECT_EQ(y, size.height()) << "column " << x << " at " << p;
            shortest = std::min(shortest, length);
            longest = std::max(longest, length);
        }
        EXPECT_LT(shortest, longest) << p;
    }
}

// The cell families against a plain per-pixel statement of what they show:
// a cell shows the new face once its rank is below the share of cells due at
// that progress; a drip column shows it down to its edge. Checked at the
// grains the editors offer, on sizes that leave partial cells, one large
// enough for streaming stores, ones narrower than a vector line, and on
// every vector path.
TEST(Transitions, CellFamiliesMatchAPerPixelReference) {
    const int families[] = {33, 37, 38, 39, 50, 60, 61, 62, 63, 64, 65, 66, 67, 90, 91, 92, 93};
    const double progress[] = {0.02, 0.3, 0.5, 0.77, 0.96};
    for (const QSize size : {QSize(320, 200), QSize(97, 61), QSize(1030, 520), QSize(17, 9), QSize(5, 3)}) {
        const QImage a = pattern(size, 9).convertToFormat(QImage::Format_RGB32);
        const QImage b = pattern(size, 10).convertToFormat(QImage::Format_RGB32);
        for (int n : families) {
            for (int grain : {1, 2, 3, 4, 8}) {
                const std::uint64_t seed = 1234567u * std::uint64_t(n) + std::uint64_t(grain);
                const lv::tx::CellGrid g = lv::tx::cell_grid(n, grain, size, seed);
                ASSERT_EQ(g.rank.size(), std::size_t(g.cols) * std::size_t(g.rows));
                if (n != 50) {
                    // Every cell has a turn of its own: the order lists each
                    // cell once, at its rank.
                    ASSERT_EQ(g.order.size(), g.rank.size());
                    for (std::size_t i = 0; i < g.order.size(); ++i) ASSERT_EQ(g.rank[g.order[i]], i) << label(n);
                }
                if ((n == 33 || n == 39 || n == 64) && g.order.size() > 2000) {
                    // Drawn at random, not in reading order: about as many
                    // turns go back up the picture as go on down.
                    std::size_t onward = 0;
                    for (std::size_t i = 1; i < g.order.size(); ++i) onward += g.order[i] > g.order[i - 1];
                    EXPECT_NEAR(double(onward) / double(g.order.size()), 0.5, 0.05) << label(n) << " grain " << grain;
                }
                auto t = lv::tx::make_cells(n, grain, size, seed);
                ASSERT_NE(t, nullptr);
                for (double p : progress) {
                    QImage want(size, QImage::Format_RGB32);
                    const auto count = std::uint32_t(p * double(g.rank.size()));
                    for (int y = 0; y < size.height(); ++y)
                        for (int x = 0; x < size.width(); ++x) {
                            bool is_new;
                            if (n == 50) {
                                const double t = std::clamp((p - g.rank[std::size_t(x / g.cw)] / 65536.0) / 0.5, 0.0, 1.0);
                                is_new = y < std::lround(size.height() * t * t);
                            } else {
                                is_new = g.rank[std::size_t(y / g.ch) * std::size_t(g.cols) + std::size_t(x / g.cw)] < count;
                            }
                            want.setPixel(x, y, (is_new ? b : a).pixel(x, y));
                        }
                    for (int bits : {512, 256, 128, 0}) {
                        lv::tx::limit_vector_bits(bits);
                        const QImage got = frame(*t, a, b, p);
                        lv::tx::limit_vector_bits(512);
                        ASSERT_EQ(got, want) << label(n) << " grain " << grain << " at " << p << " size "
                                             << size.width() << "x" << size.height() << " vector bits " << bits;
                    }
                }
            }
        }
    }
}

// The checkerboard, the drip and the sparkles at their finest grains, painted
// as a display paints them, each frame over the last in the same picture, a
// tick apart, against a plain per-pixel statement of what they show: a
// checkerboard cell wipes across its own width and the next one's, odd rows
// of cells a cell behind; a drip column shows the new face down to its edge;
// a sparkle shows it once its rank is below the share of cells due. These
// frames write only what changed, or stream whole rows, depending on how
// much changed: every frame of a run, on a full-window picture and on one
// whose rows do not keep to the cache lines, there on every vector path.
TEST(Transitions, FineCheckerboardsDripsAndSparklesOnAKeptPictureMatchAPerPixelReference) {
    for (const QSize size : {QSize(1920, 1080), QSize(1003, 301)}) {
        const QImage a = pattern(size, 11).convertToFormat(QImage::Format_RGB32);
        const QImage b = pattern(size, 12).convertToFormat(QImage::Format_RGB32);
        const int W = size.width(), H = size.height();
        for (int n : {40, 50, 64, 65, 66, 67}) {
            for (const auto& [grain, bits] : {std::pair{1, 512}, std::pair{2, 512}, std::pair{4, 512}, std::pair{1, 128},
                                              std::pair{2, 0}}) {
                if (bits != 512 && W == 1920) continue;
                lv::tx::limit_vector_bits(bits);
                const std::uint64_t seed = 777u + std::uint64_t(grain);
                auto t = n == 40 ? lv::tx::make_shape(n, grain, size, seed) : lv::tx::make_cells(n, grain, size, seed);
                ASSERT_NE(t, nullptr);
                const lv::tx::CellGrid g = lv::tx::cell_grid(n == 40 ? 50 : n, grain, size, seed);
                const int cell = std::clamp(grain * 16, 4, std::max(4, std::min(W, H) / 2));
                QImage shown(size, QImage::Format_RGB32);
                shown.fill(Qt::magenta);
                constexpr int steps = 24;
                for (int k = 0; k < steps; ++k) {
                    const double p = (k + 0.5) / steps;
                    t->paint(shown, a, b, p);
                    QImage want(size, QImage::Format_RGB32);
                    for (int y = 0; y < H; ++y) {
                        auto* line = reinterpret_cast<QRgb*>(want.scanLine(y));
                        const auto* old_line = reinterpret_cast<const QRgb*>(a.constScanLine(y));
                        const auto* new_line = reinterpret_cast<const QRgb*>(b.constScanLine(y));
                        const int lag = (y / cell) % 2 ? cell : 0;
                        for (int x = 0; x < W; ++x) {
                            bool is_new;
                            if (n == 40) {
                                const int start = (x + lag) / (2 * cell) * (2 * cell) - lag;
                                is_new = x < std::lround(std::min(start + p * 2 * cell, double(W)));
                            } else if (n == 50) {
                                const double d = std::clamp((p - g.rank[std::size_t(x / g.cw)] / 65536.0) / 0.5, 0.0, 1.0);
                                is_new = y < std::lround(H * d * d);
                            } else {
                                is_new = g.rank[std::size_t(y / g.ch) * std::size_t(g.cols) + std::size_t(x / g.cw)] <
                                         std::uint32_t(p * double(g.rank.size()));
                            }
                            line[x] = is_new ? new_line[x] : old_line[x];
                        }
                    }
                    ASSERT_EQ(shown, want) << label(n) << " grain " << grain << " at " << p << " size " << W << "x" << H
                                           << " vector bits " << bits;
                }
                lv::tx::limit_vector_bits(512);
            }
        }
    }
}

// A slide moves only the new face in over the old one; a push moves both.
// Halfway: which picture point shows at a point of each half.
TEST(Transitions, SlidesMoveTheNewFacePushesMoveBoth) {
    const QSize size(320, 200);
    const QImage a = pattern(size, 1), b = pattern(size, 2);
    struct Case {
        int number;
        QPoint at;        // a point of the output
        bool from_new;    // the face it shows
        QPoint source;    // and where in that face
    };
    const Case cases[] = {
        {52, {10, 50}, false, {10, 50}},   {52, {160, 50}, true, {0, 50}},    // slide left
        {54, {10, 50}, false, {170, 50}},  {54, {160, 50}, true, {0, 50}},    // push left
        {53, {300, 50}, false, {300, 50}}, {53, {159, 50}, true, {319, 50}},  // slide right
        {55, {300, 50}, false, {140, 50}}, {55, {159, 50}, true, {319, 50}},  // push right
        {9, {50, 10}, false, {50, 10}},    {9, {50, 100}, true, {50, 0}},     // slide up
        {11, {50, 10}, false, {50, 110}},  {11, {50, 100}, true, {50, 0}},    // push up
        {10, {50, 190}, false, {50, 190}}, {10, {50, 99}, true, {50, 199}},   // slide down
        {12, {50, 190}, false, {50, 90}},  {12, {50, 99}, true, {50, 199}},   // push down
    };
    for (const Case& c : cases) {
        auto t = lv::Transition::create(c.number, 4, size);
        const QImage f = frame(*t, a, b, 0.5);
        EXPECT_EQ(f.pixel(c.at), (c.from_new ? b : a).pixel(c.source))
            << label(c.number) << " at " << c.at.x() << "," << c.at.y();
    }
}

// Each row is its own transition: no two rows paint the same frames.
TEST(Transitions, EveryRowLooksDifferent) {
    lv::reset_effect_table();
    const QSize size(96, 64);
    const QImage a = pattern(size, 3), b = pattern(size, 4);
    const auto numbers = all_effect_numbers();
    std::vector<std::vector<QImage>> frames;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        auto t = lv::Transition::create(numbers[i], lv::effect_table()[i + 2].grain, size);
        frames.push_back({frame(*t, a, b, 0.2), frame(*t, a, b, 0.5), frame(*t, a, b, 0.8)});
    }
    for (std::size_t i = 0; i < numbers.size(); ++i)
        for (std::size_t j = i + 1; j < numbers.size(); ++j)
            EXPECT_NE(frames[i], frames[j]) << label(numbers[i]) << " and " << label(numbers[j]);
}

// A run's random pattern is fixed when it is created: the same progress
// gives the same frame, in whatever order the frames are asked for. Faces
// that change during the run (a live face) are shown as they are now, as by
// a run that never saw the earlier ones. A display keeps its picture from
// tick to tick and has each frame painted over the last: that gives the
// frame painted afresh too, whatever came before and whatever was drawn
// into the picture in between.
TEST(Transitions, FramesDependOnlyOnProgress) {
    const QSize size(80, 60);
    const QImage a = pattern(size, 5), b = pattern(size, 6), c = pattern(size, 7), d = pattern(size, 8);
    const auto same_seed = [&](int n) {
        if (auto t = lv::tx::make_shape(n, 3, size, 77)) return t;
        if (auto t = lv::tx::make_motion(n, 3, size, 77)) return t;
        return lv::tx::make_cells(n, 3, size, 77);
    };
    for (int n : all_effect_numbers()) {
        SCOPED_TRACE(label(n));
        auto t = same_seed(n);
        const QImage first = frame(*t, a, b, 0.3);
        frame(*t, a, b, 0.9);
        frame(*t, a, b, 0.1);
        EXPECT_EQ(frame(*t, a, b, 0.3), first);
        EXPECT_EQ(frame(*t, c, d, 0.3), frame(*same_seed(n), c, d, 0.3));

        // Wide enough for rows of many runs (every other column) at grain 3;
        // the finest cells on a width off the lines of 16 pixels, where a
        // frame changes a few cells or pixels of a row; and rows of many
        // thin changes far apart (checkerboard cells).
        for (const auto& [wide, grain] :
             {std::pair{QSize(240, 60), 3}, std::pair{QSize(250, 40), 1}, std::pair{QSize(1920, 64), 2}}) {
            const QImage e = pattern(wide, 1), f = pattern(wide, 2), g = pattern(wide, 3);
            QImage live = pattern(wide, 4);
            const auto kept_run = [&](int seed) {
                if (auto t = lv::tx::make_shape(n, grain, wide, seed)) return t;
                if (auto t = lv::tx::make_motion(n, grain, wide, seed)) return t;
                return lv::tx::make_cells(n, grain, wide, seed);
            };
            auto k = kept_run(5);
            QImage shown(wide, e.format());
            shown.fill(Qt::magenta);
            const auto step = [&](const QImage& from, const QImage& to, double p) {
                k->paint(shown, from, to, p);
                EXPECT_EQ(shown, frame(*kept_run(5), from, to, p)) << "at " << p << " grain " << grain;
            };
            for (double p : {0.05, 0.1, 0.12, 0.3, 0.31, 0.2, 0.6, 0.0, 0.4, 1.0, 0.5}) step(e, f, p);
            step(e, g, 0.55);   // another face
            {
                QPainter painter(&shown);   // something else drew into the picture
                painter.fillRect(10, 10, 100, 30, Qt::green);
            }
            step(e, g, 0.6);
            step(e, live, 0.65);
            live.setPixel(120, 30, qRgb(1, 2, 3));   // a live face changed in place
            step(e, live, 0.7);
            step(e, live, 0.9);
        }
    }
}

// The grain is the number of slats of the blinds: count the runs of the new
// colour down a column (across a row for the vertical blinds).
TEST(Transitions, GrainSetsTheNumberOfBlinds) {
    const QSize size(300, 300);
    const QImage a = solid(size, Qt::black), b = solid(size, Qt::white);
    const QRgb white = b.pixel(0, 0);
    const auto runs_down = [&](const QImage& f, int x) {
        int runs = 0;
        bool in = false;
        for (int y = 0; y < f.height(); ++y) {
            const bool now = f.pixel(x, y) == white;
            runs += now && !in;
            in = now;
        }
        return runs;
    };
    for (int grain : {1, 5, 12}) {
        auto horizontal = lv::Transition::create(34, grain, size);
        EXPECT_EQ(runs_down(frame(*horizontal, a, b, 0.5), 150), grain);
        auto vertical = lv::Transition::create(35, grain, size);
        EXPECT_EQ(runs_down(frame(*vertical, a, b, 0.5).transformed(QTransform().rotate(90)), 150), grain);
    }
    // Finer grain, more cells: the random blocks come in more fragments.
    auto coarse = lv::Transition::create(39, 8, size), fine = lv::Transition::create(39, 1, size);
    EXPECT_LT(runs_down(frame(*coarse, a, b, 0.5), 150), runs_down(frame(*fine, a, b, 0.5), 150));
}

// Every vector path of the row scaler (512-bit and 256-bit permutes, byte
// shuffles, plain fetching) gives the same pixels as fetching them one by one, for
// every shrink factor (some too strong for the vector paths), offsets,
// widths that leave a tail, and maps read backwards; so do rows streamed
// straight into an output, whose blocks start after a lead of pixels.
TEST(Transitions, RowScalerMatchesPlainFetching) {
    std::mt19937 gen(7);
    for (int bits : {512, 256, 128, 0}) {
        lv::tx::limit_vector_bits(bits);
        for (int src_w : {8, 9, 16, 31, 640, 1921}) {
            std::vector<lv::tx::px> src(static_cast<std::size_t>(src_w));
            for (int i = 0; i < src_w; ++i) src[std::size_t(i)] = std::uint32_t(i) * 2654435761u;
            for (double scale : {0.1, 0.3, 0.45, 0.5, 0.51, 0.77, 0.999, 1.0, 1.3}) {
                for (int start : {0, 3}) {
                    const int n = std::max(1, int((src_w - start) * scale) - int(gen() % 3));
                    std::vector<int> xmap(static_cast<std::size_t>(n));
                    for (int i = 0; i < n; ++i)
                        xmap[std::size_t(i)] = std::min(src_w - 1, start + int((i + 0.5) * (src_w - start) / n));
                    for (bool mirrored : {false, true}) {   // the roll reads its band right to left
                        if (mirrored) std::reverse(xmap.begin(), xmap.end());
                        // The map's pixels, and nothing written either side of the row.
                        const auto check = [&](const lv::tx::px* d, const char* how) {
                            for (int i = 0; i < n; ++i)
                                ASSERT_EQ(d[i], src[std::size_t(xmap[std::size_t(i)])])
                                    << how << ", bits " << bits << " width " << src_w << " scale " << scale
                                    << " start " << start << " pixel " << i << (mirrored ? " mirrored" : "");
                            EXPECT_EQ(d[n], 0xDEADBEEFu) << how << " past the row";
                            EXPECT_EQ(d[-1], 0xDEADBEEFu) << how << " before the row";
                        };
                        lv::tx::RowScaler scaler;
                        scaler.prepare(xmap, src_w);
                        std::vector<lv::tx::px> out(std::size_t(n) + 2, 0xDEADBEEFu);
                        scaler.run(out.data() + 1, src.data());
                        check(out.data() + 1, "plain");

                        // After a lead of 5, into output rows aligned for the blocks and not.
                        scaler.prepare(xmap, src_w, 5);
                        alignas(64) static lv::tx::px row[4096];
                        for (int shift : {0, 1}) {
                            std::fill(std::begin(row), std::end(row), 0xDEADBEEFu);
                            lv::tx::px* d = row + 11 + shift;
                            if (scaler.run_streamed(d, src.data())) {
                                check(d, "streamed");
                                continue;
                            }
                            EXPECT_EQ(std::count(std::begin(row), std::end(row), 0xDEADBEEFu), 4096);
#if defined(__x86_64__)
                            EXPECT_FALSE(shift == 0 && bits >= 256 && src_w >= 32 && __builtin_cpu_supports("avx2"))
                                << "aligned row not streamed, width " << src_w << " scale " << scale;
#endif
                        }
                        std::fill(out.begin(), out.end(), 0xDEADBEEFu);
                        scaler.run(out.data() + 1, src.data());
                        check(out.data() + 1, "after a lead");
                    }
                }
            }
        }
    }
    lv::tx::limit_vector_bits(512);
}

// The row writers give what plain loops give, on every vector path, with
// and without streaming stores, from any alignment and for any length, and
// write nothing past the run.
TEST(Transitions, RowWritersMatchPlainLoops) {
    using lv::tx::px;
    constexpr int room = 1100;
    std::vector<px> a(room), b(room), m(room);
    std::vector<std::int32_t> key(room), was(room);
    std::mt19937 gen(11);
    for (int i = 0; i < room; ++i) {
        a[std::size_t(i)] = gen();
        b[std::size_t(i)] = gen();
        m[std::size_t(i)] = gen() % 2 ? ~px(0) : 0u;
        key[std::size_t(i)] = std::int32_t(gen() % 100) - 50;
        was[std::size_t(i)] = std::int32_t(gen() % 100) - 50;
    }
    for (int bits : {512, 256, 128, 0}) {
        lv::tx::limit_vector_bits(bits);
        for (bool stream : {false, true})
            for (int offset = 0; offset < 9; ++offset)
                for (int n : {0, 1, 3, 4, 7, 8, 9, 15, 16, 17, 31, 33, 64, 100, 1024}) {
                    SCOPED_TRACE("bits " + std::to_string(bits) + (stream ? " streamed" : "") + " offset " +
                                 std::to_string(offset) + " length " + std::to_string(n));
                    std::vector<px> out(std::size_t(room + 16), 0xDEADBEEFu);
                    px* d = out.data() + offset;
                    const auto check = [&](auto want) {
                        for (int i = 0; i < n; ++i) ASSERT_EQ(d[i], want(i)) << "pixel " << i;
                        for (int i = n; i < n + 8; ++i) ASSERT_EQ(d[i], 0xDEADBEEFu) << "past the run";
                        for (int i = 0; i < offset; ++i) ASSERT_EQ(out[std::size_t(i)], 0xDEADBEEFu) << "before it";
                    };
                    lv::tx::put_copy(d, a.data(), n, stream);
                    check([&](int i) { return a[std::size_t(i)]; });
                    lv::tx::put_select(d, a.data(), b.data(), m.data(), n, stream);
                    check([&](int i) { return m[std::size_t(i)] ? a[std::size_t(i)] : b[std::size_t(i)]; });
                    // Only where the key crossed the level; the select's pixels elsewhere.
                    lv::tx::put_crossed(d, a.data(), b.data(), key.data(), was.data(), 3, n);
                    check([&](int i) {
                        const auto k = std::size_t(i);
                        return ((key[k] > 3) != (was[k] > 3) ? key[k] > 3 : m[k] != 0) ? a[k] : b[k];
                    });
                    lv::tx::put_above(d, a.data(), b.data(), key.data(), 3, n, stream);
                    check([&](int i) { return key[std::size_t(i)] > 3 ? a[std::size_t(i)] : b[std::size_t(i)]; });
                    // Where changed, now ? a : b (now: the select's mask; changed: where the key crossed).
                    std::vector<px> changed(room);
                    for (int i = 0; i < room; ++i) changed[std::size_t(i)] = (key[std::size_t(i)] > 3) != (was[std::size_t(i)] > 3) ? ~px(0) : 0u;
                    lv::tx::put_changed(d, a.data(), b.data(), m.data(), changed.data(), n);
                    check([&](int i) {
                        const auto k = std::size_t(i);
                        return changed[k] ? (m[k] ? a[k] : b[k]) : (key[k] > 3 ? a[k] : b[k]);
                    });
                }
    }
    lv::tx::limit_vector_bits(512);

    // The changed cells of a row, listed from sixteen-bit masks: sparse,
    // dense, empty and full groups, on every path.
    std::vector<std::uint16_t> masks{0x0000, 0xFFFF, 0x8001, 0x0100, 0x00FF, 0xFF00};
    for (int i = 0; i < 60; ++i) masks.push_back(std::uint16_t(gen() & gen() & 0xFFFF));
    std::vector<std::uint16_t> want;
    for (std::size_t g = 0; g < masks.size(); ++g)
        for (int j = 0; j < 16; ++j)
            if (masks[g] >> j & 1) want.push_back(std::uint16_t(16 * g + std::size_t(j)));
    for (int bits : {512, 0}) {
        lv::tx::limit_vector_bits(bits);
        std::vector<std::uint16_t> got(16 * masks.size() + 16);
        got.resize(std::size_t(lv::tx::set_bits(got.data(), masks.data(), int(masks.size()))));
        EXPECT_EQ(got, want) << "vector bits " << bits;
    }
    lv::tx::limit_vector_bits(512);

    // Whole rows from runs of the new face, short runs beside long ones (the
    // composer copies some and selects others), against the runs read plainly.
    constexpr int w = 1000;
    std::vector<px> row(static_cast<std::size_t>(w));
    lv::tx::Surface s;
    s.out = row.data();
    s.old_face = a.data();
    s.new_face = b.data();
    s.w = w;
    s.h = 1;
    lv::tx::RowComposer composer;
    for (int trial = 0; trial < 300; ++trial) {
        const auto length = [&] { return 1 + int(gen() % (gen() % 2 ? 40 : 400)); };
        lv::tx::Spans spans;
        for (int x = int(gen() % 50); x < w; x += length()) {
            const int end = std::min(w, x + length());
            spans.push_back({x, end});
            x = end;
        }
        composer.row(s, 0, spans);
        for (int x = 0; x < w; ++x) {
            const bool in_new = std::any_of(spans.begin(), spans.end(), [&](auto sp) { return sp.x0 <= x && x < sp.x1; });
            ASSERT_EQ(row[std::size_t(x)], (in_new ? b : a)[std::size_t(x)]) << "trial " << trial << " pixel " << x;
        }
    }
}

// A cell mask marks exactly the cells due: below the coarse count, or tied
// with it and marked due; for every cell width, with partial groups of
// cells at the end.
TEST(Transitions, CellMasksMarkTheDueCells) {
    using lv::tx::px;
    std::mt19937 gen(12);
    for (int cells : {1, 5, 16, 17, 40, 333}) {
        std::vector<std::uint8_t> coarse(static_cast<std::size_t>(cells));
        std::vector<std::uint64_t> tie_due(static_cast<std::size_t>((cells + 200) / 64 + 1), 0);
        for (auto& c : coarse) c = std::uint8_t(gen() % 6 + 100);
        for (auto& w : tie_due) w = (std::uint64_t(gen()) << 32) | gen();
        const std::uint8_t cq = 103;
        const std::size_t first = 7;
        for (int cw : {1, 2, 3, 4, 5, 8, 17, 64})
            for (int bits : {512, 128}) {
                std::vector<px> mask(std::size_t(cells) * std::size_t(cw) + 4, 0x12345678u);
                lv::tx::limit_vector_bits(bits);
                lv::tx::cell_mask(mask.data(), coarse.data(), cq, tie_due.data(), first, cells, cw);
                lv::tx::limit_vector_bits(512);
                for (int c = 0; c < cells; ++c) {
                    const std::size_t bit = first + std::size_t(c);
                    const bool due = coarse[std::size_t(c)] < cq ||
                                     (coarse[std::size_t(c)] == cq && ((tie_due[bit / 64] >> (bit % 64)) & 1));
                    for (int k = 0; k < cw; ++k)
                        ASSERT_EQ(mask[std::size_t(c) * std::size_t(cw) + std::size_t(k)], due ? ~px(0) : 0u)
                            << "cells " << cells << " width " << cw << " cell " << c << " vector bits " << bits;
                }
            }
    }
}

// Whatever vector extensions the processor offers, a run paints the same
// frames: every transition, on a small picture and on one large enough to
// be written with streaming stores; zooms, squashes and pulls also over
// their last frame.
TEST(Transitions, FramesDoNotDependOnTheProcessor) {
    for (const QSize size : {QSize(97, 61), QSize(1030, 520)}) {
        const QImage a = pattern(size, 7), b = pattern(size, 8);
        for (int n : all_effect_numbers()) {
            auto t = lv::Transition::create(n, 3, size);
            lv::tx::limit_vector_bits(512);
            const QImage widest = frame(*t, a, b, 0.37);
            lv::tx::limit_vector_bits(256);
            const QImage wide = frame(*t, a, b, 0.37);
            lv::tx::limit_vector_bits(128);
            const QImage narrow = frame(*t, a, b, 0.37);
            lv::tx::limit_vector_bits(0);
            const QImage plain = frame(*t, a, b, 0.37);
            lv::tx::limit_vector_bits(512);
            EXPECT_EQ(wide, widest) << label(n) << " size " << size.width();
            EXPECT_EQ(wide, narrow) << label(n) << " size " << size.width();
            EXPECT_EQ(wide, plain) << label(n) << " size " << size.width();
        }
        // Scaled faces painted over the last frame, as a display keeps it,
        // growing and shrinking, from the face itself (late in the run) and
        // from its copies: on every path, what the plain path paints afresh.
        for (int n : {24, 25, 48, 49}) {
            for (int bits : {512, 256, 128}) {
                lv::tx::limit_vector_bits(bits);
                auto t = lv::Transition::create(n, 3, size);
                QImage shown(size, a.format());
                shown.fill(Qt::magenta);
                for (double p : {0.3, 0.55, 0.8, 0.93, 0.6, 0.2}) {
                    t->paint(shown, a, b, p);
                    lv::tx::limit_vector_bits(0);
                    EXPECT_EQ(shown, frame(*lv::Transition::create(n, 3, size), a, b, p))
                        << label(n) << " size " << size.width() << " bits " << bits << " at " << p;
                    lv::tx::limit_vector_bits(bits);
                }
            }
            lv::tx::limit_vector_bits(512);
        }
    }
}

// Squashed, pulled and zoomed faces keep their columns in order and reach
// from one side of the face to the other. A face shown narrow is read
// straight from the face until its copies are made, then from them: the
// same pixels either way.
TEST(Transitions, ScaledFacesKeepTheirOrder) {
    const QSize size(640, 120);
    QImage a(size, QImage::Format_RGB32), b(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            a.setPixel(x, y, qRgb(x & 255, x >> 8, 10));    // old: column in red and green
            b.setPixel(x, y, qRgb(x & 255, x >> 8, 200));   // new: the same, blue tells them apart
        }
    const auto column = [](QRgb c) { return qRed(c) + 256 * qGreen(c); };
    struct Case {
        int number;
        bool scaled_new;   // which face is shown scaled
    };
    for (const Case c : {Case{48, false}, Case{49, true}, Case{24, false}, Case{25, true}}) {
        auto t = lv::Transition::create(c.number, 1, size);
        const QImage early = frame(*t, a, b, 0.02);
        for (int i = 0; i < 10000 && t->preparing(); ++i) {
            frame(*t, a, b, 0.5);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_FALSE(t->preparing()) << label(c.number);
        EXPECT_EQ(frame(*t, a, b, 0.02), early) << label(c.number);
        for (double p : {0.1, 0.3, 0.5, 0.7, 0.9}) {
            SCOPED_TRACE(label(c.number) + " at " + std::to_string(p));
            const QImage f = frame(*t, a, b, p);
            const int y = size.height() / 2;
            int first = -1, last = -1, count = 0;
            for (int x = 0; x < size.width(); ++x) {
                const QRgb px = f.pixel(x, y);
                if ((qBlue(px) == 200) != c.scaled_new) continue;   // the other face
                const int col = column(px);
                if (first < 0) first = col;
                EXPECT_GE(col, last) << "x " << x;
                last = col;
                ++count;
            }
            ASSERT_GT(count, 1);
            EXPECT_LT(first, 640 / count + 2);
            EXPECT_GT(last, 640 - 640 / count - 2);
        }
    }
}

TEST(Transitions, DurationsGrowWithSpeed) {
    const double speeds[] = {0, 0.5, 1, 2, 7.5, 15, 45, 100, 200, 255};
    for (int n : all_effect_numbers()) {
        int last = 0;
        for (double s : speeds) {
            const int d = lv::transition_duration_ms(n, s, 4);
            EXPECT_GT(d, last) << label(n) << " speed " << s;
            last = d;
        }
    }
    // The table's default speeds (0 to 100) run between 0.3 and 3 seconds.
    lv::reset_effect_table();
    for (int row = 2; row < lv::effect_rows; ++row) {
        const auto& r = lv::effect_table()[std::size_t(row)];
        const int d = lv::transition_duration_ms(r.effect_number, r.speed, r.grain);
        EXPECT_GE(d, 300) << label(r.effect_number);
        EXPECT_LE(d, 3000) << label(r.effect_number);
    }
    // Out-of-range speeds are taken as the nearest sensible one.
    EXPECT_EQ(lv::transition_duration_ms(1, -5, 4), lv::transition_duration_ms(1, 0, 4));
    EXPECT_EQ(lv::transition_duration_ms(1, std::nan(""), 4), lv::transition_duration_ms(1, 0, 4));
    EXPECT_EQ(lv::transition_duration_ms(1, 1e9, 4), lv::transition_duration_ms(1, 255, 4));
}

// Faces of another format or size, an empty output, an output sharing its
// data with a face, a control that changed size: the frame is still right
// and the faces are left untouched.
TEST(Transitions, CopesWithPicturesOfAnotherShape) {
    const QSize size(64, 48);
    for (int n : {1, 24, 39, 50, 68, 98, 113}) {
        SCOPED_TRACE(label(n));
        auto t = lv::Transition::create(n, 4, size);

        const QImage a = solid(size, QColor(10, 20, 30), QImage::Format_RGB32);
        const QImage b = solid(size, QColor(200, 100, 50), QImage::Format_RGB888);
        QImage out(size, QImage::Format_RGB32);
        t->paint(out, a, b, 1.0);
        EXPECT_EQ(out.pixel(5, 5), b.pixel(5, 5));
        EXPECT_EQ(out.format(), QImage::Format_RGB32);

        QImage empty;
        t->paint(empty, a, b, 0.0);
        ASSERT_EQ(empty.size(), size);
        EXPECT_EQ(empty.pixel(5, 5), a.pixel(5, 5));

        QImage shared = a;   // shares a's pixels until written
        t->paint(shared, a, b, 0.6);
        EXPECT_EQ(a, solid(size, QColor(10, 20, 30), QImage::Format_RGB32));
        EXPECT_NE(shared, a);

        // Output in a format the transitions do not work in.
        QImage narrow(size, QImage::Format_RGB16);
        t->paint(narrow, a, b, 1.0);
        EXPECT_EQ(narrow.format(), QImage::Format_RGB16);
        EXPECT_EQ(narrow.pixel(5, 5), b.convertToFormat(QImage::Format_RGB16).pixel(5, 5));

        // A smaller face is placed at the top left.
        const QImage small = solid(QSize(10, 10), Qt::white, QImage::Format_RGB32);
        t->paint(out, a, small, 1.0);
        EXPECT_EQ(out.pixel(2, 2), qRgb(255, 255, 255));

        // The control grew: the run follows the output's size.
        const QSize bigger(90, 70);
        const QImage a2 = solid(bigger, Qt::black, QImage::Format_RGB32), b2 = solid(bigger, Qt::white, QImage::Format_RGB32);
        QImage out2(bigger, QImage::Format_RGB32);
        t->paint(out2, a2, b2, 0.5);
        EXPECT_NE(out2, a2);
        EXPECT_NE(out2, b2);
        t->paint(out2, a2, b2, 1.0);
        EXPECT_EQ(out2, b2);
    }

    // Grids and copies large enough to be made on another thread: runs
    // dropped before they were ready leave the next ones unharmed, and a
    // run whose output is not of the size it was made for follows the output.
    const QSize made_for(400, 300), other(320, 240);
    for (int n : {24, 49, 64, 90}) {
        SCOPED_TRACE(label(n));
        for (int i = 0; i < 8; ++i) lv::Transition::create(n, 1, made_for);
        auto t = lv::Transition::create(n, 1, made_for);
        const QImage a = solid(other, Qt::black, QImage::Format_RGB32), b = solid(other, Qt::white, QImage::Format_RGB32);
        const QImage half = frame(*t, a, b, 0.5);
        ASSERT_EQ(half.size(), other);
        const int white = count_pixels(half, qRgb(255, 255, 255));
        EXPECT_GT(white, other.width() * other.height() / 8);
        EXPECT_EQ(white + count_pixels(half, qRgb(0, 0, 0)), other.width() * other.height());
    }
}

}  // namespace
