#include "json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vistrel::cli {

namespace {

// Length of the well-formed UTF-8 sequence starting at text[i], or 0 when the
// bytes there are not one (overlong forms, surrogates and values above
// U+10FFFF included).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return length;
}

}  // namespace

namespace {

// Appends text as a quoted JSON string.
void AppendQuoted(std::string& out, std::string_view text) {
    // Most keys and texts need no escaping: one copy.
    bool plain = true;
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            plain = false;
            break;
        }
    }
    out += '"';
    if (plain) {
        out.append(text);
        out += '"';
        return;
    }
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8SequenceLength(text, i);
            if (length == 0) {
                out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8
                ++i;
            } else {
                out.append(text, i, length);
                i += length;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
    out += '"';
}

}  // namespace

std::string JsonQuote(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    AppendQuoted(out, text);
    return out;
}

void CJsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!firstInContainer_.empty()) {
        if (!firstInContainer_.back()) text_ += ',';
        firstInContainer_.back() = false;
    }
}

CJsonWriter& CJsonWriter::BeginObject() {
    BeforeValue();
    text_ += '{';
    firstInContainer_.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::EndObject() {
    firstInContainer_.pop_back();
    text_ += '}';
    return *this;
}

CJsonWriter& CJsonWriter::BeginArray() {
    BeforeValue();
    text_ += '[';
    firstInContainer_.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::EndArray() {
    firstInContainer_.pop_back();
    text_ += ']';
    return *this;
}

CJsonWriter& CJsonWriter::Key(std::string_view name) {
    BeforeValue();
    AppendQuoted(text_, name);
    text_ += ':';
    afterKey_ = true;
    return *this;
}

CJsonWriter& CJsonWriter::Value(std::string_view text) {
    BeforeValue();
    AppendQuoted(text_, text);
    return *this;
}

CJsonWriter& CJsonWriter::Value(int64_t number) {
    BeforeValue();
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    text_.append(buffer, result.ptr);
    return *this;
}

CJsonWriter& CJsonWriter::Value(double number) {
    if (!std::isfinite(number)) return Null();
    BeforeValue();
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    text_.append(buffer, result.ptr);
    return *this;
}

CJsonWriter& CJsonWriter::Value(float number) {
    if (!std::isfinite(number)) return Null();
    BeforeValue();
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    text_.append(buffer, result.ptr);
    return *this;
}

CJsonWriter& CJsonWriter::Value(bool flag) {
    BeforeValue();
    text_ += flag ? "true" : "false";
    return *this;
}

CJsonWriter& CJsonWriter::Null() {
    BeforeValue();
    text_ += "null";
    return *this;
}

}  // namespace vistrel::cli
