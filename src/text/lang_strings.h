// The texts shown to the user, looked up in the language file by section and
// key.
#pragma once

#include <string>
#include <string_view>

namespace orv {

class CXmlDoc;

// The text of the first element named `key` inside the first element named
// `section` under the root; when that section lacks the key, a section-named
// element nested in it is tried, and so on downwards. Later sibling sections
// are never searched. Names compare exactly. Empty when nothing is found.
std::u16string GetLangString(CXmlDoc& doc, std::u16string_view section, std::u16string_view key);

} // namespace orv
