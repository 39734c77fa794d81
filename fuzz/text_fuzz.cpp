// Fuzzes the text path end to end: file decoding, parsing, navigation, element
// text and the language lookup. The first input byte picks options, the rest
// is the file (or, with option 1, UTF-16 text handed to the parser directly).
//
// Besides the sanitizers, every tree is checked against a plain model of the
// tree building that closes unended elements one at a time.
#include "platform/host/host_platform.h"
#include "text/lang_strings.h"
#include "text/text_file.h"
#include "text/xml_doc.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace orv;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "text fuzz: %s\n", what);
        std::abort();
    }
}

// The tree built as simply as possible: children in vectors, every element
// closed as not ended moves its children up one level at a time.
struct Model {
    struct Elem {
        int parent;
        std::vector<int> children;
        int start, length, startTag, endTag;
    };
    std::vector<Elem> elems{Elem{0, {}, 0, 0, 0, 0}};
    bool wellFormed = true;

    void CloseNotEnded(int e) {
        wellFormed = false;
        Elem& el = elems[e];
        el.length = el.startTag;
        el.endTag = 0;
        std::vector<int> moved = std::move(el.children);
        el.children.clear();
        auto& siblings = elems[el.parent].children;
        for (int c : moved) {
            elems[c].parent = el.parent;
            siblings.push_back(c); // e is the last child of its parent
        }
    }

    void Build(const std::u16string& text, int flags) {
        SCAN_CURSOR cursor;
        cursor.text = text.c_str();
        cursor.flags = flags;
        SCAN_NODE node;
        std::vector<std::pair<int, std::u16string>> open;
        int parent = 0;
        for (;;) {
            int type = ScanNode(cursor, node);
            if (type == kNodeElement) {
                int i = static_cast<int>(elems.size());
                elems.push_back(Elem{parent, {}, node.start, node.length, node.length, 0});
                elems[parent].children.push_back(i);
                if (!(node.flags & kNodeEmptyElement)) {
                    open.emplace_back(i, node.name);
                    parent = i;
                }
            } else if (type == kNodeMalformed) {
                wellFormed = false;
            } else if (type == kNodeEndTag) {
                std::size_t k = open.size();
                while (k > 0 && !CursorMatches(cursor, open[k - 1].second))
                    --k;
                if (k == 0) {
                    wellFormed = false;
                    continue;
                }
                while (open.size() > k) {
                    CloseNotEnded(open.back().first);
                    open.pop_back();
                }
                Elem& el = elems[open.back().first];
                el.length = node.start + node.length - el.start;
                el.endTag = node.length;
                open.pop_back();
                parent = el.parent;
            } else if (type == kNodeEnd) {
                while (!open.empty()) {
                    CloseNotEnded(open.back().first);
                    open.pop_back();
                }
                return;
            }
        }
    }
};

void CheckTree(const CXmlDoc& doc, bool built) {
    const std::u16string& text = doc.Text();
    if (text.empty())
        return;
    Model model;
    model.Build(text, doc.Flags());
    Require(doc.NextFree() == static_cast<int>(model.elems.size()), "record count");
    for (int i = 0; i < doc.NextFree(); ++i) {
        const ELEM_REC& r = doc.Record(i);
        const Model::Elem& m = model.elems[i];
        if (i > 0) {
            Require(r.parent == m.parent, "parent");
            Require(r.start == m.start && r.length == m.length, "extent");
            Require(r.startTagLength == m.startTag && r.endTagLength == m.endTag, "tag lengths");
            Require(r.start >= 0 && r.start + r.length <= static_cast<int>(text.size()),
                    "inside the text");
        }
        std::size_t n = 0;
        int last = 0;
        for (int c = r.firstChild; c != 0; c = doc.Record(c).next, ++n) {
            Require(n < m.children.size() && m.children[n] == c, "children in order");
            if (last != 0)
                Require(doc.Record(c).previous == last, "previous sibling");
            last = c;
        }
        Require(n == m.children.size(), "child count");
        if (r.firstChild != 0)
            Require(doc.Record(r.firstChild).previous == last, "last child");
    }
    const bool expected = model.wellFormed && model.elems[0].children.size() == 1;
    Require(built == expected, "BuildTree result");
}

void Exercise(CXmlDoc& doc) {
    (void)GetLangString(doc, u"TRAYICON", u"LOADING");
    doc.Rewind();
    for (int steps = 0; steps < 64 && doc.NextChildElem(); ++steps) {
        (void)doc.ChildText();
        if (steps % 3 == 0)
            doc.EnterElem();
    }
    for (int i = 0; i < doc.NextFree() && i < 256; ++i)
        (void)doc.ElemText(i);
    (void)FindCharsetDeclaration(doc.Text());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static host::HostPlatform host;
    static const std::u16string path = u"C:\\fuzz\\in.xml";
    static const std::string hostPath = [] {
        std::string p = host.files->HostPath(path);
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        return p;
    }();
    if (size == 0)
        return 0;
    const std::uint8_t options = data[0];
    ++data;
    --size;

    CXmlDoc doc;
    doc.SetFlags(options & kXmlIgnoreCase);
    if (options & 1) {
        std::u16string text(size / 2, u'\0');
        std::memcpy(text.data(), data, text.size() * 2);
        doc.SetText(std::move(text));
        CheckTree(doc, doc.BuildTree());
    } else {
        std::ofstream(hostPath, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        doc.LoadFile(path);
        CheckTree(doc, doc.BuildTree()); // parsing again gives the same tree
    }
    Exercise(doc);
    // A failed load keeps the records; reading through them must stay safe.
    doc.LoadFile(u"C:\\fuzz\\missing.xml");
    Exercise(doc);
    return 0;
}
