// The diagnostic command's own pieces: the import table reader on damaged
// files, the option table, and the loader child's answer as the parent reads
// it. check-command.sh runs the command end to end.
#include <gtest/gtest.h>

#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/scratch_layout.h"
#include "tools/tvcvrtrt-check/command_line.h"
#include "tools/tvcvrtrt-check/environment_effects.h"
#include "tools/tvcvrtrt-check/library_dependencies.h"
#include "tools/tvcvrtrt-check/loader_answer.h"
#include "tools/tvcvrtrt-check/location_notes.h"
#include "tools/tvcvrtrt-check/type_library_reader.h"

namespace {

// ---- import tables

// A 64-bit library of one section that imports two libraries: the section's
// raw data starts with the descriptors, the names follow.
constexpr std::uint32_t header_at = 0x40;
constexpr std::uint32_t section_rva = 0x1000, section_file = 0x200, section_size = 0x200;
constexpr std::uint32_t first_name = 0x100, second_name = 0x110;  // within the section
constexpr std::size_t descriptor_size = sizeof(IMAGE_IMPORT_DESCRIPTOR);

struct image {
    std::vector<unsigned char> bytes;

    template <typename Record> Record &at(std::size_t offset) {
        return *reinterpret_cast<Record *>(bytes.data() + offset);
    }
    IMAGE_FILE_HEADER &file_header() { return at<IMAGE_FILE_HEADER>(header_at + 4); }
    IMAGE_OPTIONAL_HEADER64 &optional() { return at<IMAGE_OPTIONAL_HEADER64>(header_at + 4 + sizeof(IMAGE_FILE_HEADER)); }
    IMAGE_SECTION_HEADER &section() {
        return at<IMAGE_SECTION_HEADER>(header_at + 4 + sizeof(IMAGE_FILE_HEADER) + sizeof(IMAGE_OPTIONAL_HEADER64));
    }
    IMAGE_IMPORT_DESCRIPTOR &descriptor(std::size_t index) {
        return at<IMAGE_IMPORT_DESCRIPTOR>(section_file + index * descriptor_size);
    }
    void put_name(std::uint32_t offset_in_section, const std::string &name) {
        std::memcpy(bytes.data() + section_file + offset_in_section, name.data(), name.size());
    }
};

image two_imports() {
    image made{std::vector<unsigned char>(section_file + section_size)};
    made.at<IMAGE_DOS_HEADER>(0).e_magic = IMAGE_DOS_SIGNATURE;
    made.at<IMAGE_DOS_HEADER>(0).e_lfanew = header_at;
    made.at<std::uint32_t>(header_at) = IMAGE_NT_SIGNATURE;
    made.file_header().Machine = IMAGE_FILE_MACHINE_AMD64;
    made.file_header().NumberOfSections = 1;
    made.file_header().SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER64);
    made.optional().Magic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    made.optional().NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    made.optional().DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT] = {section_rva, 3 * descriptor_size};
    made.section().VirtualAddress = section_rva;
    made.section().SizeOfRawData = section_size;
    made.section().PointerToRawData = section_file;
    made.descriptor(0).Name = section_rva + first_name;
    made.descriptor(1).Name = section_rva + second_name;
    made.put_name(first_name, "KERNEL32.dll");
    made.put_name(second_name, "libbx.dll");
    return made;
}

std::string written(const tvc_test::scratch_layout &layout, const std::string &name, const image &file) {
    const std::string path = layout.dir() + name;
    std::FILE *out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return path;
    std::fwrite(file.bytes.data(), 1, file.bytes.size(), out);
    std::fclose(out);
    return path;
}

constexpr char not_a_library[] = "it is not a library (no executable file header)";
constexpr char damaged_header[] = "its header is damaged";
constexpr char damaged_table[] = "its import table is damaged";

