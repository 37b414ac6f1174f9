#include "matching/kd_tree.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "features/arena_pools.h"

namespace vantorra {

// Module state of the tree. The feature library is procedural: the tree lives in arena pool 3
// from buildTree to the end of the matching stage. Searches keep their state in the caller's
// NeighbourSearch.
namespace {

constexpr int kMaxChecks = 100;
constexpr int kEarlyStopChecks = 25;

KdNode* root = nullptr;

// A list waiting to become the subtree under `node`, linked through treeLink. A tree over m
// features has 2m - 1 nodes; the subtree's are the 2 * count - 1 from `node` on, so subtrees
// are laid out apart and can be built at once.
struct BuildItem {
    KdNode* node;
    Feature* list;
    int count;
    uint64_t ancestorDims;  // bit d set: an ancestor splits on byte d
};

// Subtrees of fewer features are built on one thread.
constexpr int kParallelFrom = 4096;

KdNode* newNode(KdNode* node, KdNode* parent) {
    *node = KdNode{0, nullptr, parent, 0, 0, nullptr, nullptr};
    return node;
}

void makeLeaf(KdNode* node, Feature* feature) {
    node->leaf = 1;
    node->feature = feature;
}

bool allIdentical(const Feature* list) {
    for (const Feature* f = list->treeLink; f != nullptr; f = f->treeLink)
        if (std::memcmp(f->descriptor, list->descriptor, kDescriptorLength) != 0) return false;
    return true;
}

// Identical descriptors make every split take byte 0 at its own value: all features go left, and
// the last of the list is moved alone to the right. The remaining list is the reversed rest, so
// the whole chain is laid down here in one loop over an array instead of one level at a time.
void buildIdenticalChain(KdNode* node, Feature* list, int count) {
    std::vector<Feature*> features;
    features.reserve(static_cast<size_t>(count));
    for (Feature* f = list; f != nullptr; f = f->treeLink) features.push_back(f);
    const int32_t value = list->descriptor[0];
    size_t lo = 0;
    size_t hi = features.size();
    bool reversed = false;
    KdNode* free = node + 1;  // the chain's nodes follow its top one
    while (hi - lo > 1) {
        node->splitDim = 0;
        node->splitValue = value;
        Feature* last = reversed ? features[lo++] : features[--hi];
        reversed = !reversed;
        node->left = newNode(free, node);
        node->right = newNode(free + 1, node);
        free += 2;
        makeLeaf(node->right, last);
        node = node->left;
    }
    makeLeaf(node, features[lo]);
}

// Byte with the largest spread of the list, never one an ancestor split on; the first maximum
// wins and byte 0 is chosen when every spread is 0. Sets the split of `node`.
void chooseSplit(KdNode* node, const Feature* list, int count, uint64_t ancestorDims) {
    uint32_t sums[kDescriptorLength] = {};
    for (const Feature* f = list; f != nullptr; f = f->treeLink)
        for (int d = 0; d < kDescriptorLength; ++d) sums[d] += f->descriptor[d];
    float means[kDescriptorLength];
    for (int d = 0; d < kDescriptorLength; ++d)
        means[d] = static_cast<float>(static_cast<double>(sums[d]) / count);
    float spread[kDescriptorLength] = {};
    for (const Feature* f = list; f != nullptr; f = f->treeLink)
        for (int d = 0; d < kDescriptorLength; ++d) {
            const float deviation = static_cast<float>(f->descriptor[d]) - means[d];
            spread[d] += deviation * deviation;
        }
    int best = 0;
    float maximum = 0.0f;
    for (int d = 0; d < kDescriptorLength; ++d) {
        if (ancestorDims & (uint64_t{1} << d)) continue;
        if (spread[d] > maximum) {
            maximum = spread[d];
            best = d;
        }
    }
    node->splitDim = best;
    node->splitValue = static_cast<int32_t>(means[best]);
}

// Splits `item` into two children, each side built as a stack (its order reversed); an empty
// side takes the first feature of the other, so both children always exist.
void splitNode(const BuildItem& item, std::vector<BuildItem>& pending) {
    KdNode* node = item.node;
    chooseSplit(node, item.list, item.count, item.ancestorDims);
    Feature* left = nullptr;
    Feature* right = nullptr;
    int leftCount = 0;
    for (Feature* f = item.list; f != nullptr;) {
        Feature* next = f->treeLink;
        if (f->descriptor[node->splitDim] > node->splitValue) {
            f->treeLink = right;
            right = f;
        } else {
            f->treeLink = left;
            left = f;
            ++leftCount;
        }
        f = next;
    }
    if (leftCount == 0) {
        left = right;
        right = right->treeLink;
        left->treeLink = nullptr;
        leftCount = 1;
    } else if (leftCount == item.count) {
        right = left;
        left = left->treeLink;
        right->treeLink = nullptr;
        --leftCount;
    }
    node->left = newNode(node + 1, node);
    node->right = newNode(node + 2 * leftCount, node);
    const uint64_t dims = item.ancestorDims | (uint64_t{1} << node->splitDim);
    // The right child waits below the left one, so the left subtree is built first.
    pending.push_back({node->right, right, item.count - leftCount, dims});
    pending.push_back({node->left, left, leftCount, dims});
}

// Builds the subtree of `item` and every subtree below it. With a pool, a split of enough
// features hands its two halves to two threads.
void buildSubtree(const BuildItem& item, ThreadPool* pool) {
    std::vector<BuildItem> pending{item};
    while (!pending.empty()) {
        const BuildItem next = pending.back();
        pending.pop_back();
        if (next.count == 1) {
            makeLeaf(next.node, next.list);
        } else if (allIdentical(next.list)) {
            buildIdenticalChain(next.node, next.list, next.count);
        } else if (pool != nullptr && next.count >= kParallelFrom) {
            std::vector<BuildItem> halves;
            splitNode(next, halves);
            pool->parallelFor(halves.size(), [&](size_t h, int) { buildSubtree(halves[h], nullptr); });
        } else {
            splitNode(next, pending);
        }
    }
}

void push(NeighbourSearch& search, const KdNode* node, int32_t key) {
    auto& heap = search.heap;
    int position;
    if (search.heapSize == NeighbourSearch::kHeapCapacity) {
        position = NeighbourSearch::kHeapCapacity - static_cast<int>(search.overflowCounter % 256);
        ++search.overflowCounter;
        ++search.overflows;
    } else {
        position = ++search.heapSize;
    }
    while (position > 1 && heap[position / 2].key > key) {
        heap[position] = heap[position / 2];
        position /= 2;
    }
    heap[position] = {node, key};
}

NeighbourSearch::Entry pop(NeighbourSearch& search) {
    auto& heap = search.heap;
    const NeighbourSearch::Entry top = heap[1];
    const NeighbourSearch::Entry moved = heap[search.heapSize--];
    int position = 1;
    for (;;) {
        int child = 2 * position;
        if (child > search.heapSize) break;
        // The smaller of the two children, chosen without a branch (which side it is is a coin toss).
        if (child + 1 <= search.heapSize) child += heap[child + 1].key < heap[child].key ? 1 : 0;
        if (!(heap[child].key < moved.key)) break;
        heap[position] = heap[child];
        position = child;
    }
    if (search.heapSize > 0) heap[position] = moved;
    return top;
}

// Offers a leaf's feature to the sorted result list; features of the query's own image are
// passed over without counting as a check.
void offer(NeighbourSearch& search, const Feature* query, Feature* candidate, int k, Feature** result,
           float* distances) {
    if (candidate->image == query->image) return;
    ++search.checks;
    const float s = descriptorDistance(query->descriptor, candidate->descriptor);
    int& found = search.found;
    if (found == k && !(s < distances[k - 1])) return;
    int position = found < k ? found : k - 1;
    while (position > 0 && distances[position - 1] > s) {
        result[position] = result[position - 1];
        distances[position] = distances[position - 1];
        --position;
    }
    result[position] = candidate;
    distances[position] = s;
    if (found < k) ++found;
}

}  // namespace

float descriptorDistance(const uint8_t* a, const uint8_t* b) {
    int32_t sum = 0;
    for (int d = 0; d < kDescriptorLength; ++d) {
        const int32_t difference = static_cast<int32_t>(a[d]) - static_cast<int32_t>(b[d]);
        sum += difference * difference;
    }
    return static_cast<float>(sum) * kDistanceUnit;
}

bool buildTree(Feature* list, ThreadPool* pool) {
    releaseTree();
    // treeLink runs in the reverse order of next.
    Feature* linked = nullptr;
    int count = 0;
    for (Feature* f = list; f != nullptr; f = f->next) {
        f->treeLink = linked;
        linked = f;
        ++count;
    }
    if (count == 0) return true;
    // Every node at once: an exhausted arena is found before any building.
    auto* nodes = static_cast<KdNode*>(poolAlloc(sizeof(KdNode) * (2 * static_cast<size_t>(count) - 1), kTreePool));
    if (nodes == nullptr) return false;
    root = newNode(nodes, nullptr);
    buildSubtree({root, linked, count, 0}, pool);
    return true;
}

const KdNode* treeRoot() { return root; }

int treeDepth() {
    if (root == nullptr) return -1;
    int deepest = 0;
    std::vector<std::pair<const KdNode*, int>> pending{{root, 0}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        if (node->leaf) {
            if (depth > deepest) deepest = depth;
            continue;
        }
        pending.push_back({node->left, depth + 1});
        pending.push_back({node->right, depth + 1});
    }
    return deepest;
}

int findNeighbours(const Feature* query, int k, Feature** result, float* distances,
                   NeighbourSearch& search) {
    search.heapSize = 0;
    search.checks = 0;
    search.found = 0;
    search.overflows = 0;
    if (root == nullptr || k <= 0) return 0;
    const KdNode* node = root;
    int32_t bound = 0;
    for (;;) {
        const bool mayPush = 2 * search.checks < kMaxChecks;
        while (!node->leaf) {
            const int32_t d = static_cast<int32_t>(query->descriptor[node->splitDim]) - node->splitValue;
            // Which side is nearer is a coin toss to the processor: chosen by masks, not a branch.
            const uintptr_t left = reinterpret_cast<uintptr_t>(node->left);
            const uintptr_t right = reinterpret_cast<uintptr_t>(node->right);
            const uintptr_t toLeft = uintptr_t{0} - static_cast<uintptr_t>(d < 0);
            const KdNode* other = reinterpret_cast<const KdNode*>((right & toLeft) | (left & ~toLeft));
            node = reinterpret_cast<const KdNode*>((left & toLeft) | (right & ~toLeft));
            if (mayPush) push(search, other, bound + d * d);
        }
        offer(search, query, node->feature, k, result, distances);
        if (search.heapSize == 0 || search.checks >= kMaxChecks) break;
        const NeighbourSearch::Entry next = pop(search);
        // Stop once the nearest bin left cannot hold anything within a tenth of the best distance.
        if (search.checks >= kEarlyStopChecks &&
            !(0.1 * distances[0] > static_cast<double>(next.key) * kDistanceUnit))
            break;
        node = next.node;
        bound = next.key;
    }
    return search.found;
}

int findNeighbours(const Feature* query, int k, Feature** result, NeighbourSearch& search) {
    float distances[kMaxChecks];
    const int found = findNeighbours(query, std::min(k, kMaxChecks), result, distances, search);
    for (int l = 0; l < found; ++l) result[l]->distance = distances[l];
    return found;
}

void releaseTree() {
    root = nullptr;
    poolRelease(kTreePool);
}

}  // namespace vantorra
