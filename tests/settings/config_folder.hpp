#pragma once
// A temporary program folder for the configuration file, and raw access to the
// file's bytes.
#include "files/files.hpp"
#include "settings/config_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdlib.h>

struct ConfigFolder : ::testing::Test {
    std::filesystem::path folder;
    std::filesystem::path file;

    ConfigFolder() {
        char pattern[] = "/tmp/settings-test-XXXXXX";
        folder = mkdtemp(pattern);
        set_program_folder(folder);
        file = native_path(settings_file_path());
    }
    ~ConfigFolder() override {
        set_program_folder({});
        std::error_code ec;
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(folder, ec);
    }

    void write_raw(const std::string& bytes) const {
        std::ofstream(file, std::ios::binary) << bytes;
    }
    std::string read_raw() const {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::size_t entries() const {
        auto it = std::filesystem::directory_iterator(folder);
        return std::size_t(std::distance(it, std::filesystem::directory_iterator()));
    }
};
