// wma_bench INPUT OUTPUT [PROFILE]: encodes a WAVE file through the encoder objects with the
// profile of index PROFILE (default 0) of the registered profile folder, the way the WMA job
// sets them up, and waits for the end. Exit status 0 when the whole input was encoded.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/clock/clock.h"
#include "platform/wmenc/wmenc.h"

using namespace orvane::wmenc;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: wma_bench INPUT OUTPUT [PROFILE]\n");
        return 2;
    }
    long profileIndex = argc > 3 ? std::atol(argv[3]) : 0;
    CoInitialize(nullptr);
    int status = 1;
    {
        std::shared_ptr<IUnknown> unknown;
        if (FAILED(CoCreateInstance(CLSID_WMEncoder, nullptr, CLSCTX_INPROC_SERVER, IID_IWMEncoder,
                                    &unknown))) {
            std::fprintf(stderr, "no encoder: is the profile folder registered?\n");
            return 1;
        }
        auto encoder = As<IWMEncoder>(unknown);
        std::shared_ptr<IWMEncSourceGroupCollection> groups;
        std::shared_ptr<IWMEncSourceGroup> group;
        std::shared_ptr<IWMEncSource> source;
        std::shared_ptr<IWMEncProfileCollection> profiles;
        std::shared_ptr<IWMEncProfile> profile;
        std::shared_ptr<IWMEncFile> file;
        VARIANT v;
        v.vt = VT_DISPATCH;
        bool ok = SUCCEEDED(encoder->get_SourceGroupCollection(&groups)) &&
                  SUCCEEDED(groups->Add("Convert", &group)) &&
                  SUCCEEDED(group->AddSource(kSourceAudio, &source)) &&
                  SUCCEEDED(encoder->get_ProfileCollection(&profiles)) &&
                  SUCCEEDED(profiles->Item(profileIndex, &profile));
        v.pdispVal = profile;
        ok = ok && SUCCEEDED(group->put_Profile(v)) &&
             SUCCEEDED(source->SetInput(argv[1], "", "")) && SUCCEEDED(groups->put_Active(group)) &&
             SUCCEEDED(encoder->get_File(&file)) && SUCCEEDED(file->put_LocalFileName(argv[2])) &&
             SUCCEEDED(encoder->put_AutoStop(VARIANT_TRUE)) &&
             SUCCEEDED(encoder->put_AutoArchive(VARIANT_TRUE)) &&
             SUCCEEDED(encoder->put_EnableStatistics(VARIANT_TRUE)) &&
             SUCCEEDED(encoder->PrepareToEncode(VARIANT_TRUE)) && SUCCEEDED(encoder->Start());
        if (ok) {
            auto running = [&] {
                long state = 0;
                encoder->get_RunState(&state);
                return state == kEncoderRunning;
            };
            while (running())
                orvane::clock::Current().SleepMsUnless(1000, [&] { return !running(); });
            HRESULT result = E_FAIL;
            encoder->get_RunResult(&result);
            status = result == S_OK ? 0 : 1;
        }
    }
    CoUninitialize();
    return status;
}
