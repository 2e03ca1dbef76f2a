#include "cdplayer/mci_cd_audio.h"

#include <cstring>

namespace orvane::cdplayer {

namespace {
constexpr MCIERROR kNotOpen = 2;
constexpr MCIERROR kAlreadyOpen = 1;
}  // namespace

char CMciCdAudio::infoBuffer_[128];

CMciCdAudio::CMciCdAudio(MciApi& api) : api_(api), deviceType_("cdaudio") {}

CMciCdAudio::~CMciCdAudio() {
    if (deviceId_ != 0) Close();
}

MCIDEVICEID CMciCdAudio::DeviceId() const {
    std::lock_guard g(lock_);
    return deviceId_;
}

MCIERROR CMciCdAudio::LastError() const {
    std::lock_guard g(lock_);
    return lastError_;
}

MCIERROR CMciCdAudio::Send(UINT message, DWORD flags, DWORD_PTR param) {
    lastError_ = api_.SendCommand(deviceId_, message, flags, param);
    return lastError_;
}

MCIERROR CMciCdAudio::Open(const std::string& drive) {
    std::lock_guard g(lock_);
    if (deviceId_ != 0) return kAlreadyOpen;
    deviceType_ = "cdaudio";
    MCI_OPEN_PARMSA parms;
    parms.lpstrDeviceType = reinterpret_cast<LPCSTR>(static_cast<DWORD_PTR>(MCI_DEVTYPE_CD_AUDIO));
    parms.lpstrElementName = drive.c_str();
    parms.lpstrAlias = "CD1998:";
    lastError_ = api_.SendCommand(0, MCI_OPEN,
                                  MCI_WAIT | MCI_OPEN_SHAREABLE | MCI_OPEN_ELEMENT |
                                      MCI_OPEN_ALIAS | MCI_OPEN_TYPE_ID | MCI_OPEN_TYPE,
                                  reinterpret_cast<DWORD_PTR>(&parms));
    if (lastError_ == 0) deviceId_ = parms.wDeviceID;
    return lastError_;
}

MCIERROR CMciCdAudio::Close() {
    std::lock_guard g(lock_);
    if (deviceId_ == 0) return kNotOpen;
    MCI_GENERIC_PARMS parms;
    if (Send(MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&parms)) == 0) deviceId_ = 0;
    return lastError_;
}

MCIERROR CMciCdAudio::Play(DWORD from, DWORD to) {
    std::lock_guard g(lock_);
    if (deviceId_ == 0) return kNotOpen;
    MCI_PLAY_PARMS parms;
    DWORD flags = 0;
    if (from != kFromCurrent) {
        flags |= MCI_FROM;
        parms.dwFrom = from;
    }
    if (to != kToEnd) {
        flags |= MCI_TO;
        parms.dwTo = to;
    }
    return Send(MCI_PLAY, flags, reinterpret_cast<DWORD_PTR>(&parms));
}

MCIERROR CMciCdAudio::Stop() {
    std::lock_guard g(lock_);
    if (deviceId_ == 0) return kNotOpen;
    MCI_GENERIC_PARMS parms;
    return Send(MCI_STOP, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&parms));
}

MCIERROR CMciCdAudio::Seek(DWORD to) {
    std::lock_guard g(lock_);
    if (deviceId_ == 0) return kNotOpen;
    MCI_SEEK_PARMS parms;
    DWORD flags = 0;
    if (to == kToEnd) {
        flags = MCI_SEEK_TO_END;
    } else if (to == 0) {
        flags = MCI_SEEK_TO_START;
    } else {
        flags = MCI_TO;
        parms.dwTo = to;
    }
    return Send(MCI_SEEK, flags, reinterpret_cast<DWORD_PTR>(&parms));
}

MCIERROR CMciCdAudio::Pause() {
    std::lock_guard g(lock_);
    if (deviceId_ == 0) return kNotOpen;
    MCI_GENERIC_PARMS parms;
    return Send(MCI_PAUSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&parms));
}

MCIERROR CMciCdAudio::Resume() {
    std::lock_guard g(lock_);
    if (deviceId_ == 0) return kNotOpen;
    MCI_GENERIC_PARMS parms;
    return Send(MCI_RESUME, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&parms));
}

const char* CMciCdAudio::Info(DWORD flags) {
    std::lock_guard g(lock_);
    if (deviceId_ == 0) return nullptr;
    std::memset(infoBuffer_, 0, sizeof infoBuffer_);
    MCI_INFO_PARMSA parms;
    parms.lpstrReturn = infoBuffer_;
    parms.dwRetSize = sizeof infoBuffer_;
    Send(MCI_INFO, flags, reinterpret_cast<DWORD_PTR>(&parms));
    infoBuffer_[sizeof infoBuffer_ - 1] = '\0';
    return infoBuffer_;
}

MCIERROR CMciCdAudio::Set(DWORD flags, DWORD value) {
    std::lock_guard g(lock_);
    if (deviceId_ == 0) return kNotOpen;
    MCI_SET_PARMS parms;
    if (flags & MCI_SET_TIME_FORMAT) parms.dwTimeFormat = value;
    return Send(MCI_SET, flags, reinterpret_cast<DWORD_PTR>(&parms));
}

DWORD CMciCdAudio::Status(DWORD flags, DWORD item, DWORD track) {
    std::lock_guard g(lock_);
    const bool position = item == MCI_STATUS_POSITION && !(flags & MCI_TRACK);
    if (deviceId_ == 0) return position ? kInvalidPosition : 0;
    MCI_STATUS_PARMS parms;
    parms.dwItem = item;
    DWORD sent = MCI_STATUS_ITEM;
    if (flags & MCI_TRACK) {
        sent |= MCI_TRACK;
        parms.dwTrack = track;
    }
    if (Send(MCI_STATUS, sent, reinterpret_cast<DWORD_PTR>(&parms)) != 0)
        return position ? kInvalidPosition : 0;
    return static_cast<DWORD>(parms.dwReturn);
}

void CMciCdAudio::ShowError(Messenger& messenger) {
    char text[256] = {};
    const MCIERROR error = LastError();
    if (!api_.GetErrorString(error, text, sizeof text) || text[0] == '\0')
        std::strcpy(text, "Unknown MCI Error");
    text[sizeof text - 1] = '\0';
    messenger.MessageBox(text, "MCI Error", MB_ICONWARNING);
}

}  // namespace orvane::cdplayer
