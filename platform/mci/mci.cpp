// The MCI cdaudio device over the CD drive layer and the audio output.
//
// Devices opened in this process share one player per drive, so every device on a drive sees
// the same play state; each device keeps its own time format. MSF positions are absolute disc
// addresses (logical block 0 is 00:02:00), TMSF positions are relative to their track's start,
// and milliseconds count from 00:00:00.

#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/cdrom/drives.h"
#include "platform/clock/clock.h"
#include "platform/mci/cd_player.h"
#include "platform/mci/mmsystem.h"

namespace {

using orvane::cdrom::DriveResult;
using orvane::cdrom::kFramesPerSecond;
using orvane::cdrom::kMsfOffset;
using orvane::cdrom::Toc;
using orvane::mci::CdPlayer;
using orvane::mci::PlayerMode;

struct Device {
    MCIDEVICEID id = 0;
    std::string alias;
    char letter = 0;
    bool shareable = false;
    std::atomic<DWORD> timeFormat{MCI_FORMAT_MSF};  // read by commands of any thread
    std::shared_ptr<CdPlayer> player;
};

std::mutex gMutex;  // the device table
std::map<MCIDEVICEID, std::shared_ptr<Device>> gDevices;
MCIDEVICEID gNextId = 1;

std::shared_ptr<Device> Find(MCIDEVICEID id) {
    std::lock_guard lock(gMutex);
    auto it = gDevices.find(id);
    return it == gDevices.end() ? nullptr : it->second;
}

MCIERROR DriveError(const DriveResult& r) {
    if (r.NoMedium() || r.senseKey == orvane::cdrom::kSenseNotReady) return MCIERR_DEVICE_NOT_READY;
    return MCIERR_HARDWARE;
}

// The end of the audio part of the disc: the lead-out, or the start of trailing data tracks.
std::uint32_t AudioEnd(const Toc& toc) {
    std::uint32_t end = toc.leadOut;
    for (auto it = toc.tracks.rbegin(); it != toc.tracks.rend() && !it->IsAudio(); ++it) {
        end = it->lba;
    }
    return end;
}

std::uint32_t DiscStart(const Toc& toc) { return toc.tracks.empty() ? 0 : toc.tracks.front().lba; }

// Index into toc.tracks of track number n, -1 when the disc has no such track.
int TrackIndex(const Toc& toc, DWORD n) {
    for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
        if (toc.tracks[i].number == n) return static_cast<int>(i);
    }
    return -1;
}

// Index of the track holding lba (the first track for positions before it).
std::size_t TrackAt(const Toc& toc, std::uint32_t lba) {
    std::size_t found = 0;
    for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
        if (toc.tracks[i].lba <= lba) found = i;
    }
    return found;
}

DWORD PackMsf(std::uint32_t frames) {
    return MCI_MAKE_MSF(frames / (60 * kFramesPerSecond), (frames / kFramesPerSecond) % 60,
                        frames % kFramesPerSecond);
}

std::uint32_t FramesToMs(std::uint32_t frames) {
    return static_cast<std::uint32_t>(std::uint64_t{frames} * 1000 / kFramesPerSecond);
}

// A position in the device's time format to a logical block address.
MCIERROR ToLba(DWORD format, DWORD value, const Toc& toc, std::uint32_t& lba) {
    std::int64_t absolute = 0;  // frames from 00:00:00
    if (format == MCI_FORMAT_TMSF) {
        int i = TrackIndex(toc, MCI_TMSF_TRACK(value));
        if (i < 0) return MCIERR_OUTOFRANGE;
        if (MCI_TMSF_SECOND(value) >= 60 || MCI_TMSF_FRAME(value) >= kFramesPerSecond) {
            return MCIERR_OUTOFRANGE;
        }
        std::int64_t offset = (std::int64_t{MCI_TMSF_MINUTE(value)} * 60 + MCI_TMSF_SECOND(value)) *
                                  kFramesPerSecond +
                              MCI_TMSF_FRAME(value);
        absolute = toc.tracks[static_cast<std::size_t>(i)].lba + kMsfOffset + offset;
    } else if (format == MCI_FORMAT_MSF) {
        if (MCI_MSF_SECOND(value) >= 60 || MCI_MSF_FRAME(value) >= kFramesPerSecond) {
            return MCIERR_OUTOFRANGE;
        }
        absolute =
            (std::int64_t{MCI_MSF_MINUTE(value)} * 60 + MCI_MSF_SECOND(value)) * kFramesPerSecond +
            MCI_MSF_FRAME(value);
    } else {
        absolute = std::int64_t{value} * kFramesPerSecond / 1000;
    }
    std::int64_t block = absolute - kMsfOffset;
    // Positions before the first track (its pregap, the lead-in) mean the start of the disc.
    block = std::max<std::int64_t>(block, DiscStart(toc));
    if (block > toc.leadOut) return MCIERR_OUTOFRANGE;
    lba = static_cast<std::uint32_t>(block);
    return 0;
}

