#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace documents {

// A failure to read or write a document or template; the message names the file and is fit
// to show to the user.
class DocumentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The parts of a zip package (an Office Open XML file) held in memory, in their order in the
// file.
class ZipPackage {
public:
    struct Part {
        std::string name;  // "word/document.xml"
        std::string bytes;
    };

    // Throws DocumentError when the file cannot be read as a zip package.
    static ZipPackage read(const std::filesystem::path& path);

    // Writes every part, XML compressed, to a new file at path; refuses (DocumentError) to
    // replace a file that is there, and leaves no partial file behind on failure.
    void write(const std::filesystem::path& path) const;

    const std::vector<Part>& parts() const { return m_parts; }
    // nullptr when the package has no part of that name.
    std::string* find(const std::string& name);
    const std::string* find(const std::string& name) const;
    // Replaces the part's bytes, or adds the part at the end.
    void put(const std::string& name, std::string bytes);

private:
    std::vector<Part> m_parts;
};

}  // namespace documents
