// Points the prefix's .txt "open" association (HKEY_CLASSES_ROOT, where the shell looks) at
// tests/tools/recorder.exe while it lives, and puts the old association back afterwards.
#pragma once

#include <windows.h>

#include <string>

class RecorderAssociation {
public:
    // The recorder writes its arguments to output when the shell opens a .txt file.
    RecorderAssociation(const std::wstring& recorder, const std::wstring& output);
    ~RecorderAssociation();
    RecorderAssociation(const RecorderAssociation&) = delete;
    RecorderAssociation& operator=(const RecorderAssociation&) = delete;

private:
    bool hadTxt_ = false;
    bool hadDefault_ = false;
    std::wstring oldDefault_;
};
