#pragma once

// Small text helpers the workbench's script reader, dialog actions,
// terminal prompts and reports share.

#include <string>
#include <string_view>
#include <vector>

namespace bm::workbench {

// Blank, tab, carriage return or line feed.
bool IsBlank(char c);
// `text` without leading and trailing blanks.
std::string_view Trim(std::string_view text);
// The blank-separated words of `text`.
std::vector<std::string> Words(std::string_view text);
// ASCII lower case, for words matched without regard to letter case.
std::string Lower(std::string_view text);

}  // namespace bm::workbench
