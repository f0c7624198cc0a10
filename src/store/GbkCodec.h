#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace store {

// GBK <-> UTF-8 at the record boundary. ASCII passes through without conversion.
class GbkCodec {
public:
    // Never fails: a byte sequence that is not GBK becomes U+FFFD. When invalid is given it is
    // set to whether any replacement happened.
    static std::string decode(std::string_view gbk, bool* invalid = nullptr);
    // Whether decode() would read gbk without a replacement.
    static bool isValid(std::string_view gbk);

    // nullopt when the text holds a character that GBK cannot hold (or is not valid UTF-8).
    static std::optional<std::string> encode(std::string_view utf8);

    // Length in bytes of the longest prefix of gbk that is at most maxBytes long and does not
    // end inside a two-byte character.
    static size_t fitPrefix(std::string_view gbk, size_t maxBytes);
};

}  // namespace store
