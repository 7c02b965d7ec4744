#include "host/listwatch.h"

namespace {

// Entries added or removed, and values written.
const DWORD LIST_CHANGES = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

} // namespace

bool ItemListWatch::Start(HKEY root, const wchar_t* keyPath) {
    Stop();
    if (RegOpenKeyExW(root, keyPath, 0, KEY_NOTIFY, key_.Receive()) != ERROR_SUCCESS) {
        return false;
    }
    event_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!event_.Valid() || !Arm()) {
        Stop();
        return false;
    }
    return true;
}

bool ItemListWatch::Arm() {
    return RegNotifyChangeKeyValue(key_.Get(), TRUE, LIST_CHANGES, event_.Get(), TRUE) ==
           ERROR_SUCCESS;
}

bool ItemListWatch::Changed() {
    if (!event_.Valid() || WaitForSingleObject(event_.Get(), 0) != WAIT_OBJECT_0) {
        return false;
    }
    // A notification fires once: watch again before the list is read, so that a change made
    // while it is read is not missed.
    if (!Arm()) {
        Stop();
    }
    return true;
}

void ItemListWatch::Stop() {
    key_.Close();
    event_.Close();
}
