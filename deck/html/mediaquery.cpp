// Media queries answered for one screen: a query is read word by word and feature by feature,
// as Media Queries level 3 writes them ("only screen and (min-width: 600px)"); the ranges of
// level 4 ("width >= 600px") and "or" are not read, so a query that uses them does not hold.
#include "deck/html/mediaquery.h"

#include "deck/base/strings.h"

#include <cstdlib>
#include <string>

namespace deck::html {

namespace {

// A media query's answer: one that cannot be read is neither true nor false.
enum class Answer { kHolds, kFails, kUnknown };

Answer Of(bool holds) {
    return holds ? Answer::kHolds : Answer::kFails;
}

// A length in CSS pixels ("600px", "40em"), or a negative number when it is none.
double Pixels(std::string_view value) {
    std::string text(value);
    char* end = nullptr;
    double number = strtod(text.c_str(), &end);
    std::string_view unit = TrimAsciiWhitespace(std::string_view(end));
    if (end == text.c_str() || number < 0) {
        return -1;
    }
    if (unit == "px" || (unit.empty() && number == 0)) {
        return number;
    }
    return unit == "em" || unit == "rem" ? number * 16 : -1;
}

// One media feature, "min-width: 600px" or "hover", for a desktop screen of 1280 by 800 px.
Answer Feature(std::string_view feature) {
    size_t colon = feature.find(':');
    std::string_view name = TrimAsciiWhitespace(feature.substr(0, colon));
    if (name.compare(0, 8, "-webkit-") == 0) {
        name.remove_prefix(8);
    }
    if (colon == std::string_view::npos) {
        if (name == "color" || name == "hover" || name == "any-hover" || name == "pointer" ||
            name == "any-pointer" || name == "width" || name == "height") {
            return Answer::kHolds;
        }
        return name == "monochrome" || name == "grid" ? Answer::kFails : Answer::kUnknown;
    }
    std::string_view value = TrimAsciiWhitespace(feature.substr(colon + 1));
    std::string_view bare = name;
    int side = 0; // -1 max-, 1 min-, 0 exact
    if (bare.compare(0, 4, "min-") == 0 || bare.compare(0, 4, "max-") == 0) {
        side = bare[1] == 'i' ? 1 : -1;
        bare.remove_prefix(4);
    }
    if (bare.compare(0, 7, "device-") == 0) {
        bare.remove_prefix(7);
    }
    double screen = bare == "width"         ? 1280
                    : bare == "height"      ? 800
                    : bare == "pixel-ratio" ? 1
                                            : -1;
    if (screen >= 0) {
        double wanted = -1;
        if (bare == "pixel-ratio") {
            char* end = nullptr;
            std::string text(value);
            wanted = strtod(text.c_str(), &end);
            wanted = end != text.c_str() && TrimAsciiWhitespace(std::string_view(end)).empty()
                         ? wanted
                         : -1;
        } else {
            wanted = Pixels(value);
        }
        if (wanted < 0) {
            return Answer::kUnknown;
        }
        return Of(side > 0 ? screen >= wanted : side < 0 ? screen <= wanted : screen == wanted);
    }
    if (side != 0) {
        return Answer::kUnknown;
    }
    const struct {
        const char* name;
        const char* holds;
        const char* fails[2];
    } kKnown[] = {
        {"orientation", "landscape", {"portrait", ""}},
        {"hover", "hover", {"none", ""}},
        {"any-hover", "hover", {"none", ""}},
        {"pointer", "fine", {"coarse", "none"}},
        {"any-pointer", "fine", {"coarse", "none"}},
        {"prefers-color-scheme", "light", {"dark", ""}},
        {"prefers-reduced-motion", "no-preference", {"reduce", ""}},
    };
    for (const auto& known : kKnown) {
        if (name == known.name) {
            if (value == known.holds) {
                return Answer::kHolds;
            }
            return value == known.fails[0] || value == known.fails[1] ? Answer::kFails
                                                                      : Answer::kUnknown;
        }
    }
    return Answer::kUnknown;
}

// One query of a list: [not|only] [type] [and (feature)]..., or (feature) [and (feature)]...
Answer Query(std::string_view query) {
    size_t p = 0;
    auto word = [&] {
        while (p < query.size() && IsAsciiWhitespace(query[p])) {
            ++p;
        }
        size_t from = p;
        while (p < query.size() && IsCssNameChar(query[p])) {
            ++p;
        }
        return query.substr(from, p - from);
    };
    std::string_view first = word();
    const bool negate = first == "not";
    if (negate || first == "only") {
        first = word();
    }
    Answer answer = Answer::kHolds;
    if (!first.empty() && first != "all" && first != "screen") {
        answer = Answer::kFails; // print, speech and the old handheld, tv, ...
    }
    bool joined = !first.empty(); // the next feature needs "and" before it
    bool features = false;
    for (;;) {
        while (p < query.size() && IsAsciiWhitespace(query[p])) {
            ++p;
        }
        if (p >= query.size()) {
            break;
        }
        if (joined && word() != "and") {
            return Answer::kUnknown;
        }
        while (p < query.size() && IsAsciiWhitespace(query[p])) {
            ++p;
        }
        size_t close = p < query.size() && query[p] == '(' ? query.find(')', p) : std::string::npos;
        if (close == std::string_view::npos) {
            return Answer::kUnknown;
        }
        Answer feature = Feature(query.substr(p + 1, close - p - 1));
        if (feature == Answer::kUnknown) {
            return Answer::kUnknown;
        }
        answer = feature == Answer::kFails ? Answer::kFails : answer;
        joined = features = true;
        p = close + 1;
    }
    if (first.empty() && !features) {
        return Answer::kUnknown;
    }
    if (negate && answer != Answer::kUnknown) {
        answer = answer == Answer::kHolds ? Answer::kFails : Answer::kHolds;
    }
    return answer;
}

} // namespace

bool MediaHolds(std::string_view query_list) {
    std::string lower(query_list);
    for (char& c : lower) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    // The queries between commas outside parentheses.
    bool holds = false;
    int depth = 0;
    size_t from = 0;
    for (size_t p = 0; p <= lower.size(); ++p) {
        const char c = p < lower.size() ? lower[p] : ',';
        depth += c == '(' ? 1 : c == ')' && depth > 0 ? -1 : 0;
        if (c == ',' && depth == 0) {
            holds |= Query(std::string_view(lower).substr(from, p - from)) == Answer::kHolds;
            from = p + 1;
        }
    }
    return holds;
}

bool IsCssNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

} // namespace deck::html
