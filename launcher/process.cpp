// Starting the launcher's children, in a job of their own.
#include "launcher/process.h"

namespace {

bool Start(const std::vector<std::wstring>& argv, HANDLE job, HANDLE output, DWORD flags,
           ScopedHandle* process, std::wstring* why) {
    std::wstring line = CommandLine(argv);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output != nullptr ? output : GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    // Suspended until it is in the job, so that nothing it starts escapes the job.
    if (!CreateProcessW(argv[0].c_str(), &line[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED | flags,
                        nullptr, nullptr, &startup, &info)) {
        *why = argv[0] + L": " + SystemMessage(GetLastError());
        return false;
    }
    if (job != nullptr && !AssignProcessToJobObject(job, info.hProcess)) {
        *why = argv[0] + L": " + SystemMessage(GetLastError());
        TerminateProcess(info.hProcess, 1);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return false;
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    process->Reset(info.hProcess);
    return true;
}

} // namespace

bool CreateKillingJob(ScopedHandle* job, std::wstring* why) {
    job->Reset(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job->Valid() || !SetInformationJobObject(job->Get(), JobObjectExtendedLimitInformation,
                                                  &limits, sizeof limits)) {
        *why = L"cannot make a job for the screen: " + SystemMessage(GetLastError());
        return false;
    }
    return true;
}

bool StartChild(const std::vector<std::wstring>& argv, HANDLE job, bool ownGroup,
                ScopedHandle* process, std::wstring* why) {
    return Start(argv, job, nullptr, ownGroup ? CREATE_NEW_PROCESS_GROUP : 0, process, why);
}

void StopChild(HANDLE process, DWORD ms) {
    if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
        return;
    }
    GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, GetProcessId(process));
    if (WaitForSingleObject(process, ms) != WAIT_OBJECT_0) {
        TerminateProcess(process, 143);
        WaitForSingleObject(process, ms);
    }
}

int RunCaptured(const std::vector<std::wstring>& argv, std::string* out, std::wstring* why) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) {
        *why = SystemMessage(GetLastError());
        return -1;
    }
    ScopedHandle reader(read), writer(write);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    ScopedHandle process;
    if (!Start(argv, nullptr, write, 0, &process, why)) {
        return -1;
    }
    writer.Close();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(reader.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        out->append(buffer, got);
    }
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.Get(), &status);
    return static_cast<int>(status);
}

std::wstring SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = text != nullptr ? text : L"error " + std::to_wstring(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L'.' || message.back() == L' ')) {
        message.pop_back();
    }
    return message;
}
