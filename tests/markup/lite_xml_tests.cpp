// CLiteXml: record table, parse errors, navigation state and element texts.
#include "markup/lite_xml.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

struct Fields {
    int startOpen, startClose, endOpen, endClose, parent, firstChild, nextSibling;
};

void ExpectRecord(const CLiteXml& xml, int i, const Fields& f) {
    SCOPED_TRACE("record " + std::to_string(i));
    const ElementRecord& r = xml.Record(i);
    EXPECT_EQ(r.StartOpen, f.startOpen);
    EXPECT_EQ(r.StartClose, f.startClose);
    EXPECT_EQ(r.EndOpen, f.endOpen);
    EXPECT_EQ(r.EndClose, f.endClose);
    EXPECT_EQ(r.Parent, f.parent);
    EXPECT_EQ(r.FirstChild, f.firstChild);
    EXPECT_EQ(r.NextSibling, f.nextSibling);
}

// Text of the child found by name, or "<missing>".
std::string Child(CLiteXml& xml, const char* name) {
    xml.ResetChildPosition();
    return xml.FindChildElement(name) ? xml.GetChildText() : "<missing>";
}

// Text of element `name` inside a root element <r>.
std::string TextOf(const std::string& content) {
    CLiteXml xml;
    if (!xml.Parse("<r><e>" + content + "</e></r>")) return "<parse failed: " + xml.ErrorText() + ">";
    return Child(xml, "e");
}

}  // namespace

TEST(LiteXmlTable, RecordsOfSmallDocument) {
    CLiteXml xml;
    ASSERT_TRUE(xml.Parse("<a><b/><c>y</c></a>"));
    EXPECT_EQ(xml.NextFree(), 4);
    EXPECT_EQ(xml.TableSize(), 8);
    ExpectRecord(xml, 0, {0, 0, 0, 0, 0, 1, 0});
    ExpectRecord(xml, 1, {0, 2, 15, 18, 0, 2, 0});
    ExpectRecord(xml, 2, {3, 6, 5, 6, 1, 0, 3});
    ExpectRecord(xml, 3, {7, 9, 11, 14, 1, 0, 0});
    EXPECT_EQ(xml.ParentPos(), 0);
    EXPECT_EQ(xml.MainPos(), 0);
    EXPECT_EQ(xml.ChildPos(), 0);
}

TEST(LiteXmlTable, StartOffsetsPointAtTheBracketAfterText) {
    CLiteXml xml;
    ASSERT_TRUE(xml.Parse("  <a>\r\n <b>x</b> t <c/></a>"));
    EXPECT_EQ(xml.Record(1).StartOpen, 2);
    EXPECT_EQ(xml.Record(2).StartOpen, 8);
    EXPECT_EQ(xml.Record(3).StartOpen, 19);
    EXPECT_EQ(xml.Record(0).EndOpen, 2);  // the top-level cursor
    EXPECT_EQ(xml.ElementName(3), "c");
}

TEST(LiteXmlTable, SizedFromTextGrownByHalfNeverShrunk) {
    CLiteXml xml;
    EXPECT_EQ(xml.TableSize(), 8);
    EXPECT_EQ(xml.NextFree(), 1);

    std::string padded = "<a>" + std::string(637, ' ') + "</a>";  // 644 bytes
    ASSERT_TRUE(xml.Parse(padded));
    EXPECT_EQ(xml.TableSize(), 644 / 64 + 8);

    // 30 children in 127 bytes: 9 slots, grown to 13, 19, 28, 42.
    std::string many = "<r>";
    for (int i = 0; i < 30; ++i) many += "<x/>";
    many += "</r>";
    ASSERT_TRUE(xml.Parse(many));  // table is still 18 from before
    EXPECT_EQ(xml.TableSize(), 18 + 9 + 13);
    EXPECT_EQ(xml.NextFree(), 32);

    CLiteXml fresh;
    ASSERT_TRUE(fresh.Parse(many));
    EXPECT_EQ(fresh.TableSize(), 42);
    int count = 0;
    for (int i = fresh.Record(1).FirstChild; i != 0; i = fresh.Record(i).NextSibling) {
        EXPECT_EQ(fresh.Record(i).Parent, 1);
        ++count;
    }
    EXPECT_EQ(count, 30);
    // Slots never taken are zero (the one after the last element was
    // taken for the end tag and given back).
    for (int i = fresh.NextFree() + 1; i < fresh.TableSize(); ++i) EXPECT_EQ(fresh.Record(i).StartOpen, 0);

    EXPECT_FALSE(fresh.Parse(""));
    EXPECT_EQ(fresh.TableSize(), 42);
    EXPECT_EQ(fresh.Record(0).FirstChild, 0);
}

