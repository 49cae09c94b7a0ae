#include "tools/tvcvrtrt-check/type_library_reader.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "common/unique_resource.h"
#include "tools/tvcvrtrt-check/text.h"
#include "tvcvrtrt/component_info.h"

namespace tvc_check {

namespace {

// Exit statuses of the child; any other status is the code of the
// exception that ended it.
constexpr DWORD child_read = 0;
constexpr DWORD child_failed = 1;
constexpr DWORD child_timed_out = 2;
// No real type library takes a child this long; a reader that loops on a
// damaged file is ended.
constexpr DWORD child_time_limit_ms = 60000;

// A record's text field, which a full field leaves without its NUL.
template <std::size_t Size> std::string field(const char (&text)[Size]) {
    return std::string(text, strnlen(text, Size));
}

template <typename Node, typename Visit> void each(const Node *node, Visit visit) {
    for (; node != nullptr; node = node->next) visit(*node);
}

method_record method_from(const methodInfo &method) {
    method_record record{field(method.name), method.member_id, method.return_type, {}};
    each(method.params, [&](const paramInfo &param) {
        record.params.push_back({field(param.name), param.type, param.flags, param.indirection});
    });
    return record;
}

// ---- the wire: one record a line, fields separated by tabs, each field
// with its backslashes, tabs and line breaks escaped.

std::string escaped(const std::string &text) {
    std::string result;
    for (const char character : text) {
        switch (character) {
        case '\\': result += "\\\\"; break;
        case '\t': result += "\\t"; break;
        case '\n': result += "\\n"; break;
        case '\r': result += "\\r"; break;
        default: result += character;
        }
    }
    return result;
}

std::vector<std::string> fields_of(const std::string &line) {
    std::vector<std::string> fields(1);
    for (std::size_t index = 0; index < line.size(); ++index) {
        const char character = line[index];
        if (character == '\t') {
            fields.emplace_back();
        } else if (character == '\\' && index + 1 < line.size()) {
            const char next = line[++index];
            fields.back() += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            fields.back() += character;
        }
    }
    return fields;
}

void write_line(std::initializer_list<std::string> fields) {
    std::string line;
    for (const std::string &text : fields) line += (line.empty() ? "" : "\t") + escaped(text);
    std::fputs((line + "\n").c_str(), stdout);
}

void write_methods(const char *tag, const std::vector<method_record> &methods) {
    for (const method_record &method : methods) {
        write_line({tag, method.name, std::to_string(method.member_id), std::to_string(method.return_type)});
        for (const parameter_record &param : method.params) {
            write_line({"P", param.name, std::to_string(param.type), std::to_string(param.flags),
                        std::to_string(param.indirection)});
        }
    }
}

void write_library(const type_library_record &library) {
    write_line({"L", std::to_string(library.major), std::to_string(library.minor)});
    for (const class_record &cls : library.classes) {
        write_line({"C", cls.description, cls.clsid, cls.prog_id, cls.version_independent_prog_id, cls.server_path,
                    cls.libid});
        write_methods("M", cls.methods);
        write_methods("V", cls.events);
        for (const property_record &property : cls.properties) {
            write_line({"R", property.name, std::to_string(property.member_id), property.readable ? "1" : "0",
                        property.writable ? "1" : "0"});
        }
    }
}

// False on an answer that is not one the child writes.
bool parse_library(const std::string &answer, type_library_record &library, std::string &error) {
    std::vector<method_record> *methods = nullptr;
    std::size_t start = 0;
    while (start < answer.size()) {
        std::size_t end = answer.find('\n', start);
        if (end == std::string::npos) return false;
        const std::vector<std::string> fields = fields_of(answer.substr(start, end - start));
        start = end + 1;
        const std::string &tag = fields[0];
        class_record *cls = library.classes.empty() ? nullptr : &library.classes.back();
        const auto number = [&](std::size_t index) { return std::atoi(fields[index].c_str()); };
        if (tag == "E" && fields.size() == 2) {
            error = fields[1];
        } else if (tag == "L" && fields.size() == 3) {
            library.major = static_cast<unsigned>(number(1));
            library.minor = static_cast<unsigned>(number(2));
        } else if (tag == "C" && fields.size() == 7) {
            library.classes.push_back({fields[1], fields[2], fields[3], fields[4], fields[5], fields[6], {}, {}, {}});
            methods = nullptr;
        } else if ((tag == "M" || tag == "V") && fields.size() == 4 && cls != nullptr) {
            methods = tag == "M" ? &cls->methods : &cls->events;
            methods->push_back({fields[1], number(2), static_cast<unsigned>(number(3)), {}});
        } else if (tag == "P" && fields.size() == 5 && methods != nullptr) {
            methods->back().params.push_back(
                {fields[1], static_cast<unsigned>(number(2)), static_cast<unsigned>(number(3)), number(4)});
        } else if (tag == "R" && fields.size() == 5 && cls != nullptr) {
            cls->properties.push_back({fields[1], number(2), fields[3] == "1", fields[4] == "1"});
        } else {
            return false;
        }
    }
    return true;
}

// The child ends with the exception's code instead of the system's crash
// handling (which may start a debugger and wait).
LONG WINAPI end_with_exception_code(EXCEPTION_POINTERS *exception) {
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Everything the child writes, until it closes its end.
std::string read_all(HANDLE pipe) {
    std::string answer;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0) answer.append(buffer, read);
    return answer;
}

}  // namespace

type_library_record from_records(const componentInfo &component) {
    type_library_record library;
    library.name = field(component.name);
    library.libid = field(component.libid);
    library.path = field(component.type_lib_path);
    library.major = component.major_version;
    library.minor = component.minor_version;
    each(component.classes, [&](const classInfo &cls) {
        class_record record{field(cls.description),
                            field(cls.clsid),
                            field(cls.prog_id),
                            field(cls.version_independent_prog_id),
                            field(cls.server_path),
                            field(cls.libid),
                            {},
                            {},
                            {}};
        each(cls.methods, [&](const methodInfo &method) { record.methods.push_back(method_from(method)); });
        each(cls.events, [&](const methodInfo &method) { record.events.push_back(method_from(method)); });
        each(cls.properties, [&](const propertyInfo &property) {
            record.properties.push_back(
                {field(property.name), property.member_id, property.getter != nullptr, property.setter != nullptr});
        });
        library.classes.push_back(std::move(record));
    });
    return library;
}

int serve_type_library(const char *argument) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(end_with_exception_code);
    // A process started from here (a debugger on a crash that passes the
    // filter by) must not hold the answer's pipe open after this one ends.
    SetHandleInformation(GetStdHandle(STD_OUTPUT_HANDLE), HANDLE_FLAG_INHERIT, 0);
    _setmode(_fileno(stdout), _O_BINARY);
    char libid[40] = {};
    int major = 0, minor = 0;
    if (std::sscanf(argument, "%39[^/]/%d.%d", libid, &major, &minor) != 3) {
        write_line({"E", "bad request"});
        return child_failed;
    }
    const tvc::unique_com_initialization com(SUCCEEDED(CoInitialize(nullptr)));
    componentInfo *tree = nullptr;
    const HRESULT result = tvcGetLIBIDInfo_proxy(libid, major, minor, 1, &tree);
    const int status = FAILED(result) ? child_failed : tree == nullptr ? child_failed : child_read;
    if (FAILED(result)) {
        write_line({"E", "the library's query answered " + hresult_text(result)});
    } else if (tree == nullptr) {
        write_line({"E", "this version is no longer registered"});
    } else {
        write_library(from_records(*tree));
    }
    tvcFreeComponentInfo_proxy(&tree);
    std::fflush(stdout);
    return status;
}

