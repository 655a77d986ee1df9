#include "markup/lite_xml.h"

#include <cstring>
#include <new>

namespace {

// Offsets are signed 32-bit; a longer text is refused so that no offset
// arithmetic below can overflow.
constexpr size_t kMaxDocument = 0x7FFFFF00;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsDelimiter(char c) {
    switch (c) {
    case ' ': case '\t': case '\n': case '\r':
    case '<': case '>': case '=': case '\\': case '/': case '?': case '!':
        return true;
    default:
        return false;
    }
}

// Characters that end a name in a path or an end tag (besides the end).
bool IsNameEnd(char c) { return c == '\0' || c == ' ' || c == '=' || c == '/' || c == '['; }

struct Entity {
    const char* name;  // the bytes after '&'
    int32_t length;
    char result;
};

// Tried in this order at every '&'.
constexpr Entity kEntities[] = {
    {"lt;", 3, '<'}, {"amp;", 4, '&'}, {"gt;", 3, '>'}, {"apos;", 5, '\''}, {"quot;", 5, '"'},
};

}  // namespace

CLiteXml::CLiteXml() { Parse(nullptr); }

CLiteXml::~CLiteXml() = default;

bool CLiteXml::FindChar(char c, int32_t& pos) const {
    if (pos < 0) pos = 0;
    if (pos >= length) return false;
    const void* found = std::memchr(document.data() + pos, static_cast<unsigned char>(c), static_cast<size_t>(length - pos));
    if (!found) {
        pos = length;
        return false;
    }
    pos = static_cast<int32_t>(static_cast<const char*>(found) - document.data());
    return true;
}

bool CLiteXml::SkipSpace(int32_t& pos) const {
    while (IsSpace(At(pos))) ++pos;
    return At(pos) != '\0';
}

bool CLiteXml::NextToken(Token& token) const {
    token.quoted = false;
    int32_t pos = token.next;
    if (!SkipSpace(pos)) {
        if (pos > length) pos = length;
        token.start = token.end = token.next = pos;
        return false;
    }
    const char c = At(pos);
    if (c == '"' || c == '\'') {
        token.quoted = true;
        token.start = pos + 1;
        int32_t quote = token.start;
        const bool closed = FindChar(c, quote);
        token.end = quote - 1;
        token.next = closed ? quote + 1 : quote;
        return true;
    }
    token.start = pos;
    while (At(pos) != '\0' && !IsDelimiter(At(pos))) ++pos;
    if (pos > token.start) {
        token.end = pos - 1;
        token.next = pos;
    } else {
        token.end = token.start;
        token.next = token.start + 1;
    }
    return true;
}

std::string CLiteXml::TokenText(const Token& token) const {
    int32_t end = token.end < length ? token.end : length - 1;
    if (end < token.start) return std::string();
    return document.substr(static_cast<size_t>(token.start), static_cast<size_t>(end - token.start + 1));
}

int32_t CLiteXml::FindText(const char* s, int32_t pos) const {
    if (pos < 0 || pos >= length) return -1;
    size_t found = document.find(s, static_cast<size_t>(pos));
    return found == std::string::npos ? -1 : static_cast<int32_t>(found);
}

std::string CLiteXml::ElementName(int i) const {
    if (i <= 0 || i >= static_cast<int>(records.size())) return std::string();
    Token token;
    token.next = records[static_cast<size_t>(i)].StartOpen + 1;
    return NextToken(token) ? TokenText(token) : std::string();
}

bool CLiteXml::Parse(const char* text) {
    try {
        nextFree = 1;
        ResetPositions();
        const size_t size = text ? std::strlen(text) : 0;
        if (size > kMaxDocument) {
            document.clear();
            length = 0;
            errorText = "Document too large";
        } else {
            document.assign(text ? text : "", size);
            length = static_cast<int32_t>(size);
        }
        // One record per 64 bytes of text plus 8 is enough for ordinary
        // documents; the table never shrinks.
        const size_t wanted = static_cast<size_t>(length) / 64 + 8;
        if (records.size() < wanted) records.resize(wanted);
        if (length > 0) {
            records[0] = ElementRecord();
            const int root = ParseElement(0);
            if (root > 0) {
                records[0].FirstChild = root;
                ResetPositions();
                return true;
            }
        }
    } catch (const std::bad_alloc&) {
        errorText = "Out of memory";
    }
    if (!records.empty()) records[0] = ElementRecord();
    nextFree = 1;
    ResetPositions();
    return false;
}

int32_t CLiteXml::TakeRecord() {
    const int32_t i = nextFree;
    if (static_cast<size_t>(nextFree) >= records.size()) records.resize(records.size() + records.size() / 2);
    ++nextFree;
    return i;
}

