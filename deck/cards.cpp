// The conversion of records into cards and the deck writer.
#include "deck/cards.h"

#include "deck/closingline.h"

#include <errno.h>
#include <fcntl.h>
#include <gumbo.h>
#include <libgen.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace deck {

namespace {

constexpr size_t kWriteBufferBytes = 1 << 20;

// Appends valid UTF-8 as UTF-16LE bytes.
void AppendUtf16(std::vector<uint8_t>& out, const std::string& text) {
    size_t at = out.size();
    out.resize(at + 2 * text.size()); // never more units than bytes
    uint8_t* o = out.data() + at;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
    const uint8_t* end = p + text.size();
    while (p < end) {
        uint32_t c = *p;
        if (c < 0x80) {
            o[0] = static_cast<uint8_t>(c);
            o[1] = 0;
            o += 2;
            ++p;
            continue;
        }
        int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
        c &= more == 3 ? 0x07 : more == 2 ? 0x0F : 0x1F;
        ++p;
        for (int i = 0; i < more && p < end; ++i, ++p) {
            c = c << 6 | (*p & 0x3F);
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            uint32_t high = 0xD800 + (c >> 10), low = 0xDC00 + (c & 0x3FF);
            o[0] = static_cast<uint8_t>(high);
            o[1] = static_cast<uint8_t>(high >> 8);
            o[2] = static_cast<uint8_t>(low);
            o[3] = static_cast<uint8_t>(low >> 8);
            o += 4;
        } else {
            o[0] = static_cast<uint8_t>(c);
            o[1] = static_cast<uint8_t>(c >> 8);
            o += 2;
        }
    }
    out.resize(static_cast<size_t>(o - out.data()));
}

bool IsBlockTag(GumboTag tag) {
    switch (tag) {
    case GUMBO_TAG_BR:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_P:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_PRE:
        return true;
    default:
        return false;
    }
}

bool IsDroppedTag(GumboTag tag) {
    switch (tag) {
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_AUDIO:
    case GUMBO_TAG_VIDEO:
    case GUMBO_TAG_OBJECT:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_TITLE:
        return true;
    default:
        return false;
    }
}

// Appends the text under node. An explicit stack keeps deep nesting off the call stack.
void CollectText(const GumboNode* root, std::string& out) {
    // Each entry: a node and whether its closing space is still due.
    std::vector<std::pair<const GumboNode*, bool>> stack;
    stack.push_back({root, false});
    while (!stack.empty()) {
        auto [node, closing] = stack.back();
        stack.pop_back();
        if (closing) {
            out += ' ';
            continue;
        }
        switch (node->type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
            out += node->v.text.text;
            break;
        case GUMBO_NODE_DOCUMENT:
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE: {
            const GumboVector* children;
            if (node->type == GUMBO_NODE_DOCUMENT) {
                children = &node->v.document.children;
            } else {
                GumboTag tag = node->v.element.tag;
                if (IsDroppedTag(tag)) {
                    break;
                }
                children = &node->v.element.children;
                if (IsBlockTag(tag)) {
                    out += ' ';
                    stack.push_back({node, true});
                }
            }
            for (unsigned i = children->length; i-- > 0;) {
                stack.push_back({static_cast<const GumboNode*>(children->data[i]), false});
            }
            break;
        }
        default:
            break;
        }
    }
}

bool IsSpaceByte(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

} // namespace

// --- Report -----------------------------------------------------------------------------

void Report::Print(const std::string& file, long line, const char* kind, const std::string& text) {
    if (out_ == nullptr) {
        return;
    }
    if (line > 0) {
        fprintf(out_, "%s:%ld: %s: %s\n", file.c_str(), line, kind, text.c_str());
    } else {
        fprintf(out_, "%s: %s: %s\n", file.c_str(), kind, text.c_str());
    }
}

void Report::Warning(long line, const std::string& text) {
    if (strict_) {
        Error(line, text);
        return;
    }
    ++warnings_;
    if (!quiet_) {
        Print(file_, line, "warning", text);
    }
}

void Report::Error(long line, const std::string& text) {
    ++errors_;
    if (!quiet_) {
        Print(file_, line, "error", text);
    }
}

void Report::ErrorAbout(const std::string& file, const std::string& text) {
    ++errors_;
    if (!quiet_) {
        Print(file, 0, "error", text);
    }
}

// --- DeckWriter -------------------------------------------------------------------------

DeckWriter::~DeckWriter() {
    if (fd_ >= 0) {
        close(fd_);
    }
    if (!temp_.empty() && !committed_) {
        unlink(temp_.c_str());
    }
}

bool DeckWriter::Open(const std::string& output, const std::string& input, bool force,
                      Report& report, bool deckMark) {
    output_ = output;
    mark_ = deckMark;
    struct stat out {};
    if (output.empty()) {
        report.ErrorAbout("tollamy-deck", "no output file given (-o OUTPUT)");
        return false;
    }
    if (stat(output.c_str(), &out) == 0) {
        struct stat in {};
        if (!input.empty() && stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev &&
            in.st_ino == out.st_ino) {
            report.ErrorAbout(output, "is the input file; the input is never written");
            return false;
        }
        if (S_ISDIR(out.st_mode)) {
            report.ErrorAbout(output, "is a folder; give a file name");
            return false;
        }
        // A device, a pipe or a socket is never replaced by a file.
        if (!S_ISREG(out.st_mode)) {
            report.ErrorAbout(output, "is not a regular file; give a file name");
            return false;
        }
        if (!force) {
            report.ErrorAbout(output, "exists; use --force to replace it");
            return false;
        }
    }
    // A link to a deck is followed, so that the deck it names is replaced, not the link.
    struct stat link {};
    if (lstat(output.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char* target = realpath(output.c_str(), nullptr);
        if (target != nullptr) {
            output_ = target;
            free(target);
        }
    }
    std::string copy = output_;
    std::string folder = dirname(copy.data());
    temp_ = folder + "/.tollamy-deck-XXXXXX";
    fd_ = mkstemp(temp_.data());
    if (fd_ < 0) {
        int e = errno;
        temp_.clear();
        report.ErrorAbout(output, "cannot write to folder " + folder + ": " + strerror(e));
        return false;
    }
    fchmod(
        fd_, 0644 & ~[] {
            mode_t m = umask(0);
            umask(m);
            return m;
        }());
    if (mark_) {
        buffer_.push_back(0xFF);
        buffer_.push_back(0xFE);
    }
    return true;
}

void DeckWriter::Flush() {
    size_t done = 0;
    while (!failed_ && done < buffer_.size()) {
        ssize_t n = write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            failed_ = true;
            break;
        }
        done += static_cast<size_t>(n);
    }
    buffer_.clear();
}

void DeckWriter::Write(const std::string& question, const std::string& answer) {
    AppendUtf16(buffer_, question);
    buffer_.push_back('\t');
    buffer_.push_back(0);
    AppendUtf16(buffer_, answer);
    static const uint8_t kCrLf[] = {'\r', 0, '\n', 0};
    buffer_.insert(buffer_.end(), kCrLf, kCrLf + 4);
    ++cards_;
    if (buffer_.size() >= kWriteBufferBytes) {
        Flush();
    }
}

void DeckWriter::WriteBytes(const std::string& bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    if (buffer_.size() >= kWriteBufferBytes) {
        Flush();
    }
}

// True when the two files hold the same bytes.
static bool SameBytes(const std::string& a, const std::string& b) {
    int fa = open(a.c_str(), O_RDONLY | O_CLOEXEC);
    int fb = open(b.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat sa {
    }, sb{};
    bool same = fa >= 0 && fb >= 0 && fstat(fa, &sa) == 0 && fstat(fb, &sb) == 0 &&
                S_ISREG(sb.st_mode) && sa.st_size == sb.st_size;
    std::vector<char> x(1 << 16), y(1 << 16);
    while (same) {
        ssize_t n = read(fa, x.data(), x.size());
        same = n >= 0 && read(fb, y.data(), static_cast<size_t>(n)) == n &&
               memcmp(x.data(), y.data(), static_cast<size_t>(n)) == 0;
        if (n <= 0) {
            break;
        }
    }
    for (int fd : {fa, fb}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    return same;
}

bool DeckWriter::Commit(Report& report) {
    if (fd_ < 0) {
        return false;
    }
    Flush();
    if (!failed_ && keepUnchanged_ && SameBytes(temp_, output_)) {
        close(fd_);
        fd_ = -1;
        unlink(temp_.c_str());
        unchanged_ = committed_ = true;
        return true;
    }
    if (failed_ || fsync(fd_) != 0) {
        report.ErrorAbout(output_, std::string("could not be written: ") + strerror(errno));
        return false;
    }
    close(fd_);
    fd_ = -1;
    if (rename(temp_.c_str(), output_.c_str()) != 0) {
        report.ErrorAbout(output_, std::string("could not be replaced: ") + strerror(errno));
        return false;
    }
    committed_ = true;
    return true;
}

// --- card text --------------------------------------------------------------------------

std::string HtmlToText(const std::string& html) {
    if (html.find_first_of("<&") == std::string::npos) {
        return html;
    }
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size());
    std::string text;
    if (output != nullptr) {
        CollectText(output->document, text);
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
    return text;
}

std::string DropSoundTags(const std::string& text) {
    size_t at = text.find("[sound:");
    if (at == std::string::npos) {
        return text;
    }
    std::string out;
    size_t from = 0;
    while (at != std::string::npos) {
        size_t close = text.find(']', at);
        if (close == std::string::npos) {
            break;
        }
        out.append(text, from, at - from);
        out += ' ';
        from = close + 1;
        at = text.find("[sound:", from);
    }
    out.append(text, from, std::string::npos);
    return out;
}

bool ApplyCloze(const std::string& text, std::string* question, std::string* answer) {
    bool found = false;
    question->clear();
    answer->clear();
    size_t from = 0;
    for (;;) {
        size_t open = text.find("{{c", from);
        if (open == std::string::npos) {
            break;
        }
        size_t p = open + 3;
        while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
            ++p;
        }
        size_t close = text.find("}}", p);
        if (p == open + 3 || text.compare(p, 2, "::") != 0 || close == std::string::npos) {
            question->append(text, from, open + 1 - from);
            answer->append(text, from, open + 1 - from);
            from = open + 1;
            continue;
        }
        size_t body = p + 2;
        size_t hint = text.find("::", body);
        std::string shown, hinted;
        if (hint != std::string::npos && hint < close) {
            shown = text.substr(body, hint - body);
            hinted = text.substr(hint + 2, close - hint - 2);
        } else {
            shown = text.substr(body, close - body);
        }
        question->append(text, from, open - from);
        answer->append(text, from, open - from);
        *question += "[" + (hinted.empty() ? std::string("...") : hinted) + "]";
        *answer += shown;
        from = close + 2;
        found = true;
    }
    question->append(text, from, std::string::npos);
    answer->append(text, from, std::string::npos);
    return found;
}

// True when the text needs no cleaning: no white space at its ends, no run of it, no white
// space other than single spaces, no control character.
static bool AlreadyClean(const std::string& text) {
    if (text.empty()) {
        return true;
    }
    if (text.front() == ' ' || text.back() == ' ') {
        return false;
    }
    bool space = false;
    const size_t size = text.size();
    for (size_t i = 0; i < size; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c > ' ' && c != 0x7F && c != 0xC2) {
            space = false;
        } else if (c == ' ' && !space) {
            space = true;
        } else if (c == 0xC2 &&
                   !(i + 1 < size && static_cast<unsigned char>(text[i + 1]) == 0xA0)) {
            space = false; // another character than U+00A0
        } else {
            return false;
        }
    }
    return true;
}

std::string CleanWhiteSpace(const std::string& text) {
    if (AlreadyClean(text)) {
        return text;
    }
    std::string out;
    out.reserve(text.size());
    bool space = false;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        // Control characters would show as boxes or, a NUL, cut the card: white space too.
        bool white = IsSpaceByte(c) || c < 0x20 || c == 0x7F;
        // U+00A0 (no-break space, from &nbsp;) is white space on a card too.
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xA0) {
            white = true;
            ++i;
        }
        if (white) {
            space = !out.empty();
            continue;
        }
        if (space) {
            out += ' ';
            space = false;
        }
        out += static_cast<char>(c);
    }
    return out;
}

