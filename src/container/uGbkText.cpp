#include "container/uGbkText.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace {

// One iconv conversion; Replacement (may be empty) stands for an input sequence the
// target cannot hold, and the input moves on by SkipOnError bytes.
std::string Convert(const char* To, const char* From, const std::string& In,
                    const std::string& Replacement, bool ThrowOnInvalid) {
    iconv_t cd = iconv_open(To, From);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error(std::string("the text conversion ") + From + " to " + To +
                                 " is not available");
    std::string out;
    out.reserve(In.size() * 2 + 8);
    char* inPtr = const_cast<char*>(In.data());
    size_t inLeft = In.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, size_t(outPtr - buffer));
        if (rc != size_t(-1))
            continue;
        if (errno == E2BIG)
            continue;
        if (errno == EILSEQ || errno == EINVAL) {
            if (ThrowOnInvalid && errno == EINVAL) {
                iconv_close(cd);
                throw std::runtime_error("the text ends inside a character");
            }
            // Skip one character of the input: a whole UTF-8 sequence, or one byte.
            size_t skip = 1;
            const auto lead = static_cast<unsigned char>(*inPtr);
            if (std::string_view(From) == "UTF-8") {
                skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
                if (skip > inLeft)
                    skip = inLeft;
            } else if (lead >= 0x81 && lead <= 0xFE && inLeft >= 2) {
                skip = 2;
            }
            inPtr += skip;
            inLeft -= skip;
            out += Replacement;
            continue;
        }
        iconv_close(cd);
        throw std::runtime_error("text conversion failed");
    }
    iconv_close(cd);
    return out;
}

} // namespace

bool IsValidUtf8(const std::string& Bytes) {
    size_t i = 0;
    const size_t n = Bytes.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(Bytes[i]);
        size_t len = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (size_t k = 1; k < len; ++k) {
            const auto t = static_cast<unsigned char>(Bytes[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
            (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += len;
    }
    return true;
}

std::string Utf8ToGbk(const std::string& Text) {
    if (!IsValidUtf8(Text))
        throw std::runtime_error("the text is not valid UTF-8");
    return Convert("GBK", "UTF-8", Text, "?", false);
}

std::string GbkToUtf8(const std::string& Bytes) {
    return Convert("UTF-8", "GBK", Bytes, "\xEF\xBF\xBD", false);
}

std::string TruncateGbk(const std::string& Bytes, size_t Limit) {
    if (Bytes.size() <= Limit)
        return Bytes;
    size_t i = 0;
    while (i < Limit) {
        const auto c = static_cast<unsigned char>(Bytes[i]);
        const size_t len = (c >= 0x81 && c <= 0xFE && i + 1 < Bytes.size()) ? 2 : 1;
        if (i + len > Limit)
            break;
        i += len;
    }
    return Bytes.substr(0, i);
}
