#pragma once

#include <string>

namespace engine {

// Where a character rule's pattern matches in one text: the 1-based character
// position of every match's first character, each followed by ",", then "<>",
// then every match's last character the same way ("2,5,<>3,6,"). An empty match
// has an end one less than its start. "<>" alone when nothing matches. Characters
// are counted as rt::Len counts them: a byte that is not part of valid UTF-8 is
// one character, and no match starts or ends inside it. Raises
// rt::RegExException when the pattern cannot be used or a search runs into
// PCRE2's limits.
std::string getRegPos(const std::string& text, const std::string& pattern);

// The 1-based numbers of the paragraphs (pieces of the text between CR
// characters) in which a paragraph rule's pattern matches, each followed by
// ","; each paragraph is searched with one CR after it. "" when none matches
// and when the pattern cannot be used or a search runs into PCRE2's limits;
// never raises RegExException.
std::string getRegParaPos(const std::string& text, const std::string& pattern);

}  // namespace engine