DWORD FromLba(DWORD format, std::uint32_t lba, const Toc& toc) {
    if (format == MCI_FORMAT_TMSF) {
        std::size_t i = TrackAt(toc, lba);
        std::uint32_t start = toc.tracks.empty() ? 0 : toc.tracks[i].lba;
        DWORD packed = PackMsf(lba > start ? lba - start : 0);
        DWORD number = toc.tracks.empty() ? 1 : toc.tracks[i].number;
        return MCI_MAKE_TMSF(number, MCI_MSF_MINUTE(packed), MCI_MSF_SECOND(packed),
                             MCI_MSF_FRAME(packed));
    }
    if (format == MCI_FORMAT_MSF) return PackMsf(lba + kMsfOffset);
    return FramesToMs(lba + kMsfOffset);
}

DWORD LengthValue(DWORD format, std::uint32_t frames) {
    return format == MCI_FORMAT_MILLISECONDS ? FramesToMs(frames) : PackMsf(frames);
}

// A failed position or length query answers a value no disc can have: 255 minutes and
// 255 seconds in either packing, which the player reads as "no disc".
constexpr DWORD kNoPosition = 0xFFFFFFFF;

MCIERROR Open(DWORD flags, MCI_OPEN_PARMSA* p) {
    if (!p) return MCIERR_NULL_PARAMETER_BLOCK;
    if ((flags & MCI_OPEN_TYPE) && (flags & MCI_OPEN_TYPE_ID)) {
        if ((reinterpret_cast<std::uintptr_t>(p->lpstrDeviceType) & 0xFFFF) !=
            MCI_DEVTYPE_CD_AUDIO) {
            return MCIERR_INVALID_DEVICE_NAME;
        }
    } else if (flags & MCI_OPEN_TYPE) {
        if (!p->lpstrDeviceType || strcasecmp(p->lpstrDeviceType, "cdaudio") != 0) {
            return MCIERR_INVALID_DEVICE_NAME;
        }
    } else if (!(flags & MCI_OPEN_ELEMENT)) {
        return MCIERR_MISSING_DEVICE_NAME;
    }
    if (flags & MCI_OPEN_ELEMENT_ID) return MCIERR_FLAGS_NOT_COMPATIBLE;
    auto drives = orvane::cdrom::Drives();
    if (drives.empty()) return MCIERR_DEVICE_NOT_INSTALLED;
    char letter = drives.front().letter;
    if (flags & MCI_OPEN_ELEMENT) {
        const char* e = p->lpstrElementName;
        if (!e) return MCIERR_MISSING_STRING_ARGUMENT;
        std::size_t n = std::strlen(e);
        bool root = (n == 2 || (n == 3 && (e[2] == '\\' || e[2] == '/'))) && e[1] == ':' &&
                    std::isalpha(static_cast<unsigned char>(e[0]));
        if (!root) return MCIERR_INVALID_FILE;
        letter = static_cast<char>(std::toupper(static_cast<unsigned char>(e[0])));
    }
    std::shared_ptr<orvane::cdrom::DiscDrive> drive;
    for (const auto& d : drives) {
        if (d.letter == letter) drive = d.drive;
    }
    if (!drive) return MCIERR_INVALID_DEVICE_NAME;
    if (drive->Busy()) return MCIERR_DEVICE_OPEN;
    std::string alias;
    if (flags & MCI_OPEN_ALIAS) {
        if (!p->lpstrAlias || !*p->lpstrAlias) return MCIERR_MISSING_STRING_ARGUMENT;
        alias = p->lpstrAlias;
    }
    bool shareable = (flags & MCI_OPEN_SHAREABLE) != 0;
    std::lock_guard lock(gMutex);
    std::shared_ptr<CdPlayer> player;
    for (const auto& [id, d] : gDevices) {
        if (!alias.empty() && strcasecmp(d->alias.c_str(), alias.c_str()) == 0) {
            return MCIERR_DUPLICATE_ALIAS;
        }
        if (d->letter == letter) {
            if (!shareable || !d->shareable) return MCIERR_MUST_USE_SHAREABLE;
            player = d->player;
        }
    }
    if (!player) player = std::make_shared<CdPlayer>(drive);
    auto device = std::make_shared<Device>();
    device->id = gNextId++;
    if (gNextId == 0 || gNextId == MCI_ALL_DEVICE_ID) gNextId = 1;
    device->alias = alias;
    device->letter = letter;
    device->shareable = shareable;
    device->player = std::move(player);
    gDevices[device->id] = device;
    p->wDeviceID = device->id;
    return 0;
}

MCIERROR Close(MCIDEVICEID id) {
    std::vector<std::shared_ptr<Device>> closing;
    {
        std::lock_guard lock(gMutex);
        if (id == MCI_ALL_DEVICE_ID) {
            for (auto& [key, d] : gDevices)
                closing.push_back(d);
            gDevices.clear();
        } else {
            auto it = gDevices.find(id);
            if (it == gDevices.end()) return MCIERR_INVALID_DEVICE_ID;
            closing.push_back(it->second);
            gDevices.erase(it);
        }
    }
    // The last device of a drive takes its player (and playback) with it, outside the lock.
    for (auto& d : closing) {
        if (d->player.use_count() == 1) d->player->Stop();
    }
    closing.clear();
    return 0;
}

