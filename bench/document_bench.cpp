// Opening a 10-minute 48 kHz stereo WAVE file into a document and saving the
// document, 16 and 24 bits, through the same paths as File > Open and
// File > Save as. Compare with wav_bench's tessal_read/tessal_write (the
// reader alone), sndfile_read/sndfile_write and memcpy_file_bytes in the
// same run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "engine/core/prompter.h"
#include "engine/document/documentfiles.h"
#include "engine/formats/twavfile.h"
#include "benchsignals.h"

namespace {

using namespace tessal;

constexpr int rate = 48000;
constexpr std::size_t frames = 10 * 60 * rate;

std::string doc_bench_file(int bits) {
    std::string name = (std::filesystem::temp_directory_path() /
                        ("tessal_doc_bench_" + std::to_string(bits) + ".wav"))
                           .string();
    if (!std::filesystem::exists(name)) {
        const std::vector<tsinglearr> c = bench::noisy_stereo(frames, 2);
        TWavFile w;
        w.Setsampfreq(rate);
        w.Setnbits(static_cast<std::uint32_t>(bits));
        w.Setnchans(2);
        w.save_file(name, c, false, false);
    }
    return name;
}

struct tbenchdoc {
    tfixedprompter prompter{tanswer::yes};
    tdocument doc;
    tdocumentlifecycle life{doc, prompter};
    tdocumentfiles files{doc, life, prompter};
    tbenchdoc() { doc.prefs.WarnSaveWav = false; }
};

void BM_document_open(benchmark::State& state) {
    const std::string path = doc_bench_file(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        tbenchdoc d;
        d.files.open_document(path);
        std::int64_t n = d.doc.channel(1).sample_count();
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(state.iterations() * frames * 2 * (state.range(0) / 8));
}

void BM_document_save(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    tbenchdoc d;
    d.files.open_document(doc_bench_file(bits));
    const std::string out =
        (std::filesystem::temp_directory_path() / "tessal_doc_bench_out.wav").string();
    for (auto _ : state) d.files.save_file(out, bits, 0, 0, {}, tFormat::pcm);
    state.SetBytesProcessed(state.iterations() * frames * 2 * (bits / 8));
    std::filesystem::remove(out);
}

}  // namespace

BENCHMARK(BM_document_open)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_document_save)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
