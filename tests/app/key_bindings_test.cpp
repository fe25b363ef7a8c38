// The README's key table and the binding table name the same chords.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "app/key_bindings.h"
#include "test_support.h"

namespace {

// The chords of the README's "Keys and mouse" rows whose first cell lists
// nothing but chords, split at " / ", " or " and ", ".
std::set<std::string> readme_chords(void) {
    std::string readme = read_text_file(source_dir() + "/README.md");
    std::istringstream lines(readme.substr(readme.find("## Keys and mouse")));
    const std::regex chord("((Ctrl|Shift)\\+)*(Left|Right|Up|Down|Page Up|Page Down|Home|End|Delete|Escape|"
                           "Backspace|Enter|F[0-9]+|[A-Z])");
    std::set<std::string> chords;
    const std::regex separator(" / | or |, ");
    for (std::string line; std::getline(lines, line) && !(line.rfind("## ", 0) == 0 && !chords.empty());) {
        if (line.rfind("| ", 0) != 0) continue;
        std::string cell = line.substr(2, line.find(" |", 2) - 2);
        std::set<std::string> row;
        bool all_chords = true;
        for (std::sregex_token_iterator it(cell.begin(), cell.end(), separator, -1), end; it != end; ++it) {
            all_chords = all_chords && std::regex_match(it->str(), chord);
            row.insert(it->str());
        }
        if (all_chords) chords.insert(row.begin(), row.end());
    }
    return chords;
}

TEST(KeyBindings, ReadmeKeyTableNamesEveryBoundChordAndNoOther) {
    int32_t count = 0;
    const key_binding* table = key_binding_table(&count);
    std::set<std::string> bound;
    for (int32_t i = 0; i < count; i++)
        if (table[i].chord) bound.insert(table[i].chord);
    std::set<std::string> documented = readme_chords();
    EXPECT_EQ(bound, documented);
    EXPECT_GE(documented.size(), 10u);
}

}  // namespace
