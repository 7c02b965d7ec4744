// A card's two sides as the item shows them, from small templates and notes: one table of the
// template language's rules, Anki's own markers and the text a person sees.
#include "deck/anki/cardsides.h"
#include "deck/base/limits.h"

#include "deck/tests/deck_support.h"

#include <gtest/gtest.h>

namespace {

using decktest::Repeat;

using deck::anki::CardInput;
using deck::anki::CardRenderer;
using deck::anki::NoteType;
using deck::anki::Shown;

const char* const kBasicBack = "{{FrontSide}}<hr id=answer>{{Back}}";

std::string Words(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += "word ";
    }
    return text;
}

TEST(AnkiTemplates, EachCardShowsItsTemplatesAsAPersonSeesThem) {
    const std::string long_side = Words(120);
    const std::string cut_side = Words(102).substr(0, 509) + "…";
    const struct {
        const char* what;
        std::string front, back;       // the template
        std::vector<std::string> note; // Front, Back, Extra
        std::string question, answer;  // what the item shows
        Shown shown = Shown::kCard;
        bool cloze = false;
        int64_t ord = 0;
    } cases[] = {
        {"Anki's default", "{{Front}}", kBasicBack, {"chat", "cat"}, "chat", "cat"},
        {"no answer line: the back without the front",
         "{{Front}}",
         "{{FrontSide}}<br>{{Back}}",
         {"chat", "cat"},
         "chat",
         "cat"},
        {"a back that never shows the front",
         "{{Front}}",
         "{{Back}} ({{Extra}})",
         {"chat", "cat", "m."},
         "chat",
         "cat (m.)"},
        {"a reverse template that is not Anki's",
         "{{Back}}",
         "{{FrontSide}}<hr id=answer>{{Front}} {{Extra}}",
         {"chat", "cat", "m."},
         "cat",
         "chat m."},
        {"sections: a field of breaks is empty",
         "{{Front}}",
         "{{FrontSide}}<hr id=answer>{{#Extra}}E: {{Extra}}{{/Extra}}{{^Extra}}none{{/Extra}}",
         {"a", "b", " <br><div> </div>"},
         "a",
         "none"},
        {"nested sections",
         "{{#Front}}{{^Back}}only {{Front}}{{/Back}}{{/Front}}",
         kBasicBack,
         {"a", ""},
         "only a",
         ""},
        {"filters apply nearest first",
         "{{text:Front}} {{unknown:Back}}",
         kBasicBack,
         {"<b>a &amp; b</b> &lt;i&gt;", "<i>c</i>"},
         "a & b <i> c",
         "c"},
        {"cloze card 2",
         "{{cloze:Front}}",
         "{{cloze:Front}}<br>{{Back}}",
         {"{{c1::Paris::city}} and {{c2::Rome}}", "Italy"},
         "Paris and [...]",
         "Paris and Rome · Italy",
         Shown::kCard,
         true,
         1},
        {"nested gaps",
         "{{cloze:Front}}",
         "{{cloze:Front}}",
         {"{{c1::a {{c2::b}} c}} d {{c1::unclosed"},
         "a [...] c d {{c1::unclosed",
         "a b c d {{c1::unclosed",
         Shown::kCard,
         true,
         1},
        {"a cloze card without its gap",
         "{{cloze:Front}}",
         "{{cloze:Front}}",
         {"{{c1::Paris}}"},
         "",
         "",
         Shown::kBlank,
         true,
         2},
        {"cloze sections and cloze-only",
         "{{cloze:Front}}{{#c2}} (two){{/c2}}{{cloze-only:Back}}",
         "{{cloze:Front}}",
         {"{{c2::x}}", "{{c2::y}}"},
         "[...] (two)",
         "x",
         Shown::kCard,
         true,
         1},
        {"typing: the box is not shown, the answer on the back",
         "{{Front}} {{type:Back}}",
         "{{FrontSide}}<hr id=answer>",
         {"chat", "<b>cat</b>"},
         "chat",
         "cat"},
        {"typing on the back without the front",
         "{{Front}}",
         "{{Front}} {{type:Back}}",
         {"chat", "cat"},
         "chat",
         "chat cat"},
        {"typing a cloze",
         "{{cloze:Front}}{{type:cloze:Front}}",
         "{{cloze:Front}}<br>{{type:cloze:Front}}",
         {"{{c1::a}} {{c1::b}} {{c2::c}}"},
         "[...] [...] c",
         "a b c · a, b",
         Shown::kCard,
         true,
         0},
        {"hint: a closed link named after the field",
         "{{Front}} {{hint:Back}}",
         kBasicBack,
         {"chat", "cat"},
         "chat Back",
         "cat"},
        {"furigana, kana and kanji",
         "{{kanji:Front}}",
         "{{kana:Front}}<hr id=answer>"
         "{{furigana:Front}}",
         {"私[わたし]は 日本語[にほんご]"},
         "私は日本語",
         "私(わたし)は日本語(にほんご)"},
        {"a reading that is a sound",
         "{{furigana:Front}}",
         kBasicBack,
         {"犬[sound:inu.mp3]"},
         "犬",
         ""},
        {"speech only", "{{tts en_US:Front}}", kBasicBack, {"chat"}, "", "", Shown::kOnlyMedia},
        {"special fields",
         "{{Deck}}|{{Subdeck}}|{{Card}}|{{Type}}|{{CardFlag}}|{{Tags}}",
         "{{#Tags}}tagged{{/Tags}}",
         {"x"},
         "Lang::French|French|Card 1|Test|flag2|verb food",
         "tagged"},
        {"legacy syntax and a comment's braces",
         "{{=<% %>=}}<!-- {{#x}} --><%Front%>",
         kBasicBack,
         {"chat", "cat"},
         "chat",
         "cat"},
        {"a section never closed",
         "{{#Front}}{{Front}}",
         kBasicBack,
         {"a", "b"},
         "",
         "",
         Shown::kCannotRender},
        {"sections closed out of order",
         "{{Front}}",
         "{{#Front}}{{#Back}}{{/Front}}{{/Back}}",
         {"a", "b"},
         "",
         "",
         Shown::kCannotRender},
        {"a field the note type lacks",
         "{{Front}} {{Nope}}",
         kBasicBack,
         {"a", "b"},
         "",
         "",
         Shown::kCannotRender},
        {"a front without a field that has text",
         "What is {{Back}}?",
         kBasicBack,
         {"a", ""},
         "",
         "",
         Shown::kBlank},
        {"hidden parts",
         "<script>{{Back}}</script><style>p{}</style><!-- {{Back}} -->"
         "<button>{{Back}}</button><div style=\"display: none\">{{Back}}</div>{{Front}}"
         "<audio src=a.mp3>{{Back}}</audio><input value=x>",
         kBasicBack,
         {"chat", "cat"},
         "chat",
         "cat"},
        {"maths as its source",
         "[latex]{{Front}}[/latex] [$]x^2[/$] \\(y\\)",
         "[$$]a<br>b[/$$] \\[w\\] [LaTeX]v[/latex]",
         {"\\frac{a}{b}"},
         "\\frac{a}{b} x^2 y",
         "a b w v"},
        {"lines as middle dots",
         "<div>{{Front}}</div><div>b</div>c<br>d&nbsp;e",
         kBasicBack,
         {"a", "<ul><li>1</li><li>2</li></ul>"},
         "a · b · c · d e",
         "1 · 2"},
        {"a front of pictures is left out",
         "{{Front}}",
         kBasicBack,
         {"<img src=a.png>", "cat"},
         "",
         "",
         Shown::kOnlyMedia},
        {"an answer of pictures or sounds says so",
         "{{Front}}",
         "{{FrontSide}}<hr id=answer>{{Back}}<br>{{Extra}}",
         {"chat", "<img src=a.png>", "[sound:a.mp3]"},
         "chat",
         "(picture and sound)"},
        {"a side longer than the item shows",
         "{{Front}}",
         kBasicBack,
         {long_side, "x"},
         cut_side,
         "x"},
    };
    const size_t count = sizeof cases / sizeof cases[0];
    std::vector<NoteType> types(count);
    for (size_t i = 0; i < count; ++i) {
        types[i].name = "Test";
        types[i].cloze = cases[i].cloze;
        types[i].field_names = {"Front", "Back", "Extra"};
        types[i].templates = {{"Card 1", cases[i].front, cases[i].back}};
    }
    // Each card with a renderer of its own, then all of them with one renderer, forwards and
    // backwards: its kept templates and strings carry nothing from one card to the next.
    CardRenderer shared({});
    for (size_t run = 0; run < 3 * count; ++run) {
        const size_t i = run < count ? run : run < 2 * count ? run - count : 3 * count - 1 - run;
        const auto& c = cases[i];
        SCOPED_TRACE(std::string(c.what) + (run < count ? "" : " (one renderer for all)"));
        CardInput card;
        card.type = &types[i];
        card.fields = &c.note;
        card.ord = c.ord;
        card.tags = " verb food ";
        card.deck = "Lang::French";
        card.flags = 2;
        CardRenderer own({});
        CardRenderer& renderer = run < count ? own : shared;
        std::string question, answer;
        EXPECT_EQ(renderer.Render(card, &question, &answer), c.shown);
        if (c.shown == Shown::kCard) {
            EXPECT_EQ(question, c.question);
            EXPECT_EQ(answer, c.answer);
        }
    }
}

