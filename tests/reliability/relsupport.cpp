#include "relsupport.h"

#include <algorithm>

namespace rel {

namespace {

HANDLE InheritableOutput(const std::wstring& path) {
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string ReadShared(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24));
        DWORD got = 0;
        if (!ReadFile(file, &bytes[done], chunk, &got, nullptr) || got == 0) {
            break;
        }
        done += got;
    }
    bytes.resize(done);
    CloseHandle(file);
    return bytes;
}

// The line ends in path after *offset, which moves on to the end of what was read.
size_t CountLineEnds(const std::wstring& path, LONGLONG* offset) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    LARGE_INTEGER at = {};
    at.QuadPart = *offset;
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    size_t lines = 0;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got != 0) {
        lines += static_cast<size_t>(std::count(chunk, chunk + got, '\n'));
        *offset += got;
    }
    CloseHandle(file);
    return lines;
}

} // namespace

LiveHost::~LiveHost() {
    Kill();
}

bool LiveHost::Start(const std::wstring& arguments) {
    HANDLE out = InheritableOutput(streams_.File(L"stdout.txt"));
    HANDLE err = InheritableOutput(streams_.File(L"stderr.txt"));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::wstring command = L"\"" + hostrun::ProgramFolder() + L"\\today-host.exe\" " + arguments;
    PROCESS_INFORMATION info = {};
    BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &info);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) {
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    return true;
}

std::vector<std::string> LiveHost::Lines() const {
    std::vector<std::string> lines;
    std::string text = ReadShared(streams_.File(L"stdout.txt"));
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool LiveHost::WaitForLines(size_t count, DWORD timeoutMs, DWORD pollMs) const {
    // Only what arrived since the last look is read, so that polling a long run's output
    // stays cheap for the host that shares the machine.
    LONGLONG offset = 0;
    size_t lines = 0;
    const std::wstring path = streams_.File(L"stdout.txt");
    const DWORD begin = GetTickCount();
    for (;;) {
        lines += CountLineEnds(path, &offset);
        if (lines >= count) {
            return true;
        }
        if (process_ == nullptr || WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) {
            return lines + CountLineEnds(path, &offset) >= count;
        }
        if (GetTickCount() - begin > timeoutMs) {
            return false;
        }
        Sleep(pollMs);
    }
}

bool LiveHost::Wait(DWORD timeoutMs, DWORD* status) {
    if (process_ == nullptr || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    GetExitCodeProcess(process_, status);
    return true;
}

void LiveHost::Kill() {
    if (process_ == nullptr) {
        return;
    }
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_, 255);
        WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
    process_ = nullptr;
}

std::string LiveHost::Describe() const {
    std::string text = "stdout:\n";
    for (const std::string& line : Lines()) {
        text += "  " + line + "\n";
    }
    return text + "stderr:\n" + ReadShared(streams_.File(L"stderr.txt"));
}

Holder::~Holder() {
    Release();
}

bool Holder::Hold(const std::wstring& path, bool create) {
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE childOut = nullptr;
    static LONG counter = 0;
    const std::wstring event = L"tollamy-rel-holder-" + std::to_wstring(GetCurrentProcessId()) +
                               L"-" + std::to_wstring(InterlockedIncrement(&counter));
    release_ = CreateEventW(nullptr, TRUE, FALSE, event.c_str());
    if (release_ == nullptr || !CreatePipe(&output_, &childOut, &sa, 0)) {
        return false;
    }
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = childOut;
    startup.hStdError = childOut;
    std::wstring command = L"\"" + hostrun::ProgramFolder() + L"\\rel_holder.exe\" \"" + path +
                           L"\" " + (create ? L"create " : L"open ") + event;
    PROCESS_INFORMATION info = {};
    BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &info);
    CloseHandle(childOut);
    if (!started) {
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    char buffer[16] = {};
    DWORD got = 0;
    return ReadFile(output_, buffer, 5, &got, nullptr) && got == 5 &&
           std::string(buffer, 5) == "held\n";
}

bool Holder::Release() {
    if (release_ != nullptr) {
        SetEvent(release_);
    }
    bool ended = true;
    if (process_ != nullptr) {
        ended = WaitForSingleObject(process_, 10000) == WAIT_OBJECT_0;
        if (!ended) {
            TerminateProcess(process_, 255);
            WaitForSingleObject(process_, 5000);
        }
        CloseHandle(process_);
        process_ = nullptr;
    }
    if (output_ != nullptr) {
        CloseHandle(output_);
        output_ = nullptr;
    }
    if (release_ != nullptr) {
        CloseHandle(release_);
        release_ = nullptr;
    }
    return ended;
}

std::string ReadBytes(const std::wstring& path) {
    return ReadShared(path);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            break;
        }
        done += written;
    }
    CloseHandle(file);
}

