#include "text/lang_strings.h"

#include "text/xml_doc.h"

namespace orv {

std::u16string GetLangString(CXmlDoc& doc, std::u16string_view section, std::u16string_view key) {
    doc.Rewind();
    while (doc.NextChildElem(section)) {
        doc.EnterElem();
        if (doc.NextChildElem(key))
            return doc.ChildText();
    }
    return {};
}

} // namespace orv