MCIERROR Play(Device& d, DWORD flags, const MCI_PLAY_PARMS* p) {
    if ((flags & (MCI_FROM | MCI_TO)) && !p) return MCIERR_NULL_PARAMETER_BLOCK;
    Toc toc;
    DriveResult r = d.player->Disc(toc);
    if (!r.ok) return DriveError(r);
    std::uint32_t from = 0, to = AudioEnd(toc);
    if (flags & MCI_FROM) {
        if (MCIERROR e = ToLba(d.timeFormat, p->dwFrom, toc, from)) return e;
    } else {
        from = std::max(d.player->Position(), DiscStart(toc));
    }
    if (flags & MCI_TO) {
        if (MCIERROR e = ToLba(d.timeFormat, p->dwTo, toc, to)) return e;
        if (to < from) return MCIERR_OUTOFRANGE;
    }
    if (from >= toc.leadOut) return MCIERR_OUTOFRANGE;
    if (!toc.tracks[TrackAt(toc, from)].IsAudio()) return MCIERR_HARDWARE;
    r = d.player->Play(from, to);
    if (!r.ok) return DriveError(r);
    if (flags & MCI_WAIT) {
        while (d.player->Mode() == PlayerMode::Playing)
            orvane::clock::Current().SleepMs(100);
    }
    return 0;
}

MCIERROR Seek(Device& d, DWORD flags, const MCI_SEEK_PARMS* p) {
    DWORD which = flags & (MCI_SEEK_TO_START | MCI_SEEK_TO_END | MCI_TO);
    if (which == 0) return MCIERR_MISSING_PARAMETER;
    if (which != MCI_SEEK_TO_START && which != MCI_SEEK_TO_END && which != MCI_TO) {
        return MCIERR_FLAGS_NOT_COMPATIBLE;
    }
    if ((flags & MCI_TO) && !p) return MCIERR_NULL_PARAMETER_BLOCK;
    Toc toc;
    DriveResult r = d.player->Disc(toc);
    if (!r.ok) return DriveError(r);
    std::uint32_t lba = DiscStart(toc);
    if (which == MCI_SEEK_TO_END) lba = AudioEnd(toc);
    if (which == MCI_TO) {
        if (MCIERROR e = ToLba(d.timeFormat, p->dwTo, toc, lba)) return e;
    }
    d.player->Seek(lba);
    return 0;
}

MCIERROR Status(Device& d, DWORD flags, MCI_STATUS_PARMS* p) {
    if (!p) return MCIERR_NULL_PARAMETER_BLOCK;
    if (!(flags & MCI_STATUS_ITEM)) return MCIERR_MISSING_PARAMETER;
    bool withTrack = (flags & MCI_TRACK) != 0;
    switch (p->dwItem) {
        case MCI_STATUS_MODE: {
            static const DWORD kModes[] = {MCI_MODE_NOT_READY, MCI_MODE_OPEN, MCI_MODE_STOP,
                                           MCI_MODE_PLAY, MCI_MODE_PAUSE};
            p->dwReturn = kModes[static_cast<int>(d.player->Mode())];
            return 0;
        }
        case MCI_STATUS_TIME_FORMAT:
            p->dwReturn = d.timeFormat;
            return 0;
        case MCI_STATUS_READY:
        case MCI_STATUS_MEDIA_PRESENT: {
            Toc toc;
            p->dwReturn = d.player->Disc(toc).ok ? TRUE : FALSE;
            return 0;
        }
        default:
            break;
    }
    bool positional = p->dwItem == MCI_STATUS_POSITION || p->dwItem == MCI_STATUS_LENGTH;
    Toc toc;
    DriveResult r = d.player->Disc(toc);
    if (!r.ok) {
        p->dwReturn = positional ? kNoPosition : 0;
        return DriveError(r);
    }
    int track = -1;
    if (withTrack) {
        track = TrackIndex(toc, p->dwTrack);
        if (track < 0) {
            if (positional) p->dwReturn = kNoPosition;
            return MCIERR_OUTOFRANGE;
        }
    }
    switch (p->dwItem) {
        case MCI_STATUS_LENGTH:
            if (withTrack) {
                p->dwReturn =
                    LengthValue(d.timeFormat, toc.TrackFrames(static_cast<std::size_t>(track)));
            } else {
                p->dwReturn = LengthValue(d.timeFormat, toc.leadOut - DiscStart(toc));
            }
            return 0;
        case MCI_STATUS_POSITION:
            if (withTrack) {
                p->dwReturn = FromLba(d.timeFormat, toc.tracks[track].lba, toc);
            } else if (flags & MCI_STATUS_START) {
                p->dwReturn = FromLba(d.timeFormat, DiscStart(toc), toc);
            } else {
                p->dwReturn = FromLba(d.timeFormat, d.player->Position(), toc);
            }
            return 0;
        case MCI_STATUS_NUMBER_OF_TRACKS:
            p->dwReturn = toc.tracks.size();
            return 0;
        case MCI_STATUS_CURRENT_TRACK:
            p->dwReturn = toc.tracks[TrackAt(toc, d.player->Position())].number;
            return 0;
        case MCI_CDA_STATUS_TYPE_TRACK:
            if (!withTrack) return MCIERR_MISSING_PARAMETER;
            p->dwReturn = toc.tracks[track].IsAudio() ? MCI_CDA_TRACK_AUDIO : MCI_CDA_TRACK_OTHER;
            return 0;
        default:
            return MCIERR_UNSUPPORTED_FUNCTION;
    }
}