int CLiteXml::Fail(const char* message, const std::string& name) {
    errorText = message;
    const size_t slot = errorText.find("%s");
    if (slot != std::string::npos) errorText.replace(slot, 2, name);
    return -1;
}

// Parses the next element in the content of `top` (whose EndOpen is the scan
// cursor). Returns the element's index, 0 when an end tag came first, or -1
// after an error. Nesting is followed through the records' Parent links
// instead of recursion, so deeply nested input cannot exhaust the stack.
int CLiteXml::ParseElement(int top) {
    std::vector<int32_t> lastChild;  // per open element, innermost last
    int current = top;
    for (;;) {
        bool empty = false;
        int result = ParseStartTag(current, empty);
        if (result > 0 && !empty) {
            // Descend into the new element's content.
            records[static_cast<size_t>(result)].EndOpen = records[static_cast<size_t>(result)].StartClose + 1;
            current = result;
            lastChild.push_back(0);
            continue;
        }
        // `result` is the outcome of one element parse inside `current`.
        for (;;) {
            if (current == top) return result;
            if (result > 0) {
                int32_t& previous = lastChild.back();
                if (previous == 0)
                    records[static_cast<size_t>(current)].FirstChild = result;
                else
                    records[static_cast<size_t>(previous)].NextSibling = result;
                previous = result;
                records[static_cast<size_t>(current)].EndOpen = records[static_cast<size_t>(result)].EndClose + 1;
                break;  // look for the next child of `current`
            }
            if (result == 0) result = ParseEndTag(current);
            current = records[static_cast<size_t>(current)].Parent;
            lastChild.pop_back();
        }
    }
}

// Takes a record and reads the next start tag from the parent's cursor,
// skipping comments, CDATA sections, processing instructions and
// declarations. Returns the index (with `empty` set for <x/>), 0 at an end
// tag, or -1.
int CLiteXml::ParseStartTag(int parent, bool& empty) {
    empty = false;
    const int32_t i = TakeRecord();
    ElementRecord fresh;
    fresh.StartOpen = records[static_cast<size_t>(parent)].EndOpen;
    fresh.Parent = parent;
    records[static_cast<size_t>(i)] = fresh;

    std::string name;
    int32_t pos = fresh.StartOpen;
    while (name.empty()) {
        const bool found = FindChar('<', pos);
        records[static_cast<size_t>(i)].StartOpen = pos;
        if (!found) {
            --nextFree;
            return Fail("Element tag not found");
        }
        records[static_cast<size_t>(parent)].EndOpen = pos;
        Token token;
        token.next = pos + 1;
        if (!NextToken(token)) {
            --nextFree;
            return Fail("Abrupt end within tag");
        }
        if (token.quoted) {
            --nextFree;
            return Fail("Tag starts with quote");
        }
        const char first = At(token.start);
        if (first == '!' || first == '?') {
            int32_t end = 0;
            if (!ScanNode(pos, end)) {
                --nextFree;
                return Fail("Invalid node");
            }
            pos = end;
            continue;
        }
        if (first == '/') {
            --nextFree;
            return 0;
        }
        name = TokenText(token);
        pos = token.next;
        if (!FindChar('>', pos)) {
            --nextFree;
            return Fail("End of tag not found");
        }
    }
    ElementRecord& record = records[static_cast<size_t>(i)];
    record.StartClose = pos;
    if (At(pos - 1) == '/') {
        record.EndOpen = pos - 1;
        record.EndClose = pos;
        empty = true;
    }
    return i;
}

// Checks the end tag at element i's cursor; returns i or -1.
int CLiteXml::ParseEndTag(int i) {
    const std::string name = ElementName(i);
    int32_t pos = records[static_cast<size_t>(i)].EndOpen;
    if (!FindChar('<', pos)) return Fail("End tag of %s element not found", name);
    records[static_cast<size_t>(i)].EndOpen = pos;
    Token token;
    token.next = pos + 1;
    int count = 0;
    while (NextToken(token)) {
        ++count;
        if (token.quoted) continue;
        if (count == 1) {
            if (At(token.start) != '/') return Fail("Expecting end tag of element %s", name);
        } else if (count == 2) {
            const std::string text = TokenText(token);
            if (text.size() > name.size() || name.compare(0, text.size(), text) != 0 ||
                !IsNameEnd(text.size() < name.size() ? name[text.size()] : '\0'))
                return Fail("End tag does not correspond to %s", name);
        } else if (At(token.start) == '>') {
            records[static_cast<size_t>(i)].EndClose = token.start;
            return i;
        }
    }
    return Fail("End tag not completed for element %s", name);
}

