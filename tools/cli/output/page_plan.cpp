#include "output/page_plan.h"

#include <algorithm>

namespace framedec::cli {

PagePlan::PagePlan(std::span<const uint16_t> numbers, const tools::SequenceTracker& tracker, bool fillDropped)
    : numbers_(numbers), pages_(numbers.size()) {
    if (!fillDropped) return;
    for (const tools::DroppedRun& run : tracker.dropped()) {
        gaps_.push_back({run.index + (pages_ - numbers.size()), run.index, run.MissingNumbers()});
        pages_ += run.count;
    }
}

PageContent PagePlan::At(uint64_t page) const {
    const auto after = std::upper_bound(gaps_.begin(), gaps_.end(), page,
                                        [](uint64_t p, const Gap& gap) { return p < gap.firstPage; });
    uint64_t frame = page;
    if (after != gaps_.begin()) {
        const Gap& gap = *(after - 1);
        const uint64_t intoGap = page - gap.firstPage;
        if (intoGap < gap.missing.size()) return {true, 0, gap.missing[intoGap]};
        frame = gap.frameAfter + (intoGap - gap.missing.size());
    }
    return {false, frame, numbers_[frame]};
}

}  // namespace framedec::cli
