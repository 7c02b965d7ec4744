// tollamy-deck's surface: the parser's options against the man page and --help, the version,
// the program's name in every message, the checks' messages and statuses, and `-o -`.
#include "deck/tests/deck_support.h"

#include "deck/cli/parse.h"
#include "deck/cli/options.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

namespace {

using decktest::Tool;

// A name as man(7) source spells it: every minus escaped.
std::string Roff(const std::string& name) {
    return std::regex_replace(name, std::regex("-"), "\\-");
}

TEST(Surface, EveryOptionTheParserTakesIsInTheManPageWithItsCommandsAndInTheHelp) {
    deck::cli::Arguments args;
    surface::Surface s = deck::cli::DeckSurface(args);
    std::unique_ptr<CLI::App> app = deck::cli::BindParser(s);
    const std::string man = surface::RenderMan(s);
    const std::string options = man.substr(man.find(".SH OPTIONS"));
    std::vector<const CLI::App*> apps{app.get()};
    for (const CLI::App* sub : app->get_subcommands([](const CLI::App*) { return true; })) {
        apps.push_back(sub);
    }
    ASSERT_EQ(7u, apps.size());
    size_t names = 0;
    for (const CLI::App* where : apps) {
        const bool top = where == app.get();
        // The program's --help lists its own options and import's; COMMAND --help the command's.
        const std::string help = surface::RenderHelp(s, top ? "" : where->get_name());
        for (const CLI::Option* option : where->get_options()) {
            std::vector<std::string> all;
            for (const std::string& l : option->get_lnames()) {
                all.push_back("--" + l);
            }
            for (const std::string& s : option->get_snames()) {
                all.push_back("-" + s);
            }
            for (const std::string& name : all) {
                ++names;
                SCOPED_TRACE(where->get_name() + " " + name);
                EXPECT_NE(std::string::npos, help.find(name));
                // Its heading in OPTIONS, the line after .TP: the names, then the commands
                // that take it in parentheses (none for an option that every command takes).
                std::string line;
                for (size_t at = options.find(".TP\n"); at != std::string::npos && line.empty();
                     at = options.find(".TP\n", at + 1)) {
                    std::string next = options.substr(at + 4, options.find('\n', at + 4) - at - 4);
                    if (next.find("\\fB" + Roff(name) + "\\fR") != std::string::npos) {
                        line = next;
                    }
                }
                ASSERT_FALSE(line.empty());
                size_t open = line.find(" (");
                if (!top) {
                    EXPECT_TRUE(open == std::string::npos ||
                                line.find(where->get_name(), open) != std::string::npos)
                        << line;
                }
            }
        }
    }
    EXPECT_GE(names, 30u); // import alone takes 16 names
}

TEST(Surface, VersionIsTheProjectsAndTheProgramIsNamedTollamyDeck) {
    std::ifstream root(TOLLAMY_SOURCE_DIR "/CMakeLists.txt");
    std::stringstream text;
    text << root.rdbuf();
    std::smatch m;
    std::string cmake = text.str();
    ASSERT_TRUE(std::regex_search(cmake, m, std::regex("project\\(Tollamy VERSION ([0-9.]+)")));
    auto r = Tool({"--version"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("tollamy-deck " + m[1].str() + "\n", r.out);

    r = Tool({"--help"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(0u, r.out.find("usage: tollamy-deck import INPUT -o OUTPUT")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("scripts/")) << r.out;
    const std::string watch = Tool({"watch", "--bogus", "-h"}).out;
    EXPECT_EQ(0u, watch.find("usage: tollamy-deck watch FOLDER [--anki DECK]...\n")) << watch;
    EXPECT_NE(std::string::npos, watch.find("  --switch PROGRAM")) << watch;
    EXPECT_EQ(std::string::npos, r.out.find("--switch")) << r.out;
    EXPECT_EQ(std::string::npos, watch.find("--question")) << watch;
    r = Tool({});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ(0u, r.err.find("usage: tollamy-deck"));
}

TEST(Surface, BadArgumentsAreStatus2WithTheirMessage) {
    decktest::TempDir dir;
    decktest::WriteBytes(dir.Path("in.tsv"), "q\ta\n");
    const std::string in = dir.Path("in.tsv"), out = dir.Path("out.txt");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"frobnicate", in},
         "unknown command 'frobnicate' (import, check, export, decks, watch or "
         "profiles)"},
        {{"import", in, "-o", out, "-o", in}, "option -o is given twice; give it once"},
        {{"import", in, "-o", out, "--swap", "--swap"},
         "option --swap is given twice; give it once"},
        {{"watch", dir.Path("data"), "--refresh", "1441"},
         "option --refresh needs a value (minutes from 0 to 1440)"},
        {{"watch"}, "watch takes one FOLDER"},
        {{"watch", dir.Path("data"), "--anki-profile", "P"},
         "--anki-profile names the profile of the --anki decks; give --anki DECK too"},
        {{"import", in, "-o", out, "--anki", "French"}, "unknown option '--anki' for import"},
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"check", in, "--deck", "x"}, "unknown option '--deck' for check"},
        {{"check", in, "-o", out}, "check writes nothing: -o and --force do not apply"},
        {{"decks", in, "--force"}, "decks writes nothing: -o and --force do not apply"},
        {{"import", in, "-o", out, "--question", "1001"},
         "option --question needs a value (a column number from 1)"},
        {{"import", in, "-o", out, "--due", "--new", "0"},
         "option --new needs a value (a number of cards from 1)"},
        {{"import", in, "-o", out, "--deck"}, "option --deck needs a value"},
        {{"import", in, "-o", out, "--format", "xls"},
         "unknown format 'xls' (auto, anki, csv, tsv, text, deck, apkg)"},
        {{"import", in, "-o", out, "--question", "2", "--answer", "2"},
         "--question and --answer name the same column"},
        {{"import", in, "-o", out, "--new", "3"},
         "--new N adds new cards to the due ones: give --due as well"},
        {{"import", in, "-o", out, "--due"}, "--due reads Anki collections and packages only"},
        {{"import", in}, "import needs -o OUTPUT"},
        {{"export", in, in, "-o", out}, "export takes one DECK file"},
        {{"decks", in, "--anki-profile", "P"}, "give decks INPUT or --anki-profile NAME, not both"},
        {{"profiles", in}, "profiles takes no file"},
    };
    for (const auto& [args, message] : cases) {
        auto r = Tool(args);
        EXPECT_EQ(2, r.status) << message;
        EXPECT_EQ("tollamy-deck: error: " + message + "\nTry 'tollamy-deck --help'.\n", r.err);
        EXPECT_EQ("", r.out);
    }
    EXPECT_EQ((std::vector<std::string>{"in.tsv"}), dir.Names());
}

