#include "numerics/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <sstream>

namespace vantorra {
namespace {

Matrix rowMajor(std::initializer_list<float> v, int rows, int cols) {
    return Matrix::fromRowMajor(std::data(v), rows, cols);
}

TEST(MatrixShape, ConstructionZeroFillsAndStoresColumnMajor) {
    Matrix m(2, 3);
    ASSERT_EQ(m.data.size(), 6u);
    for (float v : m.data) EXPECT_EQ(v, 0.0f);
    m.at(1, 2) = 7.0f;
    EXPECT_EQ(m.data[1 + 2 * 2], 7.0f);
    EXPECT_EQ(m.at(5), 7.0f);
    EXPECT_TRUE(Matrix().empty());
    EXPECT_EQ(Matrix().rows, 0);
}

TEST(MatrixShape, CopiesAreDeepAndResizeDiscards) {
    Matrix a = rowMajor({1, 2, 3, 4}, 2, 2);
    Matrix b = a;
    b.at(0, 0) = 9.0f;
    EXPECT_EQ(a.at(0, 0), 1.0f);
    a.resize(3, 1);
    EXPECT_EQ(a.rows, 3);
    EXPECT_EQ(a.cols, 1);
    for (float v : a.data) EXPECT_EQ(v, 0.0f);
}

TEST(MatrixShape, ReshapeStacksPointColumnsWithoutMovingData) {
    Matrix p = rowMajor({1, 2, 3, 10, 20, 30}, 2, 3);  // x row, y row
    const float* before = p.data.data();
    p.reshapeToColumn();
    EXPECT_EQ(p.rows, 6);
    EXPECT_EQ(p.cols, 1);
    EXPECT_EQ(p.data.data(), before);
    const float expected[6] = {1, 10, 2, 20, 3, 30};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(p.at(i, 0), expected[i]) << i;
}

TEST(MatrixShape, SubMatrixIncludesBothEnds) {
    Matrix m(8, 8);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) m.at(r, c) = static_cast<float>(10 * r + c);
    const Matrix s = m.subMatrix(3, 7, 3, 7);
    EXPECT_EQ(s.rows, 5);
    EXPECT_EQ(s.cols, 5);
    EXPECT_EQ(s.at(0, 0), 33.0f);
    EXPECT_EQ(s.at(4, 4), 77.0f);
    EXPECT_EQ(s.at(1, 3), 46.0f);
    const Matrix r = m.row(2);
    EXPECT_EQ(r.rows, 1);
    EXPECT_EQ(r.cols, 8);
    EXPECT_EQ(r.at(0, 5), 25.0f);
}

TEST(MatrixShape, SetIdentityOnRectangularMatrix) {
    Matrix m(3, 4);
    m.at(0, 3) = 5.0f;
    m.setIdentity();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(m.at(r, c), r == c ? 1.0f : 0.0f) << r << "," << c;
}

TEST(MatrixShape, PasteBlockAndFromRowMajor) {
    Matrix m(3, 3);
    m.pasteBlock(rowMajor({1, 2, 3, 4}, 2, 2), 1, 1);
    EXPECT_EQ(m.at(1, 1), 1.0f);
    EXPECT_EQ(m.at(1, 2), 2.0f);
    EXPECT_EQ(m.at(2, 1), 3.0f);
    EXPECT_EQ(m.at(2, 2), 4.0f);
    EXPECT_EQ(m.at(0, 0), 0.0f);
}

TEST(MatrixArithmetic, ElementWiseOperations) {
    const Matrix a = rowMajor({1, 2, 3, 4}, 2, 2);
    const Matrix b = rowMajor({2, 4, 8, 16}, 2, 2);
    struct Case {
        const char* name;
        Matrix result;
        float expected[4];
    };
    const Case cases[] = {
        {"add", add(a, b), {3, 6, 11, 20}},
        {"subtract", subtract(b, a), {1, 2, 5, 12}},
        {"scale", scale(a, 2.0f), {2, 4, 6, 8}},
        {"divide", divide(b, 2.0f), {1, 2, 4, 8}},
        {"negate", negate(a), {-1, -2, -3, -4}},
        {"elementProduct", elementProduct(a, b), {2, 8, 24, 64}},
        {"elementQuotient", elementQuotient(b, a), {2, 2, 8.0f / 3.0f, 4}},
        {"elementPower2", elementPower(a, 2.0f), {1, 4, 9, 16}},
        {"elementPowerInverse", elementPower(b, -1.0f), {0.5f, 0.25f, 0.125f, 0.0625f}},
        {"transpose", transpose(a), {1, 3, 2, 4}},
        {"multiply", multiply(a, b), {18, 36, 38, 76}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.result.rows, 2) << c.name;
        ASSERT_EQ(c.result.cols, 2) << c.name;
        for (int i = 0; i < 4; ++i)
            EXPECT_FLOAT_EQ(c.result.at(i / 2, i % 2), c.expected[i]) << c.name << " " << i;
    }
}

TEST(MatrixArithmetic, MultiplySizesFromOuterDimensions) {
    const Matrix a = rowMajor({1, 2, 3, 4, 5, 6}, 2, 3);
    const Matrix v = rowMajor({1, 0, -1}, 3, 1);
    const Matrix p = multiply(a, v);
    EXPECT_EQ(p.rows, 2);
    EXPECT_EQ(p.cols, 1);
    EXPECT_EQ(p.at(0), -2.0f);
    EXPECT_EQ(p.at(1), -2.0f);
}

TEST(MatrixArithmetic, Reductions) {
    const Matrix a = rowMajor({3, 1, 4, 2}, 2, 2);  // first column (3, 4)
    EXPECT_EQ(sum(a), 10.0f);
    const Matrix cs = columnSums(a);
    EXPECT_EQ(cs.rows, 1);
    EXPECT_EQ(cs.at(0, 0), 7.0f);
    EXPECT_EQ(cs.at(0, 1), 3.0f);
    EXPECT_EQ(dot(a, a), 30.0f);
    const Matrix m32 = rowMajor({3, 100, 0, 100, 4, 100}, 3, 2);
    EXPECT_EQ(norm(m32), 5.0f);  // only the first column counts
    const Matrix u = normalise(rowMajor({0, 3, 4}, 3, 1));
    EXPECT_FLOAT_EQ(u.at(1), 0.6f);
    EXPECT_FLOAT_EQ(u.at(2), 0.8f);
}

TEST(MatrixArithmetic, CrossAndHomogeneousPoints) {
    const Matrix c = cross(rowMajor({1, 0, 0}, 3, 1), rowMajor({0, 1, 0}, 3, 1));
    EXPECT_EQ(c.at(0), 0.0f);
    EXPECT_EQ(c.at(1), 0.0f);
    EXPECT_EQ(c.at(2), 1.0f);
    // Operands are read by stored index, so a row vector works the same.
    const Matrix c2 = cross(rowMajor({0, 1, 0}, 1, 3), rowMajor({0, 0, 1}, 1, 3));
    EXPECT_EQ(c2.at(0), 1.0f);

    const Matrix h = homogeneous(rowMajor({1, 2, 3, 4}, 2, 2));
    EXPECT_EQ(h.rows, 3);
    EXPECT_EQ(h.at(2, 0), 1.0f);
    EXPECT_EQ(h.at(2, 1), 1.0f);
    EXPECT_EQ(h.at(1, 1), 4.0f);

    const Matrix d = dehomogenise(rowMajor({2, 4, 2}, 3, 1));
    ASSERT_EQ(d.rows, 2);
    EXPECT_EQ(d.at(0), 1.0f);
    EXPECT_EQ(d.at(1), 2.0f);
}

TEST(MatrixSolve, SwapsRowsForZeroPivot) {
    Matrix a = rowMajor({0, 1, 1, 0}, 2, 2);
    Matrix b = rowMajor({2, 3}, 2, 1);
    const Matrix x = solve(a, b);
    ASSERT_EQ(x.rows, 2);
    EXPECT_EQ(x.at(0), 3.0f);
    EXPECT_EQ(x.at(1), 2.0f);
}

TEST(MatrixSolve, SolvesGeneralSystemAndLeavesEliminatedForm) {
    const Matrix original = rowMajor({2, 1, -1, -3, -1, 2, -2, 1, 2}, 3, 3);
    Matrix a = original;
    Matrix b = rowMajor({8, -11, -3}, 3, 1);
    const Matrix x = solve(a, b);
    EXPECT_NEAR(x.at(0), 2.0f, 1e-5f);
    EXPECT_NEAR(x.at(1), 3.0f, 1e-5f);
    EXPECT_NEAR(x.at(2), -1.0f, 1e-5f);
    // Largest pivot |-3| moved to the top; below the diagonal is zero.
    EXPECT_EQ(a.at(0, 0), -3.0f);
    EXPECT_EQ(a.at(1, 0), 0.0f);
    EXPECT_EQ(a.at(2, 0), 0.0f);
    EXPECT_EQ(a.at(2, 1), 0.0f);
}

TEST(MatrixSolve, FirstOfEqualPivotsWins) {
    // |A(0,0)| equals |A(1,0)|: no swap, so b stays in place after elimination of row 0.
    Matrix a = rowMajor({1, 2, -1, 1}, 2, 2);
    Matrix b = rowMajor({5, 1}, 2, 1);
    const Matrix x = solve(a, b);
    EXPECT_EQ(b.at(0), 5.0f);
    EXPECT_EQ(a.at(0, 1), 2.0f);
    EXPECT_FLOAT_EQ(x.at(0), 1.0f);
    EXPECT_FLOAT_EQ(x.at(1), 2.0f);
}

TEST(MatrixSolve, SingularSystemGivesNonNumbers) {
    Matrix a = rowMajor({1, 2, 2, 4}, 2, 2);
    Matrix b = rowMajor({1, 1}, 2, 1);
    const Matrix x = solve(a, b);
    EXPECT_FALSE(std::isfinite(x.at(0)) && std::isfinite(x.at(1)));
}

// Gaussian elimination with partial pivoting updating every entry below and right of each
// pivot: what solve must give, bit for bit, however it skips work.
Matrix denseSolve(Matrix a, Matrix b) {
    const int n = a.rows;
    for (int i = 0; i < n; ++i) {
        if (i < n - 1) {
            int p = i;
            for (int j = i + 1; j < n; ++j)
                if (std::fabs(a.at(j, i)) > std::fabs(a.at(p, i))) p = j;
            for (int k = i; k < n && p != i; ++k) std::swap(a.at(i, k), a.at(p, k));
            std::swap(b.at(i), b.at(p));
        }
        for (int j = i + 1; j < n; ++j) {
            const float q = a.at(j, i) / a.at(i, i);
            a.at(j, i) = 0.0f;
            for (int k = i + 1; k < n; ++k) a.at(j, k) -= q * a.at(i, k);
            b.at(j) -= q * b.at(i);
        }
    }
    Matrix x(n, 1);
    for (int m = n - 1; m >= 0; --m) {
        float s = 0.0f;
        for (int k = m + 1; k < n; ++k) s += a.at(m, k) * x.at(k);
        x.at(m) = (b.at(m) - s) / a.at(m, m);
    }
    return x;
}

// Bitwise equality, NaN included (a NaN must be one where the dense elimination has one).
bool sameBits(const Matrix& x, const Matrix& y) {
    return x.data.size() == y.data.size() &&
           std::memcmp(x.data.data(), y.data.data(), x.data.size() * sizeof(float)) == 0;
}

// Mostly zero systems of the shape the adjustment makes (blocks of coupled cameras, some far
// apart in the list), and ones whose pivots force row swaps, non-finite entries or a zero
// pivot: solving skips the zero updates yet gives the dense elimination's bits.
TEST(MatrixSolve, SparseSystemsGiveTheDenseEliminationsBits) {
    struct Case {
        const char* what;
        int n;
        float fill;       // share of off-diagonal entries that are not zero
        float diagonal;   // added to every diagonal entry
        float special;    // placed at (n / 2, n / 3) when not zero
    };
    const Case cases[] = {
        {"banded, dominant diagonal", 60, 0.08f, 20.0f, 0.0f},
        {"sparse, pivots swap rows", 50, 0.1f, 0.0f, 0.0f},
        {"dense", 20, 1.0f, 0.0f, 0.0f},
        {"an infinite entry", 30, 0.1f, 5.0f, INFINITY},
        {"a NaN entry", 30, 0.1f, 5.0f, NAN},
        {"all zero but the diagonal", 25, 0.0f, 1.0f, 0.0f},
        {"singular: a zero row", 25, 0.1f, 0.0f, 0.0f},
    };
    std::mt19937 random(5);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::uniform_real_distribution<float> chance(0.0f, 1.0f);
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        for (int trial = 0; trial < 5; ++trial) {
            Matrix a(test.n, test.n), b(test.n, 1);
            for (int r = 0; r < test.n; ++r) {
                b.at(r) = value(random);
                for (int c = 0; c < test.n; ++c)
                    if (r == c || chance(random) < test.fill) a.at(r, c) = value(random);
                a.at(r, r) += test.diagonal;
            }
            if (test.special != 0.0f || std::isnan(test.special)) a.at(test.n / 2, test.n / 3) = test.special;
            if (std::strncmp(test.what, "singular", 8) == 0)
                for (int c = 0; c < test.n; ++c) a.at(test.n / 2, c) = 0.0f;
            const Matrix expected = denseSolve(a, b);
            Matrix aCopy = a, bCopy = b;
            EXPECT_TRUE(sameBits(solve(aCopy, bCopy), expected)) << "trial " << trial;
        }
    }
}

TEST(MatrixText, WritesRowsWithTrailingSpaces) {
    Matrix id(2, 2);
    id.setIdentity();
    std::ostringstream out;
    out << id;
    EXPECT_EQ(out.str(), "1 0 \n0 1 \n");
    std::ostringstream frac;
    frac << rowMajor({0.5f, -2.25f}, 1, 2);
    EXPECT_EQ(frac.str(), "0.5 -2.25 \n");
}

TEST(MatrixText, ReadsRowOrderIntoSizedMatrixAndRoundTrips) {
    std::istringstream in("1 2 3\n4 5 6\n");
    Matrix m(2, 3);
    in >> m;
    EXPECT_EQ(m.at(0, 2), 3.0f);
    EXPECT_EQ(m.at(1, 0), 4.0f);
    std::stringstream io;
    io << m;
    Matrix back(2, 3);
    io >> back;
    EXPECT_EQ(back.data, m.data);
}

}  // namespace
}  // namespace vantorra
