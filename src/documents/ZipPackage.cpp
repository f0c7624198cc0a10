#include "ZipPackage.h"

#include <zip.h>

#include <memory>

namespace documents {

namespace {

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct EntryCloser {
    void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};

std::string openErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

std::string quoted(const std::filesystem::path& path) {
    return "“" + path.string() + "”";
}

}  // namespace

ZipPackage ZipPackage::read(const std::filesystem::path& path) {
    int code = 0;
    Archive archive(zip_open(path.c_str(), ZIP_RDONLY, &code));
    if (!archive) {
        throw DocumentError("文件" + quoted(path) + "无法作为文档打开：" + openErrorText(code));
    }
    ZipPackage package;
    zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_uint64_t index = 0; index < static_cast<zip_uint64_t>(count); ++index) {
        zip_stat_t stat;
        if (zip_stat_index(archive.get(), index, 0, &stat) != 0) {
            throw DocumentError("文件" + quoted(path) + "已损坏：" + zip_strerror(archive.get()));
        }
        std::string name = stat.name;
        if (!name.empty() && name.back() == '/') {
            continue;  // a folder entry carries no part
        }
        std::unique_ptr<zip_file_t, EntryCloser> entry(zip_fopen_index(archive.get(), index, 0));
        std::string bytes(stat.size, '\0');
        if (!entry || zip_fread(entry.get(), bytes.data(), stat.size) !=
                          static_cast<zip_int64_t>(stat.size)) {
            throw DocumentError("文件" + quoted(path) + "中的“" + name + "”无法读出：" +
                                zip_strerror(archive.get()));
        }
        package.m_parts.push_back({std::move(name), std::move(bytes)});
    }
    return package;
}

void ZipPackage::write(const std::filesystem::path& path) const {
    int code = 0;
    Archive archive(zip_open(path.c_str(), ZIP_CREATE | ZIP_EXCL, &code));
    if (!archive) {
        throw DocumentError("文档" + quoted(path) + "无法写出：" + openErrorText(code));
    }
    for (const Part& part : m_parts) {
        zip_source_t* source =
            zip_source_buffer(archive.get(), part.bytes.data(), part.bytes.size(), 0);
        if (source == nullptr ||
            zip_file_add(archive.get(), part.name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            throw DocumentError("文档" + quoted(path) + "无法写出：" + zip_strerror(archive.get()));
        }
    }
    // zip_close writes a temporary file beside path and renames it only when all went well.
    if (zip_close(archive.get()) != 0) {
        throw DocumentError("文档" + quoted(path) + "无法写出：" + zip_strerror(archive.get()));
    }
    archive.release();
}

std::string* ZipPackage::find(const std::string& name) {
    for (Part& part : m_parts) {
        if (part.name == name) {
            return &part.bytes;
        }
    }
    return nullptr;
}

const std::string* ZipPackage::find(const std::string& name) const {
    return const_cast<ZipPackage*>(this)->find(name);
}

void ZipPackage::put(const std::string& name, std::string bytes) {
    if (std::string* existing = find(name)) {
        *existing = std::move(bytes);
    } else {
        m_parts.push_back({name, std::move(bytes)});
    }
}

}  // namespace documents
