// What the Windows files of the parts share (files_windows.cpp, process_windows.cpp,
// anki/system_windows.cpp, watch/system_windows.cpp): UTF-8 to UTF-16 and back, a path as the
// wide calls take it, Windows' error codes as errno values, and the handles that the end of the
// program closes before it removes the temporary files. Only a Windows file includes it.
#pragma once

#include <windows.h>

#include <string>

namespace deck::win32 {

// UTF-8 as UTF-16. A lone surrogate written as WTF-8 (as Utf8 writes one) comes back as it
// was; an invalid byte becomes U+FFFD.
std::wstring Wide(const std::string& utf8);
// UTF-16 as UTF-8, a lone surrogate as its three bytes (WTF-8), so that every name that
// Windows gives can be handed back to it.
std::string Utf8(const wchar_t* text, size_t length);
std::string Utf8(const std::wstring& text);

// A path as the wide calls take it: UTF-16, '/' as '\', and an absolute path that is too long
// for the calls' usual limit (MAX_PATH) in the \\?\ form, which has none.
std::wstring WidePath(const std::string& path);

// The errno value for a Windows error code (ENOENT for ERROR_FILE_NOT_FOUND).
int ErrnoOf(DWORD error);
// Sets errno from GetLastError(); returns false, for `return Failed();`.
bool Failed();
// Windows' own words for an error code, in UTF-8, without the final line end.
std::string ErrorText(DWORD error);

// A handle that may be open on a temporary file: the end of the program (a console's Ctrl+C,
// Ctrl+Break or its closed window) closes it before it removes the file, because Windows keeps
// the name of a file that is open. Track it right after the open and Untrack it before the
// close. The tool's own opens do it; so does SQLite's through the Anki part's hook.
void Track(HANDLE handle);
void Untrack(HANDLE handle);

// Ends the program from one of its threads as the console's Ctrl+C ends it: the files that
// RemovedOnSignal holds go first, then the process with `code`.
[[noreturn]] void EndProgram(UINT code);

} // namespace deck::win32
