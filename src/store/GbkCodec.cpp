#include "GbkCodec.h"

#include <iconv.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

namespace store {

namespace {

// The mapping comes from glibc's iconv, one character at a time, and is remembered in tables
// filled on first use: a scan decodes the same few thousand characters over and over, and a
// table look-up is far cheaper than an iconv call. Entries are atomics, so threads may fill
// them at once (they all write the same value).
constexpr uint32_t kUnknown = 0;
constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kReplacement = 0xFFFD;

constexpr unsigned kLeadFirst = 0x81, kLeadLast = 0xFE;
constexpr unsigned kTrailFirst = 0x40, kTrailLast = 0xFE;
constexpr unsigned kTrailCount = kTrailLast - kTrailFirst + 1;

bool isLead(unsigned char byte) {
    return byte >= kLeadFirst && byte <= kLeadLast;
}
bool isTrail(unsigned char byte) {
    return byte >= kTrailFirst && byte <= kTrailLast && byte != 0x7F;
}

class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv() {
        if (m_cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(m_cd);
        }
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts one whole unit; false when iconv refuses it.
    bool convert(const char* in, size_t inSize, char* out, size_t outCapacity, size_t& outSize) {
        if (m_cd == reinterpret_cast<iconv_t>(-1)) {
            return false;
        }
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = const_cast<char*>(in);
        char* outPtr = out;
        size_t outLeft = outCapacity;
        if (iconv(m_cd, &inPtr, &inSize, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
            inSize != 0) {
            return false;
        }
        outSize = outCapacity - outLeft;
        return true;
    }

private:
    iconv_t m_cd;
};

// GBK bytes of one character -> code point, or kNone.
uint32_t decodeWithIconv(const char* gbk, size_t size) {
    thread_local Iconv converter("UTF-32LE", "GBK");
    unsigned char out[8];
    size_t outSize = 0;
    if (!converter.convert(gbk, size, reinterpret_cast<char*>(out), sizeof out, outSize) ||
        outSize != 4) {
        return kNone;
    }
    return out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<uint32_t>(out[3]) << 24);
}

// Code point -> GBK bytes packed as (length << 16) | bytes, or kNone.
uint32_t encodeWithIconv(uint32_t codePoint) {
    thread_local Iconv converter("GBK", "UTF-32LE");
    const char in[4] = {static_cast<char>(codePoint & 0xFF),
                        static_cast<char>((codePoint >> 8) & 0xFF),
                        static_cast<char>((codePoint >> 16) & 0xFF), 0};
    unsigned char out[8];
    size_t outSize = 0;
    if (!converter.convert(in, 4, reinterpret_cast<char*>(out), sizeof out, outSize)) {
        return kNone;
    }
    if (outSize == 1) {
        return (1u << 16) | out[0];
    }
    if (outSize == 2) {
        return (2u << 16) | (out[0] << 8) | out[1];
    }
    return kNone;
}

struct Tables {
    std::array<std::atomic<uint32_t>, (kLeadLast - kLeadFirst + 1) * kTrailCount> pairs{};
    std::array<std::atomic<uint32_t>, 2> singles{};  // 0x80 and 0xFF
    std::array<std::atomic<uint32_t>, 0x10000> toGbk{};
};

Tables& tables() {
    static const std::unique_ptr<Tables> instance = std::make_unique<Tables>();
    return *instance;
}

uint32_t cached(std::atomic<uint32_t>& entry, auto compute) {
    uint32_t value = entry.load(std::memory_order_relaxed);
    if (value == kUnknown) {
        value = compute();
        entry.store(value, std::memory_order_relaxed);
    }
    return value;
}

// Writes cp as UTF-8 at out (room for 4 bytes); returns the end.
char* putUtf8(char* out, uint32_t cp) {
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

// Next code point of utf8 from pos (advanced), or kNone for a malformed sequence.
uint32_t nextCodePoint(std::string_view utf8, size_t& pos) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(utf8[i]); };
    unsigned char first = byte(pos);
    int length = 0;
    uint32_t cp = 0, minimum = 0;
    if (first < 0x80) {
        ++pos;
        return first;
    } else if ((first & 0xE0) == 0xC0) {
        length = 2, cp = first & 0x1F, minimum = 0x80;
    } else if ((first & 0xF0) == 0xE0) {
        length = 3, cp = first & 0x0F, minimum = 0x800;
    } else if ((first & 0xF8) == 0xF0) {
        length = 4, cp = first & 0x07, minimum = 0x10000;
    } else {
        return kNone;
    }
    if (pos + length > utf8.size()) {
        return kNone;
    }
    for (int i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) {
            return kNone;
        }
        cp = (cp << 6) | (byte(pos + i) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return kNone;
    }
    pos += length;
    return cp;
}

// The position of the first byte from at on that is not ASCII; text.size() when there is none.
size_t skipAscii(std::string_view text, size_t at) {
    for (uint64_t word; at + 8 <= text.size(); at += 8) {
        std::memcpy(&word, text.data() + at, 8);
        if ((word & 0x8080808080808080ULL) != 0) {
            break;
        }
    }
    while (at < text.size() && static_cast<unsigned char>(text[at]) < 0x80) {
        ++at;
    }
    return at;
}

bool isAscii(std::string_view text) {
    return skipAscii(text, 0) == text.size();
}

struct Character {
    uint32_t codePoint;  // kNone when the bytes are not GBK
    size_t size;         // bytes taken: one for bytes that are not GBK
};

// The character at gbk[i]. Inlined into the loops of decode() and isValid(), which run over
// every text of a scan.
[[gnu::always_inline]] inline Character characterAt(Tables& t, std::string_view gbk, size_t i) {
    auto lead = static_cast<unsigned char>(gbk[i]);
    if (lead < 0x80) {
        return {lead, 1};
    }
    if (isLead(lead) && i + 1 < gbk.size() && isTrail(static_cast<unsigned char>(gbk[i + 1]))) {
        auto trail = static_cast<unsigned char>(gbk[i + 1]);
        return {cached(t.pairs[(lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst)],
                       [&] { return decodeWithIconv(gbk.data() + i, 2); }),
                2};
    }
    if (lead == 0x80 || lead == 0xFF) {
        return {cached(t.singles[lead == 0xFF], [&] { return decodeWithIconv(gbk.data() + i, 1); }),
                1};
    }
    return {kNone, 1};
}

}  // namespace

