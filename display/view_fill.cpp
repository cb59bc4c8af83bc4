// Column plans of the two fills: the spans they read and the per-column
// indices and weights, every one kept inside the layer.
#include "display/view_fill.h"

#include <algorithm>

namespace tarvel {
namespace view_fill {

nearest_columns PlanNearest(const std::vector<int>& table, int width) {
    nearest_columns plan;
    plan.column.resize(table.size());
    if (table.empty() || width < 1) return plan;
    const int last = width - 1;
    for (std::size_t i = 0; i < table.size(); ++i) plan.column[i] = std::clamp(table[i], 0, last);
    const auto span = std::minmax_element(plan.column.begin(), plan.column.end());
    plan.first = *span.first;
    plan.last = *span.second;
    plan.consecutive = true;
    for (std::size_t i = 0; i < plan.column.size(); ++i) {
        plan.column[i] -= plan.first;
        plan.consecutive = plan.consecutive && plan.column[i] == static_cast<int>(i);
    }
    return plan;
}

smooth_columns PlanSmooth(const std::vector<int>& table, int width) {
    smooth_columns plan;
    const std::size_t n = table.size();
    plan.left.resize(n);
    plan.right.resize(n);
    plan.fraction.resize(n);
    if (n == 0 || width < 1) return plan;
    int lo = width - 1, hi = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int entry = std::max(table[i], 0);
        int x = entry >> 8;
        int f = entry & 255;
        if (x >= width - 1) {  // the last column, or beyond it: no right neighbour
            x = width - 1;
            f = 0;
        }
        plan.left[i] = x;
        plan.right[i] = f ? x + 1 : x;
        plan.fraction[i] = static_cast<std::uint16_t>(f);
        lo = std::min(lo, x);
        hi = std::max(hi, plan.right[i]);
    }
    plan.first = lo;
    plan.last = hi;
    for (std::size_t i = 0; i < n; ++i) {
        plan.left[i] -= lo;
        plan.right[i] -= lo;
    }
    return plan;
}

}  // namespace view_fill
}  // namespace tarvel
