// Throughput of the XML reader and the file decoding.
//
//   BuildTree/<MiB>        parse of a generated UTF-16 document of that many
//                          MiB of text (nested elements with text and attributes)
//   Pugixml*/<MiB>         the same UTF-16 bytes parsed by pugixml, for scale
//   DeepNesting/<levels>   well-formed nesting, for linear time without recursion
//   Unclosed/<levels>      nested elements never closed
//   StrayEndTags/<levels>  nested elements, then as many end tags matching none
//   LoadFile10MiB          reading, decoding and parsing a 10 MiB UTF-8 file
#include "base/wstr.h"
#include "platform/host/host_platform.h"
#include "text/xml_doc.h"

#include <benchmark/benchmark.h>

#ifdef ORV_HAVE_PUGIXML
#include <pugixml.hpp>
#endif

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace orv {
namespace {

constexpr std::size_t kMiB = 1 << 20;

// A language-file-like document of at least `units` UTF-16 units: sections
// of groups of items with attributes, references, comments and a few levels
// of nesting.
std::u16string MakeDocument(std::size_t units) {
    std::u16string text =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Strings version=\"2\">\r\n";
    for (int s = 0; text.size() < units; ++s) {
        text += FormatW(u"  <Section id=\"s%d\" name='Section number %d'>\r\n", s, s);
        text += u"    <!-- items of this section -->\r\n";
        for (int g = 0; g < 4; ++g) {
            text += FormatW(u"    <Group id=\"g%d\" kind=\"list\">\r\n", g);
            for (int i = 0; i < 6; ++i)
                text += FormatW(u"      <Item key=\"k%d\" value=\"v%d\" flag='yes'>Text of item "
                                u"%d &amp; a little more text</Item>\r\n",
                                i, i, i);
            text += u"      <Empty a=\"1\" b=\"two\"/>\r\n";
            text +=
                u"      <Nested level=\"1\"><Nested level=\"2\"><Leaf at=\"3\">leaf &lt;text&gt;"
                u"</Leaf></Nested></Nested>\r\n";
            text += u"    </Group>\r\n";
        }
        text += u"  </Section>\r\n";
    }
    text += u"</Strings>\r\n";
    return text;
}

const std::u16string& Document(std::size_t mib) {
    static std::map<std::size_t, std::u16string> cache;
    auto it = cache.find(mib);
    if (it == cache.end())
        it = cache.emplace(mib, MakeDocument(mib * kMiB / 2)).first;
    return it->second;
}

void BuildTree(benchmark::State& state) {
    CXmlDoc doc;
    doc.SetText(Document(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) {
        bool ok = doc.BuildTree();
        benchmark::DoNotOptimize(ok);
        if (!ok)
            state.SkipWithError("not well formed");
    }
    state.counters["elements"] = doc.NextFree() - 1;
    state.SetBytesProcessed(state.iterations() * doc.Text().size() * 2);
}
BENCHMARK(BuildTree)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);

#ifdef ORV_HAVE_PUGIXML
void ParseWithPugixml(benchmark::State& state, unsigned options) {
    const std::u16string& text = Document(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        pugi::xml_document doc;
        pugi::xml_parse_result result =
            doc.load_buffer(text.data(), text.size() * 2, options, pugi::encoding_utf16_le);
        if (!result)
            state.SkipWithError("pugixml failed");
        benchmark::DoNotOptimize(doc.first_child());
    }
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
}
void PugixmlDefault(benchmark::State& state) {
    ParseWithPugixml(state, pugi::parse_default);
}
void PugixmlMinimal(benchmark::State& state) {
    ParseWithPugixml(state, pugi::parse_minimal);
}
BENCHMARK(PugixmlDefault)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(PugixmlMinimal)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);
#endif

void DeepNesting(benchmark::State& state) {
    const auto depth = static_cast<std::size_t>(state.range(0));
    std::u16string text;
    for (std::size_t i = 0; i < depth; ++i)
        text += u"<e>";
    text += u"x";
    for (std::size_t i = 0; i < depth; ++i)
        text += u"</e>";
    CXmlDoc doc;
    doc.SetText(text);
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.BuildTree());
    state.SetComplexityN(state.range(0));
}
BENCHMARK(DeepNesting)
    ->RangeMultiplier(2)
    ->Range(100000, 800000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

void Unclosed(benchmark::State& state) {
    std::u16string text;
    for (int i = 0; i < state.range(0); ++i)
        text += u"<e a='1'>t";
    CXmlDoc doc;
    doc.SetText(text);
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.BuildTree());
    state.SetComplexityN(state.range(0));
}
BENCHMARK(Unclosed)
    ->RangeMultiplier(4)
    ->Range(10000, 640000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// Open elements followed by as many end tags that close none of them.
void StrayEndTags(benchmark::State& state) {
    std::u16string text;
    for (int i = 0; i < state.range(0); ++i)
        text += u"<e>";
    for (int i = 0; i < state.range(0); ++i)
        text += u"</x>";
    CXmlDoc doc;
    doc.SetText(text);
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.BuildTree());
    state.SetComplexityN(state.range(0));
}
BENCHMARK(StrayEndTags)
    ->RangeMultiplier(4)
    ->Range(10000, 640000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

void LoadFile10MiB(benchmark::State& state) {
    host::HostPlatform host;
    const std::u16string path = u"C:\\bench\\Strings.xml";
    const std::string hostPath = host.files->HostPath(path);
    std::filesystem::create_directories(std::filesystem::path(hostPath).parent_path());
    std::u16string text = MakeDocument(10 * kMiB);
    text.replace(text.find(u"UTF-16"), 6, u"UTF-8");
    const std::string bytes = ToUtf8(text);
    std::ofstream(hostPath, std::ios::binary) << bytes;
    CXmlDoc doc;
    for (auto _ : state)
        doc.LoadFile(path);
    if (doc.NextFree() < 2)
        state.SkipWithError("nothing parsed");
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(LoadFile10MiB)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace orv
