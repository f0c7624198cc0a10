// The package layer's failures: every kind that a damaged, missing or unwritable file gives is
// told in Chinese, naming the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>

#include "ScratchFolder.h"
#include "ZipPackage.h"

using namespace documents;
namespace fs = std::filesystem;

namespace {

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A package of one compressed part at path.
void writePackage(const fs::path& path) {
    ZipPackage package;
    package.put("word/document.xml", "<w:document>" + std::string(2000, 'x') + "</w:document>");
    package.write(path);
}

// Applies change to the part's entry in the local header and in the central directory, at
// offset bytes after the signature of each.
void patchEntries(const fs::path& path, size_t localOffset, size_t centralOffset,
                  const std::function<void(char*)>& change) {
    std::string bytes = testsupport::readFile(path);
    change(&bytes[bytes.find("PK\x03\x04") + localOffset]);
    change(&bytes[bytes.find("PK\x01\x02") + centralOffset]);
    writeBytes(path, bytes);
}

enum class Action { Read, Write };

struct FailureCase {
    const char* name;
    Action action;
    // Makes what is at path (or leaves it missing); returns the path the action uses.
    std::function<fs::path(const fs::path& folder)> prepare;
    std::string reason;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class ZipPackageFailureTest : public ::testing::TestWithParam<FailureCase> {
protected:
    testsupport::ScratchFolder m_folder;
};

TEST_P(ZipPackageFailureTest, IsToldInChineseNamingTheFile) {
    const FailureCase& c = GetParam();
    const fs::path path = c.prepare(m_folder.path());
    std::string message;
    try {
        if (c.action == Action::Read) {
            ZipPackage::read(path);
        } else {
            ZipPackage package;
            package.put("word/document.xml", "<w:document/>");
            package.write(path);
        }
        FAIL() << "no error";
    } catch (const DocumentError& e) {
        message = e.what();
    }
    EXPECT_NE(message.find("“" + path.string() + "”"), std::string::npos) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    // Outside the quoted names (the file, a part of it) no Latin letter.
    std::string words;
    for (size_t at = 0, open; at < message.size(); at = message.find("”", open) + 3) {
        open = message.find("“", at);
        words += message.substr(at, open - at);
        if (open == std::string::npos) {
            break;
        }
    }
    EXPECT_EQ(std::find_if(words.begin(), words.end(),
                           [](char ch) { return std::isalpha(static_cast<unsigned char>(ch)); }),
              words.end())
        << message;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ZipPackageFailureTest,
    ::testing::Values(
        FailureCase{"Missing", Action::Read, [](const fs::path& f) { return f / "none.dotx"; },
                    "文件不存在"},
        FailureCase{"NotAPackage", Action::Read,
                    [](const fs::path& f) {
                        writeBytes(f / "t.dotx", "not a zip");
                        return f / "t.dotx";
                    },
                    "文件的格式不对，不是文档"},
        FailureCase{"Empty", Action::Read,
                    [](const fs::path& f) {
                        writeBytes(f / "t.dotx", "");
                        return f / "t.dotx";
                    },
                    "文件的格式不对，不是文档"},
        FailureCase{"AFolder", Action::Read,
                    [](const fs::path& f) {
                        fs::create_directory(f / "t.dotx");
                        return f / "t.dotx";
                    },
                    "这不是一个普通文件"},
        FailureCase{"CutShort", Action::Read,
                    [](const fs::path& f) {
                        writePackage(f / "t.dotx");
                        std::string bytes = testsupport::readFile(f / "t.dotx");
                        writeBytes(f / "t.dotx", bytes.substr(0, bytes.find("PK\x01\x02") + 20) +
                                                     bytes.substr(bytes.find("PK\x05\x06")));
                        return f / "t.dotx";
                    },
                    "文件不完整或已损坏"},
        FailureCase{"WrongChecksum", Action::Read,
                    [](const fs::path& f) {
                        writePackage(f / "t.dotx");
                        patchEntries(f / "t.dotx", 14, 16, [](char* crc) { crc[0] ^= 0x55; });
                        return f / "t.dotx";
                    },
                    "文件的内容已损坏"},
        FailureCase{"UnknownCompression", Action::Read,
                    [](const fs::path& f) {
                        writePackage(f / "t.dotx");
                        patchEntries(f / "t.dotx", 8, 10, [](char* method) { method[0] = 20; });
                        return f / "t.dotx";
                    },
                    "文件使用了不支持的压缩方式"},
        FailureCase{"Encrypted", Action::Read,
                    [](const fs::path& f) {
                        writePackage(f / "t.dotx");
                        patchEntries(f / "t.dotx", 6, 8, [](char* flags) { flags[0] |= 1; });
                        return f / "t.dotx";
                    },
                    "文件已加密"},
        FailureCase{"ThereAlready", Action::Write,
                    [](const fs::path& f) {
                        writeBytes(f / "t.docx", "");
                        return f / "t.docx";
                    },
                    "文件已存在"},
        FailureCase{"FolderMissing", Action::Write,
                    [](const fs::path& f) { return f / "none" / "t.docx"; },
                    "临时文件无法建立（文件不存在）"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
