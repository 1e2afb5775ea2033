// A WAVE file's channel as a sample source of the block store: every span
// read through the source, and every store filled from the sources, must
// equal bit for bit what the ordinary full read of the channel gives. Files
// come from sox (an independent writer) in every coding it makes, and from
// our own writer for half floats; the cache runs under a budget of a block
// or two so blocks are evicted and read from the file again.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>

#include "engine/formats/twavfile.h"
#include "engine/formats/wavsource.h"
#include "wav_test_support.h"

namespace tessal {
namespace {

using testing::run;

struct tcase {
    const char* label;
    const char* soxargs;  // nullptr: written by TWavFile
    std::uint32_t bits;
    tFormat format;
};

const tcase cases[] = {
    {"8-bit PCM", "-b 8 -e unsigned-integer", 8, tFormat::pcm},
    {"A-law", "-b 8 -e a-law", 8, tFormat::alaw},
    {"mu-law", "-b 8 -e mu-law", 8, tFormat::ulaw},
    {"16-bit PCM", "-b 16 -e signed-integer", 16, tFormat::pcm},
    {"24-bit PCM", "-b 24 -e signed-integer", 24, tFormat::pcm},
    {"32-bit PCM", "-b 32 -e signed-integer", 32, tFormat::pcm},
    {"32-bit float", "-b 32 -e floating-point", 32, tFormat::ieeefloat},
    {"16-bit float", nullptr, 16, tFormat::ieeefloat},
};

// Long enough for three blocks of the store (64 K samples each) and a piece.
constexpr std::int64_t frames = 3 * static_cast<std::int64_t>(block_samples) + 1234;
constexpr int rate = 22050;

bool same_bits(const float* a, const float* b, std::size_t n) { return std::memcmp(a, b, n * sizeof(float)) == 0; }

class WavSourceTest : public testing::twavtempdir {
protected:
    // A file of `nchans` different signals in the case's coding.
    std::string make(const tcase& k, int nchans, const std::string& name) {
        const std::string f = path(name);
        if (k.soxargs) {
            if (!testing::have_sox()) return "";
            const char* synth[] = {"whitenoise", "sine 300",    "square 77",  "sawtooth 501",
                                   "pinknoise",  "triangle 90", "brownnoise", "sine 3000"};
            std::string types;
            for (int c = 0; c < nchans; ++c) types += std::string(" ") + synth[c];
            run("sox -D -R -r " + std::to_string(rate) + " -c " + std::to_string(nchans) + " -n " + k.soxargs +
                " " + f + " synth " + std::to_string(frames) + "s" + types);
            if (::testing::Test::HasFatalFailure()) return "";
            return f;
        }
        std::mt19937 rng(static_cast<unsigned>(nchans) * 7 + k.bits);
        std::normal_distribution<float> g(0.0f, 0.3f);
        std::vector<tsinglearr> chans(static_cast<std::size_t>(nchans));
        for (int c = 0; c < nchans; ++c) {
            auto& a = chans[static_cast<std::size_t>(c)];
            a.resize(static_cast<std::size_t>(frames));
            for (auto& x : a) x = g(rng) * static_cast<float>(c + 1);
        }
        TWavFile w;
        w.Setnchans(nchans);
        w.Setnbits(k.bits);
        w.Setformat(k.format);
        w.Setsampfreq(rate);
        w.save_file(f, chans, false, false);
        return f;
    }

