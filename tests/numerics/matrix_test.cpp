#include "numerics/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
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
