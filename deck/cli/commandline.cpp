// tollamy-deck's command line: the parser made from the declaration (parse.h), then the
// checks across options and the command.
#include "deck/cli/commandline.h"

#include "deck/anki/decks.h"
#include "deck/anki/due.h"
#include "deck/anki/packageimport.h"
#include "deck/anki/profile.h"
#include "deck/anki/source.h"
#include "deck/base/files.h"
#include "deck/base/process.h"
#include "deck/base/report.h"
#include "deck/check/check.h"
#include "deck/cli/options.h"
#include "deck/cli/parse.h"
#include "deck/text/import.h"
#include "deck/watch/watch.h"

#include <errno.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace deck::cli {

namespace {

// `profiles`: Anki's profiles, one per line; status 1 when there is none.
int RunProfiles(FILE* out, FILE* err) {
    const std::string base = anki::AnkiBaseFolder();
    std::vector<std::string> profiles = anki::AnkiProfiles(base);
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
// reads "standard output" in the messages, and its folder "the temporary folder". A reader
// that stops reading ends the copy (kCutPipe).
int ToStandardOutput(std::string* output, FILE* out, FILE* err,
                     const std::function<int(FILE* err)>& run) {
    TempFolder folder;
    std::string why;
    if (!folder.Create(kProgram, &why)) {
        fprintf(err, "%s: error: %s\n", kProgram, why.c_str());
        return 1;
    }
    *output = folder.File("output");
    int status = 0;
    {
        Capture capture;
        status = run(capture.File());
        std::string text = capture.Text();
        const std::pair<std::string, std::string> names[] = {
            {*output, "standard output"},
            {folder.Path(), "the temporary folder " + ParentFolder(folder.Path())}};
        for (const auto& [name, shown] : names) {
            for (size_t at = 0; (at = text.find(name, at)) != std::string::npos;
                 at += shown.size()) {
                text.replace(at, name.size(), shown);
            }
        }
        fputs(text.c_str(), err);
    }
    int made = status == 0 ? OpenRead(*output) : -1;
    if (made >= 0) {
        char buffer[1 << 16];
        ssize_t n = 0;
        int error = 0;
        while ((n = ReadFull(made, buffer, sizeof buffer)) > 0) {
            if (fwrite(buffer, 1, static_cast<size_t>(n), out) != static_cast<size_t>(n)) {
                error = errno;
                break;
            }
        }
        CloseFile(made);
        if (error == 0 && fflush(out) != 0) {
            error = errno;
        }
        if (error == EPIPE) {
            return kCutPipe;
        }
        if (error != 0 || ferror(out)) {
            fprintf(err, "standard output: error: could not be written: %s\n",
                    WriteError(error, "it").c_str());
            status = 1;
        }
    }
    return status;
}

int RunImportCommand(ImportOptions& import, FILE* err) {
    if (import.question != 0 && import.question == import.answer) {
        return PrintUsage(err, "--question and --answer name the same column");
    }
    if (import.newCards != 0 && !import.due) {
        return PrintUsage(err, "--new N adds new cards to the due ones: give --due as well");
    }
    if (!import.nextChange.empty() && !import.due) {
        return PrintUsage(err, "--next-change tells when the due cards change: give --due as well");
    }
    if (import.due) {
        // A file that cannot be read is the import's error; an INPUT of another kind is a wrong
        // option (a profile's collection that is no collection is a damaged one).
        anki::InputKind kind = anki::InputKind::kSqlite;
        std::string why;
        if ((import.ankiProfile.empty() && anki::ProbeInput(import.input, &kind, &why) &&
             kind == anki::InputKind::kOther) ||
            (import.format != "auto" && import.format != "apkg")) {
            return PrintUsage(err, "--due reads Anki collections and packages only");
        }
        return anki::RunDueImport(import, err);
    }
    if (anki::ImportsPackage(import)) {
        return anki::RunPackageImport(import, err);
    }
    return text::RunTextImport(import, err);
}

// The command of the line, with *input set to the file it reads once that is known.
int RunCommand(int argc, char** argv, FILE* out, FILE* err, std::string* input) {
    Arguments args;
    const surface::Surface surface = DeckSurface(args);
    if (argc <= 1) {
        fputs(surface::RenderHelp(surface).c_str(), err);
        return 2;
    }
    ParsedLine line = ParseLine(surface, argc, argv);
    if (args.help) {
        fputs(surface::RenderHelp(surface, line.command).c_str(), out);
        return 0;
    }
    if (args.version) {
        fprintf(out, "%s %s\n", surface.program.c_str(), surface.version.c_str());
        return 0;
    }
    if (!line.error.empty()) {
        return PrintUsage(err, line.error);
    }
    const std::string& command = line.command;
    if (command.empty()) {
        return PrintUsage(err, "no command (import, check, export, decks, watch or profiles)");
    }
    std::vector<std::string>& files = line.files;
    ImportOptions& import = args.import;
    if (command == "profiles") {
        return files.empty() ? RunProfiles(out, err) : PrintUsage(err, "profiles takes no file");
    }
    if (command == "watch") {
        if (files.size() != 1) {
            return PrintUsage(err, "watch takes one FOLDER");
        }
        watch::WatchOptions& w = args.watch;
        if (!import.ankiProfile.empty() && w.anki.empty()) {
            return PrintUsage(err, "--anki-profile names the profile of the --anki decks; give "
                                   "--anki DECK too");
        }
        w.folder = *input = files[0];
        w.profile = import.ankiProfile;
        return watch::RunWatch(w, out, err);
    }
    if (!import.ankiProfile.empty()) {
        // The profile's collection is the input.
        if (!files.empty()) {
            return PrintUsage(err, "give " + command + " INPUT or --anki-profile NAME, not both");
        }
        std::string path, why;
        if (!anki::ProfileCollection(import.ankiProfile, &path, &why)) {
            fprintf(err, "%s: error: %s\n", kProgram, why.c_str());
            return 1;
        }
        files.push_back(path);
    }
    if (files.size() != 1) {
        return PrintUsage(
            err, command + " takes one " +
                     (command == "import" || command == "decks" ? std::string("INPUT") : "DECK") +
                     " file");
    }
    *input = files[0];
    if (command == "decks") {
        return anki::RunDecks(files[0], out, err);
    }
    if (command == "check") {
        check::CheckOptions check;
        check.deck = files[0];
        check.strict = args.strict;
        return check::RunCheck(check, out, err);
    }
    if (import.output.empty()) {
        return PrintUsage(err, command + " needs -o OUTPUT");
    }
    if (command == "export") {
        check::ExportOptions exp;
        exp.deck = files[0];
        exp.output = import.output;
        exp.force = import.force;
        if (exp.output == "-") {
            return ToStandardOutput(&exp.output, out, err,
                                    [&](FILE* to) { return check::RunExport(exp, to); });
        }
        return check::RunExport(exp, err);
    }
    import.input = files[0];
    if (import.nextChange == "-") {
        if (import.output == "-") {
            return PrintUsage(err, "-o and --next-change cannot both write to standard output");
        }
        return ToStandardOutput(&import.nextChange, out, err,
                                [&](FILE* to) { return RunImportCommand(import, to); });
    }
    if (import.output == "-") {
        return ToStandardOutput(&import.output, out, err,
                                [&](FILE* to) { return RunImportCommand(import, to); });
    }
    return RunImportCommand(import, err);
}

} // namespace

int RunCommandLine(int argc, char** argv, FILE* out, FILE* err) {
    std::string input = kProgram;
    int status = 1;
    // Memory that runs out, wherever it does, ends the command with its message: unwinding it
    // removes its temporary files (their owners go) and leaves the output as it was.
    try {
        status = RunCommand(argc, argv, out, err, &input);
    } catch (const std::bad_alloc& failure) {
        fprintf(err, "%s: error: %s\n", input.c_str(), OutOfMemoryText(failure));
    } catch (const std::length_error&) {
        fprintf(err, "%s: error: too large to read: a text longer than the tool can hold\n",
                input.c_str());
    }
    return status != kCutPipe && OutputCut(out) ? kCutPipe : status;
}

} // namespace deck::cli