    // Every channel as the ordinary reader gives it.
    static std::vector<tsinglearr> full_read(const std::string& f) {
        TWavFile w;
        EXPECT_TRUE(w.open_file(f, true)) << w.Getopenerror();
        std::vector<tsinglearr> r(static_cast<std::size_t>(w.Getnchans()));
        for (int c = 0; c < w.Getnchans(); ++c) w.read_channel(c, r[static_cast<std::size_t>(c)]);
        return r;
    }
};

TEST_F(WavSourceTest, EverySpanEqualsTheFullReadInEveryCoding) {
    std::mt19937_64 rng(42);
    int files = 0;
    for (const tcase& k : cases) {
        for (int nchans : {1, 2, 8}) {
            const std::string label = std::string(k.label) + ", " + std::to_string(nchans) + " channels";
            const std::string f = make(k, nchans, "span.wav");
            if (f.empty()) continue;
            ++files;
            const auto truth = full_read(f);
            TWavFile w;
            ASSERT_TRUE(w.open_file(f, true)) << label;
            ASSERT_EQ(w.Getnbits(), k.bits) << label;
            ASSERT_EQ(w.Getformat(), k.format) << label;
            const auto sources = wav_sources(w);
            ASSERT_EQ(sources.size(), static_cast<std::size_t>(nchans)) << label;
            const std::int64_t n = w.Getnsamples();
            ASSERT_GT(n, 3 * static_cast<std::int64_t>(block_samples)) << label;
            for (int c = 0; c < nchans; ++c) {
                const tsinglearr& t = truth[static_cast<std::size_t>(c)];
                ASSERT_EQ(static_cast<std::int64_t>(t.size()), n) << label;
                const twavsource& s = *sources[static_cast<std::size_t>(c)];
                EXPECT_EQ(s.size(), n);
                EXPECT_EQ(s.channel(), c);
                // The ends, the whole channel, and random spans of all sizes.
                std::vector<std::pair<std::int64_t, std::int64_t>> spans = {
                    {0, 0}, {0, 1}, {n - 1, 1}, {n, 0}, {0, n}, {1, n - 1}, {n - 70000, 70000}};
                for (int i = 0; i < 40; ++i) {
                    const std::int64_t len = static_cast<std::int64_t>(rng() % (i < 20 ? 50 : 100000)) % (n + 1);
                    const std::int64_t from = static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(n - len + 1));
                    spans.emplace_back(from, len);
                }
                for (const auto& [from, len] : spans) {
                    std::vector<float> got(static_cast<std::size_t>(len) + 1, 12345.0f);
                    s.read(from, static_cast<std::size_t>(len), got.data());
                    ASSERT_TRUE(same_bits(got.data(), t.data() + from, static_cast<std::size_t>(len)))
                        << label << ", channel " << c << ", samples " << from << " + " << len;
                    EXPECT_EQ(got[static_cast<std::size_t>(len)], 12345.0f) << "wrote past the span";
                }
            }
        }
    }
    EXPECT_GE(files, testing::have_sox() ? 24 : 3);
}

TEST_F(WavSourceTest, SoxWritesTheExtensibleTagForEightChannelsAndItReads) {
    if (!testing::have_sox()) GTEST_SKIP() << "sox is not installed";
    const std::string f = make(cases[4], 8, "ext.wav");
    ASSERT_EQ(testing::get16(testing::read_bytes(f), 20), 65534);
    const auto truth = full_read(f);
    TWavFile w;
    ASSERT_TRUE(w.open_file(f, true));
    EXPECT_EQ(w.Getformatstr(), "65534 / 1");
    const auto sources = wav_sources(w);
    for (int c = 0; c < 8; ++c) {
        const tsinglearr& t = truth[static_cast<std::size_t>(c)];
        tsinglearr got(t.size());
        sources[static_cast<std::size_t>(c)]->read(0, got.size(), got.data());
        EXPECT_TRUE(same_bits(got.data(), t.data(), t.size())) << "channel " << c;
    }
}

// An extensible file laid out unusually: "data" before "fmt ", after a
// chunk of odd size with its pad byte, so the data does not start at 44.
TEST_F(WavSourceTest, HandMadeExtensibleFileWithDataBeforeFormat) {
    const int nchans = 3;
    const int n = 1000;
    testing::tbytes data;
    std::mt19937 rng(5);
    for (int i = 0; i < n * nchans; ++i) testing::put16(data, static_cast<std::uint16_t>(rng()));
    const testing::tbytes b = testing::triffbuilder{}
                                  .chunk("junk", testing::tbytes(5, 0xEE))
                                  .chunk("data", data)
                                  .chunk("fmt ", testing::fmt_payload(65534, nchans, 8000, 16, 40, 1))
                                  .bytes();
    const std::string f = path("odd.wav");
    testing::write_bytes(f, b);
    const auto truth = full_read(f);
    TWavFile w;
    ASSERT_TRUE(w.open_file(f, true));
    EXPECT_EQ(w.Getdatastartpos(), 12 + 8 + 6 + 8);
    const auto sources = wav_sources(w);
    for (int c = 0; c < nchans; ++c) {
        const tsinglearr& t = truth[static_cast<std::size_t>(c)];
        ASSERT_EQ(t.size(), static_cast<std::size_t>(n));
        // The truth again from the bytes themselves: v x 2^-15.
        for (int i : {0, 1, n - 1}) {
            const auto at = static_cast<std::size_t>((i * nchans + c) * 2);
            const auto v = static_cast<std::int16_t>(testing::get16(data, at));
            EXPECT_EQ(t[static_cast<std::size_t>(i)], static_cast<float>(v) * 0x1p-15f);
        }
        tsinglearr got(t.size());
        sources[static_cast<std::size_t>(c)]->read(0, got.size(), got.data());
        EXPECT_TRUE(same_bits(got.data(), t.data(), t.size())) << "channel " << c;
    }
}

TEST_F(WavSourceTest, StoreUnderATinyBudgetReadsTheFullChannel) {
    const tcase& k = testing::have_sox() ? cases[4] : cases[7];  // 24-bit PCM, or half floats
    const std::string f = make(k, 2, "store.wav");
    ASSERT_FALSE(f.empty());
    const auto truth = full_read(f);
    // Room for one block: every block read pushes the one before out.
    auto cache = std::make_shared<tblockcache>(block_samples * sizeof(float), dir);
    TWavFile w;
    ASSERT_TRUE(w.open_file(f, true));
    const auto sources = wav_sources(w);
    w.close_file();  // the sources keep their own handle
    std::vector<tsamplestore> stores;
    for (const auto& s : sources) stores.push_back(wav_store(s, cache));
    EXPECT_EQ(cache->stats().loads, 0u) << "making the stores read nothing";
    EXPECT_EQ(cache->stats().blocks_in_memory, 0u);
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t c = 0; c < stores.size(); ++c) {
            ASSERT_EQ(stores[c].size(), static_cast<std::int64_t>(truth[c].size()));
            const tsinglearr a = stores[c].to_array();
            EXPECT_TRUE(same_bits(a.data(), truth[c].data(), a.size())) << "channel " << c << ", pass " << pass;
        }
    }
    EXPECT_LE(cache->stats().bytes_in_memory, cache->stats().budget);
    // at() keeps its last block pinned, so these run one block over.
    std::mt19937_64 rng(9);
    const auto n = static_cast<std::int64_t>(truth[0].size());
    for (int i = 0; i < 200; ++i) {
        const std::size_t c = rng() % stores.size();
        const std::int64_t at = static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(n));
        ASSERT_EQ(stores[c].at(at), truth[c][static_cast<std::size_t>(at)]) << "sample " << at;
    }
    const tcachestats st = cache->stats();
    EXPECT_GT(st.evictions, 8u);
    EXPECT_GT(st.loads, 16u) << "blocks were read from the file again";
    EXPECT_EQ(st.spills, 0u) << "source blocks are never written to scratch";

    // An edited copy shares the file's blocks and reads as the same edit of the array.
    tsamplestore e = stores[1];
    e.erase(1000, 150000);
    e.insert(5, stores[0].slice(70000, 71000));
    std::vector<float> want(truth[1].begin(), truth[1].end());
    want.erase(want.begin() + 1000, want.begin() + 150000);
    want.insert(want.begin() + 5, truth[0].begin() + 70000, truth[0].begin() + 71000);
    const tsinglearr got = e.to_array();
    ASSERT_EQ(got.size(), want.size());
    EXPECT_TRUE(same_bits(got.data(), want.data(), want.size()));
}

