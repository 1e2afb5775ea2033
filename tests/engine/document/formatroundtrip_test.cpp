// Every row of the format registry that can be written, in every coding it
// offers, survives a round trip through the document's file commands: the
// file read back gives the samples within the coding's step (exactly for
// the native float file), labels where the format keeps them, and saving
// what was read writes the same bytes again.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>

#include "engine/core/tdocument.h"
#include "engine/document/documentfiles.h"
#include "engine/formats/formatregistry.h"
#include "support/scriptedprompter.h"
#include "support/tempdirtest.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

std::string bytes_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct tfiles {
    tdocument doc;
    tscriptedprompter prompter;
    tdocumentlifecycle life{doc, prompter};
    tdocumentfiles files{doc, life, prompter};
    tfiles() {
        doc.prefs.WarnSaveWav = false;
        doc.prefs.WarnSaveSmp = false;
        doc.prefs.UseDither = 2;
    }
};

// The largest step between neighbouring values of a coding near full scale.
double coding_step(int nbits, tFormat format) {
    if (format == tFormat::alaw || format == tFormat::ulaw) return 1.0 / 32;
    if (format == tFormat::ieeefloat) return nbits == 32 ? 0 : 1.0 / 1024;
    return 2.0 / std::pow(2.0, nbits);
}

}  // namespace

class FormatRoundTrip : public tessal::testing::ttempdirtest {};

TEST_F(FormatRoundTrip, EveryWritableRowInEveryCoding) {
    int tried = 0;
    for (const tfileformat& f : file_formats()) {
        if (!f.write) continue;
        for (const tsavecodingrow& c : f.codings) {
            SCOPED_TRACE(c.idstr);
            tfiles a;
            a.doc.set_totnchans(2);
            for (int k = 0; k < 2; ++k) {
                tchannel& ch = a.doc.channel(k);
                ch.sampfreq = ch.orgsampfreq = 8000;
                ch.sig.resize(4000);
                for (int i = 0; i < 4000; ++i)
                    ch.sig[i] = static_cast<float>(0.6 * std::sin(0.01 * (k + 1) * i));
                ch.sigcachedirty = true;
            }
            a.doc.channel(0).labels.push_back(tsiglabel{});
            a.doc.channel(0).labels.back().time = 0.1;
            a.doc.channel(0).labels.back().duration = 0.2;
            a.doc.channel(0).labels.back().text = "vowel";
            const std::string first = path("first" + f.ext), second = path("second" + f.ext);
            ASSERT_TRUE(a.files.save_file(first, c.nbits, 0, 0, {}, c.format));

            tfiles b;
            ASSERT_TRUE(b.files.open_document(first));
            ASSERT_EQ(b.doc.totnchans(), 2);
            const double step = coding_step(c.nbits, c.format);
            for (int k = 0; k < 2; ++k) {
                const tchannel& x = a.doc.channel(k);
                const tchannel& y = b.doc.channel(k);
                ASSERT_EQ(y.sig.size(), x.sig.size());
                EXPECT_EQ(y.sampfreq, 8000);
                double worst = 0;
                for (std::size_t i = 0; i < x.sig.size(); ++i)
                    worst = std::max(worst, std::fabs(static_cast<double>(y.sig[i]) - x.sig[i]));
                EXPECT_LE(worst, step) << "channel " << k;
            }
            if (f.caps.labels) {
                ASSERT_FALSE(b.doc.channel(0).labels.empty());
                EXPECT_EQ(b.doc.channel(0).labels.front().text, "vowel");
                EXPECT_NEAR(b.doc.channel(0).labels.front().time, 0.1, 1e-9);
            }
            ASSERT_TRUE(b.files.save_file(second, c.nbits, 0, 0, {}, c.format));
            EXPECT_EQ(bytes_of(second), bytes_of(first));
            ++tried;
        }
    }
    EXPECT_EQ(tried, 10);
}