size_t Utf16Units(const std::string& text) {
    size_t units = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) {
            units += c >= 0xF0 ? 2 : 1;
        }
    }
    return units;
}

bool LooksLikeHtml(const char* text, size_t size) {
    for (size_t i = 0; i + 1 < size; ++i) {
        if (text[i] == '<') {
            size_t j = i + 1;
            if (text[j] == '/') {
                ++j;
            }
            size_t name = j;
            while (j < size && isalpha(static_cast<unsigned char>(text[j]))) {
                ++j;
            }
            if (j > name && j < size && (text[j] == '>' || text[j] == ' ' || text[j] == '/')) {
                return true;
            }
        } else if (text[i] == '&') {
            size_t j = i + 1;
            if (j < size && text[j] == '#') {
                ++j;
            }
            size_t name = j;
            while (j < size && isalnum(static_cast<unsigned char>(text[j])) && j - name < 10) {
                ++j;
            }
            if (j > name && j < size && text[j] == ';') {
                return true;
            }
        }
    }
    return false;
}

// --- CardSink ---------------------------------------------------------------------------

void CardSink::ExcludeColumn(int column) {
    if (column > 0) {
        excluded_.push_back(column);
    }
}

bool CardSink::Excluded(int column) const {
    return std::find(excluded_.begin(), excluded_.end(), column) != excluded_.end();
}