MCIERROR CopyOut(const std::string& text, LPSTR out, DWORD size) {
    if (!out || size == 0) return text.empty() ? 0 : MCIERR_PARAM_OVERFLOW;
    std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return n < text.size() ? MCIERR_PARAM_OVERFLOW : 0;
}

MCIERROR Info(Device& d, DWORD flags, MCI_INFO_PARMSA* p) {
    if (!p) return MCIERR_NULL_PARAMETER_BLOCK;
    DWORD which = flags & (MCI_INFO_PRODUCT | MCI_INFO_MEDIA_UPC | MCI_INFO_MEDIA_IDENTITY);
    if (which == 0) which = MCI_INFO_PRODUCT;
    if (which != MCI_INFO_PRODUCT && which != MCI_INFO_MEDIA_UPC &&
        which != MCI_INFO_MEDIA_IDENTITY) {
        return MCIERR_FLAGS_NOT_COMPATIBLE;
    }
    if (which == MCI_INFO_PRODUCT) return CopyOut("CD Audio", p->lpstrReturn, p->dwRetSize);
    Toc toc;
    DriveResult r = d.player->Disc(toc);
    if (!r.ok) {
        CopyOut("", p->lpstrReturn, p->dwRetSize);
        return DriveError(r);
    }
    if (which == MCI_INFO_MEDIA_UPC) {
        CopyOut("", p->lpstrReturn, p->dwRetSize);
        return MCIERR_NO_IDENTITY;
    }
    return CopyOut(orvane::mci::MediaIdentity(toc), p->lpstrReturn, p->dwRetSize);
}

MCIERROR Set(Device& d, DWORD flags, const MCI_SET_PARMS* p) {
    DWORD door = flags & (MCI_SET_DOOR_OPEN | MCI_SET_DOOR_CLOSED);
    if (door == (MCI_SET_DOOR_OPEN | MCI_SET_DOOR_CLOSED)) return MCIERR_FLAGS_NOT_COMPATIBLE;
    if (!(flags & (MCI_SET_DOOR_OPEN | MCI_SET_DOOR_CLOSED | MCI_SET_TIME_FORMAT))) {
        return MCIERR_MISSING_PARAMETER;
    }
    if (flags & MCI_SET_TIME_FORMAT) {
        if (!p) return MCIERR_NULL_PARAMETER_BLOCK;
        DWORD f = p->dwTimeFormat;
        if (f != MCI_FORMAT_MSF && f != MCI_FORMAT_TMSF && f != MCI_FORMAT_MILLISECONDS) {
            return MCIERR_BAD_TIME_FORMAT;
        }
        d.timeFormat = f;
    }
    if (door) {
        DriveResult r = d.player->SetDoor(door == MCI_SET_DOOR_OPEN);
        if (!r.ok) return DriveError(r);
    }
    return 0;
}

struct ErrorText {
    MCIERROR code;
    const char* text;
};

