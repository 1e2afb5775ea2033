// Complex numbers as plain records (real part, then imaginary part) and the
// arithmetic the spectra, filters and inverse filter use.
#pragma once

#include <vector>

namespace tessal {

struct tcomplex {
    double re = 0;
    double im = 0;
};
struct tsinglecomplex {
    float re = 0;
    float im = 0;
};
using tcomplexarr = std::vector<tcomplex>;
using tsinglecomplexarr = std::vector<tsinglecomplex>;

tcomplex cmake(double re, double im);
tcomplex cpolar(double magnitude, double angle);
tcomplex cadd(tcomplex a, tcomplex b);
tcomplex csub(tcomplex a, tcomplex b);
tcomplex cmul(tcomplex a, tcomplex b);
// a / b; 0 when either part of b is infinite.
tcomplex cdiv(tcomplex a, tcomplex b);
double cabs(tcomplex a);
double cabs2(tcomplex a);
// 20 log10 |a|, and -1e100 when a is exactly 0.
double clevel(tcomplex a);
bool ciszero(tcomplex a);

}  // namespace tessal
