#pragma once
// Event objects addressed by HANDLE, as the registry's change notification and the workers'
// wake-ups use them: CreateEventA, SetEvent, ResetEvent, WaitForSingleObject, CloseHandle.

#include "platform/base/wintypes.h"

// manualReset: the event stays signalled until ResetEvent; otherwise one wait consumes it.
HANDLE CreateEventA(void* securityAttributes, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
// WAIT_OBJECT_0 when signalled, WAIT_TIMEOUT after ms milliseconds (INFINITE waits for ever),
// WAIT_FAILED for a handle that is not an event.
DWORD WaitForSingleObject(HANDLE event, DWORD ms);
// Closes an event handle; FALSE for a handle that is not one.
BOOL CloseHandle(HANDLE event);
