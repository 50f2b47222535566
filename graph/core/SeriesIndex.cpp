#include "graph/core/SeriesIndex.h"

#include <algorithm>
#include <cmath>

namespace quillmar {

void TMinMaxTree::TBest::merge(uint32_t mn, double mnValue, uint32_t mx, double mxValue) {
    if (At.MinIndex == npos || mnValue < Min || (mnValue == Min && mn < At.MinIndex)) {
        At.MinIndex = mn;
        At.MinValue = Min = mnValue;
    }
    if (At.MaxIndex == npos || mxValue > Max || (mxValue == Max && mx < At.MaxIndex)) {
        At.MaxIndex = mx;
        At.MaxValue = Max = mxValue;
    }
}

void TMinMaxTree::Build(const std::vector<double>& values) {
    values_ = &values;
    const std::size_t n = values.size();
    const std::size_t blocks = (n + Block - 1) / Block;
    leaves_ = 1;
    while (leaves_ < blocks)
        leaves_ *= 2;
    nodes_.assign(2 * std::size_t{leaves_}, TNode{});
    const double* v = values.data();
    for (std::size_t b = 0; b < blocks; ++b) {
        TNode& node = nodes_[leaves_ + b];
        const std::size_t end = std::min(n, (b + 1) * Block);
        for (std::size_t i = b * Block; i < end; ++i) {
            const double x = v[i];
            if (std::isnan(x)) {
                node.HasNaN = true;
                continue;
            }
            if (node.MinIndex == npos || x < node.Min) {
                node.MinIndex = static_cast<uint32_t>(i);
                node.Min = x;
            }
            if (node.MaxIndex == npos || x > node.Max) {
                node.MaxIndex = static_cast<uint32_t>(i);
                node.Max = x;
            }
        }
    }
    for (std::size_t k = leaves_ - 1; k >= 1; --k) {
        const TNode& l = nodes_[2 * k];
        const TNode& r = nodes_[2 * k + 1];
        TNode& node = nodes_[k];
        node = l; // ties: the left one
        if (r.MinIndex != npos && (node.MinIndex == npos || r.Min < node.Min)) {
            node.MinIndex = r.MinIndex;
            node.Min = r.Min;
        }
        if (r.MaxIndex != npos && (node.MaxIndex == npos || r.Max > node.Max)) {
            node.MaxIndex = r.MaxIndex;
            node.Max = r.Max;
        }
        node.HasNaN = l.HasNaN || r.HasNaN;
    }
}

TMinMaxTree::Verdict TMinMaxTree::classify(const TNode& node, const TKeepRange& keep) const {
    if (node.MinIndex == npos) return Verdict::None;
    if (node.Max < keep.Lo || (keep.LoOpen && node.Max <= keep.Lo) || node.Min > keep.Hi)
        return Verdict::None;
    if (keep.keeps(node.Min) && keep.keeps(node.Max)) return Verdict::All; // every value that is a number
    return Verdict::Mixed;
}

void TMinMaxTree::scan(uint32_t from, uint32_t to, const TKeepRange& keep, TBest& r) const {
    if (from > to) return;
    const double* v = values_->data();
    // Usually every value is kept: the extremes without a branch per point,
    // then where they first occur.
    double mn = v[from], mx = v[from];
    bool nan = false;
    for (uint32_t i = from; i <= to; ++i) {
        const double x = v[i];
        mn = x < mn ? x : mn;
        mx = x > mx ? x : mx;
        nan |= x != x;
    }
    if (!nan && keep.keeps(mn) && keep.keeps(mx)) {
        uint32_t mnAt = from, mxAt = from;
        while (v[mnAt] != mn)
            ++mnAt;
        while (v[mxAt] != mx)
            ++mxAt;
        r.merge(mnAt, mn, mxAt, mx);
        return;
    }
    for (uint32_t i = from; i <= to; ++i)
        if (keep.keeps(v[i])) r.merge(i, v[i], i, v[i]);
}

void TMinMaxTree::extremes(uint32_t node, uint32_t lo, uint32_t hi, uint32_t a, uint32_t b,
                           const TKeepRange& keep, TBest& r) const {
    // lo..hi: the points this node covers (hi may lie beyond the values).
    if (hi < a || lo > b) return;
    const TNode& n = nodes_[node];
    const Verdict verdict = classify(n, keep);
    if (verdict == Verdict::None) return;
    if (verdict == Verdict::All && a <= lo && hi <= b) {
        r.merge(n.MinIndex, n.Min, n.MaxIndex, n.Max);
        return;
    }
    if (node >= leaves_) {
        scan(std::max(a, lo), std::min(b, hi), keep, r);
        return;
    }
    const uint32_t mid = lo + (hi - lo) / 2;
    extremes(2 * node, lo, mid, a, b, keep, r);
    extremes(2 * node + 1, mid + 1, hi, a, b, keep, r);
}

TMinMaxTree::TExtremes TMinMaxTree::Extremes(uint32_t a, uint32_t b, const TKeepRange& keep) const {
    TBest r;
    if (!values_ || a > b || b >= values_->size()) return r.At;
    uint32_t firstBlock = a / Block, lastBlock = b / Block;
    // The ends that do not fill their blocks, point by point.
    if (a % Block != 0 || firstBlock == lastBlock) {
        scan(a, std::min(b, (firstBlock + 1) * Block - 1), keep, r);
        if (firstBlock == lastBlock) return r.At;
        ++firstBlock;
    }
    if (b % Block != Block - 1) {
        scan(lastBlock * Block, b, keep, r);
        if (lastBlock == 0) return r.At;
        --lastBlock;
    }
    // Whole blocks firstBlock..lastBlock, bottom-up over the tree.
    uint32_t l = leaves_ + firstBlock, h = leaves_ + lastBlock + 1;
    int depth = 0;
    auto visit = [&](uint32_t node) {
        const TNode& n = nodes_[node];
        const Verdict verdict = classify(n, keep);
        if (verdict == Verdict::All) {
            r.merge(n.MinIndex, n.Min, n.MaxIndex, n.Max);
        } else if (verdict == Verdict::Mixed) {
            const uint32_t lo = ((node << depth) - leaves_) * Block;
            extremes(node, lo, lo + (Block << depth) - 1, a, b, keep, r);
        }
    };
    while (l < h) {
        if (l & 1) visit(l++);
        if (h & 1) visit(--h);
        l >>= 1;
        h >>= 1;
        ++depth;
    }
    return r.At;
}

uint32_t TMinMaxTree::firstKept(uint32_t node, uint32_t lo, uint32_t hi, uint32_t a, uint32_t b,
                                const TKeepRange& keep) const {
    if (hi < a || lo > b) return npos;
    const TNode& n = nodes_[node];
    const Verdict verdict = classify(n, keep);
    if (verdict == Verdict::None) return npos;
    if (verdict == Verdict::All && !n.HasNaN && a <= lo) return lo;
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
    const TNode& n = nodes_[node];
    const Verdict verdict = classify(n, keep);
    if (verdict == Verdict::None) return npos;
    if (verdict == Verdict::All && !n.HasNaN && hi <= b) return hi;
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
