// Transitions that reveal the new face cell by cell in a fixed order: random
// lines, bars, blocks and sparkles, the swirls and the ordered blocks. The
// order is drawn once when the run is created (each cell gets a rank), so a
// frame only compares ranks against the progress. The drip is here too: its
// columns run down at their own pace.
#include "platform/transition_kit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace lv::tx {
namespace {

class CellTransition final : public TransitionImpl {
public:
    using TransitionImpl::TransitionImpl;

protected:
    void setup() override;
    void frame(const Surface& s, double p) override;

private:
    void spiral_keys(std::vector<double>& keys) const;

    int W_ = 1, H_ = 1;
    int cw_ = 1, ch_ = 1, cols_ = 1, rows_ = 1;
    std::vector<std::uint32_t> rank_;   // reveal order of each cell, row-major
    Spans sp_;
};

// Clockwise from the top-left corner, ring by ring towards the middle.
void CellTransition::spiral_keys(std::vector<double>& keys) const {
    int top = 0, bottom = rows_ - 1, left = 0, right = cols_ - 1;
    double k = 0;
    const auto set = [&](int r, int c) { keys[std::size_t(r) * cols_ + c] = k++; };
    while (top <= bottom && left <= right) {
        for (int c = left; c <= right; ++c) set(top, c);
        for (int r = top + 1; r <= bottom; ++r) set(r, right);
        if (top < bottom)
            for (int c = right - 1; c >= left; --c) set(bottom, c);
        if (left < right)
            for (int r = bottom - 1; r > top; --r) set(r, left);
        ++top;
        --bottom;
        ++left;
        --right;
    }
}

void CellTransition::setup() {
    W_ = size_.width();
    H_ = size_.height();
    const int small = std::min(W_, H_);
    const auto cell = [&](int px_size, int min_size, int max_size) {
        return std::clamp(px_size, std::min(min_size, max_size), std::max(1, max_size));
    };
    switch (effect_) {
    case 33: cw_ = W_; ch_ = cell(grain_, 1, H_ / 2); break;                 // random lines
    case 37: case 38: cw_ = ch_ = cell(grain_, 2, small / 4); break;        // swirls
    case 39: cw_ = ch_ = cell(grain_ * 8, 2, small / 2); break;             // random block
    case 60: case 61: cw_ = W_; ch_ = cell(grain_ * 2, 1, H_ / 2); break;   // bars moving up or down
    case 62: case 63: ch_ = H_; cw_ = cell(grain_ * 2, 1, W_ / 2); break;   // bars moving sideways
    case 64: case 65: case 66: case 67: cw_ = ch_ = cell(grain_, 2, small / 4); break;   // sparkles
    case 90: case 91: case 92: case 93: cw_ = ch_ = cell(grain_ * 4, 2, small / 2); break;   // blocks
    case 50: cw_ = cell(grain_, 1, W_ / 4); ch_ = H_; break;                // drip columns
    default: break;
    }
    cols_ = (W_ + cw_ - 1) / cw_;
    rows_ = (H_ + ch_ - 1) / ch_;
    const std::size_t n = std::size_t(cols_) * rows_;

    Random rnd(seed_);
    std::vector<double> keys(n);
    if (effect_ == 50) {
        // Start delays of the drips: a gently wandering front with a little
        // jitter, so neighbouring columns run down close together.
        double level = rnd.uniform();
        for (int c = 0; c < cols_; ++c) {
            level = std::clamp(level + (rnd.uniform() - 0.5) * 0.35, 0.0, 1.0);
            keys[std::size_t(c)] = 0.75 * level + 0.25 * rnd.uniform();
        }
        const auto [lo, hi] = std::minmax_element(keys.begin(), keys.end());
        const double low = *lo, span = std::max(*hi - *lo, 1e-9);
        rank_.resize(n);
        // Stored as start delays in 1/65536 of the run, between 0 and a half.
        for (std::size_t i = 0; i < n; ++i) rank_[i] = std::uint32_t((keys[i] - low) / span * 32768.0);
        return;
    }
    if (effect_ == 37 || effect_ == 38) spiral_keys(keys);
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < cols_; ++c) {
            double& k = keys[std::size_t(r) * cols_ + c];
            // Position along the direction of travel, 0 at the start side.
            const double down = (r + 0.5) / rows_, right = (c + 0.5) / cols_;
            switch (effect_) {
            case 33: case 39: k = rnd.uniform(); break;
            case 38: k = -k; break;
            case 60: k = 0.5 * (1 - down) + 0.5 * rnd.uniform(); break;
            case 61: k = 0.5 * down + 0.5 * rnd.uniform(); break;
            case 62: k = 0.5 * (1 - right) + 0.5 * rnd.uniform(); break;
            case 63: k = 0.5 * right + 0.5 * rnd.uniform(); break;
            case 64: k = 0.6 * (1 - down) + 0.4 * rnd.uniform(); break;
            case 65: k = 0.6 * down + 0.4 * rnd.uniform(); break;
            case 66: k = 0.6 * (1 - right) + 0.4 * rnd.uniform(); break;
            case 67: k = 0.6 * right + 0.4 * rnd.uniform(); break;
            // Blocks: a ragged front, about two blocks deep, crosses the picture.
            case 90: k = r + 1.5 * rnd.uniform(); break;
            case 91: k = (rows_ - 1 - r) + 1.5 * rnd.uniform(); break;
            case 92: k = c + 1.5 * rnd.uniform(); break;
            case 93: k = (cols_ - 1 - c) + 1.5 * rnd.uniform(); break;
            default: break;
            }
        }
    }
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
    rank_.resize(n);
    for (std::size_t i = 0; i < n; ++i) rank_[order[i]] = std::uint32_t(i);
}

