#include "cdplayer/mci_cd_audio.h"

namespace orvane::cdplayer {
namespace {

class SystemMciApi final : public MciApi {
public:
    MCIERROR SendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags,
                         DWORD_PTR param) override {
        return mciSendCommand(device, message, flags, param);
    }
    MCIERROR SendString(LPCSTR command, LPSTR returnString, UINT returnLength) override {
        return mciSendString(command, returnString, returnLength, nullptr);
    }
    BOOL GetErrorString(MCIERROR error, LPSTR text, UINT textLength) override {
        return mciGetErrorString(error, text, textLength);
    }
};

}  // namespace

MciApi& SystemMci() {
    static SystemMciApi api;
    return api;
}

}  // namespace orvane::cdplayer
