// A test fixture with a fresh temporary folder of its own, removed after the
// test: path(name) names a file in it, listing() gives its contents sorted.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace tessal::testing {

class ttempdirtest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string templ =
            (std::filesystem::temp_directory_path() / "tessal_test_XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        dir = templ;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::vector<std::string> listing() const {
        std::vector<std::string> r;
        for (const auto& e : std::filesystem::directory_iterator(dir))
            r.push_back(e.path().filename().string());
        std::sort(r.begin(), r.end());
        return r;
    }
    std::filesystem::path dir;
};

}  // namespace tessal::testing