const ErrorText kErrorTexts[] = {
    {0, "The command was carried out."},
    {MCIERR_INVALID_DEVICE_ID, "There is no open device with this device ID."},
    {MCIERR_UNRECOGNIZED_KEYWORD, "The device does not know one of the words of the command."},
    {MCIERR_UNRECOGNIZED_COMMAND, "The device does not know this command."},
    {MCIERR_HARDWARE, "The CD drive reported a fault. Check the disc and the drive."},
    {MCIERR_INVALID_DEVICE_NAME, "This device is not open and no such device is known."},
    {MCIERR_OUT_OF_MEMORY, "There is not enough memory for this command."},
    {MCIERR_DEVICE_OPEN, "The device is in use by another program."},
    {MCIERR_CANNOT_LOAD_DRIVER, "The device could not be started."},
    {MCIERR_MISSING_COMMAND_STRING, "The command text is empty."},
    {MCIERR_PARAM_OVERFLOW, "The answer does not fit in the buffer given for it."},
    {MCIERR_MISSING_STRING_ARGUMENT, "The command needs a text argument."},
    {MCIERR_BAD_INTEGER, "A number in the command is not valid."},
    {MCIERR_PARSER_INTERNAL, "The command could not be read."},
    {MCIERR_DRIVER_INTERNAL, "The device failed inside."},
    {MCIERR_MISSING_PARAMETER, "The command needs a parameter that is missing."},
    {MCIERR_UNSUPPORTED_FUNCTION, "The device cannot carry out this command."},
    {MCIERR_FILE_NOT_FOUND, "The file was not found."},
    {MCIERR_DEVICE_NOT_READY, "The CD drive is not ready: there is no disc or the tray is open."},
    {MCIERR_INTERNAL, "The media control layer failed inside."},
    {MCIERR_DRIVER, "The device stopped working."},
    {MCIERR_CANNOT_USE_ALL, "\"all\" cannot be used with this command."},
    {MCIERR_MULTIPLE, "Several devices reported errors."},
    {MCIERR_EXTENSION_NOT_FOUND, "No device type belongs to this file name extension."},
    {MCIERR_OUTOFRANGE, "A position or track in the command lies outside the disc."},
    {MCIERR_FLAGS_NOT_COMPATIBLE, "These parameters cannot be used together."},
    {MCIERR_FILE_NOT_SAVED, "The file could not be saved."},
    {MCIERR_DEVICE_TYPE_REQUIRED, "The device type is needed to open this device."},
    {MCIERR_DEVICE_LOCKED, "The device is being closed; try again shortly."},
    {MCIERR_DUPLICATE_ALIAS, "Another open device already uses this alias."},
    {MCIERR_BAD_CONSTANT, "A value in the command is not valid for it."},
    {MCIERR_MUST_USE_SHAREABLE, "The drive is already open; open it as shareable to share it."},
    {MCIERR_MISSING_DEVICE_NAME, "The command needs a device name or alias."},
    {MCIERR_BAD_TIME_FORMAT, "The device does not support this time format."},
    {MCIERR_NO_CLOSING_QUOTE, "A quoted text in the command has no closing quote."},
    {MCIERR_DUPLICATE_FLAGS, "A parameter was given twice."},
    {MCIERR_INVALID_FILE, "The element cannot be played by this device."},
    {MCIERR_NULL_PARAMETER_BLOCK, "The command needs a parameter block."},
    {MCIERR_UNNAMED_RESOURCE, "A file name is needed to save."},
    {MCIERR_NEW_REQUIRES_ALIAS, "\"new\" needs an alias."},
    {MCIERR_NOTIFY_ON_AUTO_OPEN, "A device opened for one command cannot notify."},
    {MCIERR_NO_ELEMENT_ALLOWED, "This device takes no file name."},
    {MCIERR_NONAPPLICABLE_FUNCTION, "The commands came in an order the device cannot follow."},
    {MCIERR_ILLEGAL_FOR_AUTO_OPEN,
     "This command cannot be used on a device opened for one command."},
    {MCIERR_FILENAME_REQUIRED, "The file name is not valid."},
    {MCIERR_EXTRA_CHARACTERS, "There are characters after a quoted text."},
    {MCIERR_DEVICE_NOT_INSTALLED, "There is no CD drive on this system."},
    {MCIERR_GET_CD, "The folder of the file cannot be reached."},
    {MCIERR_SET_CD, "The folder of the file cannot be reached."},
    {MCIERR_SET_DRIVE, "The drive of the file cannot be reached."},
    {MCIERR_DEVICE_LENGTH, "The device name is too long."},
    {MCIERR_DEVICE_ORD_LENGTH, "The device name is too long."},
    {MCIERR_NO_INTEGER, "The command needs a number."},
    {MCIERR_FILE_READ, "The disc could not be read."},
    {MCIERR_NO_IDENTITY, "The disc carries no such identification."},
};

// ---- The command strings ----

struct Words {
    std::vector<std::string> items;
    std::size_t at = 0;
    bool Has() const { return at < items.size(); }
    std::string Peek() const { return Has() ? items[at] : std::string(); }
    bool Take(const char* word) {
        if (Has() && strcasecmp(items[at].c_str(), word) == 0) {
            ++at;
            return true;
        }
        return false;
    }
};

MCIERROR SplitCommand(const std::string& text, Words& words) {
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i >= text.size()) break;
        std::string word;
        if (text[i] == '"') {
            std::size_t close = text.find('"', i + 1);
            if (close == std::string::npos) return MCIERR_NO_CLOSING_QUOTE;
            word = text.substr(i + 1, close - i - 1);
            i = close + 1;
            if (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) {
                return MCIERR_EXTRA_CHARACTERS;
            }
        } else {
            while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) {
                word += text[i++];
            }
        }
        words.items.push_back(word);
    }
    return 0;
}

// A position in a command string: a number, or colon-separated fields packed for the format.
MCIERROR ParsePosition(const std::string& text, DWORD format, DWORD& value) {
    std::vector<unsigned long> fields;
    std::size_t at = 0;
    while (true) {
        std::size_t colon = text.find(':', at);
        std::string part = text.substr(at, colon == std::string::npos ? colon : colon - at);
        if (part.empty() || part.size() > 10 || !std::all_of(part.begin(), part.end(), [](char c) {
                return std::isdigit(static_cast<unsigned char>(c));
            })) {
            return MCIERR_BAD_INTEGER;
        }
        fields.push_back(std::stoul(part));
        if (colon == std::string::npos) break;
        at = colon + 1;
    }
    if (fields.size() == 1) {
        if (fields[0] > 0xFFFFFFFFul) return MCIERR_BAD_INTEGER;
        value = static_cast<DWORD>(fields[0]);
        return 0;
    }
    for (unsigned long f : fields) {
        if (f > 255) return MCIERR_BAD_INTEGER;
    }
    fields.resize(4, 0);
    if (format == MCI_FORMAT_TMSF) {
        value = MCI_MAKE_TMSF(fields[0], fields[1], fields[2], fields[3]);
    } else if (format == MCI_FORMAT_MSF) {
        value = MCI_MAKE_MSF(fields[0], fields[1], fields[2]);
    } else {
        return MCIERR_BAD_INTEGER;
    }
    return 0;
}

