#pragma once
// The k-d tree over the 36 descriptor bytes of every feature of every image, and the approximate
// nearest-neighbour search on it (best bin first). Part of the procedural feature library: plain
// records and free functions over module state; one matching stage uses the tree at a time and
// nothing here is reentrant.

#include <cstdint>

#include "features/feature.h"

namespace vantorra {

// One node of the tree, allocated from arena pool 3. A leaf holds exactly one feature.
struct KdNode {
    int32_t leaf;        // 1 for a leaf, 0 for an inner node
    Feature* feature;    // the feature of a leaf
    KdNode* parent;      // none for the root
    int32_t splitDim;    // descriptor byte index 0..35 of an inner node
    int32_t splitValue;  // bytes greater than this go right
    KdNode* left;
    KdNode* right;
};

// The squared descriptor distance scaled to the unit of the ratio test: the integer sum of the
// squared byte differences times 2^-18, in single precision.
constexpr float kDistanceUnit = 1.0f / 262144.0f;
float descriptorDistance(const uint8_t* a, const uint8_t* b);

// Releases pool 3 and builds the tree over `list` (linked through `next`). Iterative, so any
// number of identical descriptors cannot exhaust the call stack. An empty list gives no tree.
// False when pool 3 runs out of memory; no tree is left then.
bool buildTree(Feature* list);

// The current root, or null before the first build and after releaseTree().
const KdNode* treeRoot();
// Depth of the deepest leaf (the root alone has depth 0); -1 without a tree. Walks the tree.
int treeDepth();

// Fills result[0..found) with the nearest features of images other than the query's, nearest
// first (ties in the order met), and sets their `distance` to the squared distance to `query`.
// Visits at most 100 leaves of other images. Returns found (at most k).
int findNeighbours(const Feature* query, int k, Feature** result);

// Forgets the tree and releases pool 3.
void releaseTree();

}  // namespace vantorra
