// The package's ZIP archive through libzip, and the private copy of its collection.
#include "deck/anki/archive.h"

#include "deck/anki/collection.h"
#include "deck/anki/system.h"
#include "deck/anki/zstd.h"
#include "deck/base/filekind.h"
#include "deck/base/files.h"
#include "deck/base/limits.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include <zip.h>

namespace deck::anki {
namespace {

const char* const kCollections[] = {"collection.anki21b", "collection.anki21", "collection.anki2"};

// The private copy of the collection: a file in a private temporary folder, which a signal
// removes too.
class CollectionCopy {
public:
    CollectionCopy() = default;
    CollectionCopy(const CollectionCopy&) = delete;
    CollectionCopy& operator=(const CollectionCopy&) = delete;
    ~CollectionCopy() {
        if (fd_ >= 0) {
            CloseFile(fd_);
        }
    }
    bool Create(std::string* err) {
        if (!folder_.Create("tollamy-apkg", err)) {
            return false;
        }
        path_ = CollectionCopyIn(folder_);
        fd_ = CreateNewFile(path_);
        if (fd_ < 0) {
            *err = std::string("cannot create a temporary file (") + strerror(errno) + ")";
            return false;
        }
        return true;
    }
    bool Write(const void* data, size_t size, std::string* err) {
        if (!WriteFull(fd_, data, size)) {
            *err = WriteFailed();
            return false;
        }
        return true;
    }
    bool Finish(std::string* err) {
        bool ok = CloseFile(fd_);
        fd_ = -1;
        if (!ok) {
            *err = WriteFailed();
        }
        return ok;
    }
    const std::string& Path() const { return path_; }

private:
    // Why the copy could not be written, its disk named by the temporary folder.
    std::string WriteFailed() const {
        return "cannot write the temporary copy (" +
               WriteError(errno, ParentFolder(folder_.Path())) + ")";
    }

    TempFolder folder_;
    std::string path_;
    int fd_ = -1;
};

struct ZipCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileCloser>;

std::string ZipErrorText(zip_error_t* error) {
    std::string text = zip_error_strerror(error);
    return text;
}

// The first name that two entries of the archive share; "" when there is none.
std::string SharedName(zip_t* archive) {
    std::set<std::string> names;
    const zip_int64_t entries = archive != nullptr ? zip_get_num_entries(archive, 0) : 0;
    for (zip_int64_t i = 0; i < entries; ++i) {
        const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (name != nullptr && !names.insert(name).second) {
            return name;
        }
    }
    return std::string();
}

// The message for an archive that did not open with `code`. `reopen` opens it again without
// the consistency checks, to name the entry that two share.
bool OpenError(int code, bool begins_like_zip, const std::function<zip_t*()>& reopen,
               std::string* err) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string why = ZipErrorText(&error);
    zip_error_fini(&error);
    const std::string shared = code == ZIP_ER_EXISTS ? SharedName(ZipPtr(reopen()).get()) : "";
    if (!shared.empty()) {
        *err = "the ZIP archive holds two entries named " + shared +
               ", and a reader cannot tell which one is meant (a damaged package)";
    } else if (code == ZIP_ER_NOZIP && begins_like_zip) {
        // The entries begin as in a ZIP archive, but the central directory at the end is
        // missing: the file was cut short.
        *err = "truncated or damaged ZIP archive (no central directory at its end)";
    } else if (code == ZIP_ER_NOZIP) {
        *err = "not a ZIP archive (" + why + ")";
    } else if (code == ZIP_ER_OPEN || code == ZIP_ER_READ || code == ZIP_ER_NOENT) {
        *err = "cannot read the package (" + why + ")";
    } else {
        *err = "truncated or damaged ZIP archive (" + why + ")";
    }
    return false;
}

// Finds the newest collection in the archive. Returns its index or -1.
zip_int64_t FindCollection(zip_t* archive, const char** name) {
    for (const char* candidate : kCollections) {
        zip_int64_t index = zip_name_locate(archive, candidate, 0);
        if (index >= 0) {
            *name = candidate;
            return index;
        }
    }
    return -1;
}

// The most that the entry's compressed bytes can unpack to: as many for a stored entry, 1032
// times as many for a deflated one (deflate's greatest ratio: a match of 258 bytes in two
// bits, a little more for the block's own bits); no bound for another method.
uint64_t MostUnpacked(const zip_stat_t& stat) {
    const zip_uint64_t comp = stat.comp_size;
    if (!(stat.valid & ZIP_STAT_COMP_SIZE) || !(stat.valid & ZIP_STAT_COMP_METHOD)) {
        return UINT64_MAX;
    }
    if (stat.comp_method == ZIP_CM_STORE) {
        return comp;
    }
    if (stat.comp_method == ZIP_CM_DEFLATE && comp < UINT64_MAX / 1032 - 1024) {
        return comp * 1032 + 1024;
    }
    return UINT64_MAX;
}

// Copies the collection entry into `out`, unpacking Zstandard for collection.anki21b.
// Holds the unpacked size to `limit`, both as stated and as really produced.
bool UnpackCollection(zip_t* archive, zip_int64_t index, const std::string& entry, uint64_t limit,
                      CollectionCopy* out, std::string* err) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0) {
        *err = "cannot read " + entry + " (" + zip_strerror(archive) + ")";
        return false;
    }
    const bool zstd = entry == kCollections[0];
    const bool sized = (stat.valid & ZIP_STAT_SIZE) != 0;
    if (sized && stat.size > limit) {
        // For a Zstandard entry the stated size is the compressed stream; it can only be
        // larger than the collection if the stream is damaged or a bomb.
        *err = OverLimitText(entry, stat.size, limit);
        return false;
    }
    const uint64_t most = MostUnpacked(stat);
    if (sized && stat.size > most) {
        *err = entry + " states " + SizeText(stat.size) + " uncompressed from " +
               SizeText(stat.comp_size) +
               " compressed, more than its compression can give (a damaged package or a zip "
               "bomb)";
        return false;
    }
    // No more is unpacked than the archive states.
    const uint64_t stated = sized ? stat.size : limit;
    ZipFilePtr file(zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0));
    if (!file) {
        *err = "cannot read " + entry + " (" + zip_strerror(archive) + ")";
        return false;
    }
    auto write = [out](const char* data, size_t size, std::string* why) {
        return out->Write(data, size, why);
    };
    ZstdUnpacker unpacker(entry, limit, write);
    if (zstd && !unpacker.Start(err)) {
        return false;
    }
    std::vector<char> in(1 << 16);
    uint64_t read_total = 0;
    for (;;) {
        zip_int64_t got = zip_fread(file.get(), in.data(), in.size());
        if (got < 0) {
            *err = "cannot unpack " + entry + ": truncated or damaged ZIP archive (" +
                   zip_file_strerror(file.get()) + ")";
            return false;
        }
        if (got == 0) {
            break;
        }
        read_total += static_cast<uint64_t>(got);
        if (read_total > stated) {
            *err = sized ? entry + " unpacks to more than the " + SizeText(stat.size) +
                               " its archive states (a damaged package)"
                         : OverLimitText(entry, 0, limit);
            return false;
        }
        if (zstd) {
            if (!unpacker.Feed(in.data(), static_cast<size_t>(got), err)) {
                return false;
            }
            continue;
        }
        if (!write(in.data(), static_cast<size_t>(got), err)) {
            return false;
        }
    }
    return (!zstd || unpacker.Finish(err)) && out->Finish(err);
}