// Each limit on one card (deck/base/limits.h) at its edge: a card just within it shows, one
// just past it is left out with words that name the limit.
TEST(AnkiTemplates, EachLimitHoldsAtItsEdge) {
    using deck::kMaxFieldBytes;
    const std::string mib(1 << 20, 'x');
    const struct {
        const char* what;
        std::string front, back;
        std::string field;
        Shown shown;
        const char* words = ""; // OverLimit()
        bool cloze = false;
    } cases[] = {
        {"a field at the limit", "{{Front}}", "{{Front}}", std::string(kMaxFieldBytes, 'x'),
         Shown::kCard},
        {"a field past it", "{{Front}}", "{{Front}}", std::string(kMaxFieldBytes + 1, 'x'),
         Shown::kOverLimit,
         "its field \"Front\" is 64.0 MiB, over the limit of 64 MiB for a field"},
        {"cloze gaps at the limit", "{{cloze:Front}}", "{{cloze:Front}}",
         Repeat("{{c1::x}}", deck::kMaxClozeGaps), Shown::kCard, "", true},
        {"cloze gaps past it", "{{cloze:Front}}", "{{cloze:Front}}",
         Repeat("{{c1::x}}", deck::kMaxClozeGaps + 1), Shown::kOverLimit,
         "its field \"Front\" holds more than 10000 cloze gaps, the limit for a field", true},
        {"HTML nested to the limit", "{{Front}}", "{{Front}}",
         Repeat("<b>", deck::kMaxHtmlDepth) + "x", Shown::kCard},
        {"HTML nested past it", "{{Front}}", "{{Front}}",
         Repeat("<b>", deck::kMaxHtmlDepth + 1) + "x", Shown::kOverLimit,
         "its front's HTML nests more than 1000 elements deep, the limit"},
        {"a side of field references at the limit", Repeat("{{Front}}", 64), "{{Front}}", mib,
         Shown::kCard},
        {"a side of field references past it", Repeat("{{Front}}", 65), "{{Front}}", mib,
         Shown::kOverLimit, "its front renders to more than 64 MiB, the limit of a card's side"},
        {"a back of the front twice past it", Repeat("{{Front}}", 40), "{{FrontSide}}{{FrontSide}}",
         mib, Shown::kOverLimit,
         "its back renders to more than 64 MiB, the limit of a card's side"},
        {"a template at the limit", "{{Front}}" + std::string(deck::kMaxTemplateBytes - 9, ' '),
         "{{Front}}", "x", Shown::kCard},
        {"a template past it", "{{Front}}" + std::string(deck::kMaxTemplateBytes - 8, ' '),
         "{{Front}}", "x", Shown::kCannotRender},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NoteType type;
        type.name = "Test";
        type.cloze = c.cloze;
        type.field_names = {"Front"};
        type.templates = {{"Card 1", c.front, c.back}};
        const std::vector<std::string> fields = {c.field};
        CardInput card;
        card.type = &type;
        card.fields = &fields;
        CardRenderer renderer({});
        std::string question, answer;
        EXPECT_EQ(renderer.Render(card, &question, &answer), c.shown);
        if (c.shown == Shown::kOverLimit) {
            EXPECT_EQ(renderer.OverLimit(), c.words);
        }
    }
}

} // namespace
