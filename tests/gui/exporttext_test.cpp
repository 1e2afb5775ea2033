// The "Export to text" dialog: its controls' defaults, the file it writes
// equal to the engine's table, the refusal of mixed rates with its caption
// and no file, and a downsampling factor that is not a number.
#include <memory>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engine/core/tchannel.h"
#include "engine/dsp/numformat.h"
#include "gui/exchange/texporttextdialog.h"
#include "gui/mainwindow/mainwindow.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

TEST(ExportTextDialog, WritesTheEngineTableAndRefusesMixedRates) {
    tscriptedmain m;
    TMainWindow& w = m.w;
    tdocument& doc = w.document();
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        doc.channel(c).sampfreq = 100;
        doc.channel(c).set_name(c ? "b" : "a");
        doc.channel(c).set_samples(tsinglearr(50, 0.5f * (c + 1)));
    }
    doc.theglobal.channels_changed();
    w.windows().show("exporttext");
    auto* dlg = dynamic_cast<texporttextdialog*>(w.windows().window("exporttext"));
    ASSERT_NE(dlg, nullptr);
    if (const char* shot = std::getenv("TESSAL_EXPORT_SHOT")) dlg->grab().save(shot);
    const ttextexportoptions o = dlg->options();
    EXPECT_EQ(o.pattern, "0.00E+00");
    EXPECT_EQ(o.channels, (std::vector<int>{0, 1}));
    EXPECT_TRUE(o.timecolumn);
    EXPECT_EQ(o.downsample, 1);

    QTemporaryDir dir;
    const std::string out = dir.filePath("t.txt").toStdString();
    dlg->ask_filename = [&] { return out; };
    dlg->findChild<QLineEdit*>("downsampleedit")->setText("5");
    EXPECT_TRUE(dlg->exportExecute());
    std::ifstream f(out, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    const std::string text = ss.str();
    EXPECT_EQ(text, text_export_table(doc, dlg->options()));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 11);  // header and 0, 5, ... 45

    dlg->findChild<QLineEdit*>("downsampleedit")->setText("x");
    EXPECT_THROW(dlg->exportExecute(), EConvertError);

    dlg->findChild<QLineEdit*>("downsampleedit")->setText("1");
    doc.channel(1).sampfreq = 200;
    const std::string out2 = dir.filePath("u.txt").toStdString();
    dlg->ask_filename = [&] { return out2; };
    EXPECT_FALSE(dlg->exportExecute());
    ASSERT_FALSE(m.prompter->asked.empty());
    EXPECT_EQ(m.prompter->asked.back().caption, "Sampling rates differ");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(out2)));
}
