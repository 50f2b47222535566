#pragma once
// A summary of one x/y series that answers range questions without visiting
// every point: the lowest and highest value among the points of an index
// range whose values lie in a given interval, and the first and last such
// point. Used by the curve drawing (per pixel column) and the extreme search.

#include <cstdint>
#include <limits>
#include <vector>

namespace quillmar {

// Which values take part: Lo <= v <= Hi, or Lo < v when LoOpen. NaN never does.
struct TKeepRange {
    double Lo = -std::numeric_limits<double>::infinity();
    double Hi = std::numeric_limits<double>::infinity();
    bool LoOpen = false;

    bool keeps(double v) const { return (LoOpen ? v > Lo : v >= Lo) && v <= Hi; }
};

// Min/max tree over blocks of values. Indices are 0-based here.
class TMinMaxTree {
public:
    static constexpr uint32_t npos = std::numeric_limits<uint32_t>::max();

    struct TExtremes {
        uint32_t MinIndex = npos; // first of equal lowest values
        uint32_t MaxIndex = npos; // first of equal highest values
        double MinValue = 0, MaxValue = 0;
        bool found() const { return MinIndex != npos; }
    };

    // values must outlive the tree and stay unchanged.
    void Build(const std::vector<double>& values);

    // Over a..b inclusive (b < size), among the values keep takes.
    TExtremes Extremes(uint32_t a, uint32_t b, const TKeepRange& keep) const;
    uint32_t FirstKept(uint32_t a, uint32_t b, const TKeepRange& keep) const;
    uint32_t LastKept(uint32_t a, uint32_t b, const TKeepRange& keep) const;

private:
    static constexpr uint32_t Block = 64;
    enum class Verdict { None, All, Mixed };

    struct TNode {
        double Min = 0, Max = 0;
        uint32_t MinIndex = npos, MaxIndex = npos; // npos: no value that is a number
        bool HasNaN = false;
    };
    // Running extremes with their values at hand; ties go to the lower index.
    struct TBest {
        TExtremes At;
        double Min = 0, Max = 0;
        void merge(uint32_t mn, double mnValue, uint32_t mx, double mxValue);
    };

    Verdict classify(const TNode& node, const TKeepRange& keep) const;
    void extremes(uint32_t node, uint32_t lo, uint32_t hi, uint32_t a, uint32_t b, const TKeepRange& keep,
                  TBest& r) const;
    void scan(uint32_t from, uint32_t to, const TKeepRange& keep, TBest& r) const;
    uint32_t firstKept(uint32_t node, uint32_t lo, uint32_t hi, uint32_t a, uint32_t b,
                       const TKeepRange& keep) const;
    uint32_t lastKept(uint32_t node, uint32_t lo, uint32_t hi, uint32_t a, uint32_t b,
                      const TKeepRange& keep) const;

    const std::vector<double>* values_ = nullptr;
    uint32_t leaves_ = 0; // leaf nodes (a power of two), one per block
    // Heap order: node 1 is the root, children 2n and 2n + 1.
    std::vector<TNode> nodes_;
};

} // namespace quillmar
