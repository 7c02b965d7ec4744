// The package's ZIP archive through libzip, and the private copy of its collection.
#include "deck/apkg_archive.h"

#include "deck/apkg_zstd.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <unistd.h>

#include <zip.h>

namespace apkg {
namespace {

const char* const kCollections[] = {"collection.anki21b", "collection.anki21", "collection.anki2"};

// A private temporary file in $TMPDIR (or /tmp), removed when the owner goes.
class TempFile {
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (fd_ >= 0) {
            close(fd_);
        }
        if (!path_.empty()) {
            unlink(path_.c_str());
        }
    }
    int Create() {
        const char* dir = getenv("TMPDIR");
        std::string pattern = (dir && *dir) ? dir : "/tmp";
        pattern += "/tollamy-apkg-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        fd_ = mkstemp(name.data()); // mode 0600
        if (fd_ < 0) {
            return 0;
        }
        path_ = name.data();
        return 1;
    }
    int Write(const void* data, size_t size) {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            ssize_t n = write(fd_, p, size);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return 0;
            }
            p += n;
            size -= static_cast<size_t>(n);
        }
        return 1;
    }
    int Finish() {
        int ok = close(fd_) == 0;
        fd_ = -1;
        return ok;
    }
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
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

int OpenError(int code, bool begins_like_zip, std::string* message) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string why = ZipErrorText(&error);
    zip_error_fini(&error);
    if (code == ZIP_ER_NOZIP && begins_like_zip) {
        // The entries begin as in a ZIP archive, but the central directory at the end is
        // missing: the file was cut short.
        *message = "truncated or damaged ZIP archive (no central directory at its end)";
    } else if (code == ZIP_ER_NOZIP) {
        *message = "not a ZIP archive (" + why + ")";
    } else if (code == ZIP_ER_OPEN || code == ZIP_ER_READ || code == ZIP_ER_NOENT) {
        *message = "cannot read the package (" + why + ")";
        return kIoError;
    } else {
        *message = "truncated or damaged ZIP archive (" + why + ")";
    }
    return kNotZip;
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

// Copies the collection entry into `out`, unpacking Zstandard for collection.anki21b.
// Holds the unpacked size to `limit`, both as stated and as really produced.
int UnpackCollection(zip_t* archive, zip_int64_t index, const std::string& entry, uint64_t limit,
                     TempFile* out, std::string* message) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0) {
        *message = "cannot read " + entry + " (" + zip_strerror(archive) + ")";
        return kNotZip;
    }
    const bool zstd = entry == kCollections[0];
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > limit) {
        // For a Zstandard entry the stated size is the compressed stream; it can only be
        // larger than the collection if the stream is damaged or a bomb.
        *message = OverLimitText(entry, stat.size, limit);
        return kTooLarge;
    }
    ZipFilePtr file(zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0));
    if (!file) {
        *message = "cannot read " + entry + " (" + zip_strerror(archive) + ")";
        return kNotZip;
    }
    auto write = [out](const char* data, size_t size, std::string* why) {
        if (!out->Write(data, size)) {
            *why = std::string("cannot write the temporary copy (") + strerror(errno) + ")";
            return static_cast<int>(kIoError);
        }
        return static_cast<int>(kOk);
    };
    ZstdUnpacker unpacker(entry, limit, write);
    if (zstd) {
        int result = unpacker.Start(message);
        if (result != kOk) {
            return result;
        }
    }
    std::vector<char> in(1 << 16);
    uint64_t read_total = 0;
    for (;;) {
        zip_int64_t got = zip_fread(file.get(), in.data(), in.size());
        if (got < 0) {
            *message = "cannot unpack " + entry + ": truncated or damaged ZIP archive (" +
                       zip_file_strerror(file.get()) + ")";
            return kNotZip;
        }
        if (got == 0) {
            break;
        }
        int result = kOk;
        if (zstd) {
            result = unpacker.Feed(in.data(), static_cast<size_t>(got), message);
        } else {
            read_total += static_cast<uint64_t>(got);
            if (read_total > limit) {
                *message = OverLimitText(entry, 0, limit);
                return kTooLarge;
            }
            result = write(in.data(), static_cast<size_t>(got), message);
        }
        if (result != kOk) {
            return result;
        }
    }
    if (zstd) {
        int result = unpacker.Finish(message);
        if (result != kOk) {
            return result;
        }
    }
    if (!out->Finish()) {
        *message = std::string("cannot write the temporary copy (") + strerror(errno) + ")";
        return kIoError;
    }
    return kOk;
}

// Unpacks the newest collection of the archive into a private temporary file and hands it to
// `use`; the file is removed when `use` returns.
int UseArchive(zip_t* archive, uint64_t max_bytes, const CollectionUse& use, std::string* message) {
    const char* name = nullptr;
    zip_int64_t index = FindCollection(archive, &name);
    if (index < 0) {
        *message = "a ZIP archive without an Anki collection (no collection.anki21b, "
                   "collection.anki21 or collection.anki2 in it)";
        return kNoCollection;
    }
    TempFile copy;
    if (!copy.Create()) {
        *message = std::string("cannot create a temporary file (") + strerror(errno) + ")";
        return kIoError;
    }
    int result = UnpackCollection(archive, index, name, max_bytes, &copy, message);
    if (result == kOk) {
        result = use(copy.path(), name);
    }
    return result;
}

} // namespace

int LooksLikeZip(const std::string& path) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        return 0;
    }
    unsigned char head[4] = {0, 0, 0, 0};
    size_t got = fread(head, 1, 4, file);
    fclose(file);
    return got == 4 && head[0] == 'P' && head[1] == 'K' &&
           ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6));
}

int IsPackage(const std::string& path) {
    int error = 0;
    ZipPtr archive(zip_open(path.c_str(), ZIP_RDONLY, &error));
    const char* name = nullptr;
    return archive && FindCollection(archive.get(), &name) >= 0;
}

int WithUnpackedCollection(const std::string& path, uint64_t max_bytes, const CollectionUse& use,
                           std::string* message) {
    int error = 0;
    ZipPtr archive(zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive) {
        return OpenError(error, LooksLikeZip(path) != 0, message);
    }
    return UseArchive(archive.get(), max_bytes, use, message);
}

int WithUnpackedCollection(const void* data, size_t size, uint64_t max_bytes,
                           const CollectionUse& use, std::string* message) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    if (!source) {
        *message = "out of memory";
        zip_error_fini(&error);
        return kIoError;
    }
    ZipPtr archive(zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive) {
        zip_source_free(source);
        int code = zip_error_code_zip(&error);
        zip_error_fini(&error);
        const unsigned char* head = static_cast<const unsigned char*>(data);
        return OpenError(code, size >= 4 && memcmp(head, "PK\x03\x04", 4) == 0, message);
    }
    zip_error_fini(&error);
    return UseArchive(archive.get(), max_bytes, use, message);
}

} // namespace apkg