std::string FormatValue(DWORD format, DWORD value, bool length) {
    char text[32];
    if (format == MCI_FORMAT_TMSF && !length) {
        std::snprintf(text, sizeof text, "%02u:%02u:%02u:%02u", MCI_TMSF_TRACK(value),
                      MCI_TMSF_MINUTE(value), MCI_TMSF_SECOND(value), MCI_TMSF_FRAME(value));
    } else if (format == MCI_FORMAT_MSF || format == MCI_FORMAT_TMSF) {
        std::snprintf(text, sizeof text, "%02u:%02u:%02u", MCI_MSF_MINUTE(value),
                      MCI_MSF_SECOND(value), MCI_MSF_FRAME(value));
    } else {
        std::snprintf(text, sizeof text, "%u", value);
    }
    return text;
}

// The words any command may carry; the strings' answers are given at once, so a notification
// asked for has nothing to add.
bool TakeCommon(Words& w) { return w.Take("wait") || w.Take("notify"); }

void SkipCommon(Words& w) {
    while (TakeCommon(w)) {
    }
}

// The commands of the string interface, each reading its own words after the device name.
MCIERROR CloseString(MCIDEVICEID id, Words& w) {
    SkipCommon(w);
    if (w.Has()) return MCIERR_UNRECOGNIZED_KEYWORD;
    return Close(id);
}

MCIERROR PlayString(Device& d, Words& w) {
    MCI_PLAY_PARMS p;
    DWORD flags = 0;
    while (w.Has()) {
        if (TakeCommon(w)) continue;
        bool from = w.Take("from");
        bool to = !from && w.Take("to");
        if (!from && !to) return MCIERR_UNRECOGNIZED_KEYWORD;
        if (!w.Has()) return MCIERR_MISSING_PARAMETER;
        DWORD value = 0;
        if (MCIERROR e = ParsePosition(w.items[w.at++], d.timeFormat, value)) return e;
        DWORD flag = from ? MCI_FROM : MCI_TO;
        if (flags & flag) return MCIERR_DUPLICATE_FLAGS;
        flags |= flag;
        (from ? p.dwFrom : p.dwTo) = value;
    }
    return Play(d, flags, &p);
}

MCIERROR StopPauseResumeString(Device& d, const std::string& command, Words& w) {
    SkipCommon(w);
    if (w.Has()) return MCIERR_UNRECOGNIZED_KEYWORD;
    if (command == "stop") {
        d.player->Stop();
    } else if (command == "pause") {
        d.player->Pause();
    } else if (!d.player->Resume()) {
        return MCIERR_NONAPPLICABLE_FUNCTION;
    }
    return 0;
}

MCIERROR SeekString(Device& d, Words& w) {
    MCI_SEEK_PARMS p;
    DWORD flags = 0;
    SkipCommon(w);
    if (!w.Take("to")) return MCIERR_MISSING_PARAMETER;
    if (w.Take("start")) {
        flags = MCI_SEEK_TO_START;
    } else if (w.Take("end")) {
        flags = MCI_SEEK_TO_END;
    } else {
        if (!w.Has()) return MCIERR_MISSING_PARAMETER;
        if (MCIERROR e = ParsePosition(w.items[w.at++], d.timeFormat, p.dwTo)) return e;
        flags = MCI_TO;
    }
    SkipCommon(w);
    if (w.Has()) return MCIERR_UNRECOGNIZED_KEYWORD;
    return Seek(d, flags, &p);
}

// "time format <name>" of a set command; the words "time" taken already.
MCIERROR SetTimeFormatWords(Words& w, DWORD& flags, MCI_SET_PARMS& p) {
    if (!w.Take("format")) return MCIERR_UNRECOGNIZED_KEYWORD;
    flags |= MCI_SET_TIME_FORMAT;
    if (w.Take("msf")) {
        p.dwTimeFormat = MCI_FORMAT_MSF;
    } else if (w.Take("tmsf")) {
        p.dwTimeFormat = MCI_FORMAT_TMSF;
    } else if (w.Take("milliseconds") || w.Take("ms")) {
        p.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
    } else {
        return MCIERR_BAD_TIME_FORMAT;
    }
    return 0;
}

MCIERROR SetString(Device& d, Words& w) {
    MCI_SET_PARMS p;
    DWORD flags = 0;
    while (w.Has()) {
        if (TakeCommon(w)) continue;
        if (w.Take("door")) {
            if (w.Take("open")) {
                flags |= MCI_SET_DOOR_OPEN;
            } else if (w.Take("closed")) {
                flags |= MCI_SET_DOOR_CLOSED;
            } else {
                return MCIERR_MISSING_PARAMETER;
            }
        } else if (w.Take("time")) {
            if (MCIERROR e = SetTimeFormatWords(w, flags, p)) return e;
        } else {
            return MCIERR_UNRECOGNIZED_KEYWORD;
        }
    }
    return Set(d, flags, &p);
}

// What a status item's answer is written as.
enum class StatusAnswer { Number, Length, Position, Boolean, Format, Mode };

