#pragma once
// The audio encoder objects: an encoder with its source groups, an audio source read from a
// WAVE file, the installed profiles, the display information, the output file, run states and
// statistics. Encoding runs on a thread of its own and writes an ASF file with Windows Media
// Audio 2 at the chosen profile's bitrate, channel count and sample rate.
//
// Texts are UTF-8. Every call answers an HRESULT; output arguments are set only on success.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/wmenc/com.h"

namespace orvane::wmenc {

constexpr GUID CLSID_WMEncoder = {
    0x632B606A, 0xBBC6, 0x11D2, {0xA3, 0x29, 0x00, 0x60, 0x97, 0xC4, 0xE4, 0x76}};
constexpr GUID IID_IWMEncoder = {
    0x632B607F, 0xBBC6, 0x11D2, {0xA3, 0x29, 0x00, 0x60, 0x97, 0xC4, 0xE4, 0x76}};
// The statistics of the file being written (its size so far).
constexpr GUID IID_IWMEncFileArchiveStats = {
    0xB12B5B14, 0xF6D2, 0x4A47, {0xAA, 0xED, 0x63, 0x74, 0x98, 0xBD, 0x49, 0xD6}};
// The statistics of the encoded stream (sample rate, bitrate).
constexpr GUID IID_IWMEncOutputStats = {
    0x2BE53BA6, 0xB726, 0x11D2, {0xA8, 0xEB, 0x00, 0x60, 0x97, 0xC4, 0xE4, 0x76}};

// The registry key below HKEY_CLASSES_ROOT whose default value names the profile folder.
// Its presence is what makes the encoder class available.
constexpr const char* kProfileFolderKey =
    "Software\\Microsoft\\Windows Media Tools\\Encoder\\ProfileMgr\\Directory";

// Run states of the encoder.
enum RunState : long {
    kEncoderStarting = 1,
    kEncoderRunning = 2,
    kEncoderStopping = 4,
    kEncoderStopped = 5,
};

// Source types of a source group.
constexpr long kSourceAudio = 1;
constexpr long kSourceVideo = 2;

class IWMEncProfile : public IUnknown {
public:
    virtual HRESULT get_Name(std::string* name) = 0;
    virtual HRESULT get_Bitrate(long* bitsPerSecond) = 0;
    virtual HRESULT get_Channels(long* channels) = 0;
    virtual HRESULT get_SampleRate(long* hz) = 0;
};

class IWMEncProfileCollection : public IUnknown {
public:
    virtual HRESULT get_Count(long* count) = 0;
    // E_INVALIDARG for an index outside 0 .. count - 1.
    virtual HRESULT Item(long index, std::shared_ptr<IWMEncProfile>* profile) = 0;
};

class IWMEncSource : public IUnknown {
public:
    // The input: a WAVE file path. scheme and initData must both be empty (a file source).
    virtual HRESULT SetInput(const std::string& input, const std::string& scheme,
                             const std::string& initData) = 0;
    virtual HRESULT get_Input(std::string* input) = 0;
    virtual HRESULT get_Type(long* type) = 0;
};

class IWMEncSourceGroup : public IUnknown {
public:
    virtual HRESULT get_Name(std::string* name) = 0;
    // One source per type; kSourceAudio is the only type an audio encoder takes.
    virtual HRESULT AddSource(long type, std::shared_ptr<IWMEncSource>* source) = 0;
    // A VT_DISPATCH argument holding a profile of the encoder's collection.
    virtual HRESULT put_Profile(const VARIANT& profile) = 0;
};

class IWMEncSourceGroupCollection : public IUnknown {
public:
    // E_INVALIDARG for an empty name or one already in use.
    virtual HRESULT Add(const std::string& name, std::shared_ptr<IWMEncSourceGroup>* group) = 0;
    virtual HRESULT get_Count(long* count) = 0;
    virtual HRESULT put_Active(const std::shared_ptr<IWMEncSourceGroup>& group) = 0;
};

class IWMEncDisplayInfo : public IUnknown {
public:
    virtual HRESULT put_Title(const std::string& text) = 0;
    virtual HRESULT put_Author(const std::string& text) = 0;
    virtual HRESULT put_Copyright(const std::string& text) = 0;
    virtual HRESULT put_Rating(const std::string& text) = 0;
    virtual HRESULT put_Description(const std::string& text) = 0;
};

// The file's attributes beyond the five display texts ("WM/AlbumTitle", "WM/TrackNumber"), each
// a text stored under its name.
class IWMEncAttributes : public IUnknown {
public:
    // Adds a text under name, or replaces the one it holds. E_INVALIDARG for an empty name, a
    // name or text holding a NUL, or one too long for the file.
    virtual HRESULT Add(const std::string& name, const std::string& value) = 0;
    virtual HRESULT RemoveAll() = 0;
};

class IWMEncFile : public IUnknown {
public:
    virtual HRESULT put_LocalFileName(const std::string& path) = 0;
    virtual HRESULT get_LocalFileName(std::string* path) = 0;
};

class IWMEncOutputStats : public IUnknown {
public:
    // Samples per second of the encoded stream.
    virtual HRESULT get_CurrentSampleRate(long* rate) = 0;
    // Bits per second of the encoded stream so far (the profile's bitrate before the first
    // packet).
    virtual HRESULT get_CurrentBitrate(long* bitrate) = 0;
};

class IWMEncFileArchiveStats : public IUnknown {
public:
    // Bytes of the output file written so far.
    virtual HRESULT get_FileSize(std::int64_t* bytes) = 0;
};

class IWMEncStatistics : public IUnknown {
public:
    // Milliseconds of input encoded so far.
    virtual HRESULT get_EncodingTime(std::int64_t* ms) = 0;
    // An object that answers IWMEncOutputStats.
    virtual HRESULT get_WMFOutputStats(std::shared_ptr<IUnknown>* stats) = 0;
    // An object that answers IWMEncFileArchiveStats.
    virtual HRESULT get_FileArchiveStats(std::shared_ptr<IUnknown>* stats) = 0;
};

class IWMEncoder : public IUnknown {
public:
    virtual HRESULT get_SourceGroupCollection(
        std::shared_ptr<IWMEncSourceGroupCollection>* groups) = 0;
    // The profiles found in the profile folder at the time of the call.
    virtual HRESULT get_ProfileCollection(std::shared_ptr<IWMEncProfileCollection>* profiles) = 0;
    virtual HRESULT get_DisplayInfo(std::shared_ptr<IWMEncDisplayInfo>* info) = 0;
    virtual HRESULT get_Attributes(std::shared_ptr<IWMEncAttributes>* attributes) = 0;
    virtual HRESULT get_File(std::shared_ptr<IWMEncFile>* file) = 0;
    // Fails while statistics are off.
    virtual HRESULT get_Statistics(std::shared_ptr<IWMEncStatistics>* stats) = 0;