void CardSink::Add(const Record& fields, long line, const TextFlags& flags) {
    if (first_) {
        first_ = false;
        firstTitles_ = LooksLikeColumnTitles(fields);
        if (options_.header) {
            return;
        }
    }
    // The question and the answer: the columns asked for, else the first two card columns.
    int q = options_.question, a = options_.answer;
    int c = 1;
    if (q == 0) {
        while (Excluded(c) || c == a) {
            ++c;
        }
        q = c++;
    }
    if (a == 0) {
        while (Excluded(c) || c == q) {
            ++c;
        }
        a = c;
    }
    static const std::string kEmpty;
    const std::string& rawQ = q <= static_cast<int>(fields.size()) ? fields[q - 1] : kEmpty;
    const std::string& rawA = a <= static_cast<int>(fields.size()) ? fields[a - 1] : kEmpty;

    question_ = rawQ;
    answer_ = rawA;
    if (flags.cloze &&
        (rawQ.find("{{c") != std::string::npos || rawA.find("{{c") != std::string::npos)) {
        std::string shown;
        if (ApplyCloze(rawQ, &scratch_, &shown)) {
            // The answer side of a cloze note is its text with the gaps filled in, followed
            // by the answer column (Anki's "Back Extra") when there is one.
            question_ = scratch_;
            std::string extra;
            ApplyCloze(rawA, &scratch_, &extra);
            answer_ = extra.empty() ? shown : shown + " " + extra;
        } else if (ApplyCloze(rawA, &scratch_, &shown)) {
            answer_ = shown;
        }
    }
    for (std::string* text : {&question_, &answer_}) {
        if (flags.html && text->find_first_of("<&") != std::string::npos) {
            *text = HtmlToText(*text);
        }
        if (text->find("[sound:") != std::string::npos) {
            *text = DropSoundTags(*text);
        }
        if (!AlreadyClean(*text)) {
            *text = CleanWhiteSpace(*text);
        }
    }
    if (options_.swap) {
        question_.swap(answer_);
    }
    if (question_.empty() && answer_.empty()) {
        ++skipped_;
        report_.Warning(line, "row skipped: its question and answer are both empty");
        return;
    }
    size_t qUnits = Utf16Units(question_), aUnits = Utf16Units(answer_);
    if (qUnits > kShownUnits) {
        report_.Warning(line, "question of " + std::to_string(qUnits) +
                                  " UTF-16 units: the item shows only the first 511");
    }
    if (aUnits > kShownUnits) {
        report_.Warning(line, "answer of " + std::to_string(aUnits) +
                                  " UTF-16 units: the item shows only the first 511");
    }
    writer_.Write(question_, answer_);
}

} // namespace deck
