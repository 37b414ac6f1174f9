#include "features/strongest_features.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

namespace vantorra {

int32_t featureCount(const Feature* list) {
    int32_t count = 0;
    for (const Feature* f = list; f != nullptr; f = f->next) ++count;
    return count;
}

namespace {

// Which positions of the list are kept: the first `limit` by decreasing |contrast|, ties by
// position, so the choice does not depend on the sort.
std::vector<uint8_t> strongestPositions(const std::vector<const Feature*>& features, int32_t limit) {
    std::vector<int32_t> order(features.size());
    std::iota(order.begin(), order.end(), 0);
    const auto stronger = [&](int32_t a, int32_t b) {
        const double ca = std::fabs(features[static_cast<size_t>(a)]->contrast);
        const double cb = std::fabs(features[static_cast<size_t>(b)]->contrast);
        return ca != cb ? ca > cb : a < b;
    };
    std::nth_element(order.begin(), order.begin() + limit, order.end(), stronger);
    std::vector<uint8_t> keep(features.size(), 0);
    for (int32_t k = 0; k < limit; ++k) keep[static_cast<size_t>(order[static_cast<size_t>(k)])] = 1;
    return keep;
}

}  // namespace

Feature* keepStrongest(Feature* list, int32_t limit, PoolMark mark, bool& failed) {
    std::vector<const Feature*> features;
    for (const Feature* f = list; f != nullptr; f = f->next) features.push_back(f);
    if (limit <= 0 || static_cast<int32_t>(features.size()) <= limit) return list;
    const std::vector<uint8_t> keep = strongestPositions(features, limit);

    // Copied out before the pool gives their memory back, then allocated again in list order.
    std::vector<Feature> kept;
    std::vector<std::array<uint8_t, kDescriptorLength>> descriptors;
    kept.reserve(static_cast<size_t>(limit));
    descriptors.reserve(static_cast<size_t>(limit));
    for (size_t k = 0; k < features.size(); ++k) {
        if (!keep[k]) continue;
        kept.push_back(*features[k]);
        descriptors.emplace_back();
        std::memcpy(descriptors.back().data(), features[k]->descriptor, kDescriptorLength);
    }
    poolRollback(kFeaturePool, mark);
    Feature* head = nullptr;
    Feature* tail = nullptr;
    for (size_t k = 0; k < kept.size(); ++k) {
        auto* feature = static_cast<Feature*>(poolAlloc(sizeof(Feature), kFeaturePool));
        auto* descriptor = static_cast<uint8_t*>(poolAlloc(kDescriptorLength, kFeaturePool));
        if (feature == nullptr || descriptor == nullptr) {
            failed = true;
            return nullptr;
        }
        *feature = kept[k];
        std::memcpy(descriptor, descriptors[k].data(), kDescriptorLength);
        feature->descriptor = descriptor;
        feature->next = nullptr;
        (tail != nullptr ? tail->next : head) = feature;
        tail = feature;
    }
    return head;
}

}  // namespace vantorra