// Finds the end of the node that begins at the '<' at pos. Only a '<'
// directly followed by '!' or '?' starts a node; anything else (such as
// "< !") fails, so that the caller always makes progress.
bool CLiteXml::ScanNode(int32_t pos, int32_t& end) const {
    const char c1 = At(pos + 1);
    const char c2 = c1 ? At(pos + 2) : '\0';
    if (c1 == '\0' || c2 == '\0') return false;
    if (c1 == '?') {
        const int32_t found = FindText("?>", pos);
        if (found < 0) return false;
        end = found + 2;
        return true;
    }
    if (c1 != '!') return false;
    if (c2 == '[' || c2 == '-') {
        const int32_t found = FindText(c2 == '[' ? "]]>" : "-->", pos);
        if (found < 0) return false;
        end = found + 3;
        return true;
    }
    // A declaration, possibly with an internal [...] subset.
    Token token;
    token.next = pos;
    int depth = 0;
    while (NextToken(token)) {
        if (token.quoted) continue;
        const char c = At(token.start);
        if (c == '[') {
            ++depth;
        } else if (c == ']') {
            --depth;
        } else if (c == '>' && depth == 0) {
            end = token.start + 1;
            return true;
        }
    }
    return false;
}

int CLiteXml::FindByPath(int parent, int after, const char* path) const {
    if (records.empty()) return 0;
    const char* p = path ? path : "";
    int candidate;
    if (*p == '/') {
        candidate = records[0].FirstChild;
        ++p;
    } else {
        candidate = after != 0 ? records[static_cast<size_t>(after)].NextSibling
                               : records[static_cast<size_t>(parent)].FirstChild;
    }
    if (*p == '\0') return candidate;
    while (candidate != 0) {
        const ElementRecord& record = records[static_cast<size_t>(candidate)];
        if (*p == '*') {
            if (p[1] != '/') return candidate;
            p += 2;
            candidate = record.FirstChild;
            continue;
        }
        const std::string name = ElementName(candidate);
        const size_t n = name.size();
        if (std::strncmp(p, name.c_str(), n) == 0 && IsNameEnd(p[n])) {
            if (p[n] != '/') return candidate;
            p += n + 1;
            candidate = record.FirstChild;
            continue;
        }
        candidate = record.NextSibling;
    }
    return 0;
}

bool CLiteXml::FindMainElement(const char* path) {
    const int found = FindByPath(parentPos, mainPos, path);
    if (found == 0) return false;
    mainPos = found;
    parentPos = records[static_cast<size_t>(found)].Parent;
    childPos = 0;
    return true;
}

bool CLiteXml::FindChildElement(const char* path) {
    if (mainPos == 0) FindMainElement(nullptr);
    const int found = FindByPath(mainPos, childPos, path);
    if (found == 0) return false;
    childPos = found;
    mainPos = records[static_cast<size_t>(found)].Parent;
    parentPos = records[static_cast<size_t>(mainPos)].Parent;
    return true;
}

std::string CLiteXml::ElementText(int i) const {
    if (i <= 0 || i >= nextFree) return std::string();
    const ElementRecord& record = records[static_cast<size_t>(i)];
    if (record.FirstChild != 0 || record.StartClose == record.EndOpen + 1) return std::string();
    int32_t pos = record.StartClose + 1;
    SkipSpace(pos);
    // Content that begins with a CDATA section is handed out raw.
    if (At(pos) == '<' && pos + 11 < record.EndOpen && document.compare(static_cast<size_t>(pos), 9, "<![CDATA[") == 0) {
        const int32_t close = FindText("]]>", pos + 9);
        if (close >= 0 && close < record.EndOpen)
            return document.substr(static_cast<size_t>(pos + 9), static_cast<size_t>(close - pos - 9));
    }
    return DecodeEntities(record.StartClose + 1, record.EndOpen - 1);
}

std::string CLiteXml::DecodeEntities(int32_t first, int32_t last) const {
    std::string out;
    if (last < first) return out;
    out.reserve(static_cast<size_t>(last - first + 1));
    int32_t pos = first;
    while (pos <= last) {
        const char c = At(pos);
        if (c == '&') {
            bool decoded = false;
            for (const Entity& entity : kEntities) {
                if (pos + entity.length <= last &&
                    document.compare(static_cast<size_t>(pos + 1), static_cast<size_t>(entity.length), entity.name) == 0) {
                    out += entity.result;
                    pos += entity.length + 1;
                    decoded = true;
                    break;
                }
            }
            if (decoded) continue;
        }
        out += c;
        ++pos;
    }
    return out;
}
