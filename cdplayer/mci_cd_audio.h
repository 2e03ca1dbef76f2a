#pragma once
// The player's one wrapper around the MCI cdaudio device: opened once at start-up on the chosen
// drive, closed at exit, used by the window's commands and by the status thread.

#include <mutex>
#include <string>

#include "cdplayer/messenger.h"
#include "platform/mci/mmsystem.h"

namespace orvane::cdplayer {

// The MCI functions the wrapper calls; tests replace them with a scripted device.
class MciApi {
public:
    virtual ~MciApi() = default;
    virtual MCIERROR SendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags,
                                 DWORD_PTR param) = 0;
    virtual MCIERROR SendString(LPCSTR command, LPSTR returnString, UINT returnLength) = 0;
    virtual BOOL GetErrorString(MCIERROR error, LPSTR text, UINT textLength) = 0;
};

// The process's MCI subset (platform/mci).
MciApi& SystemMci();

// Play(from, to) sentinels: from the current position, to the end of the disc.
constexpr DWORD kFromCurrent = static_cast<DWORD>(-1);
constexpr DWORD kToEnd = static_cast<DWORD>(-2);
// Returned by Status for a position it could not read: its seconds (255) exceed 60.
constexpr DWORD kInvalidPosition = 0xFFFFFFFF;

class CMciCdAudio {
public:
    explicit CMciCdAudio(MciApi& api = SystemMci());
    virtual ~CMciCdAudio();
    CMciCdAudio(const CMciCdAudio&) = delete;
    CMciCdAudio& operator=(const CMciCdAudio&) = delete;

    // Each returns the MCI error code (0 = success) and keeps it as the last error. With no
    // device open every operation but Open sends nothing and returns 2.
    virtual MCIERROR Open(const std::string& drive);
    virtual MCIERROR Close();
    virtual MCIERROR Play(DWORD from, DWORD to);
    virtual MCIERROR Stop();
    virtual MCIERROR Seek(DWORD to);
    virtual MCIERROR Pause();
    virtual MCIERROR Resume();
    // The text of an MCI_INFO request in the process's 128-byte info buffer (overwritten by
    // the next request), or nullptr when no device is open.
    virtual const char* Info(DWORD flags);
    virtual MCIERROR Set(DWORD flags, DWORD value = 0);
    // The status value. A failed query yields kInvalidPosition for the disc position and 0
    // for every other item.
    virtual DWORD Status(DWORD flags, DWORD item, DWORD track = 0);

    // Shows the last error's text in a box captioned "MCI Error".
    void ShowError(Messenger& messenger);

    MCIDEVICEID DeviceId() const;
    MCIERROR LastError() const;
    const std::string& DeviceType() const { return deviceType_; }
    MciApi& Api() { return api_; }

    // Held by a caller across a series of commands that sets a time format and then uses it,
    // so the other thread's series cannot change the format in between. Each single command
    // takes it too.
    std::recursive_mutex& SeriesLock() const { return lock_; }

private:
    MCIERROR Send(UINT message, DWORD flags, DWORD_PTR param);

    MciApi& api_;
    std::string deviceType_;
    MCIDEVICEID deviceId_ = 0;
    MCIERROR lastError_ = 0;
    mutable std::recursive_mutex lock_;
    static char infoBuffer_[128];
};

}  // namespace orvane::cdplayer