TEST(LiteXmlTable, DeepNestingDoesNotExhaustTheStack) {
    const int depth = 200000;
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<a>";
    for (int i = 0; i < depth; ++i) text += "</a>";
    CLiteXml xml;
    ASSERT_TRUE(xml.Parse(text));
    EXPECT_EQ(xml.NextFree(), depth + 1);
    EXPECT_EQ(xml.Record(depth).Parent, depth - 1);
    EXPECT_EQ(xml.Record(1).EndClose, static_cast<int>(text.size()) - 1);
}

TEST(LiteXmlParse, ErrorMessages) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"<a><b></b>", "Element tag not found"},
        {"<a>", "Element tag not found"},
        {"just text", "Element tag not found"},
        {"<   \r\n", "Abrupt end within tag"},
        {"<a><", "Abrupt end within tag"},
        {"<\"a\">", "Tag starts with quote"},
        {"<a><'b'/></a>", "Tag starts with quote"},
        {"<!-- open", "Invalid node"},
        {"<? never closed", "Invalid node"},
        {"<![CDATA[x]]", "Invalid node"},
        {"<!DOCTYPE a [ <!ENTITY x 'y'> ", "Invalid node"},
        {"<!", "Invalid node"},
        {"<?x", "Invalid node"},
        {"< !-- x --><a/>", "Invalid node"},  // whitespace before '!' starts no node
        {"<a>< ?pi?></a>", "Invalid node"},
        {"<a x=\"1\"", "End of tag not found"},
        {"<a></b>", "End tag does not correspond to a"},
        {"<ab></a>", "End tag does not correspond to ab"},
        {"<a></ab>", "End tag does not correspond to a"},
        {"<a><b></a>", "End tag does not correspond to b"},
        {"<a></>", "End tag does not correspond to a"},
        {"<a>x</a", "End tag not completed for element a"},
        {"<a></", "End tag not completed for element a"},
        {"<a><b></b junk", "End tag not completed for element b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CLiteXml xml;
        EXPECT_FALSE(xml.Parse(c.text));
        EXPECT_EQ(xml.ErrorText(), c.message);
        EXPECT_EQ(xml.NextFree(), 1);
        EXPECT_EQ(xml.Record(0).FirstChild, 0);
        EXPECT_FALSE(xml.FindMainElement(nullptr));
        EXPECT_FALSE(xml.FindChildElement(nullptr));
        EXPECT_EQ(xml.GetChildText(), "");
    }
}