TEST(CheckCommand, ReadsImportTablesWithoutTrustingTheFile) {
    struct row {
        const char *name;
        std::function<void(image &)> damage;
        const char *problem;
        std::vector<std::string> libraries;
    };
    const std::vector<row> rows{
        {"intact", [](image &) {}, "", {"KERNEL32.dll", "libbx.dll"}},
        {"32-bit", [](image &i) { i.file_header().Machine = IMAGE_FILE_MACHINE_I386; },
         "it is not a 64-bit x64 library", {}},
        {"header far away", [](image &i) { i.at<IMAGE_DOS_HEADER>(0).e_lfanew = 0x7FFFFFF0; }, not_a_library, {}},
        {"directories past the optional header",
         [](image &i) { i.file_header().SizeOfOptionalHeader = offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) + 8; },
         damaged_header, {}},
        {"no import directory", [](image &i) { i.optional().NumberOfRvaAndSizes = IMAGE_DIRECTORY_ENTRY_IMPORT; }, "",
         {}},
        {"import directory outside every section",
         [](image &i) { i.optional().DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress = 0x5000; },
         damaged_table, {}},
        {"name outside every section", [](image &i) { i.descriptor(1).Name = 0x5000; }, damaged_table, {}},
        {"name without its NUL at the end of the file",
         [](image &i) {
             i.bytes.resize(section_file + second_name + 5);
             i.section().SizeOfRawData = second_name + 5;
         },
         damaged_table, {}},
        {"name longer than any file name",
         [](image &i) {
             i.descriptor(0).Name = section_rva + 3 * descriptor_size;
             i.put_name(3 * descriptor_size, std::string(300, 'n'));
         },
         damaged_table, {}},
        {"name that is a path", [](image &i) { i.put_name(second_name, "..\\bx.dll"); }, damaged_table, {}},
        {"descriptors without a closing entry",
         [](image &i) {
             // Each descriptor names the same library, more of them than any
             // real library imports, and none closes the table.
             const std::size_t count = 4200, names_at = count * descriptor_size;
             i.bytes.resize(section_file + names_at + 16);
             i.section().SizeOfRawData = static_cast<DWORD>(names_at + 16);
             for (std::size_t index = 0; index < count; ++index) {
                 i.descriptor(index) = {};
                 i.descriptor(index).Name = static_cast<DWORD>(section_rva + names_at);
             }
             i.put_name(static_cast<std::uint32_t>(names_at), "loop.dll");
         },
         damaged_table, {}},
    };
    tvc_test::scratch_layout layout;
    for (const row &expected : rows) {
        SCOPED_TRACE(expected.name);
        image file = two_imports();
        expected.damage(file);
        const tvc_check::import_table table = tvc_check::read_import_table(written(layout, "row.dll", file));
        EXPECT_EQ(table.problem, expected.problem);
        if (expected.problem[0] == '\0') {
            EXPECT_EQ(table.libraries, expected.libraries);
        }
    }
    // Cut anywhere before its last name ends, the file is refused, whatever
    // part of it is lost.
    const image whole = two_imports();
    for (std::size_t size = 0; size < section_file + second_name + sizeof "libbx.dll"; ++size) {
        image cut = whole;
        cut.bytes.resize(size);
        const tvc_check::import_table table = tvc_check::read_import_table(written(layout, "cut.dll", cut));
        EXPECT_FALSE(table.problem.empty()) << "cut at " << size;
    }
    EXPECT_EQ(tvc_check::read_import_table(layout.dir() + "missing.dll").problem, "it cannot be opened");
}

// A library that names more missing libraries than the lookup takes: the
// first are looked for and named, the others counted as left out.
TEST(CheckCommand, LooksForMissingLibrariesWithinItsBound) {
    constexpr std::size_t count = 200;
    constexpr std::size_t names_at = (count + 1) * descriptor_size, name_size = 16;
    image file = two_imports();
    file.bytes.resize(section_file + names_at + count * name_size);
    file.section().SizeOfRawData = static_cast<DWORD>(names_at + count * name_size);
    for (std::size_t index = 0; index <= count; ++index) file.descriptor(index) = {};
    for (std::size_t index = 0; index < count; ++index) {
        const std::uint32_t name = static_cast<std::uint32_t>(names_at + index * name_size);
        file.descriptor(index).Name = section_rva + name;
        file.put_name(name, "gone" + std::to_string(index) + ".dll");
    }
    tvc_test::scratch_layout layout;
    std::string problem;
    std::size_t not_looked_up = 0;
    const std::vector<std::string> missing =
        tvc_check::missing_dependencies(written(layout, "many.dll", file), problem, not_looked_up);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(missing.size() + not_looked_up, count);
    EXPECT_LE(missing.size(), static_cast<std::size_t>(tvc_check::max_names_looked_up));
    EXPECT_GT(not_looked_up, 0u);
    ASSERT_FALSE(missing.empty());
    EXPECT_EQ(missing.front(), "gone0.dll");
}

