// The package reader on packages built through SQLite, zstd and libzip.
#include "deck/anki/proto.h"
#include "deck/anki/package.h"
#include "deck/tests/apkg_builder.h"
#include "deck/tests/deck_support.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#define ZSTD_STATIC_LINKING_ONLY // ZSTD_frameHeaderSize
#include <zstd.h>

using namespace apkg_test;
namespace anki = deck::anki;

namespace {

struct Read {
    bool ok = false;
    std::string message;
    anki::ReadInfo info;
    std::vector<anki::Note> notes;
};

// A fresh folder, used as the package folder and as $TMPDIR, so that the reader's temporary
// copy can be seen (and must be gone) afterwards.
class ApkgRead : public ::testing::Test {
protected:
    void SetUp() override {
        tmp_ = dir_.Path("tmp");
        decktest::MakeFolder(tmp_);
        ASSERT_TRUE(decktest::Exists(tmp_));
        at_ = std::make_unique<decktest::TempFolderAt>(tmp_);
    }
    void TearDown() override { at_.reset(); }
    std::string Path(const std::string& name) const { return dir_.Path(name); }

    Read ReadPath(const std::string& path, const anki::ReadOptions& options = {}) {
        Read read;
        read.ok = anki::ReadPackage(
            path, options, [&](const anki::Note& note) { read.notes.push_back(note); }, &read.info,
            &read.message);
        EXPECT_TRUE(decktest::TempDir::NamesIn(tmp_).empty()) << "temporary copy left behind";
        return read;
    }
    Read ReadSpec(const PackageSpec& plan, const anki::ReadOptions& options = {}) {
        std::string path = Path("p.apkg");
        EXPECT_EQ(BuildPackage(plan, path), "");
        return ReadPath(path, options);
    }
    Read ReadEntries(const std::vector<Entry>& entries, const anki::ReadOptions& options = {}) {
        std::string path = Path("p.apkg");
        EXPECT_EQ(WriteZip(path, entries), "");
        return ReadPath(path, options);
    }

