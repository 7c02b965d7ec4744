// Anki's template language read into a tree (templateparse.h).
#include "deck/anki/templateparse.h"

#include "deck/base/limits.h"
#include "deck/base/strings.h"

#include <algorithm>

namespace deck::anki {

int TemplateKeyOf(const NoteType& type, const std::string& name) {
    for (size_t i = 0; i < type.field_names.size(); ++i) {
        if (type.field_names[i] == name) {
            return static_cast<int>(i);
        }
    }
    static const std::pair<const char*, TemplateKey> kSpecial[] = {
        {"FrontSide", kFrontSide}, {"Tags", kTags},         {"Type", kType}, {"Deck", kDeck},
        {"Subdeck", kSubdeck},     {"CardFlag", kCardFlag}, {"Card", kCard}};
    for (const auto& [special, key] : kSpecial) {
        if (name == special) {
            return key;
        }
    }
    if (name.size() > 1 && name[0] == 'c' &&
        name.find_first_not_of("0123456789", 1) == std::string::npos && name.size() < 10) {
        return kClozeNumber;
    }
    return kUnknown;
}

std::string SectionTag(const TemplateNode& node) {
    return std::string("{{") + (node.negated ? "^" : "#") + node.text + "}}";
}

bool ParseTemplate(const NoteType& type, std::string_view text, std::vector<TemplateNode>* nodes,
                   std::string* err) {
    std::string_view open = "{{", close = "}}";
    size_t lead = text.find_first_not_of(" \t\r\n");
    if (lead != std::string_view::npos && text.compare(lead, 11, "{{=<% %>=}}") == 0) {
        text.remove_prefix(lead + 11);
        open = "<%";
        close = "%>";
    }
    std::vector<std::vector<TemplateNode>*> stack = {nodes};
    std::vector<TemplateNode*> sections;
    auto add = [&](TemplateNode node) { stack.back()->push_back(std::move(node)); };
    bool handlebars = true, comments = true; // false once none is left
    size_t p = 0;
    while (p < text.size()) {
        size_t h = handlebars ? text.find(open, p) : std::string_view::npos;
        size_t h_end = h == std::string_view::npos ? h : text.find(close, h + 2);
        handlebars = h_end != std::string_view::npos;
        h = handlebars ? h : std::string_view::npos;
        size_t c = comments ? text.find("<!--", p) : std::string_view::npos;
        size_t c_end = c == std::string_view::npos ? c : text.find("-->", c + 4);
        comments = c_end != std::string_view::npos;
        c = comments ? c : std::string_view::npos;
        size_t start = std::min(h, c);
        if (start > p) {
            add(TemplateNode::Of(TemplateNode::kText,
                                 std::string(text.substr(p, std::min(start, text.size()) - p))));
        }
        if (start == std::string_view::npos) {
            break;
        }
        if (start == c) {
            add(TemplateNode::Of(TemplateNode::kComment,
                                 std::string(text.substr(c + 4, c_end - c - 4))));
            p = c_end + 3;
            continue;
        }
        p = h_end + 2;
        std::string inner(text.substr(h + 2, h_end - h - 2));
        inner = Trim(inner.substr(std::min(inner.find_first_not_of('{'), inner.size())));
        const char lead_char = inner.size() >= 2 ? inner[0] : '\0';
        if (lead_char == '#' || lead_char == '^') {
            if (stack.size() > kMaxSectionDepth) {
                *err = "its sections nest more than " + std::to_string(kMaxSectionDepth) +
                       " deep, the limit";
                return false;
            }
            TemplateNode section = TemplateNode::Of(TemplateNode::kSection, Trim(inner.substr(1)));
            section.negated = lead_char == '^';
            section.key = TemplateKeyOf(type, section.text);
            add(std::move(section));
            sections.push_back(&stack.back()->back());
            stack.push_back(&sections.back()->children);
        } else if (lead_char == '/') {
            std::string name = Trim(inner.substr(1));
            if (sections.empty()) {
                *err = "{{/" + name + "}} closes no section";
                return false;
            }
            if (sections.back()->text != name) {
                *err = "{{/" + name + "}} comes before {{/" + sections.back()->text + "}}";
                return false;
            }
            sections.pop_back();
            stack.pop_back();
        } else {
            TemplateNode field = TemplateNode::Of(TemplateNode::kField, "");
            size_t colon = inner.rfind(':');
            field.text = colon == std::string::npos ? inner : inner.substr(colon + 1);
            for (size_t end = colon; end != std::string::npos && end > 0;) {
                size_t from = inner.rfind(':', end - 1);
                from = from == std::string::npos ? 0 : from + 1;
                field.filters.push_back(inner.substr(from, end - from));
                end = from == 0 ? std::string::npos : from - 1;
            }
            if (colon == 0) {
                field.filters.push_back("");
            }
            field.key = TemplateKeyOf(type, field.text);
            add(std::move(field));
        }
    }
    if (!sections.empty()) {
        *err = SectionTag(*sections.back()) + " is never closed";
        return false;
    }
    return true;
}

} // namespace deck::anki
