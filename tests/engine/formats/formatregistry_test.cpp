// The save-format rows, the "SaveFormat" setting that counts the save
// dialog's used rows from 1, and the format registry that opening and saving
// choose their paths from.
#include <gtest/gtest.h>

#include <iterator>

#include "engine/formats/formatregistry.h"
#include "engine/formats/saveformats.h"

using namespace tessal;

TEST(SaveFormat, CountsUsedRowsFromOne) {
    std::vector<tsavefilter> rows = default_savefilters();
    const tsavefilter* r = saveformat_row(rows, default_saveformat);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->idstr, "wav24i");
    EXPECT_EQ(r->filterstr, "Wave file 24-bit (*.wav)|*.wav");
    EXPECT_EQ(saveformat_row(rows, 1)->idstr, "tessal32f");
    EXPECT_EQ(saveformat_row(rows, 5)->idstr, "wav32f");
    // Out of range (rows switched off since, a damaged file): the nearest.
    EXPECT_EQ(saveformat_row(rows, 0)->idstr, "tessal32f");
    EXPECT_EQ(saveformat_row(rows, 99)->idstr, "wav32f");
    // Only rows in use count: with 8-bit PCM on, the fourth is 16-bit.
    rows[2].used = true;
    EXPECT_EQ(saveformat_row(rows, 4)->idstr, "wav16i");
    for (tsavefilter& row : rows) row.used = false;
    EXPECT_EQ(saveformat_row(rows, 1), nullptr);
}

// The save rows as the settings store them and the dialogs show them, in
// their fixed order with their default use.
TEST(SaveFormat, TheTenRowsAndTheSaveDialogFilter) {
    struct trow {
        const char* filterstr;
        const char* ext;
        const char* idstr;
        bool used;
        int nbits;
        tFormat format;
    };
    const trow expected[] = {
        {"Tessal file 32-bit float(*.tessal)|*.tessal", ".tessal", "tessal32f", true, 32, tFormat::ieeefloat},
        {"Merivox file 16-bit (*.smp)|*.smp", ".smp", "smp16i", true, 16, tFormat::pcm},
        {"Wave file 8-bit (*.wav)|*.wav", ".wav", "wav8i", false, 8, tFormat::pcm},
        {"Wave file 8-bit A-law (*.wav)|*.wav", ".wav", "wav8a", false, 8, tFormat::alaw},
        {"Wave file 8-bit mu-law(*.wav)|*.wav", ".wav", "wav8u", false, 8, tFormat::ulaw},
        {"Wave file 16-bit (*.wav)|*.wav", ".wav", "wav16i", true, 16, tFormat::pcm},
        {"Wave file 24-bit (*.wav)|*.wav", ".wav", "wav24i", true, 24, tFormat::pcm},
        {"Wave file 32-bit (*.wav)|*.wav", ".wav", "wav32i", false, 32, tFormat::pcm},
        {"Wave file 16 bit float (*.wav)|*.wav", ".wav", "wav16f", false, 16, tFormat::ieeefloat},
        {"Wave file 32-bit float (*.wav)|*.wav", ".wav", "wav32f", true, 32, tFormat::ieeefloat},
    };
    const std::vector<tsavefilter> rows = default_savefilters();
    ASSERT_EQ(rows.size(), std::size(expected));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].filterstr, expected[i].filterstr);
        EXPECT_EQ(rows[i].ext, expected[i].ext);
        EXPECT_EQ(rows[i].idstr, expected[i].idstr);
        EXPECT_EQ(rows[i].used, expected[i].used);
        EXPECT_EQ(rows[i].nbits, expected[i].nbits);
        EXPECT_EQ(rows[i].format, expected[i].format);
        // Every save row belongs to a format that can be written.
        const tfileformat* f = format_for_extension(rows[i].ext);
        ASSERT_NE(f, nullptr);
        EXPECT_TRUE(f->caps.writable);
    }
    EXPECT_EQ(savefilter_caption(rows[4]), "Wave file 8-bit mu-law(*.wav)");
    EXPECT_EQ(savefilter_text(rows),
              "Tessal file 32-bit float(*.tessal)|*.tessal|Merivox file 16-bit (*.smp)|*.smp|"
              "Wave file 16-bit (*.wav)|*.wav|Wave file 24-bit (*.wav)|*.wav|"
              "Wave file 32-bit float (*.wav)|*.wav");
}

// Opening: the Open dialog's filter and the reader each extension chooses.
TEST(FormatRegistry, OpenFilterAndReaderByExtension) {
    EXPECT_EQ(open_filter_text(),
              "All sound files |*.tessal;*.smp;*.wav|Wave files (*.wav)|*.wav|Merivox files "
              "(*.smp)|*.smp|Tessal files (*.tessal)|*.tessal|Orlet files (*.orlet)|*.orlet|All "
              "files (*.*)|*.*");

    struct tcase {
        const char* path;
        const char* ext;  // the row's extension; null: no reader
    };
    const tcase cases[] = {
        {"a/rec.wav", ".wav"},       {"REC.WAV", ".wav"},        {"x.y/take.Smp", ".smp"},
        {"doc.tessal", ".tessal"},   {"far.ORLET", ".orlet"},    {"p.tessalproc", nullptr},
        {"labels.csv", nullptr},     {"a.wav/noext", nullptr},   {"rec.wav.bak", nullptr},
        {"rec", nullptr},
    };
    for (const tcase& c : cases) {
        SCOPED_TRACE(c.path);
        const tfileformat* f = format_of_path(c.path);
        if (!c.ext) {
            EXPECT_EQ(f, nullptr);
            continue;
        }
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->ext, c.ext);
        EXPECT_TRUE(f->caps.readable);
        EXPECT_NE(f->read, nullptr);
    }

    // What the formats can keep: only the native file mixes rates and keeps
    // notes; the foreign recordings are read only. Every writable row has a
    // writer and save codings, and only the WAVE row has many.
    for (const tfileformat& f : file_formats()) {
        SCOPED_TRACE(f.ext);
        EXPECT_EQ(f.caps.mixed_rates, f.ext == ".tessal");
        EXPECT_EQ(f.caps.notes, f.ext == ".tessal");
        EXPECT_EQ(f.caps.writable, f.ext != ".orlet");
        EXPECT_EQ(f.caps.labels, f.ext == ".tessal" || f.ext == ".smp");
        EXPECT_EQ(f.write != nullptr, f.caps.writable);
        EXPECT_EQ(f.codings.empty(), !f.caps.writable);
        EXPECT_EQ(f.codings.size() > 1, f.caps.codings);
    }
    // The rows without an extension of their own.
    EXPECT_FALSE(codec_format().caps.writable);
    EXPECT_FALSE(codec_format().caps.names_document);
    EXPECT_NE(codec_format().read, nullptr);
    EXPECT_EQ(dialog_filter(textgrid_format()), "Praat TextGrid (*.TextGrid);;All files (*)");
    EXPECT_NE(textgrid_format().readlabels, nullptr);
    EXPECT_NE(textgrid_format().writelabels, nullptr);
    EXPECT_EQ(dialog_filter(text_table_format()), "Text files (*.txt);;All files (*)");
    EXPECT_NE(text_table_format().writetable, nullptr);
    EXPECT_TRUE(keeps_codings("A.WAV"));
    EXPECT_FALSE(keeps_codings("a.smp"));
}