    decktest::TempDir dir_;
    std::string tmp_;
    std::unique_ptr<decktest::TempFolderAt> at_;
};

// What each kind of failure says to the user.
const char kNotZip[] = "ZIP archive";
const char kIoError[] = "cannot read";
const char kNoCollection[] = "without an Anki collection";
const char kNotSqlite[] = "not an SQLite database";
const char kBadCollection[] = "collection";
const char kBadZstd[] = "Zstandard";
const char kTooLarge[] = "the limit of";
const char kNoSuchDeck[] = "has no deck";

// The reading failed, and its message says `says`.
testing::AssertionResult Fails(const Read& read, const char* says) {
    if (read.ok) {
        return testing::AssertionFailure() << "the reading succeeded";
    }
    if (read.message.find(says) == std::string::npos) {
        return testing::AssertionFailure() << "\"" << read.message << "\" does not say " << says;
    }
    return testing::AssertionSuccess();
}

std::vector<int64_t> Ids(const Read& read) {
    std::vector<int64_t> ids;
    for (const anki::Note& note : read.notes) {
        ids.push_back(note.id);
    }
    return ids;
}

struct FormatCase {
    Format format;
    const char* entry;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.entry;
}

class ApkgFormats : public ApkgRead, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(ApkgFormats, ReadsEveryNoteWithItsFieldsAndKind) {
    Read read = ReadSpec(SamplePackage(GetParam().format));
    ASSERT_TRUE(read.ok) << read.message;
    EXPECT_EQ(read.info.entry, GetParam().entry);
    EXPECT_EQ(read.info.notes_in_package, 4u);
    EXPECT_EQ(read.info.notes_read, 4u);
    ASSERT_EQ(read.notes.size(), 4u);
    EXPECT_EQ(read.notes[0].fields, (std::vector<std::string>{"chat", "cat"}));
    EXPECT_EQ(read.notes[1].fields,
              (std::vector<std::string>{"<b>chien</b>", "dog&nbsp;&amp; puppy"}));
    EXPECT_EQ(read.notes[1].type_name, "Basic (and reversed card)");
    EXPECT_FALSE(read.notes[1].cloze);
    EXPECT_TRUE(read.notes[2].cloze);
    EXPECT_EQ(read.notes[2].type_name, "Cloze");
    EXPECT_EQ(read.notes[2].field_names, (std::vector<std::string>{"Text", "Back Extra"}));
    EXPECT_EQ(read.notes[3].field_names, (std::vector<std::string>{"Front", "Back"}));
    EXPECT_EQ(read.notes[2].fields[0], "{{c1::Paris::city}} is the capital of France");
    EXPECT_FALSE(read.notes[3].cloze);
    EXPECT_EQ(read.info.decks,
              (std::vector<std::string>{"Default", "French", "Geography::Capitals"}));
}

TEST_P(ApkgFormats, KeepsOnlyTheNotesOfTheChosenDeckAndItsSubdecks) {
    PackageSpec plan = SamplePackage(GetParam().format);
    anki::ReadOptions options;
    options.deck = "French";
    Read french = ReadSpec(plan, options);
    ASSERT_TRUE(french.ok) << french.message;
    EXPECT_EQ(Ids(french), (std::vector<int64_t>{1500000000001, 1500000000002}));
    EXPECT_EQ(french.info.notes_in_package, 4u);
    EXPECT_EQ(french.info.notes_read, 2u);

    options.deck = "geography"; // the parent of Geography::Capitals, in other letters' case
    Read geography = ReadSpec(plan, options);
    EXPECT_EQ(Ids(geography), (std::vector<int64_t>{1500000000003, 1500000000004}));

    options.deck = "Geography::Capitals";
    EXPECT_EQ(Ids(ReadSpec(plan, options)), Ids(geography));

    options.deck = "Geo"; // a prefix of a name is no deck
    Read none = ReadSpec(plan, options);
    EXPECT_TRUE(Fails(none, kNoSuchDeck));
    EXPECT_NE(none.message.find("\"Geo\""), std::string::npos) << none.message;
    EXPECT_NE(none.message.find("\"Geography::Capitals\""), std::string::npos) << none.message;
}

INSTANTIATE_TEST_SUITE_P(All, ApkgFormats,
                         ::testing::Values(FormatCase{Format::kAnki2, "collection.anki2"},
                                           FormatCase{Format::kAnki21, "collection.anki21"},
                                           FormatCase{Format::kAnki21b, "collection.anki21b"}),
                         [](const auto& info) { return std::string(info.param.entry).substr(11); });

TEST_F(ApkgRead, ReadsTheNewestCollectionAndNeverTheStub) {
    PackageSpec plan = SamplePackage(Format::kAnki21b);
    plan.stub = true;
    Read read = ReadSpec(plan);
    ASSERT_TRUE(read.ok) << read.message;
    EXPECT_EQ(read.info.entry, "collection.anki21b");
    ASSERT_EQ(read.notes.size(), 4u);
    for (const anki::Note& note : read.notes) {
        EXPECT_NE(note.fields[0], kStubText);
    }

    // anki21 beside anki2: anki21 wins, whatever the order of the entries.
    PackageSpec older = SamplePackage(Format::kAnki2);
    older.notes.resize(1);
    std::vector<Entry> entries = PackageEntries(older);
    PackageSpec newer = SamplePackage(Format::kAnki21);
    entries.push_back({"collection.anki21", CollectionEntry(newer)});
    Read both = ReadEntries(entries);
    EXPECT_EQ(both.info.entry, "collection.anki21");
    EXPECT_EQ(both.notes.size(), 4u);

    // A damaged anki21b fails; the stub beside it is not read instead.
    std::vector<Entry> broken = PackageEntries(plan);
    for (Entry& entry : broken) {
        if (entry.name == "collection.anki21b") {
            entry.data.resize(entry.data.size() / 2);
        }
    }
    Read failed = ReadEntries(broken);
    EXPECT_TRUE(Fails(failed, kBadZstd)) << failed.message;
    EXPECT_TRUE(failed.notes.empty());
}

TEST_F(ApkgRead, HandsOutNotesInNoteIdOrder) {
    for (Format format : {Format::kAnki21, Format::kAnki21b}) {
        PackageSpec plan;
        plan.format = format;
        plan.notes = {{30, kBasic, {"c", "3"}}, {10, kBasic, {"a", "1"}}, {20, kCloze, {"b", ""}}};
        Read read = ReadSpec(plan);
        ASSERT_TRUE(read.ok) << read.message;
        EXPECT_EQ(Ids(read), (std::vector<int64_t>{10, 20, 30}));
    }
}

TEST_F(ApkgRead, FieldsKeepEmptyOnesAndNotesOfUnknownTypesStillCome) {
    PackageSpec plan;
    plan.notes = {{1, kBasic, {"", "only answer", ""}}, {2, 777, {"q", "a"}}};
    Read read = ReadSpec(plan);
    ASSERT_TRUE(read.ok) << read.message;
    ASSERT_EQ(read.notes.size(), 2u);
    EXPECT_EQ(read.notes[0].fields, (std::vector<std::string>{"", "only answer", ""}));
    EXPECT_EQ(read.notes[1].type_name, "");
    EXPECT_FALSE(read.notes[1].cloze);
}

TEST_F(ApkgRead, CardInAFilteredDeckCountsForItsHomeDeck) {
    PackageSpec plan = SamplePackage(Format::kAnki21);
    plan.extra_schema = "UPDATE cards SET odid = did, did = 42 WHERE nid = 1500000000001";
    anki::ReadOptions options;
    options.deck = "French";
    EXPECT_EQ(Ids(ReadSpec(plan, options)), (std::vector<int64_t>{1500000000001, 1500000000002}));
}

TEST_F(ApkgRead, ReadsACollectionLeftInWalMode) {
    PackageSpec plan = SamplePackage(Format::kAnki21b);
    plan.wal = true;
    Read read = ReadSpec(plan);
    ASSERT_TRUE(read.ok) << read.message;
    EXPECT_EQ(read.notes.size(), 4u);
}

TEST_F(ApkgRead, BadArchivesGiveClearErrors) {
    std::string path = Path("p.apkg");
    ASSERT_EQ(BuildPackage(SamplePackage(Format::kAnki21), path), "");
    std::string whole = ReadFile(path);
    for (size_t cut : {whole.size() - 10, whole.size() / 2, size_t(30)}) {
        ASSERT_TRUE(WriteFile(path, whole.substr(0, cut)));
        Read read = ReadPath(path);
        EXPECT_TRUE(Fails(read, kNotZip)) << cut << ": " << read.message;
        EXPECT_NE(read.message.find("ZIP"), std::string::npos) << read.message;
    }

    // A damaged byte inside the compressed collection: the CRC or inflate check fails.
    std::string flipped = whole;
    flipped[200] ^= 0x55;
    ASSERT_TRUE(WriteFile(path, flipped));
    Read damaged = ReadPath(path);
    EXPECT_FALSE(damaged.ok);
    EXPECT_TRUE(damaged.notes.empty());

    ASSERT_TRUE(WriteFile(path, "PK\x03\x04 but nothing else"));
    EXPECT_TRUE(Fails(ReadPath(path), kNotZip));

    Read missing = ReadPath(Path("missing.apkg"));
    EXPECT_TRUE(Fails(missing, kIoError)) << missing.message;

    Read empty = ReadEntries({{"media", "{}"}, {"0", "image bytes"}});
    EXPECT_TRUE(Fails(empty, kNoCollection));
    EXPECT_NE(empty.message.find("collection.anki21b"), std::string::npos) << empty.message;
}

TEST_F(ApkgRead, CollectionsThatAreNotSqliteOrNotAnkiAreRefused) {
    Read text = ReadEntries({{"collection.anki21", "this is no database at all, only words"}});
    EXPECT_TRUE(Fails(text, kNotSqlite)) << text.message;
    EXPECT_NE(text.message.find("SQLite"), std::string::npos);

    Read zero = ReadEntries({{"collection.anki2", ""}});
    EXPECT_TRUE(Fails(zero, kNotSqlite)) << zero.message;

    // An SQLite header over damaged pages.
    std::string bytes = CollectionEntry(SamplePackage(Format::kAnki21));
    std::string corrupt = bytes;
    for (size_t i = 100; i < corrupt.size(); i += 7) {
        corrupt[i] = static_cast<char>(corrupt[i] ^ 0xa5);
    }
    Read damaged = ReadEntries({{"collection.anki21", corrupt}});
    EXPECT_FALSE(damaged.ok);

    // A valid SQLite database that is no collection.
    PackageSpec plan;
    plan.extra_schema = "DROP TABLE notes; CREATE VIEW notes AS SELECT 1 AS id";
    Read other = ReadSpec(plan);
    EXPECT_TRUE(Fails(other, kBadCollection)) << other.message;

    // The collection's own views never run: a view in place of the cards table is refused
    // rather than queried.
    plan = SamplePackage(Format::kAnki21);
    plan.extra_schema = "ALTER TABLE cards RENAME TO real_cards; "
                        "CREATE VIEW cards AS SELECT nid, did, odid FROM real_cards";
    anki::ReadOptions french;
    french.deck = "French";
    Read view = ReadSpec(plan, french);
    EXPECT_TRUE(Fails(view, kBadCollection)) << view.message;
    EXPECT_TRUE(view.notes.empty());
}

TEST_F(ApkgRead, FailingZstandardStreamsAreRefused) {
    std::string real = CollectionEntry(SamplePackage(Format::kAnki21b));
    Read garbage = ReadEntries({{"collection.anki21b", "not zstd at all, just text bytes"}});
    EXPECT_TRUE(Fails(garbage, kBadZstd)) << garbage.message;

    Read truncated = ReadEntries({{"collection.anki21b", real.substr(0, real.size() - 3)}});
    EXPECT_TRUE(Fails(truncated, kBadZstd)) << truncated.message;
    EXPECT_TRUE(truncated.notes.empty());

    // A damaged block header: the second byte after the frame header of the first block.
    std::string flipped = real;
    size_t header = ZSTD_frameHeaderSize(real.data(), real.size());
    ASSERT_FALSE(ZSTD_isError(header));
    flipped[header] = static_cast<char>(0xff);
    flipped[header + 1] = static_cast<char>(0xff);
    flipped[header + 2] = static_cast<char>(0xff);
    Read damaged = ReadEntries({{"collection.anki21b", flipped}});
    EXPECT_TRUE(Fails(damaged, kBadZstd)) << damaged.message;

    Read empty = ReadEntries({{"collection.anki21b", ""}});
    EXPECT_TRUE(Fails(empty, kBadZstd)) << empty.message;
}

// Sets the uncompressed size of every entry in the local headers and the central directory.
std::string StateSize(std::string zip, uint32_t size) {
    auto put = [&](size_t at) {
        for (int i = 0; i < 4; ++i) {
            zip[at + i] = static_cast<char>((size >> (8 * i)) & 0xff);
        }
    };
    for (size_t at = 0; (at = zip.find("PK\x03\x04", at)) != std::string::npos; at += 4) {
        put(at + 22);
    }
    for (size_t at = 0; (at = zip.find("PK\x01\x02", at)) != std::string::npos; at += 4) {
        put(at + 24);
    }
    return zip;
}

TEST_F(ApkgRead, ZipBombsAreStoppedBeforeAndWhileUnpacking) {
    // Stated sizes of nearly 4 GiB, over the default limit of 1 GiB.
    std::string path = Path("bomb.apkg");
    ASSERT_EQ(
        WriteZip(path, {{"collection.anki21", CollectionEntry(SamplePackage(Format::kAnki21))}}),
        "");
    ASSERT_TRUE(WriteFile(path, StateSize(ReadFile(path), 0xfff00000u)));
    Read stated = ReadPath(path);
    EXPECT_TRUE(Fails(stated, kTooLarge)) << stated.message;
    EXPECT_NE(stated.message.find("1 GiB"), std::string::npos) << stated.message;

    // Plain collection larger than the limit: refused from the stated size.
    std::string zeros(3 << 20, '\0');
    anki::ReadOptions small;
    small.max_bytes = 1 << 20;
    Read plain = ReadEntries({{"collection.anki21", zeros}}, small);
    EXPECT_TRUE(Fails(plain, kTooLarge)) << plain.message;

    // A stated size that lies low: the bytes really inflated are counted.
    ASSERT_EQ(WriteZip(path, {{"collection.anki21", zeros}}), "");
    ASSERT_TRUE(WriteFile(path, StateSize(ReadFile(path), 1000)));
    Read lying = ReadPath(path, small);
    EXPECT_FALSE(lying.ok) << lying.message;

    // Zstandard frame stating its content size over the limit.
    Read framed = ReadEntries({{"collection.anki21b", ZstdCompress(zeros)}}, small);
    EXPECT_TRUE(Fails(framed, kTooLarge)) << framed.message;

    // Zstandard stream without a stated content size: the output is counted.
    std::string streamed(ZSTD_compressBound(zeros.size()), '\0');
    ZSTD_CCtx* cctx = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_contentSizeFlag, 0);
    ZSTD_outBuffer out = {&streamed[0], streamed.size(), 0};
    ZSTD_inBuffer in = {zeros.data(), zeros.size(), 0};
    ASSERT_EQ(ZSTD_compressStream2(cctx, &out, &in, ZSTD_e_end), 0u);
    ZSTD_freeCCtx(cctx);
    streamed.resize(out.pos);
    ASSERT_EQ(ZSTD_getFrameContentSize(streamed.data(), streamed.size()), ZSTD_CONTENTSIZE_UNKNOWN);
    Read unknown = ReadEntries({{"collection.anki21b", streamed}}, small);
    EXPECT_TRUE(Fails(unknown, kTooLarge)) << unknown.message;
}

