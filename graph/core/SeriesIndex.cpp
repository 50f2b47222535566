#include "graph/core/SeriesIndex.h"

#include <algorithm>
#include <cmath>

namespace quillmar {

void TMinMaxTree::Build(const std::vector<double>& values) {
    values_ = &values;
    const std::size_t n = values.size();
    const std::size_t blocks = (n + Block - 1) / Block;
    leaves_ = 1;
    while (leaves_ < blocks)
        leaves_ *= 2;
    minIndex_.assign(2 * std::size_t{leaves_}, npos);
    maxIndex_.assign(2 * std::size_t{leaves_}, npos);
    hasNaN_.assign(2 * std::size_t{leaves_}, 0);
    const double* v = values.data();
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t node = leaves_ + b;
        uint32_t lo = npos, hi = npos;
        uint8_t nan = 0;
        const std::size_t end = std::min(n, (b + 1) * Block);
        for (std::size_t i = b * Block; i < end; ++i) {
            const double x = v[i];
            if (std::isnan(x)) {
                nan = 1;
                continue;
            }
            if (lo == npos || x < v[lo]) lo = static_cast<uint32_t>(i);
            if (hi == npos || x > v[hi]) hi = static_cast<uint32_t>(i);
        }
        minIndex_[node] = lo;
        maxIndex_[node] = hi;
        hasNaN_[node] = nan;
    }
    for (std::size_t node = leaves_ - 1; node >= 1; --node) {
        const std::size_t l = 2 * node, r = l + 1;
        auto pick = [&](uint32_t a, uint32_t b, bool lower) {
            if (a == npos) return b;
            if (b == npos) return a;
            return (lower ? v[b] < v[a] : v[b] > v[a]) ? b : a; // ties: the left one
        };
        minIndex_[node] = pick(minIndex_[l], minIndex_[r], true);
        maxIndex_[node] = pick(maxIndex_[l], maxIndex_[r], false);
        hasNaN_[node] = hasNaN_[l] | hasNaN_[r];
    }
}

TMinMaxTree::Verdict TMinMaxTree::classify(uint32_t node, const TKeepRange& keep) const {
    const uint32_t lo = minIndex_[node];
    if (lo == npos) return Verdict::None;
    const double mn = (*values_)[lo], mx = (*values_)[maxIndex_[node]];
    if (mx < keep.Lo || (keep.LoOpen && mx <= keep.Lo) || mn > keep.Hi) return Verdict::None;
    if (keep.keeps(mn) && keep.keeps(mx)) return Verdict::All; // every non-NaN value
    return Verdict::Mixed;
}

void TMinMaxTree::take(uint32_t index, TExtremes& r) const {
    const double* v = values_->data();
    if (r.MinIndex == npos || v[index] < v[r.MinIndex]) r.MinIndex = index;
    if (r.MaxIndex == npos || v[index] > v[r.MaxIndex]) r.MaxIndex = index;
}

void TMinMaxTree::extremes(uint32_t node, uint32_t lo, uint32_t hi, uint32_t a, uint32_t b,
                           const TKeepRange& keep, TExtremes& r) const {
    // lo..hi: the points this node covers (hi may lie beyond the values).
    if (hi < a || lo > b) return;
    if ((a <= lo && hi <= b) || node >= leaves_) {
        const Verdict verdict = classify(node, keep);
        if (verdict == Verdict::None) return;
        if (verdict == Verdict::All && a <= lo && hi <= b) {
            // Visited left to right: a later index never wins a tie.
            const double* v = values_->data();
            const uint32_t mn = minIndex_[node], mx = maxIndex_[node];
            if (r.MinIndex == npos || v[mn] < v[r.MinIndex]) r.MinIndex = mn;
            if (r.MaxIndex == npos || v[mx] > v[r.MaxIndex]) r.MaxIndex = mx;
            return;
        }
        if (node >= leaves_) {
            const double* v = values_->data();
            const uint32_t end = std::min(b, hi);
            for (uint32_t i = std::max(a, lo); i <= end; ++i)
                if (keep.keeps(v[i])) take(i, r);
            return;
        }
    }
    const uint32_t mid = lo + (hi - lo) / 2;
    extremes(2 * node, lo, mid, a, b, keep, r);
    extremes(2 * node + 1, mid + 1, hi, a, b, keep, r);
}

TMinMaxTree::TExtremes TMinMaxTree::Extremes(uint32_t a, uint32_t b, const TKeepRange& keep) const {
    TExtremes r;
    if (!values_ || a > b || b >= values_->size()) return r;
    extremes(1, 0, leaves_ * Block - 1, a, b, keep, r);
    return r;
}

uint32_t TMinMaxTree::firstKept(uint32_t node, uint32_t lo, uint32_t hi, uint32_t a, uint32_t b,
                                const TKeepRange& keep) const {
    if (hi < a || lo > b) return npos;
    const Verdict verdict = classify(node, keep);
    if (verdict == Verdict::None) return npos;
    if (verdict == Verdict::All && !hasNaN_[node] && a <= lo) return lo;
    if (node >= leaves_) {
        const double* v = values_->data();
        const uint32_t end = std::min(b, hi);
        for (uint32_t i = std::max(a, lo); i <= end; ++i)
            if (keep.keeps(v[i])) return i;
        return npos;
    }
    const uint32_t mid = lo + (hi - lo) / 2;
    uint32_t found = firstKept(2 * node, lo, mid, a, b, keep);
    return found != npos ? found : firstKept(2 * node + 1, mid + 1, hi, a, b, keep);
}

uint32_t TMinMaxTree::lastKept(uint32_t node, uint32_t lo, uint32_t hi, uint32_t a, uint32_t b,
                               const TKeepRange& keep) const {
    if (hi < a || lo > b) return npos;
    const Verdict verdict = classify(node, keep);
    if (verdict == Verdict::None) return npos;
    if (verdict == Verdict::All && !hasNaN_[node] && hi <= b) return hi;
    if (node >= leaves_) {
        const double* v = values_->data();
        const uint32_t start = std::max(a, lo);
        for (uint32_t i = std::min(b, hi) + 1; i-- > start;)
            if (keep.keeps(v[i])) return i;
        return npos;
    }
    const uint32_t mid = lo + (hi - lo) / 2;
    uint32_t found = lastKept(2 * node + 1, mid + 1, hi, a, b, keep);
    return found != npos ? found : lastKept(2 * node, lo, mid, a, b, keep);
}

uint32_t TMinMaxTree::FirstKept(uint32_t a, uint32_t b, const TKeepRange& keep) const {
    if (!values_ || a > b || b >= values_->size()) return npos;
    return firstKept(1, 0, leaves_ * Block - 1, a, b, keep);
}

uint32_t TMinMaxTree::LastKept(uint32_t a, uint32_t b, const TKeepRange& keep) const {
    if (!values_ || a > b || b >= values_->size()) return npos;
    return lastKept(1, 0, leaves_ * Block - 1, a, b, keep);
}

} // namespace quillmar
