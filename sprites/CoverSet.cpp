#include "sprites/CoverSet.h"

#include <algorithm>

namespace varnok {

void TCoverSet::Assign(const std::vector<platform::Rect>& rects) {
    if (rects == assigned_) return;
    assigned_ = rects;
    edges_.clear();
    for (const platform::Rect& r : rects)
        if (!r.IsEmpty()) {
            edges_.push_back(r.Top);
            edges_.push_back(r.Bottom);
        }
    std::sort(edges_.begin(), edges_.end());
    edges_.erase(std::unique(edges_.begin(), edges_.end()), edges_.end());
    // One band between each two edges; the bands' span lists are reused
    // from the last time (this runs every frame).
    const size_t count = edges_.empty() ? 0 : edges_.size() - 1;
    if (bands_.size() < count) bands_.resize(count);
    for (size_t i = 0; i < count; ++i) {
        bands_[i].Top = edges_[i];
        bands_[i].Bottom = edges_[i + 1];
        bands_[i].Spans.clear();
    }
    for (const platform::Rect& r : rects) {
        if (r.IsEmpty()) continue;
        size_t b =
            static_cast<size_t>(std::lower_bound(edges_.begin(), edges_.end(), r.Top) - edges_.begin());
        for (; b < count && bands_[b].Top < r.Bottom; ++b)
            bands_[b].Spans.push_back({r.Left, r.Right});
    }
    // Spans sorted and merged where they overlap or touch; bands without
    // spans dropped, and a band alike to the one just above joined to it.
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        std::vector<std::pair<int, int>>& spans = bands_[i].Spans;
        if (spans.empty()) continue;
        std::sort(spans.begin(), spans.end());
        size_t m = 0;
        for (size_t s = 1; s < spans.size(); ++s) {
            if (spans[s].first <= spans[m].second)
                spans[m].second = std::max(spans[m].second, spans[s].second);
            else
                spans[++m] = spans[s];
        }
        spans.resize(m + 1);
        if (kept > 0 && bands_[kept - 1].Bottom == bands_[i].Top && bands_[kept - 1].Spans == spans) {
            bands_[kept - 1].Bottom = bands_[i].Bottom;
            continue;
        }
        if (kept != i) std::swap(bands_[kept], bands_[i]);
        ++kept;
    }
    // Bands past the kept ones stay allocated for next time but are not used.
    used_ = kept;
}

bool TCoverSet::Contains(const platform::Rect& r) const {
    if (r.IsEmpty()) return true;
    const auto end = bands_.begin() + static_cast<ptrdiff_t>(used_);
    auto band = std::partition_point(bands_.begin(), end, [&](const Band& b) { return b.Bottom <= r.Top; });
    int y = r.Top;
    for (; band != end && y < r.Bottom; ++band) {
        if (band->Top > y) return false; // uncovered rows
        // The only span that can hold the columns: the first reaching r.Right.
        const auto span =
            std::partition_point(band->Spans.begin(), band->Spans.end(),
                                 [&](const std::pair<int, int>& s) { return s.second < r.Right; });
        if (span == band->Spans.end() || span->first > r.Left) return false;
        y = band->Bottom;
    }
    return y >= r.Bottom;
}

} // namespace varnok
