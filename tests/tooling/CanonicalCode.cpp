#include "CanonicalCode.h"

#include <algorithm>

std::vector<uint32_t> CanonicalCodes(const std::vector<int>& lengths) {
    std::vector<int> order;
    for (size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i] > 0)
            order.push_back(static_cast<int>(i));
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return lengths[a] < lengths[b]; });
    std::vector<uint32_t> codes(lengths.size(), 0);
    uint32_t code = 0;
    int previous = order.empty() ? 0 : lengths[order[0]];
    for (int symbol : order) {
        code <<= lengths[symbol] - previous;
        previous = lengths[symbol];
        codes[symbol] = code++;
    }
    return codes;
}
