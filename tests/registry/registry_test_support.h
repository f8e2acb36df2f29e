#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "core/variant.h"

namespace bm::regtest {

// A fresh directory per test, removed afterwards. create_directory fails on
// a name that exists, so two tests never share one.
class TempDir {
public:
    TempDir() {
        std::random_device random;
        do {
            path_ = std::filesystem::temp_directory_path() /
                    ("bm-registry-" + std::to_string(random()));
        } while (!std::filesystem::create_directory(path_));
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteFile(const std::filesystem::path& p, std::string_view text) {
    std::ofstream(p, std::ios::binary) << text;
}

// The bytes of a text, embedded NULs included ("abc\0"sv gives 4 bytes).
inline Bytes BytesOf(std::string_view s) { return Bytes(s.begin(), s.end()); }

// Test names from the cases' labels.
template <class Case>
std::string Label(const ::testing::TestParamInfo<Case>& p) {
    return p.param.label;
}

}  // namespace bm::regtest
