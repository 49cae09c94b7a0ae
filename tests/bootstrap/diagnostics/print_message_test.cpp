#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/child_process.h"

const auto output_of = tvc_test::host("diagnostics_host.exe");

// Each print is followed by "[<result>]" from the host.

TEST(PrintMessage, WithoutTheUtilitiesLibraryPrintsThroughPrintfAndCounts) {
    EXPECT_EQ(output_of({"print:plain text", "print:100%% sure", "print:"}),
              "plain text[10]100% sure[9][0]");
}

TEST(PrintMessage, CallerTextIsNeverReadAsAConversion) {
    EXPECT_EQ(output_of({"print:%s%n%p", "print:50% off", "print:%%%", "print:%"}),
              "%s%n%p[6]50% off[7]%%[2]%[1]");
}

TEST(PrintMessage, NullMessagePrintsNothing) {
    EXPECT_EQ(output_of({"print-null", "load:bx_printer\\libbx.dll", "print-null", "bx-report"}),
              "[-1][-1]bx 0 \n");
}

TEST(PrintMessage, GoesThroughTheUtilitiesPrinterOnceItIsLoaded) {
    EXPECT_EQ(output_of({"print:before", "load:bx_printer\\libbx.dll", "print:after 100%% sure",
                         "print:%s%n", "bx-report"}),
              "before[6][4242][4242]bx 2 after 100%% sure|%%s%%n|\n");
}

// Output to a pipe is buffered; an application with a C runtime of its own
// writes past that buffer, so each message must leave it at once.
TEST(PrintMessage, EachMessageKeepsItsPlaceBesideOutputOfAnotherCRuntime) {
    EXPECT_EQ(output_of({"start-silent:0", "raw:|", "print:text", "raw:|"}),
              "Initializing Tovan Compiler Runtime version 7.17\n|text|[4]");
}

TEST(PrintMessage, FallsBackToPrintfWhenTheUtilitiesLibraryHasNoPrinter) {
    EXPECT_EQ(output_of({"load:bx_without_printer\\libbx.dll", "print:still here"}), "still here[10]");
}

TEST(PrintMessage, FallsBackToPrintfWhenOnlyAModuleContainingTheNameIsLoaded) {
    EXPECT_EQ(output_of({"load:mylibbx.dll", "print:prefixed"}), "prefixed[8]");
    EXPECT_EQ(output_of({"load:libbx.dll.extra", "print:extended"}), "extended[8]");
    // A libbx.dll in the working directory is never loaded by the print routine.
    const std::string planted = tvc_test::executable_directory() + "bx_printer";
    EXPECT_EQ(output_of({"load:mylibbx.dll", "print:planted"}, planted.c_str()), "planted[7]");
}
