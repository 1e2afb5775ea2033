#include "engine/analysis/lpc.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tessal {

namespace {

tlpc flat_model(int order, double error) {
    tlpc m;
    m.a.assign(static_cast<std::size_t>(std::max(order, 0)) + 1, 0.0);
    m.a[0] = 1.0;
    m.error = error;
    return m;
}

template <typename T>
tlpc burg(const T* x, std::size_t n, int order) {
    double power = 0;
    for (std::size_t i = 0; i < n; ++i) power += static_cast<double>(x[i]) * x[i];
    const double meansquare = n ? power / static_cast<double>(n) : 0.0;
    tlpc m = flat_model(order, meansquare);
    if (order < 1 || n <= static_cast<std::size_t>(order) || power == 0) return m;
    const std::size_t p = static_cast<std::size_t>(order);
    // f[i]: forward error at sample i; b[i]: backward error at sample i.
    std::vector<double> f(x, x + n), b(x, x + n), prev(p + 1);
    std::vector<double>& a = m.a;
    double error = meansquare;
    for (std::size_t k = 1; k <= p; ++k) {
        double num = 0, den = 0;
        for (std::size_t i = k; i < n; ++i) {
            num += f[i] * b[i - 1];
            den += f[i] * f[i] + b[i - 1] * b[i - 1];
        }
        if (den <= 0) break;
        const double r = -2.0 * num / den;
        prev.assign(a.begin(), a.end());
        for (std::size_t i = 1; i < k; ++i) a[i] = prev[i] + r * prev[k - i];
        a[k] = r;
        error *= 1.0 - r * r;
        // Both errors one order up, from the top down so b[i - 1] is still
        // the old one when b[i] is written.
        for (std::size_t i = n - 1; i >= k; --i) {
            const double fi = f[i];
            f[i] = fi + r * b[i - 1];
            b[i] = b[i - 1] + r * fi;
        }
    }
    m.error = error;
    return m;
}

template <typename T>
tlpc autocorrelation(const T* x, std::size_t n, int order) {
    if (order < 1) {
        double power = 0;
        for (std::size_t i = 0; i < n; ++i) power += static_cast<double>(x[i]) * x[i];
        return flat_model(order, n ? power / static_cast<double>(n) : 0.0);
    }
    std::vector<double> r(static_cast<std::size_t>(order) + 1, 0.0);
    for (std::size_t k = 0; k < r.size() && k < n; ++k) {
        double s = 0;
        for (std::size_t i = 0; i + k < n; ++i) s += static_cast<double>(x[i]) * x[i + k];
        r[k] = s;
    }
    tlpc m = levinson_durbin(r.data(), order);
    m.error = n ? m.error / static_cast<double>(n) : 0.0;
    return m;
}

}  // namespace

tlpc lpc_burg(const float* x, std::size_t n, int order) { return burg(x, n, order); }
tlpc lpc_burg(const double* x, std::size_t n, int order) { return burg(x, n, order); }
tlpc lpc_autocorrelation(const float* x, std::size_t n, int order) { return autocorrelation(x, n, order); }
tlpc lpc_autocorrelation(const double* x, std::size_t n, int order) { return autocorrelation(x, n, order); }

tlpc levinson_durbin(const double* r, int order) {
    tlpc m = flat_model(order, order >= 0 ? r[0] : 0.0);
    if (order < 1 || !(r[0] > 0)) return m;
    std::vector<double>& a = m.a;
    std::vector<double> prev(a.size());
    double error = r[0];
    for (int k = 1; k <= order; ++k) {
        double acc = r[k];
        for (int i = 1; i < k; ++i) acc += a[i] * r[k - i];
        const double refl = -acc / error;
        if (!(std::abs(refl) < 1.0)) break;
        prev.assign(a.begin(), a.end());
        for (int i = 1; i < k; ++i) a[i] = prev[i] + refl * prev[k - i];
        a[k] = refl;
        error *= 1.0 - refl * refl;
        if (error <= 0) {
            error = 0;
            break;
        }
    }
    m.error = error;
    return m;
}

double lpc_power_db(const tlpc& m, double f, double fs) {
    const double w = 2.0 * std::numbers::pi * f / fs;
    double re = 0, im = 0;
    for (std::size_t k = 0; k < m.a.size(); ++k) {
        re += m.a[k] * std::cos(w * static_cast<double>(k));
        im -= m.a[k] * std::sin(w * static_cast<double>(k));
    }
    const double mag2 = re * re + im * im;
    if (!(m.error > 0) || !(mag2 > 0)) return -400.0;
    return 10.0 * std::log10(m.error / mag2);
}

}  // namespace tessal
