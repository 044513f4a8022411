#pragma once
// A minimal JSON writer for the one result document each subcommand prints.
// Strings are emitted as valid UTF-8 whatever bytes they came from (file
// comments are arbitrary bytes), and non-finite numbers become null, so that
// every consumer can parse the output.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vistrel::cli {

class CJsonWriter {
  public:
    CJsonWriter& BeginObject();
    CJsonWriter& EndObject();
    CJsonWriter& BeginArray();
    CJsonWriter& EndArray();
    // Names the next value inside an object.
    CJsonWriter& Key(std::string_view name);
    CJsonWriter& Value(std::string_view text);
    CJsonWriter& Value(const std::string& text) { return Value(std::string_view(text)); }
    CJsonWriter& Value(const char* text) { return Value(std::string_view(text)); }
    CJsonWriter& Value(int64_t number);
    CJsonWriter& Value(int32_t number) { return Value(static_cast<int64_t>(number)); }
    CJsonWriter& Value(uint32_t number) { return Value(static_cast<int64_t>(number)); }
    // Shortest text that reads back as the same double; null when not finite.
    CJsonWriter& Value(double number);
    // Shortest text that reads back as the same float (0.1f prints as 0.1).
    CJsonWriter& Value(float number);
    CJsonWriter& Value(bool flag);
    CJsonWriter& Null();
    // Key and value in one step.
    template <typename T>
    CJsonWriter& Field(std::string_view name, const T& value) {
        Key(name);
        return Value(value);
    }

    // Room for a document of about this many bytes (large results grow less).
    void Reserve(std::size_t bytes) { text_.reserve(bytes); }

    // The document so far (complete once every object and array is closed).
    const std::string& Text() const { return text_; }

  private:
    void BeforeValue();
    std::string text_;
    // One entry per open container: true while it has no element yet.
    std::vector<bool> firstInContainer_;
    bool afterKey_ = false;
};

// `text` as a quoted JSON string: control characters, quote and backslash
// escaped, invalid UTF-8 sequences replaced by U+FFFD.
std::string JsonQuote(const std::string& text);

}  // namespace vistrel::cli