    // The three options (all off when created):
    // AutoStop: at the end of the input the encoder finishes the file and leaves the running
    //   state by itself; without it, it keeps running until Stop.
    // AutoArchive: the encoded stream is archived to the output file. The file is the only
    //   output of this encoder, so preparing fails without it.
    // EnableStatistics: the statistics are kept and can be asked for.
    virtual HRESULT put_AutoStop(VARIANT_BOOL on) = 0;
    virtual HRESULT put_AutoArchive(VARIANT_BOOL on) = 0;
    virtual HRESULT put_EnableStatistics(VARIANT_BOOL on) = 0;

    // Opens the input, sets up the codec and creates the output file. A failure leaves a
    // description for IErrorInfo and no output file.
    virtual HRESULT PrepareToEncode(VARIANT_BOOL prepare) = 0;
    // Starts encoding on the encoder's own thread (preparing first when needed).
    virtual HRESULT Start() = 0;
    // Ends encoding: the file written so far is finished and stays playable.
    virtual HRESULT Stop() = 0;
    virtual HRESULT get_RunState(long* state) = 0;
    // How the last run ended: S_OK at the end of the input, S_FALSE when stopped before it,
    // a failure code when encoding failed (the file is then removed). E_UNEXPECTED before
    // the first run has ended.
    virtual HRESULT get_RunResult(HRESULT* result) = 0;
};

}  // namespace orvane::wmenc
