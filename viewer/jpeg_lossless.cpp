#include "viewer/jpeg_lossless.h"

#include <array>

namespace jpeg_lossless {

namespace {

// Each turn as what it does to a point (x, y) about the page's centre, y
// pointing down: x' = a*x + b*y, y' = c*x + d*y. Composing turns is then
// multiplying their matrices, with no table of 64 cases to get wrong.
struct Matrix {
    int a, b, c, d;
    bool operator==(const Matrix&) const = default;
};

constexpr std::array<Matrix, 8> kMatrices = {{
    {1, 0, 0, 1},    // None
    {-1, 0, 0, 1},   // Mirror
    {1, 0, 0, -1},   // Flip
    {0, 1, 1, 0},    // Transpose
    {0, -1, -1, 0},  // Transverse
    {0, -1, 1, 0},   // Right: the top edge's middle (0, -1) goes to the right (1, 0)
    {-1, 0, 0, -1},  // Half
    {0, 1, -1, 0},   // Left
}};

Matrix matrixOf(Turn turn) { return kMatrices[static_cast<std::size_t>(turn)]; }

}  // namespace

Turn compose(Turn first, Turn then) {
    const Matrix f = matrixOf(first);
    const Matrix t = matrixOf(then);
    const Matrix both{t.a * f.a + t.b * f.c, t.a * f.b + t.b * f.d, t.c * f.a + t.d * f.c, t.c * f.b + t.d * f.d};
    for (std::size_t i = 0; i < kMatrices.size(); ++i)
        if (kMatrices[i] == both) return static_cast<Turn>(i);
    return Turn::None;  // not reached: the eight are closed under composing
}

bool turnIsLossless(const Layout& layout, Turn turn) {
    // A partial block column (at the right edge) must not end up on the
    // left or top, nor a partial block row (at the bottom) there.
    const Matrix m = matrixOf(turn);
    const bool rightEdgeMoves = m.a < 0 || m.c < 0;   // x maps to -x' or -y'
    const bool bottomEdgeMoves = m.b < 0 || m.d < 0;  // y maps to -x' or -y'
    if (rightEdgeMoves && layout.width % layout.blockWidth != 0) return false;
    if (bottomEdgeMoves && layout.height % layout.blockHeight != 0) return false;
    return true;
}

}  // namespace jpeg_lossless
