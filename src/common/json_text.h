// JSON texts for machine-readable output: a quoted string, and a small builder of objects and
// arrays that takes care of the commas.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The text as a JSON string literal. Bytes that are not valid UTF-8 are taken as Latin-1
// characters (names and paths are bytes; the output must still be valid JSON).
std::string JsonQuoted(std::string_view text);

// Appends members or elements to a JSON object or array under construction.
class JsonWriter {
public:
    JsonWriter& BeginObject(std::string_view key = {});
    JsonWriter& EndObject();
    JsonWriter& BeginArray(std::string_view key = {});
    JsonWriter& EndArray();
    JsonWriter& String(std::string_view key, std::string_view value);
    JsonWriter& Number(std::string_view key, long long value);
    JsonWriter& Real(std::string_view key, double value);
    JsonWriter& Bool(std::string_view key, bool value);
    // An array element (no key).
    JsonWriter& String(std::string_view value) { return String({}, value); }
    const std::string& Text() const { return text_; }

private:
    void Key(std::string_view key);
    std::string text_;
    bool needComma_ = false;
};

}  // namespace corvane
