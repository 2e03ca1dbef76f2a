#include "encoder/controls/window_effect.h"

#include <cmath>
#include <cstdlib>

namespace orvane::controls {

namespace {

Point Add(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }
Point Sub(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
// A coordinate times a 16.16 factor.
int Mul16(int x, int f) { return MulDiv(x, f, 65536); }

// A quadrilateral is nothing when its first and last points coincide.
void AddQuad(std::vector<Outline>& out, const Outline& q) {
    if (q.front() == q.back()) return;
    out.push_back(q);
}

void AddRect(std::vector<Outline>& out, Point c, int a, int b) {
    if (a == 0 && b == 0) return;
    out.push_back({{c.x - a, c.y - b}, {c.x - a, c.y + b}, {c.x + a, c.y + b}, {c.x + a, c.y - b}});
}

// Degrees in 16.16 of value x parameter / steps.
int Degrees16(std::int64_t numerator, std::int64_t denominator) {
    if (denominator == 0) return 0;
    return static_cast<int>(numerator * 65536 / denominator);
}

}  // namespace

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    std::int64_t p = std::int64_t{a} * b;
    std::int64_t q = c;
    bool negative = (p < 0) != (q < 0);
    std::int64_t ap = std::llabs(p), aq = std::llabs(q);
    std::int64_t r = (ap + aq / 2) / aq;
    return static_cast<int>(negative ? -r : r);
}

int Ratio16(int a, int b) {
    if (a == 0 || b == 0) return 0;
    return MulDiv(65536, a, b);
}

Matrix16 Translate16(int dx, int dy) {
    Matrix16 m;
    m.m[2][0] = std::int64_t{dx} * 65536;
    m.m[2][1] = std::int64_t{dy} * 65536;
    return m;
}

Matrix16 Multiply16(const Matrix16& a, const Matrix16& b) {
    Matrix16 r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            std::int64_t sum = 0;
            for (int k = 0; k < 3; ++k)
                sum += a.m[i][k] * b.m[k][j];
            r.m[i][j] = sum / 65536;
        }
    }
    return r;
}

Matrix16 Rotate16(int theta16, Point p) {
    double radians = theta16 / 65536.0 * 0.017453292522222223;
    auto c = static_cast<std::int64_t>(std::cos(radians) * 65536);
    auto s = static_cast<std::int64_t>(std::sin(radians) * 65536);
    Matrix16 r;
    r.m[0][0] = c;
    r.m[0][1] = s;
    r.m[1][0] = -s;
    r.m[1][1] = c;
    return Multiply16(Multiply16(Translate16(-p.x, -p.y), r), Translate16(p.x, p.y));
}

Matrix16 Scale16(int sx, int sy, Point p) {
    Matrix16 s;
    s.m[0][0] = sx;
    s.m[1][1] = sy;
    return Multiply16(Multiply16(Translate16(-p.x, -p.y), s), Translate16(p.x, p.y));
}

Point Apply16(const Matrix16& m, Point p) {
    std::int64_t x = p.x * m.m[0][0] + p.y * m.m[1][0] + m.m[2][0];
    std::int64_t y = p.x * m.m[0][1] + p.y * m.m[1][1] + m.m[2][1];
    auto round = [](std::int64_t v) {
        return static_cast<int>(v >= 0 ? (v + 32768) / 65536 : -((-v + 32768) / 65536));
    };
    return {round(x), round(y)};
}

int EffectParameter(int kind) {
    switch (kind) {
        case 0:
        case 4:
            return 360;
        case 1:
        case 3:
            return 180;
        default:
            return 4;
    }
}

