#pragma once
// The lines the credits screen scrolls: group headings, their entries
// indented below them, an empty line between groups.
#include <string>
#include <vector>

namespace varnok {

const std::vector<std::string>& CreditLines();

} // namespace varnok
