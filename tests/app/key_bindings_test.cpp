// The README's key table, the man page and the binding table name the same
// chords, each named from the row's key and modifiers as dispatch reads them.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "app/key_bindings.h"
#include "test_support.h"

namespace {

// The chords of a document's key list: from `section` to the next heading,
// each line starting with `lead` whose first cell lists nothing but chords,
// split at " / ", " or " and ", ".
std::set<std::string> documented_chords(const std::string& file, const std::string& section,
                                        const std::string& lead, const std::string& heading) {
    std::string text = read_text_file(source_dir() + file);
    std::istringstream lines(text.substr(text.find(section) + section.size()));
    const std::regex chord("((Ctrl|Shift)\\+)*(Left|Right|Up|Down|Page Up|Page Down|Home|End|Delete|Escape|"
                           "Backspace|Enter|F[0-9]+|[A-Z])");
    const std::regex separator(" / | or |, ");
    std::set<std::string> chords;
    for (std::string line; std::getline(lines, line) && line.rfind(heading, 0) != 0;) {
        if (line.rfind(lead, 0) != 0) continue;
        std::string cell = line.substr(lead.size(), line.find(" |", lead.size()) - lead.size());
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

TEST(KeyBindings, ReadmeAndManPageNameEveryBoundChordAndNoOther) {
    int32_t count = 0;
    const key_binding* table = key_binding_table(&count);
    std::set<std::string> bound;
    for (int32_t i = 0; i < count; i++) {
        char name[key_chord_name_capacity];
        if (key_chord_name(&table[i], name, sizeof name) > 0) bound.insert(name);
    }
    EXPECT_EQ(bound, documented_chords("/README.md", "## Keys and mouse", "| ", "## "));
    EXPECT_EQ(bound, documented_chords("/desktop/bitlorn.1.in", ".SH KEYS AND MOUSE", ".B ", ".SH"));
    EXPECT_GE(bound.size(), 10u);
}

}  // namespace
