// CLiteXml: a small reader for the XML subset of the launcher's configuration.
//
// The whole document is parsed once into a table of element records (byte
// offsets into the text plus index links); navigation then walks that table.
// Attributes are never parsed. Nothing here throws: results are booleans or
// strings, and the message of a failed parse stays in the error text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One element of the parsed document. Every field is a byte offset into the
// document text or an index into the record table (0 means none).
struct ElementRecord {
    int32_t StartOpen = 0;    // '<' of the start tag
    int32_t StartClose = 0;   // '>' of the start tag
    int32_t EndOpen = 0;      // '<' of the end tag ('/' of an empty element);
                              // the scan cursor while the content is parsed
    int32_t EndClose = 0;     // '>' of the end tag (StartClose for <x/>)
    int32_t Parent = 0;       // enclosing element, 0 for the root
    int32_t FirstChild = 0;   // first child element, 0 if none
    int32_t NextSibling = 0;  // next element with the same parent, 0 if none
};

class CLiteXml {
public:
    CLiteXml();
    virtual ~CLiteXml();
    CLiteXml(const CLiteXml&) = delete;
    CLiteXml& operator=(const CLiteXml&) = delete;

    // Replaces the document (null counts as empty; the text ends at its first
    // zero byte) and rebuilds the record table. True when a root element was
    // parsed. The navigation positions go back to 0.
    bool Parse(const char* text);
    bool Parse(const std::string& text) { return Parse(text.c_str()); }

    // Searches the main level after the current main position. A path is
    // segments separated by '/'; a leading '/' starts at the root; '*' matches
    // any element; a null or empty path matches the first candidate.
    bool FindMainElement(const char* path = nullptr);
    // Searches the children of the main position after the current child
    // position (selecting the first main element first when none is).
    bool FindChildElement(const char* path = nullptr);
    // The next FindChildElement starts again at the first child.
    void ResetChildPosition() { childPos = 0; }
    // Text of the element at the child position ("" when there is none).
    std::string GetChildText() const { return childPos > 0 ? ElementText(childPos) : std::string(); }

    // Text of element i: "" for an element with children or an empty element,
    // the raw content of a leading CDATA section, otherwise the content with
    // the five standard entity references decoded.
    std::string ElementText(int i) const;

    // Read access for the owner and for tests.
    const std::string& ErrorText() const { return errorText; }
    const std::string& Document() const { return document; }
    int NextFree() const { return nextFree; }
    int TableSize() const { return static_cast<int>(records.size()); }
    const ElementRecord& Record(int i) const { return records[static_cast<size_t>(i)]; }
    int ParentPos() const { return parentPos; }
    int MainPos() const { return mainPos; }
    int ChildPos() const { return childPos; }
    // The element's name: the first token after the '<' of its start tag.
    std::string ElementName(int i) const;

private:
    // Scan state of NextToken: the token runs from start through end; the
    // next scan begins at next.
    struct Token {
        int32_t start = 0;
        int32_t end = 0;
        int32_t next = 0;
        bool quoted = false;
    };

    char At(int32_t pos) const {
        return pos >= 0 && pos < length ? document[static_cast<size_t>(pos)] : '\0';
    }
    bool FindChar(char c, int32_t& pos) const;
    bool SkipSpace(int32_t& pos) const;
    bool NextToken(Token& token) const;
    std::string TokenText(const Token& token) const;
    // Offset of the first occurrence of s at or after pos, or -1.
    int32_t FindText(const char* s, int32_t pos) const;

    int32_t TakeRecord();
    int ParseElement(int parent);
    int ParseStartTag(int parent, bool& empty);
    int ParseEndTag(int i);
    int Fail(const char* message, const std::string& name = std::string());
    bool ScanNode(int32_t pos, int32_t& end) const;
    int FindByPath(int parent, int after, const char* path) const;
    std::string DecodeEntities(int32_t first, int32_t last) const;
    void ResetPositions() { parentPos = mainPos = childPos = 0; }

    std::string document;
    int32_t length = 0;
    std::string errorText;
    std::vector<ElementRecord> records;
    int32_t nextFree = 1;
    int32_t parentPos = 0;
    int32_t mainPos = 0;
    int32_t childPos = 0;
};