std::string DeckBytes(const std::vector<std::wstring>& lines) {
    std::wstring text = L"\xFEFF";
    for (const std::wstring& line : lines) {
        text += line + L"\r\n";
    }
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

FILETIME LastWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

void SetLastWriteTime(const std::wstring& path, const FILETIME& time) {
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

std::vector<LONG> ReferenceOffsets(const std::string& deck) {
    std::vector<LONG> offsets;
    offsets.push_back(2);
    const size_t units = deck.size() / 2;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(deck.data());
    for (size_t u = 1; u < units; ++u) {
        if ((bytes[2 * u] | bytes[2 * u + 1] << 8) == 0x000A && u + 1 < units) {
            ++u;
            offsets.push_back(static_cast<LONG>(2 * u));
        }
    }
    return offsets;
}

bool ReadIndex(const std::wstring& path, Index* index) {
    std::string bytes = ReadShared(path);
    if (bytes.size() < 12 || (bytes.size() - 12) % 4 != 0) {
        index->size = bytes.size();
        return false;
    }
    index->size = bytes.size();
    memcpy(&index->stampLow, bytes.data(), 4);
    memcpy(&index->stampHigh, bytes.data() + 4, 4);
    memcpy(&index->count, bytes.data() + 8, 4);
    index->offsets.resize((bytes.size() - 12) / 4);
    if (!index->offsets.empty()) {
        memcpy(index->offsets.data(), bytes.data() + 12, index->offsets.size() * 4);
    }
    return true;
}

std::string CheckIndex(const std::wstring& indexPath, const std::wstring& deckPath) {
    Index index;
    if (!ReadIndex(indexPath, &index)) {
        return "index missing or of a bad size (" + std::to_string(index.size) + " bytes)";
    }
    std::string problems;
    const FILETIME stamp = LastWriteTime(deckPath);
    if (index.stampLow != stamp.dwLowDateTime || index.stampHigh != stamp.dwHighDateTime) {
        problems += "stamp " + std::to_string(index.stampHigh) + ":" +
                    std::to_string(index.stampLow) + " but the deck's time is " +
                    std::to_string(stamp.dwHighDateTime) + ":" +
                    std::to_string(stamp.dwLowDateTime) + "; ";
    }
    const std::vector<LONG> expected = ReferenceOffsets(ReadShared(deckPath));
    if (index.count != static_cast<LONG>(expected.size())) {
        problems += "count " + std::to_string(index.count) + " but the deck has " +
                    std::to_string(expected.size()) + " cards; ";
    }
    if (index.offsets != expected) {
        size_t i = 0;
        while (i < index.offsets.size() && i < expected.size() && index.offsets[i] == expected[i]) {
            ++i;
        }
        problems += "offsets differ from entry " + std::to_string(i) + " (" +
                    std::to_string(index.offsets.size()) + " entries, " +
                    std::to_string(expected.size()) + " expected); ";
    }
    return problems;
}

std::vector<std::string> ListFolder(const std::wstring& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            names.push_back(Narrow(name) + " <dir>");
        } else {
            names.push_back(Narrow(name) + " " + std::to_string(data.nFileSizeLow));
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring InstallModule(const hostrun::TempFolder& folder) {
    const std::wstring module = folder.File(L"Tollamy.dll");
    CopyFileW((hostrun::ProgramFolder() + L"\\Tollamy.dll").c_str(), module.c_str(), FALSE);
    return module;
}

std::wstring HostArguments(const std::wstring& module, const std::wstring& script,
                           const std::wstring& captureDir) {
    return L"--module \"" + module + L"\" --script \"" + script + L"\" --capture-dir \"" +
           captureDir + L"\"";
}

Looks ControlLooks(const std::wstring& question, const std::wstring& answer) {
    Looks looks;
    hostrun::TempFolder folder;
    const std::wstring module = InstallModule(folder);
    hostrun::WriteDeck(folder.File(L"Tollamy.txt"), {question + L"\t" + answer});
    const std::wstring script = folder.File(L"control.script");
    hostrun::WriteScript(script, "select\nleave\ncapture-item question\nselect\n"
                                 "capture-item answer\nquit\n");
    hostrun::HostResult result = hostrun::RunHost(HostArguments(module, script, folder.Path()));
    looks.ok = result.finished && result.status == 0 &&
               hostrun::ReadPng(folder.File(L"question.png"), &looks.question) &&
               hostrun::ReadPng(folder.File(L"answer.png"), &looks.answer);
    return looks;
}

bool SameImage(const hostrun::Image& a, const hostrun::Image& b) {
    return a.width == b.width && a.height == b.height && a.width != 0 && a.bgra == b.bgra;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        out += c < 128 ? static_cast<char>(c) : '?';
    }
    return out;
}

} // namespace rel