void CellTransition::frame(const Surface& s, double p) {
    if (effect_ == 50) {
        // Drip: column c starts at its delay and reaches the bottom half a
        // run later, falling faster as it goes.
        std::vector<int> edge(static_cast<std::size_t>(cols_));
        for (int c = 0; c < cols_; ++c) {
            const double t = std::clamp((p - rank_[std::size_t(c)] / 65536.0) / 0.5, 0.0, 1.0);
            edge[std::size_t(c)] = int(std::lround(H_ * t * t));
        }
        for (int y = 0; y < H_; ++y) {
            sp_.clear();
            for (int c = 0; c < cols_; ++c)
                if (edge[std::size_t(c)] > y) {
                    const int x0 = c * cw_, x1 = std::min(W_, x0 + cw_);
                    if (!sp_.empty() && sp_.back().x1 == x0)
                        sp_.back().x1 = x1;
                    else
                        sp_.push_back({x0, x1});
                }
            comp_.row(s, y, sp_);
        }
        return;
    }
    const auto count = std::uint32_t(p * double(rank_.size()));
    for (int r = 0; r < rows_; ++r) {
        const std::uint32_t* ranks = rank_.data() + std::size_t(r) * cols_;
        sp_.clear();
        for (int c = 0; c < cols_; ++c) {
            if (ranks[c] >= count) continue;
            const int x0 = c * cw_, x1 = std::min(W_, x0 + cw_);
            if (!sp_.empty() && sp_.back().x1 == x0)
                sp_.back().x1 = x1;
            else
                sp_.push_back({x0, x1});
        }
        comp_.rows(s, r * ch_, std::min(H_, (r + 1) * ch_), sp_);
    }
}

}  // namespace

std::unique_ptr<Transition> make_cells(int n, int grain, QSize size, std::uint64_t seed) {
    static constexpr std::array owned{33, 37, 38, 39, 50, 60, 61, 62, 63, 64, 65, 66, 67, 90, 91, 92, 93};
    if (std::find(owned.begin(), owned.end(), n) == owned.end()) return nullptr;
    return std::make_unique<CellTransition>(n, grain, size, seed);
}

}  // namespace lv::tx