// The item words of a status command.
MCIERROR StatusItemWords(Words& w, MCI_STATUS_PARMS& p, DWORD& flags, StatusAnswer& answer) {
    answer = StatusAnswer::Number;
    if (w.Take("length")) {
        p.dwItem = MCI_STATUS_LENGTH;
        answer = StatusAnswer::Length;
    } else if (w.Take("position")) {
        p.dwItem = MCI_STATUS_POSITION;
        answer = StatusAnswer::Position;
    } else if (w.Take("start")) {
        if (!w.Take("position")) return MCIERR_UNRECOGNIZED_KEYWORD;
        p.dwItem = MCI_STATUS_POSITION;
        flags |= MCI_STATUS_START;
        answer = StatusAnswer::Position;
    } else if (w.Take("number")) {
        if (!w.Take("of") || !w.Take("tracks")) return MCIERR_UNRECOGNIZED_KEYWORD;
        p.dwItem = MCI_STATUS_NUMBER_OF_TRACKS;
    } else if (w.Take("mode")) {
        p.dwItem = MCI_STATUS_MODE;
        answer = StatusAnswer::Mode;
    } else if (w.Take("current")) {
        if (!w.Take("track")) return MCIERR_UNRECOGNIZED_KEYWORD;
        p.dwItem = MCI_STATUS_CURRENT_TRACK;
    } else if (w.Take("media")) {
        if (!w.Take("present")) return MCIERR_UNRECOGNIZED_KEYWORD;
        p.dwItem = MCI_STATUS_MEDIA_PRESENT;
        answer = StatusAnswer::Boolean;
    } else if (w.Take("ready")) {
        p.dwItem = MCI_STATUS_READY;
        answer = StatusAnswer::Boolean;
    } else if (w.Take("time")) {
        if (!w.Take("format")) return MCIERR_UNRECOGNIZED_KEYWORD;
        p.dwItem = MCI_STATUS_TIME_FORMAT;
        answer = StatusAnswer::Format;
    } else {
        return w.Has() ? MCIERR_UNRECOGNIZED_KEYWORD : MCIERR_MISSING_PARAMETER;
    }
    return 0;
}

std::string StatusText(StatusAnswer kind, DWORD timeFormat, DWORD v) {
    switch (kind) {
        case StatusAnswer::Mode: {
            static const std::map<DWORD, const char*> kNames = {{MCI_MODE_NOT_READY, "not ready"},
                                                                {MCI_MODE_STOP, "stopped"},
                                                                {MCI_MODE_PLAY, "playing"},
                                                                {MCI_MODE_RECORD, "recording"},
                                                                {MCI_MODE_SEEK, "seeking"},
                                                                {MCI_MODE_PAUSE, "paused"},
                                                                {MCI_MODE_OPEN, "open"}};
            return kNames.at(v);
        }
        case StatusAnswer::Boolean:
            return v ? "true" : "false";
        case StatusAnswer::Format:
            return v == MCI_FORMAT_MSF ? "msf" : v == MCI_FORMAT_TMSF ? "tmsf" : "milliseconds";
        case StatusAnswer::Length:
        case StatusAnswer::Position:
            return FormatValue(timeFormat, v, kind == StatusAnswer::Length);
        case StatusAnswer::Number:
            break;
    }
    return std::to_string(v);
}

MCIERROR StatusString(Device& d, Words& w, std::string& answer) {
    MCI_STATUS_PARMS p;
    DWORD flags = MCI_STATUS_ITEM;
    StatusAnswer kind = StatusAnswer::Number;
    if (MCIERROR e = StatusItemWords(w, p, flags, kind)) return e;
    while (w.Has()) {
        if (TakeCommon(w)) continue;
        if (!w.Take("track")) return MCIERR_UNRECOGNIZED_KEYWORD;
        if (!w.Has()) return MCIERR_MISSING_PARAMETER;
        if (MCIERROR e = ParsePosition(w.items[w.at++], MCI_FORMAT_MILLISECONDS, p.dwTrack))
            return e;
        flags |= MCI_TRACK;
    }
    if (MCIERROR e = Status(d, flags, &p)) return e;
    answer = StatusText(kind, d.timeFormat, static_cast<DWORD>(p.dwReturn));
    return 0;
}

MCIERROR InfoString(Device& d, Words& w, std::string& answer) {
    DWORD flags = 0;
    if (w.Take("product")) {
        flags = MCI_INFO_PRODUCT;
    } else if (w.Take("identity")) {
        flags = MCI_INFO_MEDIA_IDENTITY;
    } else if (w.Take("upc")) {
        flags = MCI_INFO_MEDIA_UPC;
    }
    SkipCommon(w);
    if (w.Has()) return MCIERR_UNRECOGNIZED_KEYWORD;
    char buffer[128];
    MCI_INFO_PARMSA p;
    p.lpstrReturn = buffer;
    p.dwRetSize = sizeof buffer;
    if (MCIERROR e = Info(d, flags, &p)) return e;
    answer = buffer;
    return 0;
}

MCIERROR RunString(MCIDEVICEID id, const std::string& command, Words& w, std::string& answer) {
    std::shared_ptr<Device> d = Find(id);
    if (!d) return MCIERR_INVALID_DEVICE_ID;
    if (command == "close") return CloseString(id, w);
    if (command == "play") return PlayString(*d, w);
    if (command == "stop" || command == "pause" || command == "resume")
        return StopPauseResumeString(*d, command, w);
    if (command == "seek") return SeekString(*d, w);
    if (command == "set") return SetString(*d, w);
    if (command == "status") return StatusString(*d, w, answer);
    if (command == "info") return InfoString(*d, w, answer);
    return MCIERR_UNRECOGNIZED_COMMAND;
}