TEST_F(WavSourceTest, ThreadsReadSourcesAndStoresAtOnce) {
    const tcase& k = testing::have_sox() ? cases[3] : cases[7];
    const std::string f = make(k, 8, "threads.wav");
    ASSERT_FALSE(f.empty());
    const auto truth = full_read(f);
    auto cache = std::make_shared<tblockcache>(2 * block_samples * sizeof(float), dir);
    TWavFile w;
    ASSERT_TRUE(w.open_file(f, true));
    const auto sources = wav_sources(w);
    std::vector<tsamplestore> stores;
    for (const auto& s : sources) stores.push_back(wav_store(s, cache));
    const auto n = static_cast<std::int64_t>(truth[0].size());
    std::atomic<int> bad{0}, reads{0};
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            std::mt19937_64 rng(static_cast<unsigned>(t) + 100);
            std::vector<float> buf;
            for (int i = 0; i < 400; ++i) {
                const std::size_t c = rng() % sources.size();
                // Mostly short spans: many seeks and reads to interleave.
                const std::int64_t len = static_cast<std::int64_t>(rng() % (i % 8 ? 2000 : 20000));
                const std::int64_t from = static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(n - len));
                buf.assign(static_cast<std::size_t>(len), 0.0f);
                // Half the reads straight from the source, half through a store.
                if (i % 2)
                    sources[c]->read(from, buf.size(), buf.data());
                else
                    stores[c].read(from, buf.size(), buf.data());
                if (!same_bits(buf.data(), truth[c].data() + from, buf.size())) ++bad;
                ++reads;
            }
        });
    threads.clear();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(reads.load(), 1600);
    EXPECT_GT(cache->stats().evictions, 0u);
}

