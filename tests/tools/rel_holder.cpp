// Holds one file open with no sharing until the test sets a named event, so that tests can
// see what another program's exclusive open does to the item.
//   rel_holder PATH open EVENT     opens an existing file for reading
//   rel_holder PATH create EVENT   opens the file for reading, creating it (empty) when missing
// Prints "held" once the file is open (or "failed N" with the error code and exits 1), then
// "released" after closing it.
#include <windows.h>

#include <string.h>

namespace {

void Say(const char* text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    // No flush: on a pipe it would wait until the test has read the text.
    WriteFile(out, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        Say("usage: rel_holder PATH open|create EVENT\n");
        return 2;
    }
    const DWORD disposition = wcscmp(argv[2], L"create") == 0 ? OPEN_ALWAYS : OPEN_EXISTING;
    HANDLE file =
        CreateFileW(argv[1], GENERIC_READ, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        char text[32];
        wsprintfA(text, "failed %lu\n", GetLastError());
        Say(text);
        return 1;
    }
    Say("held\n");
    // Block until the test sets the event (or kills us).
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, argv[3]);
    if (release != nullptr) {
        WaitForSingleObject(release, INFINITE);
        CloseHandle(release);
    }
    CloseHandle(file);
    Say("released\n");
    return 0;
}