std::string GbkCodec::decode(std::string_view gbk, bool* invalid) {
    if (invalid) {
        *invalid = false;
    }
    if (isAscii(gbk)) {
        return std::string(gbk);
    }
    Tables& t = tables();
    // Each byte becomes at most three bytes of UTF-8 (a lone byte becomes U+FFFD).
    std::string out(gbk.size() * 3, '\0');
    char* end = out.data();
    for (size_t i = 0; i < gbk.size();) {
        const Character character = characterAt(t, gbk, i);
        uint32_t cp = character.codePoint;
        i += character.size;
        if (cp == kNone) {
            cp = kReplacement;
            if (invalid) {
                *invalid = true;
            }
        }
        end = putUtf8(end, cp);
    }
    out.resize(end - out.data());
    return out;
}

// Whether the 16 bytes at text are eight characters of the GB2312 hanzi rows (leads B0-F7,
// trails A1-FE, without D7FA-D7FE), every one of them a GBK character: most of a Chinese
// text, checked eight characters at a time.
inline bool eightHanzi(const char* text) {
#ifdef __SSE2__
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    // Bytes within [low, high] lane by lane: max(bytes, low) == bytes == min(bytes, high).
    const __m128i low = _mm_set1_epi16(static_cast<short>(0xA1B0));   // lead B0, trail A1
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFEF7));  // lead F7, trail FE
    const __m128i inside = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(bytes, low), bytes),
                                         _mm_cmpeq_epi8(_mm_min_epu8(bytes, high), bytes));
    // A lead D7 is left to the table (D7FA-D7FE are no characters).
    const __m128i leadD7 =
        _mm_cmpeq_epi16(_mm_and_si128(bytes, _mm_set1_epi16(0x00FF)), _mm_set1_epi16(0x00D7));
    return _mm_movemask_epi8(_mm_andnot_si128(leadD7, inside)) == 0xFFFF;
#else
    for (int i = 0; i < 16; i += 2) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const auto trail = static_cast<unsigned char>(text[i + 1]);
        if (lead < 0xB0 || lead > 0xF7 || lead == 0xD7 || trail < 0xA1 || trail > 0xFE) {
            return false;
        }
    }
    return true;
#endif
}

bool GbkCodec::isValid(std::string_view gbk) {
    Tables& t = tables();
    for (size_t i = skipAscii(gbk, 0); i < gbk.size();) {
        const auto lead = static_cast<unsigned char>(gbk[i]);
        if (lead < 0x80) {
            i = skipAscii(gbk, i);  // the blanks after a text, most often
            continue;
        }
        if (i + 16 <= gbk.size() && eightHanzi(gbk.data() + i)) {
            i += 16;
            continue;
        }
        const Character character = characterAt(t, gbk, i);
        if (character.codePoint == kNone) {
            return false;
        }
        i += character.size;
    }
    return true;
}

std::optional<std::string> GbkCodec::encode(std::string_view utf8) {
    if (isAscii(utf8)) {
        return std::string(utf8);
    }
    Tables& t = tables();
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        uint32_t cp = nextCodePoint(utf8, pos);
        if (cp == kNone || cp > 0xFFFF) {
            return std::nullopt;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
            continue;
        }
        uint32_t packed = cached(t.toGbk[cp], [&] { return encodeWithIconv(cp); });
        if (packed == kNone) {
            return std::nullopt;
        }
        if ((packed >> 16) == 2) {
            out += static_cast<char>((packed >> 8) & 0xFF);
        }
        out += static_cast<char>(packed & 0xFF);
    }
    return out;
}

size_t GbkCodec::fitPrefix(std::string_view gbk, size_t maxBytes) {
    size_t i = 0;
    while (i < gbk.size()) {
        auto lead = static_cast<unsigned char>(gbk[i]);
        size_t width =
            (isLead(lead) && i + 1 < gbk.size() && isTrail(static_cast<unsigned char>(gbk[i + 1])))
                ? 2
                : 1;
        if (i + width > maxBytes) {
            break;
        }
        i += width;
    }
    return i;
}

}  // namespace store
