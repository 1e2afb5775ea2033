#include "engine/dsp/tcomplex.h"

#include <cmath>

namespace tessal {

tcomplex cmake(double re, double im) { return {re, im}; }
tcomplex cpolar(double magnitude, double angle) {
    return {magnitude * std::cos(angle), magnitude * std::sin(angle)};
}
tcomplex cadd(tcomplex a, tcomplex b) { return {a.re + b.re, a.im + b.im}; }
tcomplex csub(tcomplex a, tcomplex b) { return {a.re - b.re, a.im - b.im}; }
tcomplex cmul(tcomplex a, tcomplex b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
tcomplex cdiv(tcomplex a, tcomplex b) {
    if (std::isinf(b.re) || std::isinf(b.im)) return {0, 0};
    double d = b.re * b.re + b.im * b.im;
    return {(a.re * b.re + a.im * b.im) / d, (a.im * b.re - a.re * b.im) / d};
}
double cabs(tcomplex a) { return std::hypot(a.re, a.im); }
double cabs2(tcomplex a) { return a.re * a.re + a.im * a.im; }
double clevel(tcomplex a) {
    if (ciszero(a)) return -1e100;
    return 20.0 * std::log10(cabs(a));
}
bool ciszero(tcomplex a) { return a.re == 0 && a.im == 0; }

}  // namespace tessal