// ---- options

TEST(CheckCommand, ParsesOptionsByTheTable) {
    struct row {
        std::vector<const char *> words;
        const char *error;  // empty: accepted
        std::function<bool(const tvc_check::command_line &)> holds;
    };
    const auto nothing = [](const tvc_check::command_line &) { return true; };
    const std::vector<row> rows{
        {{}, "", [](const auto &line) { return line.components && !line.json && !line.load && !line.job; }},
        {{"/?"}, "", [](const auto &line) { return line.help; }},
        {{"-h"}, "", [](const auto &line) { return line.help; }},
        // A word is an alias only as a whole.
        {{"/"}, "unknown option \"/\"", nothing},
        {{"--json", "--load", "--component", "Demo"}, "",
         [](const auto &line) { return line.json && line.load && line.component_name == "Demo"; }},
        {{"--component"}, "--component needs NAME", nothing},
        {{"--component", ""}, "--component needs NAME", nothing},
        {{"--trace-timeline", "run.trace"}, "--trace-timeline needs TRACE OUT.json", nothing},
        {{"--trace-timeline", "run.trace", "out.json"}, "",
         [](const auto &line) {
             return line.job != nullptr && std::strcmp(line.job_argument, "run.trace") == 0 &&
                    std::strcmp(line.timeline_output, "out.json") == 0;
         }},
        {{"--component", "Demo", "--no-components"}, "--component and --no-components cannot be used together",
         nothing},
        {{"--no-components", "--load"}, "--no-components and --load cannot be used together", nothing},
        {{"--json", "--trace-timeline", "a", "b"}, "--json and --trace-timeline cannot be used together", nothing},
        {{"--run", "2"}, "--run needs --trace-summary", nothing},
        {{"--run", "2", "--trace-summary", "run.trace"}, "",
         [](const auto &line) { return line.job != nullptr && std::strcmp(line.trace_run, "2") == 0; }},
        {{"--check-library", "libka.dll"}, "",
         [](const auto &line) { return line.job != nullptr && std::strcmp(line.job_argument, "libka.dll") == 0; }},
        {{"--json", "--frobnicate"}, "unknown option \"--frobnicate\"", nothing},
    };
    for (const row &expected : rows) {
        std::vector<char *> argv{const_cast<char *>("tvcvrtrt-check")};
        std::string shown = "tvcvrtrt-check";
        for (const char *word : expected.words) {
            argv.push_back(const_cast<char *>(word));
            shown += std::string(" ") + word;
        }
        SCOPED_TRACE(shown);
        tvc_check::command_line line;
        std::string error;
        const bool accepted = tvc_check::parse_command_line(static_cast<int>(argv.size()), argv.data(), line, error);
        EXPECT_EQ(error, expected.error);
        EXPECT_EQ(accepted, expected.error[0] == '\0');
        if (accepted) {
            EXPECT_TRUE(expected.holds(line));
        }
    }
}

// ---- the loader child's answer

tvc_check::library_check loaded_with_missing() {
    tvc_check::library_check library;
    library.loaded = true;
    // Every character the wire escapes, and a field far longer than a line
    // of any buffer.
    library.missing = {{"kaGetCell_700", "The specified procedure could not be found.\r\n",
                        "Fatal error finding symbol\tkaGetCell_700 in C:\\runtime\\libka.dll"},
                       {std::string(100000, 's'), "\\t is not a tab", std::string("a\\") + "\n"}};
    return library;
}