TEST(Surface, DashWritesToStandardOutputOnlyWhatSucceeded) {
    decktest::TempDir dir;
    // The private copy is made in TMPDIR: here, so that what it leaves shows.
    decktest::TempFolderAt tmp(dir.Path());
    decktest::WriteBytes(dir.Path("deck.txt"), decktest::Deck({{"Q1", "A1"}, {"Q2", "A2"}}));
    auto r = Tool({"export", dir.Path("deck.txt"), "-o", "-"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("#separator:tab\n#html:false\nQ1\tA1\nQ2\tA2\n", r.out);
    EXPECT_EQ("exported 2 cards from " + dir.Path("deck.txt") + " to standard output; 0 warnings\n",
              r.err);

    decktest::WriteBytes(dir.Path("cards.tsv"), "Q\tA\n");
    r = Tool({"import", dir.Path("cards.tsv"), "-o", "-"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(decktest::Deck({{"Q", "A"}}), r.out);

    // A deck with an error (export has written its header lines by then): status 1, and
    // nothing on standard output.
    decktest::WriteBytes(dir.Path("bad.txt"), "Q\tA\r\n");
    r = Tool({"export", dir.Path("bad.txt"), "-o", "-"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_NE(std::string::npos, r.err.find("bad.txt:1: error: not a deck")) << r.err;
    // No file named "-", and nothing left in TMPDIR.
    EXPECT_EQ((std::vector<std::string>{"bad.txt", "cards.tsv", "deck.txt"}), dir.Names());
}

TEST(Surface, ReadsTheLineFormatAndNamesTheLineItDoesNotUnderstand) {
    surface::Surface s;
    std::string error;
    ASSERT_TRUE(surface::ReadSurface("program p\noption -x,--ex N count repeat\nsummary sum\n"
                                     "text\nline one\n.\nsection See also\n",
                                     &s, &error))
        << error;
    ASSERT_EQ(1u, s.options.size());
    EXPECT_EQ("-x", s.options[0].shortName);
    EXPECT_EQ(surface::Value::Count, s.options[0].kind);
    EXPECT_TRUE(s.options[0].repeat);
    EXPECT_EQ("line one", s.options[0].text);
    EXPECT_EQ("See also", s.sections.at(0).title);
    EXPECT_FALSE(surface::ReadSurface("program p\noption --x - text\n", &s, &error));
    EXPECT_EQ("line 2: not understood: option --x - text", error);
}

TEST(Surface, ManTextEscapesWhatRoffWouldTakeForItsOwn) {
    surface::Surface s;
    s.program = "p";
    s.description = ".starts with a dot, `C:\\Tollamy` and 480 × 640\n\n    'quoted example";
    std::string man = surface::RenderMan(s);
    EXPECT_NE(std::string::npos,
              man.find("\\&.starts with a dot, \\fBC:\\eTollamy\\fR and 480 \\[u00D7] 640\n"))
        << man;
    EXPECT_NE(std::string::npos, man.find(".nf\n\\&'quoted example\n.fi\n")) << man;
}

TEST(Surface, MarkdownWrapsWithoutMakingListsOrHeadingsAndKeepsExamplesAsTheyAre) {
    surface::Surface s;
    s.program = "p";
    // Words that would begin a list, a numbered list or a heading at the start of a line.
    std::string words;
    for (int i = 0; i < 40; ++i) {
        words += "word - 12. # ";
    }
    s.description = words + "\n\n    $ p --long-example-line-that-stays-whole " + words;
    std::string md = surface::RenderMarkdown(s);
    std::string body = md.substr(md.find("## Description\n\n"));
    std::istringstream lines(body);
    std::string line;
    size_t examples = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("    $ p", 0) == 0) {
            ++examples;
            continue;
        }
        EXPECT_LE(line.size(), 100u) << line;
        EXPECT_FALSE(std::regex_search(line, std::regex("^(- |[0-9]+\\. |# )"))) << line;
    }
    EXPECT_EQ(1u, examples);
}

} // namespace
