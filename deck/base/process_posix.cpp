// The process on POSIX systems: the signals of failed writes, the environment, output caught
// with open_memstream, and the C library's local time (TZ, else /etc/localtime).
#include "deck/base/process.h"

#include "deck/base/files.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>

#include <exception>

namespace deck {

bool GetEnv(const char* name, std::string* value) {
    const char* text = getenv(name);
    if (text == nullptr) {
        return false;
    }
    *value = text;
    return true;
}

void SetEnv(const char* name, const char* value) {
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
    // localtime_r reads TZ once; a new one counts from now on.
    if (std::string(name) == "TZ") {
        tzset();
    }
}

std::string ShellWord(const std::string& text) {
    if (text.find_first_not_of(
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./+") ==
        std::string::npos) {
        return text;
    }
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

long UtcOffsetAt(int64_t when) {
    time_t t = static_cast<time_t>(when);
    struct tm local {};
    return localtime_r(&t, &local) != nullptr ? local.tm_gmtoff : 0;
}

bool UtcParts(int64_t when, struct tm* parts) {
    time_t t = static_cast<time_t>(when);
    return gmtime_r(&t, parts) != nullptr;
}

Capture::Capture() : file_(open_memstream(&text_, &size_)) {}

Capture::~Capture() {
    if (file_ != nullptr) {
        fclose(file_);
    }
    free(text_);
}

std::string Capture::Text() {
    if (file_ == nullptr) {
        return std::string();
    }
    fflush(file_);
    return std::string(text_, size_);
}

void PrepareProcess() {
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    std::set_terminate([] {
        RemoveRegisteredPaths();
        abort();
    });
}

bool OutputCut(FILE* out) {
    if (fflush(out) != 0) {
        return errno == EPIPE;
    }
    // An earlier write failed, and the C library dropped what it held: a pipe whose reader
    // has gone tells so at once.
    pollfd end{fileno(out), POLLOUT, 0};
    return ferror(out) && poll(&end, 1, 0) == 1 && (end.revents & (POLLERR | POLLHUP)) != 0;
}

int EndProcess(int status) {
    if (status == kCutPipe) {
        signal(SIGPIPE, SIG_DFL);
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
        raise(SIGPIPE);
    }
    return status;
}

// The streams are the C library's own; there is no console to relay to.
StandardStreams::StandardStreams() {
    relay_ = nullptr;
}

StandardStreams::~StandardStreams() = default;

} // namespace deck
