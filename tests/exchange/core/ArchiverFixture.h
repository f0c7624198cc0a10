#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Archiver.h"

namespace testsupport {

// A folder of the test's own for archives, and stand-in archivers written as scripts.
class ArchiverTest : public ::testing::Test {
protected:
    std::filesystem::path folder() const {
        return std::filesystem::path(m_dir.path().toStdString());
    }
    static void write(const std::filesystem::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::set<std::string> names(const std::filesystem::path& where) const {
        std::set<std::string> out;
        for (const auto& entry : std::filesystem::directory_iterator(where)) {
            out.insert(entry.path().filename().string());
        }
        return out;
    }
    // A stand-in archiver: a shell script run in place of arj, kept outside the folder the
    // tests look at.
    std::string script(const std::string& body) const {
        const std::filesystem::path path =
            std::filesystem::path(m_scripts.path().toStdString()) / "fake-arj.sh";
        write(path, "#!/bin/sh\n" + body + "\n");
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        return path.string();
    }
    std::filesystem::path scriptFolder() const {
        return std::filesystem::path(m_scripts.path().toStdString());
    }
    // An archive made by arj in folder() of the given files (name, content), which are then
    // removed again.
    void makeArchive(const std::string& archive,
                     const std::vector<std::pair<std::string, std::string>>& files) const {
        std::vector<std::string> inputs;
        for (const auto& [name, content] : files) {
            write(folder() / name, content);
            inputs.push_back(name);
        }
        exchange::ArjArchiver().pack(folder(), archive, inputs);
        for (const std::string& name : inputs) {
            std::filesystem::remove(folder() / name);
        }
    }

    QTemporaryDir m_dir;
    QTemporaryDir m_scripts;
};

}  // namespace testsupport
