// The template tree as Anki's own reader builds it (rslib/src/template.rs, its parsing test).
#include "deck/anki/templateparse.h"

#include <gtest/gtest.h>

namespace {

using deck::anki::TemplateNode;

// The tree in one line: text as "quoted", a field as its name with its filters before it
// (text:Front), a section as #Name[...] or ^Name[...], a comment as <!--...-->.
std::string Dump(const std::vector<TemplateNode>& nodes) {
    std::string out;
    for (const TemplateNode& node : nodes) {
        out += out.empty() ? "" : " ";
        switch (node.kind) {
        case TemplateNode::kText:
            out += "\"" + node.text + "\"";
            break;
        case TemplateNode::kComment:
            out += "<!--" + node.text + "-->";
            break;
        case TemplateNode::kField:
            for (auto f = node.filters.rbegin(); f != node.filters.rend(); ++f) {
                out += *f + ":";
            }
            out += node.text;
            break;
        case TemplateNode::kSection:
            out += (node.negated ? "^" : "#") + node.text + "[" + Dump(node.children) + "]";
            break;
        }
    }
    return out;
}

TEST(TemplateParse, TreesAndErrorsAsAnkiReadsThem) {
    deck::anki::NoteType type;
    type.field_names = {"Front", "Back"};
    struct Case {
        const char* text;
        const char* tree; // or the error
    } cases[] = {
        {"foo {{bar}} {{#baz}} quux {{/baz}}", "\"foo \" bar \" \" #baz[\" quux \"]"},
        {"{{^baz}}{{/baz}}", "^baz[]"},
        {"{{ Front }} {{text:furigana:Back}}", "Front \" \" text:furigana:Back"},
        {"{{foo", "\"{{foo\""},
        {"{{#a}}{{#b}}x{{/b}}{{/a}}", "#a[#b[\"x\"]]"},
        {"<!--{{Front}}-->{{Back}}", "<!--{{Front}}--> Back"},
        {"{{=<% %>=}}<%Front%> {{Back}}", "Front \" {{Back}}\""},
        {"{{{Front}}}", "Front \"}\""},
        {"{{#baz}}{{/bar}}", "{{/bar}} comes before {{/baz}}"},
        {"{{/baz}}", "{{/baz}} closes no section"},
        {"{{#baz}}", "{{#baz}} is never closed"},
    };
    for (const Case& c : cases) {
        std::vector<TemplateNode> nodes;
        std::string error;
        const bool ok = deck::anki::ParseTemplate(type, c.text, &nodes, &error);
        EXPECT_EQ(ok ? Dump(nodes) : error, c.tree) << c.text;
    }
    std::string deep;
    for (int i = 0; i <= 101; ++i) {
        deep += "{{#a}}";
    }
    std::vector<TemplateNode> nodes;
    std::string error;
    EXPECT_FALSE(deck::anki::ParseTemplate(type, deep, &nodes, &error));
    EXPECT_EQ(error, "its sections nest more than 100 deep, the limit");
}

} // namespace
