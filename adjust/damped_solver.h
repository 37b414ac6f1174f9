#pragma once
// The step equations of one Levenberg-Marquardt iteration, (A + alpha^2 D) delta = g, solved by
// a sparse Cholesky factorisation under a fill-reducing (approximate minimum degree) ordering.
// A camera's parameters meet only those of the cameras it shares matches with, so A is sparse
// in any panorama of more than a few photographs, and the ordering is found from that structure
// alone: the work of a solve no longer depends on the order the photographs were given in.

#include <memory>
#include <vector>

#include "numerics/matrix.h"

namespace vantorra {

class DampedSolver {
public:
    // Takes the structure and values of the symmetric P x P matrix `a` (its zero entries stay
    // out of the factorisation) and the damping diagonal D (P entries). The ordering and the
    // symbolic factorisation are made once, here, for every alpha of the iteration.
    DampedSolver(const Matrix& a, const std::vector<float>& prior);
    ~DampedSolver();
    DampedSolver(const DampedSolver&) = delete;
    DampedSolver& operator=(const DampedSolver&) = delete;

    // delta for this alpha (P x 1); every entry NaN when the damped matrix cannot be factorised,
    // so that the trial is rejected like any step whose error is not a number.
    Matrix solve(const Matrix& g, float alpha) const;

private:
    struct Factor;
    std::unique_ptr<Factor> factor_;
};

}  // namespace vantorra