TEST_F(WavSourceTest, AFileCutShortAfterOpeningThrowsNamingIt) {
    const std::string f = make(cases[7], 2, "short.wav");  // our writer: no sox needed
    const auto truth = full_read(f);
    TWavFile w;
    ASSERT_TRUE(w.open_file(f, true));
    const auto sources = wav_sources(w);
    auto cache = std::make_shared<tblockcache>(block_samples * sizeof(float), dir);
    tsamplestore store = wav_store(sources[1], cache);
    const std::int64_t keep = 100000;  // frames left in the file
    std::filesystem::resize_file(f, static_cast<std::uintmax_t>(w.Getdatastartpos() + keep * 2 * 2 + 1));

    // What is still there reads as before.
    std::vector<float> got(1000);
    sources[1]->read(keep - 1000, got.size(), got.data());
    EXPECT_TRUE(same_bits(got.data(), truth[1].data() + keep - 1000, got.size()));
    // A span reaching past the new end (even by the half frame left) throws.
    auto expect_message = [&](auto&& call) {
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const EWavFileError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find(f), std::string::npos) << what;
            EXPECT_NE(what.find("shorter"), std::string::npos) << what;
        }
    };
    expect_message([&] { sources[1]->read(keep - 10, 20, got.data()); });
    expect_message([&] { sources[0]->read(keep + 5000, 10, got.data()); });
    expect_message([&] { (void)store.to_array(); });
    // The store's blocks before the cut still read.
    std::vector<float> first(1000);
    store.read(0, first.size(), first.data());
    EXPECT_TRUE(same_bits(first.data(), truth[1].data(), first.size()));
    // Sources made from a header that promises more than is left are refused.
    expect_message([&] { (void)wav_sources(w); });
}

TEST_F(WavSourceTest, SpansOutsideTheChannelThrowNamingTheFile) {
    const std::string f = make(cases[7], 1, "edge.wav");
    TWavFile w;
    ASSERT_TRUE(w.open_file(f, true));
    const auto s = wav_sources(w).at(0);
    const std::int64_t n = s->size();
    std::vector<float> buf(4, 7.0f);
    for (auto [from, len] : {std::pair<std::int64_t, std::size_t>{n - 1, 2}, {n, 1}, {-1, 1}, {n + 10, 0}}) {
        try {
            s->read(from, len, buf.data());
            ADD_FAILURE() << "no exception for " << from << " + " << len;
        } catch (const EWavFileError& e) {
            EXPECT_NE(std::string(e.what()).find(f), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(buf[0], 7.0f) << "nothing written on failure";
}

TEST_F(WavSourceTest, ACodingTheReaderDoesNotDecodeGivesNoSources) {
    const testing::tbytes b = testing::triffbuilder{}
                                  .chunk("fmt ", testing::fmt_payload(2, 1, 8000, 8))  // ADPCM tag
                                  .chunk("data", testing::tbytes(100, 0))
                                  .bytes();
    const std::string f = path("adpcm.wav");
    testing::write_bytes(f, b);
    TWavFile w;
    if (!w.open_file(f, true)) GTEST_SKIP() << "the reader refuses the file already";
    EXPECT_THROW((void)wav_sources(w), EWavFileError);
    TWavFile closed;
    EXPECT_THROW((void)wav_sources(closed), EWavFileError);
}

}  // namespace
}  // namespace tessal
