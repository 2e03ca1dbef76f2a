#include "encoder/app/strings.h"

#include "encoder/app/resource.h"

namespace orvane::encoder {

std::string LoadString(int id) {
    switch (id) {
        case IDS_ABOUTBOX:
            return "&About Orvane Encoder...";
        case IDS_WIZARD:
            return "Wizard";
        case IDS_ID3_BATCH:
            return "ID3 Tag Information cannot be set when encoding multiple files.\nTo use ID3 "
                   "Tag for more files, Please use the CDA Encoding.";
        case IDS_TIP_CDAUDIO:
            return "Encode CD-Audio Tracks.";
        case IDS_TIP_WAVFILES:
            return "Encode WAV File(s).";
        case IDS_TIP_TOMP3:
            return "Encode to MPEG Layer 3 Audio (MP3).";
        case IDS_TIP_TOWAV:
            return "Decode MP3 File(s) to Windows PCM (WAV).";
        case IDS_TIP_CANCEL:
            return "Cancel the Current Operation.";
        case IDS_TIP_TOWMA:
            return "Encode to Windows Media Audio (WMA).";
        case IDS_TIP_OPTIONS:
            return "FreeDB, Proxy and Window Effects Options.";
        default:
            return {};
    }
}

}  // namespace orvane::encoder