TEST(ApkgNotetypeKind, ReadsFieldOneAndSurvivesMalformedBytes) {
    auto kind = [](const std::string& bytes) {
        return anki::NotetypeKind(reinterpret_cast<const unsigned char*>(bytes.data()),
                                  bytes.size());
    };
    EXPECT_EQ(kind(std::string("\x08\x01", 2)), 1);
    EXPECT_EQ(kind(std::string("\x08\x00", 2)), 0);
    EXPECT_EQ(kind(""), 0);
    // Field 1 after a string (field 3), a fixed64 (field 4) and a fixed32 (field 5).
    EXPECT_EQ(kind(std::string("\x1a\x03"
                               "css"
                               "\x21"
                               "12345678"
                               "\x2d"
                               "1234"
                               "\x08\x01",
                               21)),
              1);
    // A field 2 varint of 1 is not the kind.
    EXPECT_EQ(kind(std::string("\x10\x01", 2)), 0);
    // A string whose length runs past the end, a truncated varint, a bad wire type.
    EXPECT_EQ(kind(std::string("\x1a\x7f"
                               "ab\x08\x01",
                               6)),
              0);
    EXPECT_EQ(kind(std::string("\x08\x81", 2)), 0);
    EXPECT_EQ(kind(std::string("\x0f\x08\x01", 3)), 0);
}

} // namespace
