// apkg_seeds DIR: writes the seed corpus of the package fuzz target into DIR: each test
// package whole (first byte 0), its collection as SQLite bytes for the stored (1) and the
// Zstandard (2) forms of the target, and a scheduled collection as a bare file (3), each with a
// note type whose templates use the whole template language, also with each damage a
// collection can have in its JSON and protobuf parts, and with what is just past the limits on
// one input; and templates with fields (4).
// apkg_seeds --packages DIR: writes the sample package in each format as DIR/anki2.apkg,
// DIR/anki21.apkg and DIR/anki21b.apkg (for the test against the item under Wine).
// apkg_seeds --profile DIR: writes DIR/collection.anki2, a collection with a schedule (an Anki
// profile's folder for the launcher's test; day 69 is 2026-03-11).
#include "deck/tests/apkg_builder.h"

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

using namespace apkg_test;

namespace {

// Templates that use every part of the template language, as the fuzzer's mutations start
// from them: front, back, and the fields Front, Back and Extra.
const char* const kTemplates[][3] = {
    {"{{Front}}", "{{FrontSide}}<hr id=answer>{{Back}}", "chat"},
    {"{{#Front}}{{text:Front}}{{/Front}}{{^Back}}none{{/Back}} {{hint:Extra}}",
     "{{FrontSide}}<hr id=answer>{{furigana:Back}}<br>{{kana:Back}} {{kanji:Back}}",
     "a<b>b</b>&amp;\x1f私[わたし]\x1fhint"},
    {"{{cloze:Front}}{{type:cloze:Front}}{{#c2}}two{{/c2}}", "{{cloze:Front}}<br>{{Back}}",
     "{{c1::Paris::city}} {{c2::a {{c1::b}}}}\x1f"
     "extra"},
    {"{{=<% %>=}}<%Front%><!-- {{#x}} --><div style=\"display:none\">{{Back}}</div>",
     "<script>{{Front}}</script><details><summary>s</summary>{{Back}}</details>"
     "[latex]x[/latex][sound:a.mp3]<img src=a.png><ruby>a<rt>b</ruby>",
     "f\x1f<p>b<li>c"},
    {"{{Deck}} {{Subdeck}} {{Tags}} {{Card}} {{Type}} {{CardFlag}} {{tts en_US:Front}}",
     "{{#Front}}{{/Back}}", "x"},
};

// The note type of kTemplates' second line, with a note of it.
void AddOwnType(PackageSpec* plan) {
    plan->types.push_back({4001,
                           "Own",
                           0,
                           {"Front", "Back", "Extra"},
                           {{"Card 1", kTemplates[1][0], kTemplates[1][1]},
                            {"Card 2", kTemplates[3][0], kTemplates[3][1]}}});
    plan->notes.push_back({1500000000009, 4001, {"<b>a</b>", "私[わたし]は", "hint"}, "French"});
}

// The sample notes with a schedule: cards in every queue, one in a filtered deck.
PackageSpec Scheduled(Format format) {
    PackageSpec plan = SamplePackage(format);
    plan.crt = 1767254400;
    plan.rollover = 5;
    plan.sched_ver = 2;
    plan.creation_offset = format == Format::kAnki21b;
    plan.creation_minutes_west = -120;
    plan.notes[0].cards = {{2, 2, 69}};
    plan.notes[1].cards = {{1, 1, 1773223800}, {2, 2, 1000, "Cram", 65}};
    plan.notes[2].cards = {{3, 3, 68}};
    plan.notes[3].cards = {{2, -1, 60}};
    plan.notes.push_back({1500000000005,
                          kCloze,
                          {"{{c1::a}} {{c2::b::hint}}", "x"},
                          "French",
                          {{0, 0, 1}, {2, 2, 69}}});
    return plan;
}

// Damage to the note types, decks, templates and configuration of either schema.
const char* const kDamage[] = {
    "UPDATE col SET decks = '{not json'",
    "UPDATE col SET models = '[]'",
    "UPDATE col SET conf = '{'",
    "UPDATE col SET models = '{\"1\": 1, \"2\": {\"tmpls\": 7, \"flds\": [3]}}'",
    "UPDATE notetypes SET config = x'ff'",
    "UPDATE templates SET config = x'0a7f'",
    "UPDATE decks SET kind = x'ff'",
    "UPDATE config SET val = x'7b'",
};

std::string Repeat(const std::string& text, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

// Small packages just past the limits on one input (deck/base/limits.h) where a small input
// can be: HTML, sections and deck levels nested past theirs, cloze gaps past theirs, a deck
// name past its bytes, a template of many field references; each with a sound note beside it.
std::vector<PackageSpec> Hostile(Format format) {
    auto one = [format](const std::string& front, const std::string& question, int kind = 0,
                        const std::string& deck = "Default") {
        PackageSpec plan;
        plan.format = format;
        plan.types.push_back(
            {4002, "Hostile", kind, {"Front", "Back"}, {{"Card 1", question, "{{Back}}"}}});
        plan.notes.push_back({1500000000010, 4002, {front, "back"}, deck});
        plan.notes.push_back({1500000000011, kBasic, {"good", "card"}});
        return plan;
    };
    return {
        one(Repeat("<div>", 1001) + "x", "{{Front}}"),
        one("front", Repeat("{{#Front}}", 101) + Repeat("{{/Front}}", 101)),
        one(Repeat("{{c1::x}}", 10001), "{{cloze:Front}}", 1),
        one("front", Repeat("{{Front}}{{text:Front}}", 1000)),
        one("front", "{{Front}}", 0, Repeat("a::", 101) + "a"),
        one("front", "{{Front}}", 0, std::string((16 << 10) + 1, 'a')),
    };
}

} // namespace

int main(int argc, char** argv) {
    const bool packages = argc == 3 && std::string(argv[1]) == "--packages";
    const bool profile = argc == 3 && std::string(argv[1]) == "--profile";
    if (argc != 2 && !packages && !profile) {
        fprintf(stderr, "usage: %s [--packages|--profile] DIR\n", argv[0]);
        return 2;
    }
    if (profile) {
        std::string error = BuildCollection(Scheduled(Format::kAnki21b),
                                            std::string(argv[2]) + "/collection.anki2");
        fprintf(stderr, "%s", error.empty() ? "" : (error + "\n").c_str());
        return error.empty() ? 0 : 1;
    }
    const std::string dir = argv[argc - 1];
    int failures = 0;
    const char* names[] = {"anki2", "anki21", "anki21b"};
    int i = 0;
    if (packages) {
        for (Format format : {Format::kAnki2, Format::kAnki21, Format::kAnki21b}) {
            std::string error =
                BuildPackage(SamplePackage(format), dir + "/" + names[i++] + ".apkg");
            if (!error.empty()) {
                fprintf(stderr, "%s\n", error.c_str());
                ++failures;
            }
        }
        return failures ? 1 : 0;
    }
    for (size_t t = 0; t < std::size(kTemplates); ++t) {
        std::string seed = "\4";
        for (const char* part : kTemplates[t]) {
            seed += std::string(part) + (part == kTemplates[t][2] ? "" : "\x1f");
        }
        failures += !WriteFile(dir + "/seed-templates-" + std::to_string(t), seed);
    }
    for (Format format : {Format::kAnki2, Format::kAnki21, Format::kAnki21b}) {
        PackageSpec plan = SamplePackage(format);
        AddOwnType(&plan);
        std::string path = dir + "/package-" + names[i] + ".apkg";
        std::string error = BuildPackage(plan, path);
        std::string bytes = ReadFile(path);
        remove(path.c_str());
        failures += !error.empty() || bytes.empty();
        failures += !WriteFile(dir + "/seed-package-" + names[i], std::string(1, '\0') + bytes);
        std::string collection = CollectionBytes(plan);
        failures += collection.empty();
        char mode = format == Format::kAnki21b ? '\2' : '\1';
        failures +=
            !WriteFile(dir + "/seed-collection-" + names[i], std::string(1, mode) + collection);
        PackageSpec bare = Scheduled(format);
        AddOwnType(&bare);
        std::string scheduled = CollectionBytes(bare);
        failures += scheduled.empty();
        failures += !WriteFile(dir + "/seed-bare-" + names[i], "\3" + scheduled);
        int hostile = 0;
        for (const PackageSpec& plan : Hostile(format)) {
            std::string bytes = CollectionBytes(plan);
            failures += bytes.empty();
            failures +=
                !WriteFile(dir + "/seed-hostile-" + names[i] + "-" + std::to_string(hostile++),
                           std::string(1, mode) + bytes);
        }
        int damaged = 0;
        for (const char* damage : kDamage) {
            PackageSpec broken = Scheduled(format);
            broken.extra_schema = damage;
            // A statement for the other schema's tables fails, and makes no seed.
            std::string bare = CollectionBytes(broken);
            if (!bare.empty()) {
                failures +=
                    !WriteFile(dir + "/seed-damaged-" + names[i] + "-" + std::to_string(damaged++),
                               "\3" + bare);
            }
        }
        ++i;
    }
    return failures ? 1 : 0;
}
