// A temporary home for one test: a fresh folder that HOME and XDG_DATA_HOME
// point into while the test runs, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>

namespace tessal::testing {

class ttempenv {
public:
    ttempenv() {
        std::random_device rd;
        dir = std::filesystem::temp_directory_path() /
              ("tessal-settings-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(dir / "data");
        save("HOME", oldhome);
        save("XDG_DATA_HOME", oldxdg);
        setenv("HOME", dir.c_str(), 1);
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    }
    ~ttempenv() {
        restore("HOME", oldhome);
        restore("XDG_DATA_HOME", oldxdg);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string data() const { return (dir / "data").string(); }

    static std::string read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static void write(const std::string& name, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(name).parent_path());
        std::ofstream(name, std::ios::binary) << text;
    }

    std::filesystem::path dir;

private:
    static void save(const char* n, std::optional<std::string>& v) {
        if (const char* s = std::getenv(n)) v = s;
    }
    static void restore(const char* n, const std::optional<std::string>& v) {
        if (v)
            setenv(n, v->c_str(), 1);
        else
            unsetenv(n);
    }
    std::optional<std::string> oldhome, oldxdg;
};

}  // namespace tessal::testing
