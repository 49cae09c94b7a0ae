#include "tools/json_writer.h"

#include <windows.h>

#include <charconv>
#include <cmath>
#include <cstring>

#include "common/code_page_text.h"

namespace tvc_check {

std::string json_writer::quoted(const char *text) {
    std::string result = "\"";
    // Most text is printable ASCII, the same in every code page: taken as it is.
    const char *end = text;
    while (*end >= 0x20 && *end < 0x7F && *end != '"' && *end != '\\') ++end;
    if (*end == '\0') return result.append(text, end) + '"';
    std::wstring wide;
    if (!tvc::widen(text, std::strlen(text), wide)) wide.assign(L"?");  // not text in the code page: nothing to show
    for (const wchar_t character : wide) {
        const unsigned code = static_cast<unsigned>(character);
        if (character == L'"' || character == L'\\') {
            result += '\\';
            result += static_cast<char>(character);
        } else if (code >= 0x20 && code < 0x7F) {
            result += static_cast<char>(character);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", code & 0xFFFFu);
            result += escape;
        }
    }
    return result + "\"";
}

void json_writer::newline() {
    if (layout_ == json_layout::compact) return;
    std::fputc('\n', out_);
    for (std::size_t level = 0; level < has_elements_.size(); ++level) std::fputs("  ", out_);
}

void json_writer::before_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (has_elements_.empty()) return;
    if (has_elements_.back()) std::fputc(',', out_);
    has_elements_.back() = true;
    newline();
}

void json_writer::key(const char *name) {
    before_value();
    const std::string text = quoted(name) + (layout_ == json_layout::compact ? ":" : ": ");
    std::fwrite(text.data(), 1, text.size(), out_);
    after_key_ = true;
}

void json_writer::begin_object() {
    before_value();
    std::fputc('{', out_);
    has_elements_.push_back(false);
}

void json_writer::begin_array() {
    before_value();
    std::fputc('[', out_);
    has_elements_.push_back(false);
}

void json_writer::end_object() {
    const bool had_elements = has_elements_.back();
    has_elements_.pop_back();
    if (had_elements) newline();
    std::fputc('}', out_);
    if (has_elements_.empty()) std::fputc('\n', out_);
}

void json_writer::end_array() {
    const bool had_elements = has_elements_.back();
    has_elements_.pop_back();
    if (had_elements) newline();
    std::fputc(']', out_);
}

void json_writer::value(const char *text) {
    if (text == nullptr) return null();
    before_value();
    const std::string quoted_text = quoted(text);
    std::fwrite(quoted_text.data(), 1, quoted_text.size(), out_);
}

void json_writer::value(bool flag) {
    before_value();
    std::fputs(flag ? "true" : "false", out_);
}

void json_writer::value(long long number) {
    before_value();
    std::fprintf(out_, "%lld", number);
}

void json_writer::value(double number) {
    if (!std::isfinite(number)) return null();
    before_value();
    char text[32];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, number);
    std::fwrite(text, 1, static_cast<std::size_t>(end.ptr - text), out_);
}

void json_writer::null() {
    before_value();
    std::fputs("null", out_);
}

}  // namespace tvc_check
