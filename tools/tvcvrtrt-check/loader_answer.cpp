#include "tools/tvcvrtrt-check/loader_answer.h"

#include <string>
#include <vector>

#include "tools/tvcvrtrt-check/bounded_child.h"

namespace tvc_check {

// "N" with the library's message and the system's text when the library
// does not load; else "S", then "M" with the symbol, the system's text and
// the library's message for each symbol not found.
std::string loader_answer(const library_check &library) {
    if (!library.loaded) return fields_line({"N", library.load_message, library.load_reason});
    std::string answer = fields_line({"S"});
    for (const missing_symbol &symbol : library.missing) {
        answer += fields_line({"M", symbol.symbol, symbol.reason, symbol.message});
    }
    return answer;
}

bool read_loader_answer(const std::string &answer, library_check &library) {
    std::vector<std::vector<std::string>> lines;
    if (!lines_of(answer, lines) || lines.empty()) return false;
    const std::vector<std::string> &first = lines.front();
    if (first[0] == "N" && first.size() == 3 && lines.size() == 1) {
        library.load_message = first[1];
        library.load_reason = first[2];
        return true;
    }
    if (first[0] != "S" || first.size() != 1) return false;
    for (auto line = lines.begin() + 1; line != lines.end(); ++line) {
        if ((*line)[0] != "M" || line->size() != 4) return false;
        library.missing.push_back({(*line)[1], (*line)[2], (*line)[3]});
    }
    library.loaded = true;
    return true;
}

}  // namespace tvc_check
