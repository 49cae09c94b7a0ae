// A minimal streaming JSON writer: it places the commas and escapes strings,
// so the output parses whatever text the registry or the system returns.
#pragma once

#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

namespace tvc_check {

// Indented for a person to read, or compact (no blanks between the tokens)
// for a file that only a program reads, a third of the indented size.
enum class json_layout { indented, compact };

class json_writer {
public:
    explicit json_writer(std::FILE *out, json_layout layout = json_layout::indented) : out_(out), layout_(layout) {}

    void begin_object();
    void end_object();
    void begin_array();
    void end_array();
    // The name of the next member of the enclosing object.
    void key(const char *name);

    void value(const char *text);  // null pointer: JSON null
    void value(const std::string &text) { value(text.c_str()); }
    void value(bool flag);
    void value(long long number);
    // The shortest text that reads back as the same double; null when it is
    // not finite, which JSON cannot hold.
    void value(double number);
    template <typename Integer, std::enable_if_t<std::is_integral_v<Integer>, int> = 0>
    void value(Integer number) {
        value(static_cast<long long>(number));
    }
    void null();

    // Shorthands for a member of the enclosing object.
    template <typename Value> void member(const char *name, const Value &content) {
        key(name);
        value(content);
    }

    // A member holding one object per element; write(element) writes the
    // object's members.
    template <typename Range, typename Write>
    void object_array(const char *name, const Range &elements, Write write) {
        key(name);
        begin_array();
        for (const auto &element : elements) {
            begin_object();
            write(element);
            end_object();
        }
        end_array();
    }

    // A member holding an array of strings.
    template <typename Range> void string_array(const char *name, const Range &texts) {
        key(name);
        begin_array();
        for (const auto &text : texts) value(text);
        end_array();
    }

    // Narrow text in the process code page as a JSON string: every character
    // outside printable ASCII becomes a \u escape (after conversion from the
    // code page), so the result is plain ASCII and always valid.
    static std::string quoted(const char *text);

private:
    void before_value();
    void newline();

    std::FILE *out_;
    json_layout layout_;
    // One flag per open container: whether it already holds an element.
    std::vector<bool> has_elements_;
    bool after_key_ = false;
};

}  // namespace tvc_check
