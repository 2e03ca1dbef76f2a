#pragma once
// Disc n of an album of several: what the names say about it and what the rip does with it
// (the tags' disc number and count, the file names' %D, "CD n" in the log's and cue sheet's
// names).

#include <string>

#include "encoder/job/job_request.h"

namespace orvane::cdda {

// A CD database title that ends with the disc's place: "Album (Disc 2)", "Album [CD 2]",
// "Album CD2", "Album - Disc 2 of 3". number (and total, when it says; else 0) receive it and
// album the title without it; false when the title says nothing of the kind.
bool DiscOfAlbumTitle(const std::string& title, int& number, int& total, std::string& album);

// "2" or "2/3" (the disc's number, 1 to 99, and the album's count of discs, at least the
// number); false for anything else.
bool ParseDiscNumber(const std::string& text, int& number, int& total);

// The disc's place in a release of several media, as MusicBrainz tells it (the medium's
// position and the release's count of media, in decimal): number and total receive it; false
// for a release of one medium or a place not told.
bool DiscOfRelease(const std::string& position, const std::string& media, int& number, int& total);

// Makes the request's tracks those of disc number of total (0: not known): their disc number
// and count in the tags, and the log's and cue sheet's names. album, when not empty, replaces
// the tags' album title.
void SetDiscOfSet(encoder::JobRequest& request, int number, int total, const std::string& album);

}  // namespace orvane::cdda
