#pragma once
// The encoder front-end's application object: the settings read at start-up, the state that
// lasts from one job to the next (the tag records, the grabber's selection), and the job loop.
// What one job needs travels in its JobRequest.

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "encoder/app/service_addresses.h"
#include "encoder/app/settings_store.h"
#include "encoder/job/job_request.h"
#include "encoder/tags/id3.h"

namespace orvane::encoder {

class ProcessingStatusDialog;
class WizardPage;

constexpr const char* kProfileKey = "Orvane Systems\\Orvane Encoder";
constexpr const char* kMachineKey = "SOFTWARE\\Orvane Systems\\Orvane Encoder\\3.00";

struct EncoderApp {
    SettingsStore* settings = nullptr;  // not owned; set before start-up

    ProcessingStatusDialog* currentStatusDialog = nullptr;
    // The tag dialog's record (tagTable[1]) was confirmed; it stays offered for later jobs.
    std::atomic<int> singleFileTagSet{0};
    std::atomic<int> splashPending{1};
    GenreList genreList;
    // Entry 1: the single file's tag; entry n: CD track n, as the grabber confirmed them.
    TagTable tagTable;
    // The full texts of the same tags (ID3v2), by the same numbers.
    std::vector<tags::TrackTags> fullTags;
    // What the grabber handed over when the user last confirmed it (the wizard adds the
    // intro, read buffer and delete settings when it makes the request).
    CdHandOver cdSelection;
    int cdaReadBufferSize = 16;
    static constexpr int kMaxCdaReadSpeed = 99;
    // "CDAReadSpeed": read speed as a multiple of the audio rate (0: none is sent, the drive
    // keeps the speed it has), for drives with no speed of their own (section "ReadSpeeds");
    // "CDADeemphasis": tracks recorded with pre-emphasis are de-emphasised when grabbed.
    int cdaReadSpeed = 0;
    int cdaDeemphasis = 0;
    std::string appFolder;  // program folder, with a trailing '/'
    std::atomic<int> exitRequested{0};
    int windowEffects = 1;
    std::string freeDbServer;
    int useProxy = 0;
    std::string proxyServer;
    int proxyPort = 8080;
    std::string lastCd;
    int introOnly = 0;
    int introSeconds = 15;
    // How many files of a folder batch run at once ("ParallelJobs"; the processors by default).
    int parallelJobs = 1;
    std::string namePattern;  // "FileNamePattern": CD track names; empty: "Artist - Title"
    // "MultiFormatFolders": the folder of each format of a CD job of several (%F its name).
    std::string formatFolders = kDefaultFormatFolders;
    int writeId3v2 = 1;  // "WriteID3v2": MP3 outputs get an ID3v2 tag beside the ID3v1 one
    // "CDInfoSource": where "&Get CD Info" asks: 0 the CD database, 1 MusicBrainz, 2 MusicBrainz
    // and then the CD database when it knows nothing. "MusicBrainzServer": its address.
    int cdInfoSource = 0;
    std::string musicBrainzServer = kDefaultMusicBrainzServer;

    // Choices whose dialogs come with the CD grabbing, the options dialog and WMA encoding;
    // the wizard shows them disabled until the program turns them on.
    bool cdAudioAvailable = false;
    bool optionsAvailable = false;
    bool wmaAvailable = false;
    // The music library conversion (its job kind registered: encoder/library).
    bool libraryAvailable = false;

    // The program's command line (its arguments joined by blanks), empty without one.
    std::string commandLine;

    // Makes the WMA settings page of a new wizard sheet, installed with WMA encoding.
    std::function<std::unique_ptr<WizardPage>(EncoderApp&)> makeWmaPage;
};

// The application object of the process.
EncoderApp& TheApp();

// Reads the eight "Preferences" values and the machine-wide "CDAReadBufferSize".
void ReadSettings(EncoderApp& app);
// "CDAReadBufferSize" as the grabber uses it: a decimal number, 0 or below gives 16, above
// 256 gives 256; no value gives 16.
int ClampReadBufferSize(bool found, const std::string& text);
// The program folder from the program file's full path: its drive and directory with a
// trailing '/'.
std::string AppFolderOf(const std::string& modulePath);

struct StartupHooks {
    // The Windows Media component installation; 1 lets start-up go on, 0 ends it.
    std::function<int()> installWmaComponents;
    // Loads the shared bitmaps (152, 153, 152, 163).
    std::function<void()> loadSharedBitmaps;
    // Shows the dialog modally and returns its result; the dialog's logic is given.
    std::function<int(ProcessingStatusDialog&)> runStatusDialog;
};

// Start-up and the job loop. Returns false in every case (the program then ends).
bool Startup(EncoderApp& app, const std::string& modulePath, const StartupHooks& hooks);
// The job loop alone: a fresh status dialog per turn until the wizard is cancelled.
// Returns the number of turns.
int RunJobLoop(EncoderApp& app, const std::function<int(ProcessingStatusDialog&)>& run);

}  // namespace orvane::encoder
