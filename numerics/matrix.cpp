#include "numerics/matrix.h"

#include <cmath>
#include <istream>
#include <ostream>
#include <utility>

namespace vantorra {

Matrix::Matrix(int rows, int cols) { resize(rows, cols); }

void Matrix::resize(int newRows, int newCols) {
    rows = newRows;
    cols = newCols;
    data.assign(static_cast<size_t>(newRows) * static_cast<size_t>(newCols), 0.0f);
}

void Matrix::setZero() {
    for (float& v : data) v = 0.0f;
}

void Matrix::setIdentity() {
    setZero();
    const int n = rows < cols ? rows : cols;
    for (int i = 0; i < n; ++i) at(i, i) = 1.0f;
}

void Matrix::reshapeToColumn() {
    // Column-major storage already holds the columns one after another.
    rows = rows * cols;
    cols = 1;
}

Matrix Matrix::subMatrix(int r0, int r1, int c0, int c1) const {
    Matrix out(r1 - r0 + 1, c1 - c0 + 1);
    for (int c = 0; c < out.cols; ++c)
        for (int r = 0; r < out.rows; ++r) out.at(r, c) = at(r0 + r, c0 + c);
    return out;
}

Matrix Matrix::row(int k) const { return subMatrix(k, k, 0, cols - 1); }

void Matrix::pasteBlock(const Matrix& src, int r0, int c0) {
    for (int c = 0; c < src.cols; ++c)
        for (int r = 0; r < src.rows; ++r) at(r0 + r, c0 + c) = src.at(r, c);
}

Matrix Matrix::fromRowMajor(const float* values, int rows, int cols) {
    Matrix out(rows, cols);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) out.at(r, c) = values[static_cast<size_t>(r) * cols + c];
    return out;
}

namespace {

// Element-wise combination sized from the first operand, in storage order.
template <typename Op>
Matrix elementWise(const Matrix& a, const Matrix& b, Op op) {
    Matrix out(a.rows, a.cols);
    for (size_t i = 0; i < a.data.size(); ++i) out.data[i] = op(a.data[i], b.data[i]);
    return out;
}

template <typename Op>
Matrix mapElements(const Matrix& a, Op op) {
    Matrix out(a.rows, a.cols);
    for (size_t i = 0; i < a.data.size(); ++i) out.data[i] = op(a.data[i]);
    return out;
}

}  // namespace

Matrix add(const Matrix& a, const Matrix& b) {
    return elementWise(a, b, [](float x, float y) { return x + y; });
}

Matrix subtract(const Matrix& a, const Matrix& b) {
    return elementWise(a, b, [](float x, float y) { return x - y; });
}

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix out(a.rows, b.cols);
    for (int c = 0; c < b.cols; ++c)
        for (int r = 0; r < a.rows; ++r) {
            float s = 0.0f;
            for (int k = 0; k < a.cols; ++k) s += a.at(r, k) * b.at(k, c);
            out.at(r, c) = s;
        }
    return out;
}

Matrix transpose(const Matrix& a) {
    Matrix out(a.cols, a.rows);
    for (int c = 0; c < a.cols; ++c)
        for (int r = 0; r < a.rows; ++r) out.at(c, r) = a.at(r, c);
    return out;
}

Matrix scale(const Matrix& a, float x) {
    return mapElements(a, [x](float v) { return x * v; });
}

Matrix divide(const Matrix& a, float x) {
    return mapElements(a, [x](float v) { return v / x; });
}

Matrix negate(const Matrix& a) { return scale(a, -1.0f); }

Matrix elementProduct(const Matrix& a, const Matrix& b) {
    return elementWise(a, b, [](float x, float y) { return x * y; });
}

Matrix elementQuotient(const Matrix& a, const Matrix& b) {
    return elementWise(a, b, [](float x, float y) { return x / y; });
}

Matrix elementPower(const Matrix& a, float x) {
    return mapElements(a, [x](float v) { return std::pow(v, x); });
}

float sum(const Matrix& a) {
    float s = 0.0f;
    for (float v : a.data) s += v;
    return s;
}

Matrix columnSums(const Matrix& a) {
    Matrix out(1, a.cols);
    for (int c = 0; c < a.cols; ++c) {
        float s = 0.0f;
        for (int r = 0; r < a.rows; ++r) s += a.at(r, c);
        out.at(0, c) = s;
    }
    return out;
}

float dot(const Matrix& a, const Matrix& b) {
    float s = 0.0f;
    for (size_t i = 0; i < a.data.size(); ++i) s += a.data[i] * b.data[i];
    return s;
}

float norm(const Matrix& a) {
    // (A^T A)(0, 0): the products of the first column accumulated in row order.
    float s = 0.0f;
    for (int r = 0; r < a.rows; ++r) s += a.at(r, 0) * a.at(r, 0);
    return std::sqrt(s);
}

Matrix normalise(const Matrix& a) { return divide(a, norm(a)); }