TEST(CheckCommand, ReadsTheLoaderAnswerItWritesAndNoOther) {
    const tvc_check::library_check loaded = loaded_with_missing();
    const std::string whole = tvc_check::loader_answer(loaded);
    tvc_check::library_check read;
    ASSERT_TRUE(tvc_check::read_loader_answer(whole, read));
    EXPECT_TRUE(read.loaded);
    ASSERT_EQ(read.missing.size(), 2u);
    for (std::size_t index = 0; index < read.missing.size(); ++index) {
        const tvc_check::missing_symbol &written = loaded.missing[index];
        EXPECT_EQ(read.missing[index].symbol, written.symbol);
        EXPECT_EQ(read.missing[index].reason, written.reason);
        EXPECT_EQ(read.missing[index].message, written.message);
    }
    tvc_check::library_check refused;
    refused.load_message = "Fatal error loading library C:\\runtime\\libka.dll";
    refused.load_reason = "Module not found.";
    tvc_check::library_check read_refused;
    ASSERT_TRUE(tvc_check::read_loader_answer(tvc_check::loader_answer(refused), read_refused));
    EXPECT_FALSE(read_refused.loaded);
    EXPECT_EQ(read_refused.load_message, refused.load_message);
    EXPECT_EQ(read_refused.load_reason, refused.load_reason);

    for (const std::string &damaged : {
             std::string(),                    // no answer
             whole.substr(0, whole.size() - 1),  // torn: the last line unfinished
             std::string("S"),                 // torn first line
             std::string("\n"),                // an empty record
             std::string("X\n"),               // unknown record
             std::string("S\nX\tsymbol\n"),    // unknown record after a good one
             std::string("S\tmore\n"),         // record longer than its kind
             std::string("S\nM\tsymbol\treason\tmessage\textra\n"),
             std::string("S\nM\tsymbol\treason\n"),  // record shorter than its kind
             std::string("N\tmessage\treason\nS\n"),  // a refusal says nothing more
             std::string("S\nN\tmessage\treason\n"),
         }) {
        SCOPED_TRACE(damaged.substr(0, 60));
        tvc_check::library_check library;
        EXPECT_FALSE(tvc_check::read_loader_answer(damaged, library));
        EXPECT_FALSE(library.loaded);
    }
}

// Every field of every record kind, with text that needs escaping, through
// the child's answer and back; then answers the child never writes.
TEST(CheckCommand, ReadsTheTypeLibraryAnswerItWritesAndNoOther) {
    tvc_check::type_library_record library;
    library.major = 3;
    library.minor = 65535;
    library.interfaces = {{"IGauge", "{79981D50-6CCA-4557-8AAF-B2D0C825501D}"}};
    tvc_check::class_record meter{"Meter\tone", "{619BD19B-371D-48E7-A974-1DCEE181AE3A}", "TvcCheckMeter.1",
                                  "TvcCheckMeter", "C:\\meter\\meter.dll", "{LIBID}", {}, {}, {}, {}};
    meter.methods = {{"Read", 1, VT_R8, 0, "{I1}", {{"channel", VT_BSTR, PARAMFLAG_FIN, 0}, {"fresh\n", VT_BOOL, 3, 1}}},
                     {"Limits", -2, VT_ARRAY | VT_R8, 2, "{I2}", {}}};
    meter.events = {{"Overload", 7, VT_EMPTY, 0, "{E1}", {{"pascals", VT_R8, PARAMFLAG_FIN, 0}}}};
    meter.properties = {{"Pressure", 4, true, false, "{I2}", VT_R8, 1}, {"Unit", 5, false, true, "{I1}", VT_BSTR, 0}};
    library.classes = {meter, {"Empty", "{C2}", "", "", "", "", {}, {}, {}, {}}};

    const std::string answer = tvc_check::library_answer(library);
    tvc_check::type_library_record read;
    std::string error;
    ASSERT_TRUE(tvc_check::read_library_answer(answer, read, error)) << answer;
    EXPECT_EQ(error, "");
    EXPECT_EQ(tvc_check::library_answer(read), answer);
    EXPECT_EQ(read.minor, 65535u);
    ASSERT_EQ(read.classes.size(), 2u);
    EXPECT_EQ(read.classes[0].description, "Meter\tone");
    ASSERT_EQ(read.classes[0].methods.size(), 2u);
    EXPECT_EQ(read.classes[0].methods[0].params[1].name, "fresh\n");
    EXPECT_EQ(read.classes[0].methods[1].member_id, -2);
    EXPECT_EQ(read.classes[0].events[0].params[0].name, "pascals");
    EXPECT_TRUE(read.classes[0].properties[1].writable);
    EXPECT_EQ(read.classes[0].properties[0].iid, "{I2}");

    for (const std::string &damaged : {
             answer.substr(0, answer.size() - 1),  // torn
             std::string("X\n"),                     // unknown record
             std::string("L\t1\n"),                  // shorter than its kind
             std::string("L\t1\t0\tmore\n"),         // longer than its kind
             std::string("M\tRead\t1\t5\t0\t{I}\n"),   // a method before any class
             std::string("C\td\tc\tp\tv\ts\tl\nP\tx\t8\t0\t1\n"),  // a parameter before any method
             std::string("E\treason\tmore\n"),
         }) {
        SCOPED_TRACE(damaged.substr(0, 60));
        tvc_check::type_library_record damaged_read;
        EXPECT_FALSE(tvc_check::read_library_answer(damaged, damaged_read, error));
    }
}

