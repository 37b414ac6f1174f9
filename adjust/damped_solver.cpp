#include "adjust/damped_solver.h"

#include <cmath>

#include <Eigen/SparseCholesky>
#include <Eigen/SparseCore>

namespace vantorra {

struct DampedSolver::Factor {
    using Sparse = Eigen::SparseMatrix<double>;
    Sparse system;                      // lower triangle of A with every diagonal entry present
    std::vector<double*> diagonal;      // where each diagonal entry lives in `system`
    std::vector<double> plain;          // A's own diagonal
    std::vector<double> prior;
    mutable Eigen::SimplicialLDLT<Sparse, Eigen::Lower, Eigen::AMDOrdering<int>> ldlt;
};

DampedSolver::DampedSolver(const Matrix& a, const std::vector<float>& prior) : factor_(std::make_unique<Factor>()) {
    const int p = a.rows;
    std::vector<Eigen::Triplet<double>> entries;
    for (int c = 0; c < p; ++c) {
        entries.emplace_back(c, c, static_cast<double>(a.at(c, c)));
        for (int r = c + 1; r < p; ++r)
            if (a.at(r, c) != 0.0f) entries.emplace_back(r, c, static_cast<double>(a.at(r, c)));
    }
    Factor& f = *factor_;
    f.system.resize(p, p);
    f.system.setFromTriplets(entries.begin(), entries.end());
    f.system.makeCompressed();
    f.diagonal.resize(static_cast<size_t>(p));
    f.plain.resize(static_cast<size_t>(p));
    f.prior.assign(prior.begin(), prior.begin() + p);
    for (int c = 0; c < p; ++c) {
        f.diagonal[static_cast<size_t>(c)] = &f.system.coeffRef(c, c);
        f.plain[static_cast<size_t>(c)] = *f.diagonal[static_cast<size_t>(c)];
    }
    f.ldlt.analyzePattern(f.system);
}

DampedSolver::~DampedSolver() = default;

Matrix DampedSolver::solve(const Matrix& g, float alpha) const {
    Factor& f = *factor_;
    const int p = static_cast<int>(f.plain.size());
    const double alpha2 = static_cast<double>(alpha) * alpha;
    for (int c = 0; c < p; ++c)
        *f.diagonal[static_cast<size_t>(c)] = f.plain[static_cast<size_t>(c)] + alpha2 * f.prior[static_cast<size_t>(c)];
    Matrix delta(p, 1);
    f.ldlt.factorize(f.system);
    if (f.ldlt.info() != Eigen::Success) {
        for (int c = 0; c < p; ++c) delta.at(c) = NAN;
        return delta;
    }
    Eigen::VectorXd rhs(p);
    for (int c = 0; c < p; ++c) rhs(c) = g.at(c);
    const Eigen::VectorXd x = f.ldlt.solve(rhs);
    for (int c = 0; c < p; ++c) delta.at(c) = static_cast<float>(x(c));
    return delta;
}

}  // namespace vantorra
