#pragma once

#include <string>

namespace engine {

// Runs the rule file `fileName` of the rule-list folder ("Verodavuda" beside
// the application) against every text the content script returns: one style
// request per text and rule, texts in inventory order, rules in file order.
// Returns quietly for an empty name, a missing file, or when a character
// rule's pattern is rejected (after the requests already made). Every other
// failure passes to the caller.
void MainScpt(const std::string& fileName);

}  // namespace engine
