#pragma once
// The k-d tree over the 36 descriptor bytes of every feature of every image, and the approximate
// nearest-neighbour search on it (best bin first). Part of the procedural feature library: plain
// records and free functions over module state; one matching stage uses the tree at a time.
// Building is not reentrant; searches with their own NeighbourSearch state are.

#include <cstdint>

#include "core/thread_pool.h"
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
// False when pool 3 runs out of memory; no tree is left then. With a pool, the two halves of a
// large list are built on two threads: the same tree.
bool buildTree(Feature* list, ThreadPool* pool = nullptr);

// The current root, or null before the first build and after releaseTree().
const KdNode* treeRoot();
// Depth of the deepest leaf (the root alone has depth 0); -1 without a tree. Walks the tree.
int treeDepth();

// The working state of one search: its heap of bins still to visit, and the overflow counter
// that picks which of the last 256 heap positions an overflowing push overwrites. A search
// touches nothing else but the (read-only) tree, so searches with states of their own may run
// on several threads at once.
struct NeighbourSearch {
    static constexpr int kHeapCapacity = 512;
    struct Entry {
        const KdNode* node;
        int32_t key;  // lower bound on the squared distance, raw byte units
    };
    Entry heap[kHeapCapacity + 1];  // positions 1..512
    int heapSize = 0;
    int checks = 0;
    int found = 0;
    uint32_t overflowCounter = 0;  // carried from search to search
    int overflows = 0;             // overflowing pushes of the last search
};

// Fills result[0..found) with the nearest features of images other than the query's, nearest
// first (ties in the order met), and distances[0..found) with their squared distances to `query`.
// Visits at most 100 leaves of other images. Returns found (at most k). A search that does not
// overflow its heap (search.overflows == 0 afterwards) finds the same whatever its counter was.
int findNeighbours(const Feature* query, int k, Feature** result, float* distances,
                   NeighbourSearch& search);
// The same setting each result's `distance` instead; k is at most 100, the most leaves one search
// visits.
int findNeighbours(const Feature* query, int k, Feature** result, NeighbourSearch& search);

// Forgets the tree and releases pool 3.
void releaseTree();

}  // namespace vantorra