std::vector<Outline> EffectOutlines(int kind, int parameter, const Rect& w, int b, int steps) {
    std::vector<Outline> out;
    if (steps <= 0) return out;
    const Point q{(w.left + w.right) / 2, (w.top + w.bottom) / 2};
    const int hw = w.right - q.x, hh = w.bottom - q.y;
    const int s = Ratio16(b, steps);
    switch (kind) {
        case 0: {  // spinning rectangle
            Matrix16 rot = Rotate16(Degrees16(std::int64_t{b - steps} * parameter, steps), {0, 0});
            Point v1 = Apply16(rot, {Mul16(hw, s), Mul16(hh, s)});
            Point v2 = Apply16(rot, {Mul16(hw, s), Mul16(-hh, s)});
            AddQuad(out, {Sub(q, v1), Sub(q, v2), Add(q, v1), Add(q, v2)});
            break;
        }
        case 1: {  // ring of five rectangles
            int k = Ratio16(4 * (steps - b), 3 * steps);
            Point p = Add(q, {Mul16(hw, k), Mul16(hh, k)});
            p = Apply16(Rotate16(Degrees16(std::int64_t{parameter} * b, steps), q), p);
            Matrix16 step72 = Rotate16(72 * 65536, q);
            int a = b * hw / steps, bb = b * hh / steps;
            for (int i = 0; i < 5; ++i) {
                AddRect(out, p, a, bb);
                p = Apply16(step72, p);
            }
            break;
        }
        case 2: {  // grid of rectangles
            int n = parameter > 0 ? parameter : 4;
            int a = b * hw / (steps * n), bb = b * hh / (steps * n);
            int k = Ratio16(3 * steps - 2 * b, steps);
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < n; ++j) {
                    Point c{(1 - n + 2 * i) * hw / n, (1 - n + 2 * j) * hh / n};
                    c = Add(q, {Mul16(c.x, k), Mul16(c.y, k)});
                    AddRect(out, c, a, bb);
                }
            }
            break;
        }
        case 3: {  // flying triangles
            // The edges in order: bottom left to right, right bottom to top, top right to
            // left, left top to bottom, each cut into four.
            const Point corners[5] = {{w.left, w.bottom},
                                      {w.right, w.bottom},
                                      {w.right, w.top},
                                      {w.left, w.top},
                                      {w.left, w.bottom}};
            int k = 0;
            for (int e = 0; e < 4; ++e) {
                for (int part = 0; part < 4; ++part, ++k) {
                    Point from = corners[e], to = corners[e + 1];
                    Point a{from.x + (to.x - from.x) * part / 4,
                            from.y + (to.y - from.y) * part / 4};
                    Point c{from.x + (to.x - from.x) * (part + 1) / 4,
                            from.y + (to.y - from.y) * (part + 1) / 4};
                    Point centroid{(q.x + a.x + c.x) / 3, (q.y + a.y + c.y) / 3};
                    Point target =
                        Apply16(Rotate16((33 - 22 * k) * 65536, q), {q.x, q.y + 4 * (hw + hh) / 5});
                    Matrix16 move = Translate16(target.x - centroid.x, target.y - centroid.y);
                    Matrix16 m;
                    if (2 * b < steps) {
                        int angle = Degrees16(std::int64_t{steps - 2 * b} * parameter, steps);
                        m = Multiply16(
                            Multiply16(Scale16(s, s, centroid), Rotate16(angle, centroid)), move);
                    } else {
                        int t = Ratio16(2 * b - steps, steps);
                        Matrix16 weighted;
                        for (int i = 0; i < 3; ++i)
                            for (int j = 0; j < 3; ++j)
                                weighted.m[i][j] =
                                    (Matrix16{}.m[i][j] * t + move.m[i][j] * (65536 - t)) / 65536;
                        m = Multiply16(Scale16(s, s, centroid), weighted);
                    }
                    out.push_back({Apply16(m, q), Apply16(m, a), Apply16(m, c)});
                }
            }
            break;
        }
        default: {  // swarm of ten rectangles
            Matrix16 spin = Rotate16(Degrees16(std::int64_t{65536 - s} * parameter, 65536), {0, 0});
            Outline corners = {{-hw, hh}, {hw, hh}, {hw, -hh}, {-hw, -hh}};
            for (int i = 0; i < 10; ++i) {
                Point p = Apply16(Rotate16(36 * i * 65536, q), {q.x, q.y + 5 * (hw + hh) / 3});
                Point at{Mul16(q.x, s) + Mul16(p.x, 65536 - s),
                         Mul16(q.y, s) + Mul16(p.y, 65536 - s)};
                Outline r;
                for (Point c : corners)
                    r.push_back(Add(at, Apply16(spin, {Mul16(c.x, s), Mul16(c.y, s)})));
                AddQuad(out, r);
            }
            break;
        }
    }
    return out;
}

std::vector<EffectAction> EffectSchedule(bool opening, int steps, int trail) {
    std::vector<EffectAction> out;
    if (opening) {
        for (int i = 0; i < steps + trail; ++i) {
            if (i < steps) out.push_back({EffectAction::Draw, i});
            out.push_back({EffectAction::Pause, 0});
            if (i >= trail) out.push_back({EffectAction::Erase, i - trail});
        }
    } else {
        for (int i = steps + trail - 1; i >= 0; --i) {
            if (i >= trail) out.push_back({EffectAction::Draw, i - trail});
            out.push_back({EffectAction::Pause, 0});
            if (i < steps) out.push_back({EffectAction::Erase, i});
        }
    }
    return out;
}

}  // namespace orvane::controls
