// One stand-in runtime library, expanded from the binding table named by
// TVC_STAND_IN_TABLE: every symbol of the table, exported under its name,
// writes its call to the journal and returns the configured result. Built
// with TVC_OMIT_<symbol> defined as "~,1", the library lacks that symbol.
#include "forwarding/signature_codes.h"
#include "forwarding/api_lock_pair.h"
#include "tests/forwarding/test_runtime/argument_text.h"
#include "tests/forwarding/test_runtime/journal.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace {

bool named(const char *symbol, const char *name) { return std::strcmp(symbol, name) == 0; }

// Functions whose text arguments the tests read; the others get addresses
// that hold no text.
bool takes_text(const char *symbol) {
    return named(symbol, "tvcAddCanonicalPathMacro") || named(symbol, "kaVErrMsgIdAndTxt");
}

class stand_in_call {
public:
    explicit stand_in_call(const char *symbol)
        : symbol_(symbol), others_inside_(journal_enter_runtime()), lock_depth_(journal_lock_depth()) {}
    ~stand_in_call() { journal_leave_runtime(); }
    stand_in_call(const stand_in_call &) = delete;
    stand_in_call &operator=(const stand_in_call &) = delete;

    void add(const char *value) {
        last_pointer_ = value;
        append(takes_text(symbol_) ? "\"" + std::string(value) + "\"" : tvc_test::argument_text(value));
    }
    void add(std::int32_t value) {
        last_count_ = value;
        append(tvc_test::argument_text(value));
    }
    template <typename Value> void add(Value value) { append(tvc_test::argument_text(value)); }
    // A list is read as as many 64-bit values as the 32-bit argument before
    // it says, or, without one, formatted with the text before it.
    void add(char *list_start) {
        va_list list = list_start;
        std::string text = "list:";
        if (last_count_ >= 0) {
            for (int index = 0; index < last_count_; ++index) {
                text += " " + tvc_test::argument_text(va_arg(list, std::size_t));
            }
        } else {
            char formatted[256];
            std::vsnprintf(formatted, sizeof formatted, last_pointer_, list);
            text += formatted;
        }
        append(text);
    }

    template <typename Result> Result finish() {
        const std::string line = std::string(symbol_) + "(" + arguments_ + ") lock=" +
                                 std::to_string(lock_depth_) + (others_inside_ ? " overlapping" : "");
        journal_record(line.c_str());
        if (void (*callback)() = journal_callback(symbol_)) callback();
        if (journal_throwing(symbol_)) throw std::runtime_error(symbol_);
        if constexpr (!std::is_void_v<Result>) {
            unsigned char bytes[16] = {};
            Result result{};
            if (!journal_result(symbol_, bytes)) {
                if constexpr (std::is_same_v<Result, bool>) result = true;
                return result;
            }
            std::memcpy(&result, bytes, sizeof result);
            return result;
        }
    }

private:
    void append(const std::string &text) { arguments_ += (arguments_.empty() ? "" : ", ") + text; }

    const char *symbol_;
    int others_inside_;
    int lock_depth_;
    std::string arguments_;
    const char *last_pointer_ = "";
    int last_count_ = -1;
};

// The lock functions have no result in the tables; this keeps the body one
// shape for every entry.
template <typename Result> Result lock_call(void (*operation)()) {
    operation();
    return Result();
}

}  // namespace

// The lock functions are the stand-in API lock itself and are not journaled.
#define TVC_STAND_IN_BODY(symbol, result, args)                                  \
    using result_type = TVC_RESULT_TYPE(result);                                 \
    if (named(#symbol, TVC_API_LOCK_ENTER_NAME)) return lock_call<result_type>(journal_lock_acquire); \
    if (named(#symbol, TVC_API_LOCK_LEAVE_NAME)) return lock_call<result_type>(journal_lock_release); \
    stand_in_call call(#symbol);                                                 \
    TVC_EACH(TVC_JOURNAL_ARGUMENT, TVC_NOTHING, TVC_STAND_IN_UNPACK args)        \
    return call.finish<result_type>();
#define TVC_JOURNAL_ARGUMENT(code, n) call.add(argument_##n);
#define TVC_STAND_IN_UNPACK(...) __VA_ARGS__

#define TVC_FAMILY(name, routine, file)
#define TVC_SPECIAL(export_name, result, args)
#define TVC_ENTRY(shape, export_name, symbol, result, args)                           \
    TVC_EXPORTED_UNLESS_OMITTED(symbol) TVC_RESULT_TYPE(result) symbol(TVC_PARAMS args) { \
        TVC_STAND_IN_BODY(symbol, result, args)                                                 \
    }
extern "C" {
#include TVC_STAND_IN_TABLE
}
