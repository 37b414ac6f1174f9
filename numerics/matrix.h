#pragma once
// Dense single-precision matrix, column-major: element (r, c) is stored at data[r + c * rows].
// A value type: copies are deep, every operation returns a new matrix and leaves its operands
// alone. There is no dimension checking; operands are assumed conformable and element-wise
// operations size their result from the first operand.

#include <cstdint>
#include <iosfwd>
#include <vector>

namespace vantorra {

class Matrix {
public:
    Matrix() = default;
    Matrix(int rows, int cols);

    void resize(int rows, int cols);  // discards the contents, zero-fills
    void setZero();
    void setIdentity();  // 1 on the first min(rows, cols) diagonal elements

    float& at(int r, int c) { return data[static_cast<size_t>(r) + static_cast<size_t>(c) * rows]; }
    float at(int r, int c) const { return data[static_cast<size_t>(r) + static_cast<size_t>(c) * rows]; }
    float& at(int i) { return data[static_cast<size_t>(i)]; }
    float at(int i) const { return data[static_cast<size_t>(i)]; }

    // A 2xn point list becomes the column x0, y0, x1, y1, ... without moving the data.
    void reshapeToColumn();
    Matrix subMatrix(int r0, int r1, int c0, int c1) const;  // both ends included
    Matrix row(int k) const;
    void pasteBlock(const Matrix& src, int r0, int c0);
    static Matrix fromRowMajor(const float* values, int rows, int cols);

    bool empty() const { return data.empty(); }

    std::vector<float> data;
    int rows = 0;
    int cols = 0;
};

Matrix add(const Matrix& a, const Matrix& b);
Matrix subtract(const Matrix& a, const Matrix& b);
Matrix multiply(const Matrix& a, const Matrix& b);  // products accumulated in float, in order of k
Matrix transpose(const Matrix& a);
Matrix scale(const Matrix& a, float x);
Matrix divide(const Matrix& a, float x);
Matrix negate(const Matrix& a);
Matrix elementProduct(const Matrix& a, const Matrix& b);
Matrix elementQuotient(const Matrix& a, const Matrix& b);
Matrix elementPower(const Matrix& a, float x);
float sum(const Matrix& a);  // accumulated in storage order
Matrix columnSums(const Matrix& a);
float dot(const Matrix& a, const Matrix& b);
float norm(const Matrix& a);  // Euclidean length of the first column
Matrix normalise(const Matrix& a);
Matrix cross(const Matrix& a, const Matrix& b);  // 3x1, operands read by stored index 0..2
Matrix homogeneous(const Matrix& p);             // appends a row of ones
Matrix dehomogenise(const Matrix& p);            // divides by the last row and drops it

// Gaussian elimination with partial pivoting in float. A and b are left in eliminated form,
// so callers pass copies. A singular system yields infinities or NaN, never an error.
Matrix solve(Matrix& a, Matrix& b);

// Text form: row by row, every element followed by one space, each row ended by a newline.
std::ostream& operator<<(std::ostream& out, const Matrix& m);
// Reads rows x cols floats in row order into a matrix already sized by the caller.
std::istream& operator>>(std::istream& in, Matrix& m);

}  // namespace vantorra