// Unpacks the newest collection of the archive into a private temporary file and hands it to
// `use`; the file is removed when `use` returns.
bool UseArchive(zip_t* archive, uint64_t max_bytes, const CollectionUse& use, std::string* err) {
    const char* name = nullptr;
    zip_int64_t index = FindCollection(archive, &name);
    if (index < 0) {
        *err = "a ZIP archive without an Anki collection (no collection.anki21b, "
               "collection.anki21 or collection.anki2 in it)";
        return false;
    }
    CollectionCopy copy;
    return copy.Create(err) && UnpackCollection(archive, index, name, max_bytes, &copy, err) &&
           use(copy.Path(), name, err);
}

} // namespace

bool LooksLikeZip(const std::string& path) {
    return IsZipHead(FileHead(path, kHeadBytes));
}

bool IsPackage(const std::string& path) {
    int error = 0;
    ZipPtr archive(OpenZipFile(path, ZIP_RDONLY, &error));
    const char* name = nullptr;
    return archive && FindCollection(archive.get(), &name) >= 0;
}

bool WithUnpackedCollection(const std::string& path, uint64_t max_bytes, const CollectionUse& use,
                            std::string* err) {
    int error = 0;
    ZipPtr archive(OpenZipFile(path, ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive) {
        const auto reopen = [&path] {
            int ignored = 0;
            return OpenZipFile(path, ZIP_RDONLY, &ignored);
        };
        return OpenError(error, LooksLikeZip(path), reopen, err);
    }
    return UseArchive(archive.get(), max_bytes, use, err);
}

bool WithUnpackedCollection(const void* data, size_t size, uint64_t max_bytes,
                            const CollectionUse& use, std::string* err) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    if (!source) {
        *err = "out of memory";
        zip_error_fini(&error);
        return false;
    }
    ZipPtr archive(zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive) {
        zip_source_free(source);
        int code = zip_error_code_zip(&error);
        zip_error_fini(&error);
        const auto reopen = [data, size]() -> zip_t* {
            zip_error_t why;
            zip_error_init(&why);
            zip_source_t* again = zip_source_buffer_create(data, size, 0, &why);
            zip_t* loose =
                again != nullptr ? zip_open_from_source(again, ZIP_RDONLY, &why) : nullptr;
            if (loose == nullptr) {
                zip_source_free(again);
            }
            zip_error_fini(&why);
            return loose;
        };
        return OpenError(code, IsZipHead({static_cast<const char*>(data), size}), reopen, err);
    }
    zip_error_fini(&error);
    return UseArchive(archive.get(), max_bytes, use, err);
}

} // namespace deck::anki
