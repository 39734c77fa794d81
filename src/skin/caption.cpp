#include "skin/progress_dlg.h"

#include "text/lang_strings.h"
#include "text/xml_doc.h"

#include <memory>

namespace orv {

std::u16string LoadProgressCaption(const std::u16string& folder) {
    // A document of its own per window: a changed file shows at the next upload.
    auto document = std::make_unique<CXmlDoc>();
    document->LoadFile(folder + u"Strings.xml");
    return GetLangString(*document, u"TRAYICON", u"LOADING");
}

} // namespace orv
