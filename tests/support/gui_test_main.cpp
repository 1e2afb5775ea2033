// Test main for the GUI tests: the program's own application object (which
// catches what escapes an event handler) on the offscreen platform unless
// another platform was asked for. Every test gets an empty per-user
// data folder of its own, so the settings file and recent-files lists that
// one test's main window writes on closing never reach another test (or
// the user's own).
#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "gui/commands/guardedapplication.h"
#include "gui/settings/tmainsettings.h"

namespace {

class tfreshdatahome : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        dir_ = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", dir_->path().toLocal8Bit());
    }
    void OnTestEnd(const ::testing::TestInfo&) override { dir_.reset(); }
    std::unique_ptr<QTemporaryDir> dir_;
};

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    tessal::tguardedapplication app(argc, argv);
    // Tests read the settings but never write them; a test of writing
    // allows it for itself (tsettingswrites in tests/support).
    tessal::tmainsettings::set_writes_allowed(false);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new tfreshdatahome);
    return RUN_ALL_TESTS();
}
