#pragma once
// The geometry of the window open and close effects: five shapes that grow out of a window's
// centre until they match its rectangle, in 16.16 fixed-point arithmetic, and the order in
// which the frames of one run are drawn and erased. The view draws the outlines; everything
// here is plain arithmetic the tests can call.

#include <cstdint>
#include <vector>

#include "encoder/controls/geometry.h"

namespace orvane::controls {

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// A closed outline: the lines from the last point through every point in turn.
using Outline = std::vector<Point>;

// a x b / c rounded to the nearest integer, halves away from zero; -1 when c is 0.
int MulDiv(int a, int b, int c);
// a / b as a 16.16 value; 0 when a or b is 0.
int Ratio16(int a, int b);

// A 3 x 3 affine matrix in 16.16; a point is a row vector: x' = x m00 + y m10 + m20.
struct Matrix16 {
    std::int64_t m[3][3] = {{65536, 0, 0}, {0, 65536, 0}, {0, 0, 65536}};
};
Matrix16 Translate16(int dx, int dy);
// Rotation by theta (degrees in 16.16) about p.
Matrix16 Rotate16(int theta16, Point p);
// Scale by (sx, sy) (16.16) about p.
Matrix16 Scale16(int sx, int sy, Point p);
// a first, then b.
Matrix16 Multiply16(const Matrix16& a, const Matrix16& b);
Point Apply16(const Matrix16& m, Point p);

constexpr int kEffectShapes = 5;
constexpr int kEffectSteps = 50;
constexpr int kEffectTrail = 6;
constexpr int kEffectDelayMs = 5;

// The shape parameter of a kind: 360 for shapes 0 and 4, 180 for 1 and 3, 4 for 2.
int EffectParameter(int kind);

// The outlines of frame `step` of a shape over the window rectangle.
std::vector<Outline> EffectOutlines(int kind, int parameter, const Rect& window, int step,
                                    int steps = kEffectSteps);

// One action of a run: draw or erase a frame, or pause for the delay.
struct EffectAction {
    enum Kind { Draw, Erase, Pause } kind = Pause;
    int frame = 0;
    bool operator==(const EffectAction&) const = default;
};
// The actions of an opening (or closing) run, in order.
std::vector<EffectAction> EffectSchedule(bool opening, int steps = kEffectSteps,
                                         int trail = kEffectTrail);

}  // namespace orvane::controls
