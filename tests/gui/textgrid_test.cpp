// File > "Import labels from TextGrid...": the labels of every tier of a
// Praat TextGrid (short text format, as Praat writes it with "Save as short
// text file") join the current channel's own; a file that is not a TextGrid
// gives a message and changes no label. Export writes the labels of every
// channel as tiers, under the name typed with ".TextGrid" added.
#include <memory>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engine/core/tchannel.h"
#include "engine/formats/textgrid.h"
#include "gui/mainwindow/mainwindow.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

// Answers the next file dialog titled `title` with `path`, as a user would.
void answer_file_dialog(const QString& path,
                        const QString& title = "Import labels from TextGrid") {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, path, title] {
        QFileDialog* d = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<QFileDialog*>(top);
                f && f->isVisible() && f->windowTitle() == title)
                d = f;
        if (!d) return;
        timer->stop();
        timer->deleteLater();
        // The file name typed into the dialog's name field, as a user would.
        if (auto* edit = d->findChild<QLineEdit*>("fileNameEdit")) edit->setText(path);
        else d->selectFile(path);
        QMetaObject::invokeMethod(d, "accept");
    });
    timer->start();
}

const char* short_textgrid =
    "File type = \"ooTextFile\"\n"
    "Object class = \"TextGrid\"\n"
    "\n"
    "0\n"
    "2\n"
    "<exists>\n"
    "2\n"
    "\"IntervalTier\"\n"
    "\"words\"\n"
    "0\n"
    "2\n"
    "3\n"
    "0\n"
    "0.5\n"
    "\"\"\n"
    "0.5\n"
    "1.25\n"
    "\"hello\"\n"
    "1.25\n"
    "2\n"
    "\"\"\n"
    "\"TextTier\"\n"
    "\"events\"\n"
    "0\n"
    "2\n"
    "1\n"
    "1.5\n"
    "\"click\"\n";

}  // namespace

TEST(ImportTextGrid, AddsEveryTiersLabelsToTheCurrentChannelAndRefusesOtherFiles) {
    tscriptedmain m;
    TMainWindow& w = m.w;
    tdocument& doc = w.document();
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        doc.channel(c).sampfreq = 1000;
        doc.channel(c).set_samples(tsinglearr(2000, 0.0f));
    }
    doc.channel(1).add_label(0.1, 0, "mine", "manual");
    doc.set_thischanno(1);
    doc.theglobal.channels_changed();

    QTemporaryDir dir;
    const QString grid = dir.filePath("praat short.TextGrid");
    std::ofstream(grid.toStdString()) << short_textgrid;
    // Both files exist before the first dialog lists the folder: a file made
    // later may not be in its listing yet, and the dialog would refuse it.
    const QString other = dir.filePath("notes.TextGrid");
    std::ofstream(other.toStdString()) << "just some notes\n";
    answer_file_dialog(grid);
    w.commands().action("importtextgridaction")->trigger();

    const tsiglabels& l = doc.channel(1).labels;
    ASSERT_EQ(l.size(), 3u);
    auto find = [&](const std::string& text) {
        for (const tsiglabel& x : l)
            if (x.text == text) return &x;
        return static_cast<const tsiglabel*>(nullptr);
    };
    ASSERT_NE(find("mine"), nullptr);
    const tsiglabel* hello = find("hello");
    ASSERT_NE(hello, nullptr);
    EXPECT_DOUBLE_EQ(hello->time, 0.5);
    EXPECT_DOUBLE_EQ(hello->duration, 0.75);
    const tsiglabel* click = find("click");
    ASSERT_NE(click, nullptr);
    EXPECT_DOUBLE_EQ(click->time, 1.5);
    EXPECT_EQ(click->duration, 0);
    EXPECT_TRUE(doc.channel(0).labels.empty());
    EXPECT_TRUE(m.prompter->asked.empty());

    // Not a TextGrid: a message, the labels as they were.
    answer_file_dialog(other);
    w.commands().action("importtextgridaction")->trigger();
    EXPECT_EQ(doc.channel(1).labels.size(), 3u);
    ASSERT_EQ(m.prompter->asked.size(), 1u);
    EXPECT_NE(m.prompter->asked[0].text.find("TextGrid"), std::string::npos);
}

TEST(ExportTextGrid, ANameTypedWithoutExtensionGetsTextGridAndReadsBack) {
    tscriptedmain m;
    TMainWindow& w = m.w;
    tdocument& doc = w.document();
    doc.set_totnchans(1);
    doc.channel(0).sampfreq = 1000;
    doc.channel(0).set_samples(tsinglearr(2000, 0.0f));
    doc.channel(0).add_label(0.5, 0.25, "vowel", "manual");
    doc.theglobal.channels_changed();

    QTemporaryDir dir;
    answer_file_dialog(dir.filePath("take"), "Export labels as TextGrid");
    w.commands().action("exporttextgridaction")->trigger();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("take")));
    ASSERT_TRUE(QFileInfo::exists(dir.filePath("take.TextGrid")));
    std::ifstream in(dir.filePath("take.TextGrid").toStdString());
    std::stringstream ss;
    ss << in.rdbuf();
    const auto tiers = parse_textgrid(ss.str());
    ASSERT_EQ(tiers.size(), 1u);
    ASSERT_EQ(tiers[0].labels.size(), 1u);
    EXPECT_EQ(tiers[0].labels[0].text, "vowel");
    EXPECT_DOUBLE_EQ(tiers[0].labels[0].time, 0.5);
    EXPECT_TRUE(m.prompter->asked.empty());

    // A name that already ends in .TextGrid is kept as typed.
    answer_file_dialog(dir.filePath("second.TextGrid"), "Export labels as TextGrid");
    w.commands().action("exporttextgridaction")->trigger();
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("second.TextGrid")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("second.TextGrid.TextGrid")));
}
