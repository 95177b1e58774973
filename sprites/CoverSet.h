#pragma once
// The part of the screen that opaque drawings will paint over, as bands of
// rows with sorted, merged column spans: it answers quickly whether a
// rectangle lies wholly inside, so that drawing it can be left out.
#include "platform/Surface.h"

#include <utility>
#include <vector>

namespace varnok {

class TCoverSet {
public:
    // The union of the rectangles (empty ones ignored).
    void Assign(const std::vector<platform::Rect>& rects);
    bool Empty() const { return used_ == 0; }
    // Whether every pixel of r (not empty) is inside the union.
    bool Contains(const platform::Rect& r) const;

private:
    struct Band {
        int Top = 0, Bottom = 0;
        std::vector<std::pair<int, int>> Spans; // [left, right), sorted, apart
    };
    std::vector<Band> bands_; // sorted, not overlapping; rows between bands are uncovered
    size_t used_ = 0;         // bands in use (the others keep their lists for reuse)
    std::vector<int> edges_;  // scratch for Assign
    // The rectangles last assigned (none for a new set, which is what
    // assigning none makes): a screen that stands still gives the same ones
    // frame after frame, and the set is kept as it is.
    std::vector<platform::Rect> assigned_;
};

} // namespace varnok
