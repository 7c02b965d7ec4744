// tollamy-deck's command line: the parser made from the declaration (cli_parse.h), then the
// checks across options and the command.
#include "deck/cli.h"

#include "deck/anki_decks.h"
#include "deck/anki_due.h"
#include "deck/anki_profile.h"
#include "deck/anki_source.h"
#include "deck/cli_parse.h"
#include "deck/deckscan.h"
#include "deck/import.h"
#include "deck/options.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

namespace deck {

namespace {

const char kProgram[] = "tollamy-deck";

int Usage(FILE* err, const std::string& text) {
    fprintf(err, "%s: error: %s\n", kProgram, text.c_str());
    fprintf(err, "Try '%s --help'.\n", kProgram);
    return 2;
}

// `profiles`: Anki's profiles, one per line; status 1 when there is none.
int RunProfiles(FILE* out, FILE* err) {
    const std::string base = AnkiBaseFolder();
    std::vector<std::string> profiles = AnkiProfiles(base);
    if (profiles.empty()) {
        fprintf(err, "%s: error: no Anki profile in %s (set ANKI_BASE to Anki's folder)\n",
                kProgram, base.c_str());
        return 1;
    }
    for (const std::string& name : profiles) {
        fprintf(out, "%s\n", name.c_str());
    }
    return 0;
}

// `-o -`: the command writes a private temporary file, which goes to `out` only when the
// command succeeded, so that standard output gets the whole result or nothing. Its name
// reads "standard output" in the messages.
int ToStandardOutput(std::string* output, FILE* out, FILE* err,
                     const std::function<int(FILE* err)>& run) {
    const char* tmp = getenv("TMPDIR");
    std::string folder =
        std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/tollamy-deck-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) {
        fprintf(err, "%s: error: cannot make a temporary folder in %s: %s\n", kProgram,
                folder.c_str(), strerror(errno));
        return 1;
    }
    *output = folder + "/output";
    char* said = nullptr;
    size_t saidSize = 0;
    FILE* capture = open_memstream(&said, &saidSize);
    int status = run(capture != nullptr ? capture : err);
    if (capture != nullptr) {
        fclose(capture);
        std::string text(said, saidSize);
        free(said);
        for (size_t at = text.find(*output); at != std::string::npos; at = text.find(*output, at)) {
            text.replace(at, output->size(), "standard output");
        }
        fputs(text.c_str(), err);
    }
    FILE* made = status == 0 ? fopen(output->c_str(), "rb") : nullptr;
    if (made != nullptr) {
        char buffer[1 << 16];
        size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, made)) > 0 && fwrite(buffer, 1, n, out) == n) {
        }
        fclose(made);
        if (fflush(out) != 0 || ferror(out)) {
            fprintf(err, "%s: error: standard output could not be written\n", kProgram);
            status = 1;
        }
    }
    unlink(output->c_str());
    rmdir(folder.c_str());
    return status;
}

int RunImportCommand(ImportOptions& import, FILE* err) {
    if (import.question != 0 && import.question == import.answer) {
        return Usage(err, "--question and --answer name the same column");
    }
    if (import.newCards != 0 && !import.due) {
        return Usage(err, "--new N adds new cards to the due ones: give --due as well");
    }
    if (import.due) {
        // A missing file is the import's error; a file of another kind is a wrong option.
        FILE* probe = import.ankiProfile.empty() ? fopen(import.input.c_str(), "rb") : nullptr;
        if (probe != nullptr) {
            fclose(probe);
        }
        if ((probe != nullptr && !LooksLikeAnki(import.input)) ||
            (import.format != "auto" && import.format != "apkg")) {
            return Usage(err, "--due reads Anki collections and packages only");
        }
        return RunDueImport(import, err);
    }
    return RunImport(import, err);
}

} // namespace

int RunCommandLine(int argc, char** argv, FILE* out, FILE* err) {
    Arguments args;
    const surface::Surface surface = DeckSurface(args);
    if (argc <= 1) {
        fputs(surface::RenderHelp(surface).c_str(), err);
        return 2;
    }
    ParsedLine line = ParseLine(surface, argc, argv);
    if (args.help) {
        fputs(surface::RenderHelp(surface).c_str(), out);
        return 0;
    }
    if (args.version) {
        fprintf(out, "%s %s\n", surface.program.c_str(), surface.version.c_str());
        return 0;
    }
    if (!line.error.empty()) {
        return Usage(err, line.error);
    }
    const std::string& command = line.command;
    if (command.empty()) {
        return Usage(err, "no command (import, check, export, decks or profiles)");
    }
    std::vector<std::string>& files = line.files;
    ImportOptions& import = args.import;
    if (command == "profiles") {
        return files.empty() ? RunProfiles(out, err) : Usage(err, "profiles takes no file");
    }
    if (!import.ankiProfile.empty()) {
        // The profile's collection is the input.
        if (!files.empty()) {
            return Usage(err, "give " + command + " INPUT or --anki-profile NAME, not both");
        }
        files.push_back("");
    }
    if (files.size() != 1) {
        return Usage(
            err, command + " takes one " +
                     (command == "import" || command == "decks" ? std::string("INPUT") : "DECK") +
                     " file");
    }
    if (command == "decks") {
        return RunDecks({files[0], import.ankiProfile}, out, err);
    }
    if (command == "check") {
        CheckOptions check;
        check.deck = files[0];
        check.strict = args.strict;
        return RunCheck(check, out, err);
    }
    if (import.output.empty()) {
        return Usage(err, command + " needs -o OUTPUT");
    }
    if (command == "export") {
        ExportOptions exp;
        exp.deck = files[0];
        exp.output = import.output;
        exp.force = import.force;
        if (exp.output == "-") {
            return ToStandardOutput(&exp.output, out, err,
                                    [&](FILE* to) { return RunExport(exp, to); });
        }
        return RunExport(exp, err);
    }
    import.input = files[0];
    if (import.output == "-") {
        return ToStandardOutput(&import.output, out, err,
                                [&](FILE* to) { return RunImportCommand(import, to); });
    }
    return RunImportCommand(import, err);
}

} // namespace deck