// A directory variable the library passes over, and a path it uses that the
// runtime may not reach, each with its real cause. A value outside the code
// page with no short name is what Windows gives on a volume without 8.3
// names; Wine always makes one, so the inputs stand in for the process.
TEST(CheckCommand, NamesWhyAPathIsNotUsedOrMayNotBeReached) {
    tvc_test::scratch_layout layout;
    const std::string long_dir = layout.dir() + std::string(270 - layout.dir().size(), 'l') + "\\";
    struct case_row {
        const char *what;
        tvc::location_inputs inputs;
        const char *effect_starts;  // VRTROOT's effect
    };
    tvc::location_inputs foreign;
    foreign.vrtroot = "C:\\" + std::string(6, '?') + "-rt";
    foreign.vrtroot_held = false;
    tvc::location_inputs too_long;
    too_long.vrtroot = std::string(tvc::runtime_path_capacity, 'r');
    tvc::location_inputs missing;
    missing.vrtroot = layout.dir() + "missing";
    for (const case_row &row : {
             case_row{"outside the code page", foreign, "set but not used: its value holds characters outside the "
                                                        "process code page ("},
             case_row{"too long", too_long, "set but not used: longer than the 2560 characters a runtime path holds;"},
             case_row{"missing", missing, "set but not used: not an existing directory;"},
         }) {
        SCOPED_TRACE(row.what);
        tvc_check::runtime_check check;
        tvc_check::describe_environment(check, row.inputs, tvc::runtime_location{});
        ASSERT_FALSE(check.environment.empty());
        EXPECT_EQ(check.environment[0].name, "VRTROOT");
        EXPECT_EQ(check.environment[0].effect.rfind(row.effect_starts, 0), 0u) << check.environment[0].effect;
    }

    tvc::runtime_location location;
    std::strcpy(location.paths.module_dir, layout.dir().c_str());
    std::strcpy(location.paths.vrt_root, layout.dir().c_str());
    std::strcpy(location.paths.runtime_lib_dir, long_dir.c_str());
    tvc_check::runtime_check check;
    tvc_check::describe_environment(check, {}, location);
    tvc_check::add_location_notes(check, location.paths);
    ASSERT_EQ(check.notes.size(), 1u);
    EXPECT_EQ(check.notes[0].rfind("runtime_lib_dir is 271 characters long: the library uses it, but the runtime is "
                                   "handed its paths in narrow form", 0),
              0u)
        << check.notes[0];
}

}  // namespace
