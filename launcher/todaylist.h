// The launcher's entries in the Today items list, written as install.cmd writes them: a
// custom item (Type 4) with its module's full path, shown, with an options dialog, taking the
// selection messages itself. The list is the machine's (HKEY_LOCAL_MACHINE), which an
// administrator may write, and for a user who may not, the user's own
// (HKEY_CURRENT_USER\Software\Microsoft\Today\Items), which today-host.exe reads beside it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Registers item `name` for module `dll` at place `order`, when there is no entry of that name
// yet. False with *why set when the list has an entry of that name for another module (the
// user's: it stays) or neither list can be written.
bool RegisterItem(const std::wstring& name, const std::wstring& dll, DWORD order,
                  std::wstring* why);

// The names of the entries, in either list, whose module is not `folder`\NAME.dll: the items
// that no Anki deck may take.
std::vector<std::wstring> ItemsOutside(const std::wstring& folder);

// Switches the entry `name` of module `dll` on or off, in whichever list holds it: 0 switched,
// 1 it was so already or there is no such entry, 2 it could not be written.
int SwitchItem(const std::wstring& name, const std::wstring& dll, bool on);
