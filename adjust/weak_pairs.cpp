#include "adjust/weak_pairs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "matching/ransac.h"

namespace vantorra {

float lowerQuartileSigma(std::vector<float> lengths) {
    if (lengths.empty()) return 0.0f;
    const auto quarter = lengths.begin() + static_cast<std::ptrdiff_t>(lengths.size() / 4);
    std::nth_element(lengths.begin(), quarter, lengths.end());
    // A Rayleigh length with deviation sigma is below sigma sqrt(-2 ln(3/4)) a quarter of the time.
    return *quarter / std::sqrt(-2.0f * std::log(0.75f));
}

float weakThreshold(const std::vector<float>& errors, float tightThreshold, const RansacOptions& acceptance) {
    const float own = 3.0f * lowerQuartileSigma(errors);
    const float widest = std::min(kWeakWidening * tightThreshold, acceptance.inlierThreshold);
    return std::max(tightThreshold, std::min(own, widest));
}

int32_t countBelow(const std::vector<float>& errors, float threshold) {
    int32_t kept = 0;
    for (const float e : errors) kept += e < threshold;
    return kept;
}

bool holdsAsLastLink(const std::vector<float>& errors, float tightThreshold, const RansacOptions& acceptance) {
    return countBelow(errors, weakThreshold(errors, tightThreshold, acceptance)) > minInliersFor(0, acceptance);
}

namespace {

// Pieces of the images joined by the pairs marked in `links`, as a root per component position.
class Pieces {
public:
    Pieces(const std::vector<MeasuredPair>& pairs, const std::vector<int32_t>& component,
           const std::vector<uint8_t>& links)
        : component_(component), root_(component.size()) {
        for (size_t k = 0; k < root_.size(); ++k) root_[k] = k;
        for (size_t p = 0; p < pairs.size(); ++p)
            if (links[p]) join(place(pairs[p].first), place(pairs[p].second));
    }
    size_t place(int32_t image) const {
        return static_cast<size_t>(std::lower_bound(component_.begin(), component_.end(), image) - component_.begin());
    }
    size_t size() const { return root_.size(); }
    size_t root(size_t k) const {
        while (root_[k] != k) k = root_[k];
        return k;
    }
    // The root of the largest piece of two or more images (ties: the lowest image's), or
    // component.size() when no pair joins anything.
    size_t largest() const {
        std::vector<size_t> size(root_.size(), 0);
        for (size_t k = 0; k < root_.size(); ++k) ++size[root(k)];
        size_t best = root_.size(), bestSize = 1;
        for (size_t k = 0; k < root_.size(); ++k) {
            const size_t r = root(k);
            if (size[r] > bestSize) best = r, bestSize = size[r];
        }
        return best;
    }

private:
    void join(size_t a, size_t b) {
        a = root(a), b = root(b);
        if (a != b) root_[std::max(a, b)] = std::min(a, b);
    }
    const std::vector<int32_t>& component_;
    std::vector<size_t> root_;
};

std::string pairText(const MeasuredPair& p, int32_t kept, float threshold) {
    char text[160];
    std::snprintf(text, sizeof text, "its best pair %d-%d keeps %d of %zu matches within %.3g px", p.first,
                  p.second, kept, p.errors->size(), threshold);
    return text;
}

// A failed pair between an image outside the held piece and its partner inside, as the rule of
// pairs together counts it.
struct Overlap {
    int32_t image = 0, partner = 0;
    int32_t kept = 0, measured = 0;
    size_t pair = 0;
};

// By image, then partner, the stronger direction first.
void sortOverlaps(std::vector<Overlap>& overlaps) {
    std::sort(overlaps.begin(), overlaps.end(), [](const Overlap& x, const Overlap& y) {
        if (x.image != y.image) return x.image < y.image;
        if (x.partner != y.partner) return x.partner < y.partner;
        return x.kept > y.kept;
    });
}

struct Together {
    int32_t kept = 0, measured = 0, partners = 0;
};

// What one image's sorted overlaps [first, last) keep together: the two directions of an overlap
// find the same points, so each partner counts once, by its stronger direction.
Together together(std::vector<Overlap>::const_iterator first, std::vector<Overlap>::const_iterator last) {
    Together t;
    for (auto o = first; o != last; ++o)
        if (o == first || o->partner != std::prev(o)->partner) t.kept += o->kept, t.measured += o->measured, ++t.partners;
    return t;
}

// An image needs two partners: one overlap is the single-pair rule's.
bool holdsTogether(const Together& t, const RansacOptions& acceptance) {
    return t.partners >= 2 && t.kept > minInliersFor(t.measured, acceptance);
}

// The failed pairs of held pieces' edge that count for the rule of pairs together, sorted;
// `inside(image)` says whether an image is held.
template <typename Inside>
std::vector<Overlap> edgeOverlaps(const std::vector<MeasuredPair>& pairs, const WeakPairs& w,
                                  const std::vector<uint8_t>* links, Inside inside) {
    std::vector<Overlap> overlaps;
    for (size_t p = 0; p < pairs.size(); ++p) {
        if ((links != nullptr && (*links)[p]) || pairs[p].accepted || w.kept[p] <= 0) continue;
        const bool inA = inside(pairs[p].first), inB = inside(pairs[p].second);
        if (inA == inB) continue;
        overlaps.push_back({inA ? pairs[p].second : pairs[p].first, inA ? pairs[p].first : pairs[p].second, w.kept[p],
                            static_cast<int32_t>(pairs[p].errors->size()), p});
    }
    sortOverlaps(overlaps);
    return overlaps;
}

// Why an image outside the held piece is left out: its strongest pair into the piece and what
// its pairs into the piece keep together (`overlaps`: edgeOverlaps of the held images), or that
// it has none.
std::string whyLeftOut(int32_t image, const std::vector<MeasuredPair>& pairs, const WeakPairs& w,
                       const std::vector<Overlap>& overlaps, const RansacOptions& acceptance) {
    const auto held = [&](int32_t i) { return std::binary_search(w.component.begin(), w.component.end(), i); };
    int best = -1, bestOutside = -1;
    for (size_t p = 0; p < pairs.size(); ++p) {
        if (pairs[p].first != image && pairs[p].second != image) continue;
        int& slot = held(pairs[p].first == image ? pairs[p].second : pairs[p].first) ? best : bestOutside;
        if (slot < 0 || w.kept[p] > w.kept[static_cast<size_t>(slot)]) slot = static_cast<int>(p);
    }
    if (best < 0 && bestOutside < 0) return "no pair with a registered partner holds matches";
    if (best < 0) {
        const size_t b = static_cast<size_t>(bestOutside);
        return "its pairs join only photographs left out too (" + pairText(pairs[b], w.kept[b], w.threshold[b]) + ")";
    }
    const auto first = std::find_if(overlaps.begin(), overlaps.end(), [&](const Overlap& o) { return o.image == image; });
    const auto last = std::find_if(first, overlaps.end(), [&](const Overlap& o) { return o.image != image; });
    const Together t = together(first, last);
    const size_t b = static_cast<size_t>(best);
    std::string why = pairText(pairs[b], w.kept[b], w.threshold[b]) + ", no more than the " +
                      std::to_string(minInliersFor(0, acceptance)) + " any pair is accepted with";
    if (t.partners >= 2)
        why += "; its pairs with " + std::to_string(t.partners) + " photographs together keep " +
               std::to_string(t.kept) + " of " + std::to_string(t.measured) + ", no more than " +
               std::to_string(minInliersFor(t.measured, acceptance));
    return why + ": its matches disagree with the cameras";
}

// An image that no single failed pair can hold may still be held by its failed pairs into the
// held piece together, under the rule that placed it when the cameras were verified: more of
// their matches within their weak thresholds than alpha plus beta times all the matches they
// were measured on. Each of a soft image's overlaps keeps a handful of matches, none enough on
// its own, while one rotation agreeing with all of them is one chance of luck, not several.
// Holds the image whose pairs keep the most matches together and marks those pairs; false when
// no image outside the piece passes.
bool holdByPairsTogether(const std::vector<MeasuredPair>& pairs, const Pieces& pieces, size_t held, WeakPairs& w,
                         std::vector<uint8_t>& links, const RansacOptions& acceptance) {
    if (held == pieces.size()) return false;
    const std::vector<Overlap> overlaps =
        edgeOverlaps(pairs, w, &links, [&](int32_t i) { return pieces.root(pieces.place(i)) == held; });
    int32_t best = -1, bestKept = 0;
    for (auto start = overlaps.begin(); start != overlaps.end();) {
        const auto end = std::find_if(start, overlaps.end(), [&](const Overlap& o) { return o.image != start->image; });
        const Together t = together(start, end);
        if (holdsTogether(t, acceptance) && t.kept > bestKept) best = start->image, bestKept = t.kept;
        start = end;
    }
    if (best < 0) return false;
    for (const Overlap& o : overlaps)
        if (o.image == best) links[o.pair] = 1, w.weak[o.pair] = 1;
    return true;
}

// True when failed pair p is a better last link than q: one holding matches now before one
// restored, then more matches.
bool before(const std::vector<MeasuredPair>& pairs, const std::vector<int32_t>& kept, size_t p, size_t q) {
    if (pairs[p].restored != pairs[q].restored) return !pairs[p].restored;
    return kept[p] > kept[q];
}

// An image that no accepted pair holds hangs on its last link, which fixes it only about the part
// of the view the two share; every other failed pair of it that keeps enough matches within its
// weak threshold is kept too, so that all its overlaps hold it.
void holdSoftImagesByAll(const std::vector<MeasuredPair>& pairs, const std::vector<uint8_t>& admissible, WeakPairs& w) {
    const auto held = [&](int32_t i) { return std::binary_search(w.component.begin(), w.component.end(), i); };
    std::vector<int32_t> soft;
    for (const int32_t i : w.component)
        if (std::none_of(pairs.begin(), pairs.end(),
                         [&](const MeasuredPair& p) { return p.accepted && (p.first == i || p.second == i); }))
            soft.push_back(i);
    for (size_t p = 0; p < pairs.size(); ++p)
        if (admissible[p] && !pairs[p].restored && held(pairs[p].first) && held(pairs[p].second) &&
            (std::binary_search(soft.begin(), soft.end(), pairs[p].first) ||
             std::binary_search(soft.begin(), soft.end(), pairs[p].second)))
            w.weak[p] = 1;
}

}  // namespace

WeakPairs holdWithWeakPairs(const std::vector<MeasuredPair>& pairs, const std::vector<int32_t>& component,
                            const RansacOptions& acceptance) {
    WeakPairs w;
    const size_t count = pairs.size();
    w.weak.assign(count, 0);
    w.threshold.resize(count);
    w.kept.resize(count);
    std::vector<uint8_t> links(count, 0), admissible(count, 0);
    const int32_t floor = minInliersFor(0, acceptance);
    for (size_t p = 0; p < count; ++p) {
        links[p] = pairs[p].accepted;
        w.threshold[p] = pairs[p].accepted ? pairs[p].tightThreshold
                                           : weakThreshold(*pairs[p].errors, pairs[p].tightThreshold, acceptance);
        w.kept[p] = countBelow(*pairs[p].errors, w.threshold[p]);
        admissible[p] = !pairs[p].accepted && w.kept[p] > floor;
    }
    for (;;) {
        const Pieces pieces(pairs, component, links);
        const size_t held = pieces.largest();
        int best = -1;
        for (size_t p = 0; p < count; ++p) {
            if (!admissible[p] || links[p]) continue;
            const bool in1 = pieces.root(pieces.place(pairs[p].first)) == held;
            const bool in2 = pieces.root(pieces.place(pairs[p].second)) == held;
            if ((in1 == in2 && held != component.size()) || (best >= 0 && !before(pairs, w.kept, p, static_cast<size_t>(best))))
                continue;
            best = static_cast<int>(p);
        }
        if (best < 0 && holdByPairsTogether(pairs, pieces, held, w, links, acceptance)) continue;
        if (best < 0) {
            for (size_t k = 0; k < component.size(); ++k) {
                if (held != component.size() && pieces.root(k) == held) w.component.push_back(component[k]);
                else w.leftOut.push_back(component[k]);
            }
            break;
        }
        links[static_cast<size_t>(best)] = 1;
        w.weak[static_cast<size_t>(best)] = 1;
    }
    const std::vector<Overlap> edge = edgeOverlaps(pairs, w, nullptr, [&](int32_t i) {
        return std::binary_search(w.component.begin(), w.component.end(), i);
    });
    for (const int32_t i : w.leftOut) w.leftOutWhy.push_back(whyLeftOut(i, pairs, w, edge, acceptance));
    holdSoftImagesByAll(pairs, admissible, w);
    return w;
}

}  // namespace vantorra