Matrix cross(const Matrix& a, const Matrix& b) {
    Matrix out(3, 1);
    out.at(0) = a.at(1) * b.at(2) - a.at(2) * b.at(1);
    out.at(1) = a.at(2) * b.at(0) - a.at(0) * b.at(2);
    out.at(2) = a.at(0) * b.at(1) - a.at(1) * b.at(0);
    return out;
}

Matrix homogeneous(const Matrix& p) {
    Matrix out(p.rows + 1, p.cols);
    out.pasteBlock(p, 0, 0);
    for (int c = 0; c < p.cols; ++c) out.at(p.rows, c) = 1.0f;
    return out;
}

Matrix dehomogenise(const Matrix& p) {
    Matrix out(p.rows - 1, p.cols);
    for (int c = 0; c < p.cols; ++c) {
        const float w = p.at(p.rows - 1, c);
        for (int r = 0; r < out.rows; ++r) out.at(r, c) = p.at(r, c) / w;
    }
    return out;
}

namespace {

// The first of equal maxima wins, so ties keep the row already in place.
int pivotRow(const Matrix& a, int i) {
    int best = i;
    float bestValue = std::fabs(a.at(i, i));
    for (int j = i + 1; j < a.rows; ++j) {
        const float v = std::fabs(a.at(j, i));
        if (v > bestValue) {
            best = j;
            bestValue = v;
        }
    }
    return best;
}

void swapRows(Matrix& a, Matrix& b, int i, int p) {
    for (int k = i; k < a.rows; ++k) std::swap(a.at(i, k), a.at(p, k));
    std::swap(b.at(i), b.at(p));
}

// Rows below i with a non-zero entry in column i, their multipliers, and the columns after i
// where row i is non-zero: the only places elimination step i changes. Kept between steps so
// the elimination allocates nothing per step.
struct EliminationStep {
    std::vector<int> rows;
    std::vector<float> multipliers;
    std::vector<int> columns;
};

// True when row i from the pivot on, and b(i), hold finite numbers only, the pivot non-zero.
bool finiteRow(const Matrix& a, const Matrix& b, int i) {
    if (a.at(i, i) == 0.0f || !std::isfinite(b.at(i))) return false;
    for (int k = i; k < a.rows; ++k)
        if (!std::isfinite(a.at(i, k))) return false;
    return true;
}

// One step of the elimination, touching only rows whose multiplier is non-zero and columns where
// row i is non-zero: subtracting a zero product leaves an entry as it was, so the result is the
// same as updating every entry, and the normal equations of many cameras, mostly zeros, are
// eliminated in far less than cubic time. When a zero product could be NaN (a zero pivot, an
// infinite entry or multiplier) every entry is updated, so a singular system gives its
// infinities and NaN as before.
void eliminateColumn(Matrix& a, Matrix& b, int i, EliminationStep& step) {
    const int n = a.rows;
    const float pivot = a.at(i, i);
    step.rows.clear();
    step.multipliers.clear();
    step.columns.clear();
    bool sparse = finiteRow(a, b, i);
    for (int j = i + 1; j < n; ++j) {
        if (sparse && a.at(j, i) == 0.0f) continue;
        const float q = a.at(j, i) / pivot;
        a.at(j, i) = 0.0f;
        step.rows.push_back(j);
        step.multipliers.push_back(q);
        sparse = sparse && std::isfinite(q);
    }
    for (int k = i + 1; k < n; ++k)
        if (!sparse || a.at(i, k) != 0.0f) step.columns.push_back(k);
    const size_t m = step.rows.size();
    for (const int k : step.columns) {  // column by column: the storage order
        const float aik = a.at(i, k);
        float* column = &a.at(0, k);
        for (size_t r = 0; r < m; ++r) column[step.rows[r]] -= step.multipliers[r] * aik;
    }
    for (size_t r = 0; r < m; ++r) b.at(step.rows[r]) -= step.multipliers[r] * b.at(i);
}

void eliminate(Matrix& a, Matrix& b) {
    const int n = a.rows;
    EliminationStep step;
    step.rows.reserve(static_cast<size_t>(n));
    step.multipliers.reserve(static_cast<size_t>(n));
    step.columns.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        if (i < n - 1) {
            const int p = pivotRow(a, i);
            if (p != i) swapRows(a, b, i, p);
        }
        eliminateColumn(a, b, i, step);
    }
}

}  // namespace

Matrix solve(Matrix& a, Matrix& b) {
    const int n = a.rows;
    eliminate(a, b);
    Matrix x(n, 1);
    for (int m = n - 1; m >= 0; --m) {
        float s = 0.0f;
        for (int k = m + 1; k < n; ++k) s += a.at(m, k) * x.at(k);
        x.at(m) = (b.at(m) - s) / a.at(m, m);
    }
    return x;
}

std::ostream& operator<<(std::ostream& out, const Matrix& m) {
    for (int r = 0; r < m.rows; ++r) {
        for (int c = 0; c < m.cols; ++c) out << m.at(r, c) << ' ';
        out << '\n';
    }
    return out;
}

std::istream& operator>>(std::istream& in, Matrix& m) {
    for (int r = 0; r < m.rows; ++r)
        for (int c = 0; c < m.cols; ++c) in >> m.at(r, c);
    return in;
}

}  // namespace vantorra