void read_in_child(type_library_record &library) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) {
        library.read_error = "could not be read: no pipe to a reader";
        return;
    }
    const tvc::unique_handle reader(read_end);
    tvc::unique_handle writer(write_end);
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    std::wstring command_line = L"\"" + program_path() + L"\" " + widened(read_type_library_option) + L" " +
                                widened(library.libid + "/" + std::to_string(library.major) + "." +
                                        std::to_string(library.minor));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
        library.read_error = "could not be read: the reader did not start";
        return;
    }
    const tvc::unique_handle process(child.hProcess), thread(child.hThread);
    writer.reset();  // only the child holds the write end now, so its exit ends the read
    std::atomic<bool> timed_out{false};
    std::thread watchdog([&] {
        if (WaitForSingleObject(process.get(), child_time_limit_ms) == WAIT_TIMEOUT) {
            timed_out = true;
            TerminateProcess(process.get(), child_timed_out);
        }
    });
    const std::string answer = read_all(read_end);
    WaitForSingleObject(process.get(), INFINITE);
    watchdog.join();
    DWORD status = 0;
    GetExitCodeProcess(process.get(), &status);
    std::string error;
    type_library_record read;
    if (timed_out) {
        library.read_error = "could not be read: the reader did not finish";
    } else if (status != child_read && status != child_failed) {
        char text[80];
        std::snprintf(text, sizeof text, "could not be read: the reader crashed, exception 0x%08lX",
                      static_cast<unsigned long>(status));
        library.read_error = text;
    } else if (!parse_library(answer, read, error) || (status == child_read) != error.empty()) {
        library.read_error = "could not be read: the reader's answer is damaged";
    } else if (status == child_failed) {
        library.read_error = "could not be read: " + error;
    } else {
        library.major = read.major;
        library.minor = read.minor;
        library.classes = std::move(read.classes);
        library.loaded = true;
    }
}

}  // namespace tvc_check
