// Parses arbitrary bytes with CLiteXml and walks the result with every
// navigation call. The first input byte picks a few of the paths, so that
// the fuzzer can steer the walk as well as the document.
#include "markup/lite_xml.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

const char* const kPaths[] = {
    nullptr, "", "/", "*", "*/*", "KV_ZCD", "/KV_ZCD", "/KV_ZCD/Run", "Run", "Run[1]", "Run x", "Run/",
    "Prog", "Title", "UsePW", "Message", "a", "a/b", "/a/*/c", "*/b", "b=", "/*", "//", "a//b",
};
constexpr size_t kPathCount = sizeof(kPaths) / sizeof(kPaths[0]);

void Walk(CLiteXml& xml, const char* path) {
    xml.FindMainElement(path);
    (void)xml.GetChildText();
    for (int step = 0; step < 4; ++step) {
        if (!xml.FindChildElement(path)) break;
        (void)xml.GetChildText();
    }
    xml.ResetChildPosition();
    xml.FindChildElement(path);
    (void)xml.GetChildText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const unsigned selector = size > 0 ? data[0] : 0;
    // The parser takes zero-terminated text; bytes after a zero are ignored.
    const std::string text(reinterpret_cast<const char*>(data), size);

    CLiteXml xml;
    xml.Parse(text.c_str());
    // Every element's text, whatever the navigation reaches.
    for (int i = 0; i < xml.NextFree(); ++i) (void)xml.ElementText(i);

    // The launcher's own sequence.
    xml.FindMainElement("KV_ZCD");
    for (const char* key : {"Title", "Run", "Prog", "UsePW"}) {
        xml.ResetChildPosition();
        if (xml.FindChildElement(key)) (void)xml.GetChildText();
    }

    Walk(xml, kPaths[selector % kPathCount]);
    Walk(xml, kPaths[(selector / kPathCount) % kPathCount]);

    // A fresh object, navigated before any main element is chosen.
    CLiteXml other;
    other.Parse(text.c_str());
    Walk(other, nullptr);
    while (other.FindMainElement(nullptr)) (void)other.FindChildElement("*");

    // Parsing again into the same object reuses the table.
    xml.Parse(text.c_str() + (size > 1 ? 1 : 0));
    Walk(xml, "*/*");
    return 0;
}
