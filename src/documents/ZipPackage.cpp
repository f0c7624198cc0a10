#include "ZipPackage.h"

#include <zip.h>

#include <memory>

#include "FileIo.h"

namespace documents {

namespace {

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct EntryCloser {
    void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};

// Why libzip failed, in words for the user; libzip's own texts are English.
std::string reasonOf(const zip_error_t* error) {
    std::string reason;
    switch (zip_error_code_zip(error)) {
        case ZIP_ER_NOENT:
            return "文件不存在";
        case ZIP_ER_EXISTS:
            return "文件已存在";
        case ZIP_ER_NOZIP:
            return "文件的格式不对，不是文档";
        case ZIP_ER_INCONS:
        case ZIP_ER_EOF:
            return "文件不完整或已损坏";
        case ZIP_ER_CRC:
        case ZIP_ER_ZLIB:
        case ZIP_ER_COMPRESSED_DATA:
            return "文件的内容已损坏";
        case ZIP_ER_COMPNOTSUPP:
            return "文件使用了不支持的压缩方式";
        case ZIP_ER_ENCRNOTSUPP:
        case ZIP_ER_NOPASSWD:
        case ZIP_ER_WRONGPASSWD:
            return "文件已加密";
        case ZIP_ER_MULTIDISK:
            return "不支持分卷的文件";
        case ZIP_ER_OPNOTSUPP:
            return "这不是一个普通文件";
        case ZIP_ER_MEMORY:
            return "内存不足";
        case ZIP_ER_OPEN:
            reason = "文件无法打开";
            break;
        case ZIP_ER_READ:
        case ZIP_ER_SEEK:
        case ZIP_ER_TELL:
            reason = "读文件出错";
            break;
        case ZIP_ER_WRITE:
        case ZIP_ER_CLOSE:
            reason = "写文件出错";
            break;
        case ZIP_ER_TMPOPEN:
            reason = "临时文件无法建立";
            break;
        case ZIP_ER_RENAME:
            reason = "临时文件无法改名";
            break;
        case ZIP_ER_REMOVE:
            reason = "文件无法删除";
            break;
        default:
            return "文档处理出错（错误代码 " + std::to_string(zip_error_code_zip(error)) + "）";
    }
    if (zip_error_system_type(error) == ZIP_ET_SYS && zip_error_code_system(error) != 0) {
        reason += "（" + store::describeSystemError(zip_error_code_system(error)) + "）";
    }
    return reason;
}

// The archive at path opened with flags; a failure throws DocumentError(failure + reason).
Archive openArchive(const std::filesystem::path& path, int flags, const std::string& failure) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_file_create(path.c_str(), 0, -1, &error);
    zip_t* archive = source != nullptr ? zip_open_from_source(source, flags, &error) : nullptr;
    if (archive == nullptr) {
        zip_source_free(source);
        std::string reason = reasonOf(&error);
        zip_error_fini(&error);
        throw DocumentError(failure + reason);
    }
    zip_error_fini(&error);
    return Archive(archive);
}

std::string quoted(const std::filesystem::path& path) {
    return "“" + path.string() + "”";
}

}  // namespace

ZipPackage ZipPackage::read(const std::filesystem::path& path) {
    Archive archive = openArchive(path, ZIP_RDONLY, "文件" + quoted(path) + "无法作为文档打开：");
    ZipPackage package;
    zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_uint64_t index = 0; index < static_cast<zip_uint64_t>(count); ++index) {
        zip_stat_t stat;
        if (zip_stat_index(archive.get(), index, 0, &stat) != 0) {
            throw DocumentError("文件" + quoted(path) + "无法读出：" +
                                reasonOf(zip_get_error(archive.get())));
        }
        std::string name = stat.name;
        if (!name.empty() && name.back() == '/') {
            continue;  // a folder entry carries no part
        }
        const std::string failure = "文件" + quoted(path) + "中的“" + name + "”无法读出：";
        std::unique_ptr<zip_file_t, EntryCloser> entry(zip_fopen_index(archive.get(), index, 0));
        if (!entry) {
            throw DocumentError(failure + reasonOf(zip_get_error(archive.get())));
        }
        // The part's bytes, then one read past them that must find nothing: libzip checks the
        // entry's checksum only when a read reaches its end.
        std::string bytes(stat.size, '\0');
        char past = 0;
        const zip_int64_t read = zip_fread(entry.get(), bytes.data(), bytes.size());
        const zip_int64_t after = read < 0 ? read : zip_fread(entry.get(), &past, 1);
        if (read < 0 || after < 0) {
            throw DocumentError(failure + reasonOf(zip_file_get_error(entry.get())));
        }
        if (read != static_cast<zip_int64_t>(stat.size) || after != 0) {
            throw DocumentError(failure + "文件不完整或已损坏");
        }
        package.m_parts.push_back({std::move(name), std::move(bytes)});
    }
    return package;
}

void ZipPackage::write(const std::filesystem::path& path) const {
    const std::string failure = "文档" + quoted(path) + "无法写出：";
    Archive archive = openArchive(path, ZIP_CREATE | ZIP_EXCL, failure);
    for (const Part& part : m_parts) {
        zip_source_t* source =
            zip_source_buffer(archive.get(), part.bytes.data(), part.bytes.size(), 0);
        if (source == nullptr ||
            zip_file_add(archive.get(), part.name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            throw DocumentError(failure + reasonOf(zip_get_error(archive.get())));
        }
    }
    // zip_close writes a temporary file beside path and renames it only when all went well.
    if (zip_close(archive.get()) != 0) {
        throw DocumentError(failure + reasonOf(zip_get_error(archive.get())));
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