std::shared_ptr<Device> FindByName(const std::string& name) {
    std::lock_guard lock(gMutex);
    for (const auto& [id, d] : gDevices) {
        if (!d->alias.empty() && strcasecmp(d->alias.c_str(), name.c_str()) == 0) return d;
    }
    return nullptr;
}

}  // namespace

MCIERROR mciSendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR param) {
    DWORD f = static_cast<DWORD>(flags);
    if (message == MCI_OPEN) return Open(f, reinterpret_cast<MCI_OPEN_PARMSA*>(param));
    if (message == MCI_CLOSE) return Close(device);
    std::shared_ptr<Device> d = Find(device);
    if (!d) return MCIERR_INVALID_DEVICE_ID;
    switch (message) {
        case MCI_PLAY:
            return Play(*d, f, reinterpret_cast<const MCI_PLAY_PARMS*>(param));
        case MCI_STOP:
            d->player->Stop();
            return 0;
        case MCI_PAUSE:
            d->player->Pause();
            return 0;
        case MCI_RESUME:
            return d->player->Resume() ? 0 : MCIERR_NONAPPLICABLE_FUNCTION;
        case MCI_SEEK:
            return Seek(*d, f, reinterpret_cast<const MCI_SEEK_PARMS*>(param));
        case MCI_STATUS:
            return Status(*d, f, reinterpret_cast<MCI_STATUS_PARMS*>(param));
        case MCI_INFO:
            return Info(*d, f, reinterpret_cast<MCI_INFO_PARMSA*>(param));
        case MCI_SET:
            return Set(*d, f, reinterpret_cast<const MCI_SET_PARMS*>(param));
        default:
            return MCIERR_UNSUPPORTED_FUNCTION;
    }
}

MCIERROR mciSendString(LPCSTR command, LPSTR returnString, UINT returnLength, void*) {
    if (returnString && returnLength) returnString[0] = '\0';
    if (!command) return MCIERR_MISSING_COMMAND_STRING;
    Words w;
    if (MCIERROR e = SplitCommand(command, w)) return e;
    if (!w.Has()) return MCIERR_MISSING_COMMAND_STRING;
    std::string verb = w.items[w.at++];
    for (char& c : verb)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!w.Has()) return MCIERR_MISSING_DEVICE_NAME;
    std::string name = w.items[w.at++];
    std::string answer;
    MCIERROR e = 0;
    if (verb == "open") {
        MCI_OPEN_PARMSA p;
        DWORD flags = 0;
        std::string type, alias;
        bool element = strcasecmp(name.c_str(), "cdaudio") != 0;
        while (w.Has()) {
            if (w.Take("wait") || w.Take("notify")) continue;
            if (w.Take("shareable")) {
                flags |= MCI_OPEN_SHAREABLE;
            } else if (w.Take("alias")) {
                if (!w.Has()) return MCIERR_MISSING_STRING_ARGUMENT;
                alias = w.items[w.at++];
            } else if (w.Take("type")) {
                if (!w.Has()) return MCIERR_MISSING_STRING_ARGUMENT;
                type = w.items[w.at++];
            } else {
                return MCIERR_UNRECOGNIZED_KEYWORD;
            }
        }
        if (element) {
            flags |= MCI_OPEN_ELEMENT;
            p.lpstrElementName = name.c_str();
            if (!type.empty()) {
                flags |= MCI_OPEN_TYPE;
                p.lpstrDeviceType = type.c_str();
            }
        } else {
            flags |= MCI_OPEN_TYPE;
            p.lpstrDeviceType = name.c_str();
            if (alias.empty()) alias = name;
        }
        if (!alias.empty()) {
            flags |= MCI_OPEN_ALIAS;
            p.lpstrAlias = alias.c_str();
        }
        if ((e = Open(flags, &p))) return e;
        return CopyOut(std::to_string(p.wDeviceID), returnString, returnLength);
    }
    std::shared_ptr<Device> d;
    if (strcasecmp(name.c_str(), "all") == 0) {
        if (verb != "close") return MCIERR_CANNOT_USE_ALL;
        return Close(MCI_ALL_DEVICE_ID);
    }
    d = FindByName(name);
    MCIDEVICEID autoOpened = 0;
    if (!d) {
        if (strcasecmp(name.c_str(), "cdaudio") != 0) return MCIERR_INVALID_DEVICE_NAME;
        // A command to the device type opens the default drive for that one command.
        MCI_OPEN_PARMSA p;
        p.lpstrDeviceType = "cdaudio";
        if ((e = Open(MCI_OPEN_TYPE | MCI_OPEN_SHAREABLE, &p))) return e;
        autoOpened = p.wDeviceID;
        d = Find(autoOpened);
    }
    e = RunString(d->id, verb, w, answer);
    if (autoOpened && verb != "close") Close(autoOpened);
    if (e) return e;
    return CopyOut(answer, returnString, returnLength);
}

BOOL mciGetErrorString(MCIERROR error, LPSTR text, UINT textLength) {
    for (const ErrorText& e : kErrorTexts) {
        if (e.code == error) {
            if (!text || textLength == 0) return FALSE;
            std::size_t n = std::min<std::size_t>(std::strlen(e.text), textLength - 1);
            std::memcpy(text, e.text, n);
            text[n] = '\0';
            return TRUE;
        }
    }
    if (text && textLength) text[0] = '\0';
    return FALSE;
}
