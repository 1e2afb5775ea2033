// TFFT beside FFTW on the same job: a windowed, DC-free block of N real
// samples transformed and handed out as N real and N imaginary parts scaled
// by 1/W. FFTW runs a real-input plan made with FFTW_MEASURE; its half
// spectrum is mirrored into full arrays as TFFT's outputs are.
// tfft_execute_only beside fftw_execute_only: the bare transforms, the
// engine's real-input transform (tfftreal) and fftw_execute of the plan.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <random>
#include <vector>

#include "engine/dsp/tfft.h"

namespace {

using tessal::TFFT;

std::vector<double> test_signal(std::size_t n) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> x(n);
    for (auto& v : x) v = 0.25 + u(rng);
    return x;
}

void tfft_transform(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    TFFT fft;
    fft.SetInRe(test_signal(n));
    for (auto _ : state) {
        fft.SetDirty(true);
        benchmark::DoNotOptimize(fft.GetOutRe().data());
        benchmark::DoNotOptimize(fft.GetOutIm().data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

void fftw_transform(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto x = test_signal(n);
    TFFT windowsource;  // the same Hamming window
    windowsource.SetWindowSize(static_cast<std::int64_t>(n));
    const std::vector<double> win = windowsource.GetWin();
    double* in = fftw_alloc_real(n);
    fftw_complex* out = fftw_alloc_complex(n / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(n), in, out, FFTW_MEASURE);
    std::vector<double> re(n), im(n);
    const double scale = 1.0 / static_cast<double>(n);
    for (auto _ : state) {
        double mean = 0;
        for (std::size_t i = 0; i < n; ++i) mean += x[i];
        mean /= static_cast<double>(n);
        for (std::size_t i = 0; i < n; ++i) in[i] = (x[i] - mean) * win[i];
        fftw_execute(plan);
        // FFTW's sign is e^(-i...): the conjugate is TFFT's bin.
        for (std::size_t k = 0; k <= n / 2; ++k) {
            re[k] = out[k][0] * scale;
            im[k] = -out[k][1] * scale;
        }
        for (std::size_t k = n / 2 + 1; k < n; ++k) {
            re[k] = re[n - k];
            im[k] = -im[n - k];
        }
        re[0] = 0.0;
        benchmark::DoNotOptimize(re.data());
        benchmark::DoNotOptimize(im.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
}

// TFFT's transform alone (tfftreal, the engine's real-input transform): the
// block as it is, no window, no scaling, into the full-length outputs,
// beside fftw_execute_only.
void tfft_execute_only(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto x = test_signal(n);
    tessal::tfftreal fft;
    int logn = 0;
    while ((std::size_t{1} << logn) < n) ++logn;
    fft.resize(logn);
    std::vector<double> re(n), im(n);
    for (auto _ : state) {
        fft.forward({x.data(), nullptr, 0.0, n}, re.data(), im.data(), 1.0);
        benchmark::DoNotOptimize(re.data());
        benchmark::DoNotOptimize(im.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

// FFTW's transform alone, without the windowing and the full-length
// outputs around it: how much of fftw/N is the transform itself.
void fftw_execute_only(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto x = test_signal(n);
    double* in = fftw_alloc_real(n);
    fftw_complex* out = fftw_alloc_complex(n / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(n), in, out, FFTW_MEASURE);
    std::copy(x.begin(), x.end(), in);
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(64);
    for (std::int64_t n = 256; n <= 1048576; n *= 2) b->Arg(n);
}

BENCHMARK(tfft_transform)->Name("tfft")->Apply(sizes);
BENCHMARK(fftw_transform)->Name("fftw")->Apply(sizes);
BENCHMARK(tfft_execute_only)->Name("tfft_execute_only")->Apply(sizes);
BENCHMARK(fftw_execute_only)->Name("fftw_execute_only")->Apply(sizes);

}  // namespace
