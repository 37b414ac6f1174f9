#pragma once
// The five numbered arena pools of the feature library:
//   0: program lifetime (blur column buffers), never released
//   1: per-image scratch (grey image, pyramid, gradients), released after every image
//   3: the k-d tree, 4: features, descriptors and neighbour arrays (both released per stage)
// Pool 2 is not used.

namespace vantorra {

constexpr int kPoolCount = 5;
constexpr int kPermanentPool = 0;
constexpr int kScratchPool = 1;
constexpr int kTreePool = 3;
constexpr int kFeaturePool = 4;

}  // namespace vantorra