TEST(LiteXmlParse, FailuresWithoutMessageAndErrorTextKept) {
    CLiteXml xml;
    EXPECT_FALSE(xml.Parse("<a></b>"));
    EXPECT_EQ(xml.ErrorText(), "End tag does not correspond to a");
    // Neither an empty text, an absent one, a leading end tag nor a later
    // successful parse replaces the message.
    EXPECT_FALSE(xml.Parse(""));
    EXPECT_FALSE(xml.Parse(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(xml.Parse("  </a><b/>"));
    EXPECT_TRUE(xml.Parse("<a/>"));
    EXPECT_EQ(xml.ErrorText(), "End tag does not correspond to a");
    EXPECT_FALSE(xml.Parse("<x>"));
    EXPECT_EQ(xml.ErrorText(), "Element tag not found");
}

TEST(LiteXmlParse, NodesAndTrailingMatterAreSkipped) {
    const char* texts[] = {
        "<?xml version=\"1.0\"?><!-- c --><r><k>v</k></r>",
        "<!DOCTYPE r [ <!ENTITY e \"]>\"> <!ELEMENT r ANY> ]>\r\n<r><k>v</k></r>",
        "<r><!-- <k>no</k> --><?pi x?><![CDATA[<k>no</k>]]><!X y><k>v</k></r>",
        "<r><k>v</k></r> trailing <second/> <!-- open",
        "<r>\r\n  <k a=\"1\" b='2'>v</k>\r\n</r>",
        "<r><k>v</ k ></r>",
        "<r><k>v</k junk 'q'></r>",
        "<r><k/ >v</k></r>",  // "<k/ >" is not an empty element
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        CLiteXml xml;
        ASSERT_TRUE(xml.Parse(text)) << xml.ErrorText();
        EXPECT_TRUE(xml.FindMainElement("r"));
        EXPECT_EQ(Child(xml, "k"), "v");
    }
}

TEST(LiteXmlParse, NameFollowsTagWhitespaceAndFirstBracketEndsTag) {
    CLiteXml xml;
    ASSERT_TRUE(xml.Parse("<r>< Run>x</Run><Run a=\">\">y</Run></r>"));
    EXPECT_EQ(Child(xml, "Run"), "x");
    EXPECT_TRUE(xml.FindChildElement("Run"));
    EXPECT_EQ(xml.GetChildText(), "\">y");  // attributes are not parsed
}

TEST(LiteXmlNavigation, LauncherConfigurationBlock) {
    ASSERT_EQ(std::strlen(testsupport::kShippedConfiguration), 154u);
    CLiteXml xml;
    ASSERT_TRUE(xml.Parse(testsupport::kShippedConfiguration));
    ASSERT_TRUE(xml.FindMainElement("KV_ZCD"));
    EXPECT_EQ(Child(xml, "Title"), "Please wait - Generating Installer............");
    EXPECT_EQ(Child(xml, "Run"), "autorun.exe");
    EXPECT_EQ(Child(xml, "Prog"), "1");
    EXPECT_EQ(Child(xml, "UsePW"), "1");
    EXPECT_EQ(Child(xml, "Message"), "");
    EXPECT_EQ(Child(xml, "Missing"), "<missing>");
    EXPECT_EQ(Child(xml, "Prog"), "1");  // order of lookups does not matter
}

TEST(LiteXmlNavigation, RepeatedFindsStepThroughSiblingsFailureKeepsState) {
    CLiteXml xml;
    ASSERT_TRUE(xml.Parse("<r><Run>1</Run><x/><Run>2</Run></r>"));
    ASSERT_TRUE(xml.FindMainElement("r"));
    ASSERT_TRUE(xml.FindChildElement("Run"));
    EXPECT_EQ(xml.GetChildText(), "1");
    ASSERT_TRUE(xml.FindChildElement("Run"));
    EXPECT_EQ(xml.GetChildText(), "2");
    const int child = xml.ChildPos(), main = xml.MainPos(), parent = xml.ParentPos();
    EXPECT_FALSE(xml.FindChildElement("Run"));
    EXPECT_EQ(xml.ChildPos(), child);
    EXPECT_EQ(xml.MainPos(), main);
    EXPECT_EQ(xml.ParentPos(), parent);
    EXPECT_EQ(xml.GetChildText(), "2");
    xml.ResetChildPosition();
    ASSERT_TRUE(xml.FindChildElement("Run"));
    EXPECT_EQ(xml.GetChildText(), "1");
    // The main level holds only the root: a second find fails, state stays.
    EXPECT_FALSE(xml.FindMainElement("r"));
    EXPECT_EQ(xml.MainPos(), 1);
    EXPECT_EQ(xml.ChildPos(), 2);
}

TEST(LiteXmlNavigation, ChildFindBeforeMainFindSelectsFirstMainElement) {
    CLiteXml xml;
    ASSERT_TRUE(xml.Parse("<r><a>x</a></r>"));
    ASSERT_TRUE(xml.FindChildElement("a"));
    EXPECT_EQ(xml.MainPos(), 1);
    EXPECT_EQ(xml.GetChildText(), "x");

    CLiteXml other;
    ASSERT_TRUE(other.Parse("<r><a>x</a></r>"));
    EXPECT_FALSE(other.FindChildElement("b"));
    EXPECT_EQ(other.MainPos(), 1);  // the selection made first remains
    EXPECT_EQ(other.ChildPos(), 0);

    CLiteXml empty;
    EXPECT_FALSE(empty.FindChildElement("a"));
    EXPECT_EQ(empty.MainPos(), 0);
}

TEST(LiteXmlNavigation, PathMatching) {
    CLiteXml xml;
    ASSERT_TRUE(xml.Parse("<r><Run><in>i</in></Run><Run>2</Run><s>t</s></r>"));
    ASSERT_TRUE(xml.FindMainElement("r"));
    EXPECT_EQ(Child(xml, "run"), "<missing>");
    EXPECT_EQ(Child(xml, "Ru"), "<missing>");
    EXPECT_EQ(Child(xml, "Run/"), "<missing>");
    EXPECT_EQ(Child(xml, "Run[2]"), "");  // no index: the first Run (with children)
    EXPECT_EQ(xml.ChildPos(), 2);
    EXPECT_EQ(Child(xml, "Run x"), "");
    EXPECT_EQ(Child(xml, "Run=y"), "");
    EXPECT_EQ(Child(xml, "s"), "t");
    EXPECT_EQ(Child(xml, ""), "");  // the first child whatever its name
    EXPECT_EQ(xml.ChildPos(), 2);
    EXPECT_EQ(Child(xml, nullptr), "");
    EXPECT_EQ(Child(xml, "*"), "");
    EXPECT_EQ(xml.ChildPos(), 2);

    // Empty path steps on to the next element whatever its name.
    EXPECT_TRUE(xml.FindChildElement(""));
    EXPECT_EQ(xml.GetChildText(), "2");
    EXPECT_TRUE(xml.FindChildElement(nullptr));
    EXPECT_EQ(xml.GetChildText(), "t");

    // Several segments move the main position down.
    EXPECT_EQ(Child(xml, "Run/in"), "i");
    EXPECT_EQ(xml.MainPos(), 2);
    EXPECT_EQ(xml.ParentPos(), 1);
    EXPECT_EQ(Child(xml, "*/in"), "<missing>");  // "in" has no children
    EXPECT_EQ(Child(xml, "/r/*/in"), "i");
    EXPECT_EQ(Child(xml, "/r/s"), "t");
    EXPECT_EQ(xml.MainPos(), 1);
    EXPECT_EQ(Child(xml, "/"), "");  // only "/": the root
    EXPECT_EQ(xml.ChildPos(), 1);
}

TEST(LiteXmlNavigation, NoBacktrackingAndMainElementSteps) {
    CLiteXml xml;
    ASSERT_TRUE(xml.Parse("<r><g><k>1</k></g><g><y>2</y></g></r>"));
    ASSERT_TRUE(xml.FindMainElement("r"));
    // "g/y" goes into the first g and fails there; the second g is not tried.
    EXPECT_EQ(Child(xml, "g/y"), "<missing>");
    EXPECT_EQ(Child(xml, "g/k"), "1");
    EXPECT_EQ(xml.MainPos(), 2);
    // Main level is now the children of r: a further find steps to the second g.
    ASSERT_TRUE(xml.FindMainElement("g"));
    EXPECT_EQ(xml.MainPos(), 4);
    EXPECT_EQ(xml.ChildPos(), 0);
    EXPECT_EQ(Child(xml, "y"), "2");
    EXPECT_FALSE(xml.FindMainElement("g"));
    EXPECT_EQ(xml.MainPos(), 4);
    EXPECT_TRUE(xml.FindMainElement("/r"));
    EXPECT_EQ(xml.MainPos(), 1);
    EXPECT_EQ(xml.ParentPos(), 0);
}

TEST(LiteXmlNavigation, ParseResetsPositions) {
    CLiteXml xml;
    ASSERT_TRUE(xml.Parse("<r><a>1</a></r>"));
    ASSERT_TRUE(xml.FindChildElement("a"));
    ASSERT_TRUE(xml.Parse("<r><b>2</b></r>"));
    EXPECT_EQ(xml.MainPos(), 0);
    EXPECT_EQ(xml.ChildPos(), 0);
    EXPECT_EQ(xml.GetChildText(), "");
    EXPECT_EQ(Child(xml, "b"), "2");
}

TEST(LiteXmlText, ContentWithoutDecoding) {
    EXPECT_EQ(TextOf(""), "");
    EXPECT_EQ(TextOf("  a b  "), "  a b  ");
    EXPECT_EQ(TextOf("line 1\r\nline 2\n"), "line 1\r\nline 2\n");
    EXPECT_EQ(TextOf("x<c/>y"), "");  // an element with children has no text
    EXPECT_EQ(TextOf("<!-- c -->x"), "<!-- c -->x");

    CLiteXml xml;
    ASSERT_TRUE(xml.Parse("<r><Message/><M2 /><M3></M3></r>"));
    EXPECT_EQ(Child(xml, "Message"), "");
    EXPECT_EQ(Child(xml, "M2"), "");
    EXPECT_EQ(Child(xml, "M3"), "");
    EXPECT_EQ(xml.ElementText(0), "");
    EXPECT_EQ(xml.ElementText(99), "");
}

TEST(LiteXmlText, EntityReferences) {
    EXPECT_EQ(TextOf("a &amp; b &lt;c&gt;"), "a & b <c>");
    EXPECT_EQ(TextOf("&apos;&quot;&amp;lt;"), "'\"&lt;");
    EXPECT_EQ(TextOf("&AMP; &#65; &nbsp; &"), "&AMP; &#65; &nbsp; &");
    EXPECT_EQ(TextOf("&lt;"), "<");  // a reference that ends the content
    EXPECT_EQ(TextOf("x&lt"), "x&lt");
    EXPECT_EQ(TextOf("&quot"), "&quot");
}

TEST(LiteXmlText, CdataSections) {
    EXPECT_EQ(TextOf("<![CDATA[x<y&amp;]]>tail"), "x<y&amp;");
    EXPECT_EQ(TextOf(" \r\n\t<![CDATA[  raw  ]]>"), "  raw  ");
    EXPECT_EQ(TextOf("<![CDATA[]]>"), "");
    EXPECT_EQ(TextOf("<![CDATA[a</e>b]]>"), "a</e>b");
    EXPECT_EQ(TextOf("<![CDATA[a]]>b]]>"), "a");
    // Not at the start of the content: the whole content, decoded.
    EXPECT_EQ(TextOf("x<![CDATA[&amp;]]>"), "x<![CDATA[&]]>");
    // An unterminated section is a parse error.
    EXPECT_EQ(TextOf("<![CDATA[]]"), "<parse failed: Invalid node>");
}
