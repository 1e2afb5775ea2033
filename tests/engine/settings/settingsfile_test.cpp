// The settings file: a first start keeps the built-in defaults, every value
// survives a save and a load into a fresh document, a file that is not a
// settings file is reported and left alone, and values out of range or of
// the wrong type leave their defaults.
#include "engine/settings/settingsfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "engine/core/measurementitems.h"
#include "engine/store/blocks.h"
#include "support/scriptedprompter.h"
#include "tempenv.h"

namespace tessal {
namespace {

using testing::tscriptedprompter;
using testing::ttempenv;

tmainwindowsettings current_state() {
    tmainwindowsettings st;
    for (const std::string& w : persistent_window_names()) st.layouts[w] = {10, 20, 300, 400};
    st.playdevices = {"Built-in", "USB headset"};
    st.recorddevices = {"Mic", "Line in"};
    st.SaveFormat = 4;
    for (const char* id : {"tessal32f", "smp16i", "wav8i", "wav16i"}) st.usefileformat.push_back({id, true});
    return st;
}

std::string settings_path(const ttempenv& env) {
    return env.data() + "/Tessal/Tessal/1.0/tessalsettings.xiifile";
}

TEST(SettingsFile, AFirstStartKeepsTheDefaults) {
    ttempenv env;
    tdocument doc;
    doc.prefs = tpreferences{};
    doc.selectmode = selstereo;  // the main window's own start value
    tmainwindowsettings st = current_state();
    const tmainwindowsettings before = st;
    tscriptedprompter prompter;
    EXPECT_EQ(open_settings(doc, st, prompter), tsettingsread::missing);
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_EQ(doc.prefs.nSignificantDigits, 5);
    EXPECT_EQ(doc.prefs.DefaultSampFreq, 44100);
    EXPECT_EQ(doc.prefs.OverloadMargin, 0.2);
    EXPECT_EQ(doc.prefs.dBFormat, "0.00");
    EXPECT_EQ(doc.prefs.SecondsFormat, "0.000");
    EXPECT_EQ(doc.prefs.UseDither, 1);
    EXPECT_EQ(doc.selectmode, selstereo);  // kept; only a file's missing key gives 1
    EXPECT_EQ(st.layouts, before.layouts);
    EXPECT_EQ(settings_file_path(), settings_path(env));
}

TEST(SettingsFile, EverythingSurvivesARestart) {
    ttempenv env;
    {
        tdocument doc;
        tpreferences& p = doc.prefs;
        p.nSignificantDigits = 12;
        p.DefaultSampFreq = 22050.5;
        p.OverloadMargin = 1.0 / 3.0;
        p.dBFormat = "0.0";
        p.SecondsFormat = "0.000000";
        p.QuickDraw = false;
        p.AntiAlias = false;
        p.UseInfoColor = false;
        p.UseDither = 2;
        p.WarnSaveSmp = false;
        p.WarnSaveWav = false;
        p.AskDeleteLabel = false;
        doc.selectmode = selvisible;
        for (int i = 0; i < nmeasurementitems; ++i) doc.showmeasurement[i] = i % 3 == 0;
        doc.measurementthreshold = -12.5;
        tmainwindowsettings st = current_state();
        st.layouts["Layout"] = {-5, 30, 700, 1000};
        st.layouts["HistWindow"] = {1, 2, 3, 4};
        st.playdevice = 1;
        st.recorddevice = 1;
        st.SaveFormat = 2;
        st.ShowFSD = false;
        st.usefileformat[1].used = false;
        st.codecs = {{"FLAC", ".flac", "/usr/bin/flac", "-d %s"}, {"Ogg", ".ogg", "oggdec", ""}};
        st.ShowCodec = true;
        save_settings(doc, st);
    }
    tdocument doc;
    tmainwindowsettings st = current_state();
    tscriptedprompter prompter;
    ASSERT_EQ(open_settings(doc, st, prompter), tsettingsread::read);
    EXPECT_TRUE(prompter.asked.empty());
    const tpreferences& p = doc.prefs;
    EXPECT_EQ(p.nSignificantDigits, 12);
    EXPECT_EQ(p.DefaultSampFreq, 22050.5);
    EXPECT_EQ(p.OverloadMargin, 1.0 / 3.0);  // extended values hold a double exactly
    EXPECT_EQ(p.dBFormat, "0.0");
    EXPECT_EQ(p.SecondsFormat, "0.000000");
    EXPECT_FALSE(p.QuickDraw || p.AntiAlias || p.UseInfoColor || p.WarnSaveSmp ||
                 p.WarnSaveWav || p.AskDeleteLabel);
    EXPECT_EQ(p.UseDither, 2);
    EXPECT_EQ(doc.selectmode, selvisible);
    for (int i = 0; i < nmeasurementitems; ++i) EXPECT_EQ(doc.showmeasurement[i], i % 3 == 0) << i;
    EXPECT_EQ(doc.measurementthreshold, -12.5);
    EXPECT_EQ(st.layouts["Layout"], (twindowlayout{-5, 30, 700, 1000}));
    EXPECT_EQ(st.layouts["HistWindow"], (twindowlayout{1, 2, 3, 4}));
    EXPECT_EQ(st.layouts["EPGWindow"], (twindowlayout{10, 20, 300, 400}));
    EXPECT_EQ(st.playdevice, 1);
    EXPECT_EQ(st.recorddevice, 1);
    EXPECT_EQ(st.SaveFormat, 2);
    EXPECT_FALSE(st.ShowFSD);
    EXPECT_TRUE(st.usefileformat[0].used);
    EXPECT_FALSE(st.usefileformat[1].used);
    ASSERT_EQ(st.codecs.size(), 2u);
    EXPECT_EQ(st.codecs[0], (tcodecentry{"FLAC", ".flac", "/usr/bin/flac", "-d %s"}));
    EXPECT_EQ(st.codecs[1].Exename, "oggdec");
    EXPECT_TRUE(st.ShowCodec);

    // The file is a container with the right id and the documented keys.
    TXIIFile f;
    ASSERT_TRUE(f.open_file(settings_path(env)));
    EXPECT_EQ(f.GetFileId(), "TessalSettings");
    EXPECT_EQ(f.readinteger("Layout", "Width", 0), 1000);
    EXPECT_EQ(f.readstring("General", "PlaySoundcard", ""), "USB headset");
    EXPECT_EQ(f.readfloat("General", "DefaultSampFreq", 0), 22050.5);
    EXPECT_FALSE(f.readbool("General", "UseFileFormatsmp16i", true));
    EXPECT_EQ(f.readstring("Codec1", "Name", ""), "Ogg");
    EXPECT_TRUE(f.readbool("ShowMeasurement", measurement_item(0).key, false));
}

TEST(SettingsFile, AMaximisedWindowKeepsItsStoredPlace) {
    ttempenv env;
    tdocument doc;
    tmainwindowsettings st = current_state();
    st.layouts["Layout"] = {50, 60, 500, 600};
    save_settings(doc, st);
    st.layouts["Layout"] = {0, 0, 1080, 1920, true};
    st.layouts["LogWindow"] = {7, 8, 9, 10};
    save_settings(doc, st);
    tmainwindowsettings back = current_state();
    tscriptedprompter prompter;
    open_settings(doc, back, prompter);
    EXPECT_EQ(back.layouts["Layout"], (twindowlayout{50, 60, 500, 600}));
    EXPECT_EQ(back.layouts["LogWindow"], (twindowlayout{7, 8, 9, 10}));
}

TEST(SettingsFile, AWindowNeverPlacedWritesNoSection) {
    ttempenv env;
    tdocument doc;
    tmainwindowsettings st = current_state();
    st.layouts["SpectrumWindow"] = {};          // never shown: no size
    st.layouts["LogWindow"] = {40, 30, 0, 500};  // no height either
    save_settings(doc, st);
    tmainwindowsettings back = current_state();
    back.layouts["SpectrumWindow"] = {};
    back.layouts["LogWindow"] = {};
    tscriptedprompter prompter;
    open_settings(doc, back, prompter);
    // Read back as still unplaced, not as a window at (0, 0).
    EXPECT_EQ(back.layouts["SpectrumWindow"], twindowlayout{});
    EXPECT_EQ(back.layouts["LogWindow"], twindowlayout{});
}

TEST(SettingsFile, AForeignOrDamagedFileIsReportedAndLeftAlone) {
    for (int kind = 0; kind < 2; ++kind) {
        ttempenv env;
        std::string bytes;
        if (kind == 0) {
            TXIIFile other;
            other.SetFileId("TessalFile");
            other.SetProgId(tessal_progid());
            other.writeinteger("General", "nSignificantDigits", 9);
            const auto b = other.save_bytes();
            bytes.assign(b.begin(), b.end());
        } else {
            bytes = std::string("XII1\x05\x00\x00\x00Tes", 12);  // cut off in the file id
        }
        ttempenv::write(settings_path(env), bytes);
        tdocument doc;
        tmainwindowsettings st = current_state();
        tscriptedprompter prompter;
        EXPECT_EQ(open_settings(doc, st, prompter), tsettingsread::rejected);
        ASSERT_EQ(prompter.asked.size(), 1u);
        EXPECT_EQ(prompter.asked[0].text, "Wrong settings file type");
        EXPECT_EQ(prompter.asked[0].caption, "Cannot open settings file");
        EXPECT_EQ(doc.prefs.nSignificantDigits, 5);
        EXPECT_EQ(ttempenv::read(settings_path(env)), bytes);

        // The next save writes a good file and keeps the old bytes beside it.
        doc.prefs.nSignificantDigits = 7;
        save_settings(doc, st);
        EXPECT_EQ(ttempenv::read(env.data() + "/Tessal/Tessal/1.0/tessalsettings_damaged.xiifile"),
                  bytes);
        tdocument again;
        tmainwindowsettings st2 = current_state();
        EXPECT_EQ(open_settings(again, st2, prompter), tsettingsread::read);
        EXPECT_EQ(again.prefs.nSignificantDigits, 7);
    }
}

TEST(SettingsFile, BadValuesLeaveTheirDefaults) {
    ttempenv env;
    TXIIFile f;
    f.SetFileId("TessalSettings");
    f.SetProgId(tessal_progid());
    f.writeinteger("General", "nSignificantDigits", 21);
    f.writestring("General", "UseDither", "1");  // wrong type
    f.writeinteger("General", "Selectmode", 0);
    f.writeinteger("General", "nSignificantDigitz", 3);  // a near miss is not the key
    f.writefloat("General", "DefaultSampFreq", -8000);
    f.writefloat("General", "OverloadMargin", std::nan(""));
    f.writestring("General", "dBFormat", "");
    f.writestring("General", "SecondsFormat", "0.0%n");
    f.writestring("General", "PlaySoundcard", "Gone device");
    f.writeinteger("Layout", "Width", -3);
    f.writeinteger("Layout", "Left", 1 << 30);
    f.writeinteger("Layout", "Top", 77);
    f.writeinteger("Codec", "nCodecs", 2000000000);  // far more than the file holds
    f.save_file(settings_path(env));
    tdocument doc;
    tmainwindowsettings st = current_state();
    st.playdevice = 1;
    st.codecs = {{"keep", "", "", ""}};
    tscriptedprompter prompter;
    ASSERT_EQ(open_settings(doc, st, prompter), tsettingsread::read);
    EXPECT_EQ(doc.prefs.nSignificantDigits, 5);
    EXPECT_EQ(doc.prefs.UseDither, 1);
    EXPECT_EQ(doc.selectmode, selmono);
    EXPECT_EQ(doc.prefs.DefaultSampFreq, 44100);
    EXPECT_EQ(doc.prefs.OverloadMargin, 0.2);
    EXPECT_EQ(doc.prefs.dBFormat, "0.00");
    EXPECT_EQ(doc.prefs.SecondsFormat, "0.000");
    EXPECT_EQ(st.playdevice, 0);  // a vanished device falls back to the first
    EXPECT_EQ(st.layouts["Layout"], (twindowlayout{77, 20, 300, 400}));
    EXPECT_EQ(st.codecs.size(), 1u);
}

// The sample store's budget and scratch folder: kept across a restart, odd
// but usable folder names included, and the document's cache made from them.
TEST(SettingsFile, SampleMemoryAndScratchFolderSurviveARestart) {
    ttempenv env;
    const std::string odd = (env.dir / "scratch here" / "ä ü 'q' \"x\" %s;[General]=#").string();
    {
        tdocument doc;
        doc.prefs.SampleMemoryMB = 300;
        doc.prefs.ScratchFolder = odd;
        save_settings(doc, current_state());
    }
    tdocument doc;
    tmainwindowsettings st = current_state();
    tscriptedprompter prompter;
    ASSERT_EQ(open_settings(doc, st, prompter), tsettingsread::read);
    EXPECT_EQ(doc.prefs.SampleMemoryMB, 300);
    EXPECT_EQ(doc.prefs.ScratchFolder, odd);
    const auto cache = doc.block_cache();
    EXPECT_EQ(cache->budget(), std::size_t(300) << 20);
    EXPECT_EQ(cache->scratch_folder(), std::filesystem::path(odd));
    EXPECT_FALSE(std::filesystem::exists(odd));  // made only when a block leaves memory

    TXIIFile f;
    ASSERT_TRUE(f.open_file(settings_path(env)));
    EXPECT_EQ(f.readinteger("General", "SampleMemoryMB", -1), 300);
    EXPECT_EQ(f.readstring("General", "ScratchFolder", ""), odd);
}

TEST(SettingsFile, DefaultScratchFolderIsBesideTheJournals) {
    ttempenv env;
    {
        tdocument doc;
        doc.prefs.SampleMemoryMB = 5;
        doc.prefs.ScratchFolder = "/somewhere/else";
        save_settings(doc, current_state());
    }
    {
        tdocument doc;
        save_settings(doc, current_state());  // back to the defaults: 0 and ""
    }
    tdocument doc;
    doc.prefs.SampleMemoryMB = 7;
    doc.prefs.ScratchFolder = "/stale";
    tmainwindowsettings st = current_state();
    tscriptedprompter prompter;
    ASSERT_EQ(open_settings(doc, st, prompter), tsettingsread::read);
    EXPECT_EQ(doc.prefs.SampleMemoryMB, 0);
    EXPECT_EQ(doc.prefs.ScratchFolder, "");
    // Under the user's local data folder (the journals are in
    // <data>/Tessal/journals), never in the settings file's folder.
    EXPECT_EQ(doc.scratch_default, std::filesystem::path(env.data()) / "Tessal" / "scratch");
    const auto cache = doc.block_cache();
    EXPECT_EQ(cache->scratch_folder(), doc.scratch_default);
    EXPECT_EQ(cache->budget(), tblockcache::quarter_of_physical_memory());
    EXPECT_NE(cache->scratch_folder().parent_path(),
              std::filesystem::path(settings_path(env)).parent_path());
}

TEST(SettingsFile, BadSampleMemoryAndScratchFolderLeaveTheirDefaults) {
    ttempenv env;
    auto read_back = [&](auto write) {
        TXIIFile f;
        f.SetFileId("TessalSettings");
        f.SetProgId(tessal_progid());
        write(f);
        f.save_file(settings_path(env));
        tdocument doc;
        tmainwindowsettings st = current_state();
        tscriptedprompter prompter;
        EXPECT_EQ(open_settings(doc, st, prompter), tsettingsread::read);
        return doc.prefs;
    };
    for (const std::int64_t mb : {std::int64_t(-1), std::int64_t(-1024), std::int64_t(1) << 30,
                                  std::int64_t(1) << 40}) {
        const tpreferences p =
            read_back([&](TXIIFile& f) { f.writeinteger("General", "SampleMemoryMB", mb); });
        EXPECT_EQ(p.SampleMemoryMB, 0) << mb;
    }
    EXPECT_EQ(read_back([](TXIIFile& f) { f.writestring("General", "SampleMemoryMB", "512"); })
                  .SampleMemoryMB,
              0);  // wrong type
    EXPECT_EQ(read_back([](TXIIFile& f) { f.writeinteger("General", "ScratchFolder", 3); })
                  .ScratchFolder,
              "");  // wrong type
    const std::string bad[] = {"relative/scratch", "~/scratch", "/tmp/two\nlines",
                               "/tmp/with\ttab", "/tmp/nul" + std::string(1, '\0') + "after",
                               "/tmp/bell\x07", "/" + std::string(5000, 'a')};
    for (const std::string& folder : bad) {
        const tpreferences p =
            read_back([&](TXIIFile& f) { f.writestring("General", "ScratchFolder", folder); });
        EXPECT_EQ(p.ScratchFolder, "") << folder.substr(0, 40);
    }
}

TEST(SettingsFile, AFifoOrFolderInPlaceOfTheFileIsRefusedNotWaitedOn) {
    // A FIFO with no writer blocks whoever opens it for reading; a reader
    // that opened it first would hang the start of the program.
    for (const bool fifo : {true, false}) {
        SCOPED_TRACE(fifo ? "fifo" : "folder");
        ttempenv env;
        const std::string name = settings_path(env);
        std::filesystem::create_directories(std::filesystem::path(name).parent_path());
        if (fifo)
            ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
        else
            std::filesystem::create_directory(name);
        tdocument doc;
        tmainwindowsettings st = current_state();
        tscriptedprompter prompter;
        EXPECT_EQ(open_settings(doc, st, prompter), tsettingsread::rejected);
        ASSERT_EQ(prompter.asked.size(), 1u);
        EXPECT_NE(prompter.asked[0].text.find("is not a regular file"), std::string::npos)
            << prompter.asked[0].text;
        EXPECT_EQ(prompter.asked[0].caption, "Cannot open settings file");
        EXPECT_EQ(doc.prefs.nSignificantDigits, 5);
        if (fifo) {
            // Nor does a save wait on it: the FIFO is left as it is.
            EXPECT_THROW(save_settings(doc, st), std::runtime_error);
            EXPECT_TRUE(std::filesystem::is_fifo(name));
        }
    }
}

}  // namespace
}  // namespace tessal
