#pragma once
// Hand-made feature lists for the matching tests: stable storage for features and descriptors,
// and per-image lists linked through `next` in the order the features were added.

#include <array>
#include <cstdint>
#include <deque>
#include <random>
#include <vector>

#include "features/feature.h"

namespace vantorra::test {

using Descriptor = std::array<uint8_t, kDescriptorLength>;

class SyntheticFeatures {
public:
    explicit SyntheticFeatures(int images) : tails_(images, nullptr), lists_(images, nullptr) {}

    Feature* add(int image, const Descriptor& descriptor, double row = 0.0, double col = 0.0) {
        descriptors_.push_back(descriptor);
        features_.push_back(Feature{});
        Feature* f = &features_.back();
        f->row = row;
        f->col = col;
        f->descriptor = descriptors_.back().data();
        f->image = image;
        (tails_[image] != nullptr ? tails_[image]->next : lists_[image]) = f;
        tails_[image] = f;
        return f;
    }

    // Every image's list joined in image order (what the matcher does), for tree-only tests.
    Feature* joined() {
        Feature* head = nullptr;
        Feature* tail = nullptr;
        for (size_t i = 0; i < lists_.size(); ++i) {
            if (lists_[i] == nullptr) continue;
            (tail != nullptr ? tail->next : head) = lists_[i];
            tail = tails_[i];
        }
        return head;
    }

    const std::vector<Feature*>& lists() const { return lists_; }
    std::deque<Feature>& features() { return features_; }

private:
    std::deque<Descriptor> descriptors_;
    std::deque<Feature> features_;
    std::vector<Feature*> tails_;
    std::vector<Feature*> lists_;
};

inline Descriptor randomDescriptor(std::mt19937& rng) {
    std::uniform_int_distribution<int> byte(0, 255);
    Descriptor d;
    for (auto& b : d) b = static_cast<uint8_t>(byte(rng));
    return d;
}

inline Descriptor filledDescriptor(uint8_t value) {
    Descriptor d;
    d.fill(value);
    return d;
}

}  // namespace vantorra::test
