#pragma once
// Where a disc's names come from. Each place (the CD database, MusicBrainz, the CUETools
// database, the disc's own CD-Text) is one NameSource: asked with the disc, it answers with the
// albums it knows for it, each with its tracks' names, or with the reason it knows none; a cancel
// ends its wait. The grabber's "&Get CD Info" (encoder/cdda/ui/cd_info_lookup.h), its match list
// and `orvane-cdda rip` ask their sources in turn through AskNameSources, so a new place is one
// class.

#include <functional>
#include <string>
#include <vector>

#include "encoder/cdda/grabber_dialog.h"
#include "encoder/cdda/musicbrainz_info.h"
#include "encoder/ctdb/ctdb_client.h"
#include "encoder/freedb/cddb_client.h"
#include "platform/cdrom/disc_info.h"

namespace orvane::cdda {

// True once the asker gives up; empty: never.
using NameCancel = std::function<bool()>;

class NameSource {
public:
    virtual ~NameSource() = default;
    // How messages name the source ("MusicBrainz: ...").
    virtual std::string Name() const = 0;
    // The albums known for the disc, in the source's order; false with why when there is
    // none (why empty when the source has told the user itself).
    virtual bool LookUp(const cdrom::DiscInfo& disc, const NameCancel& cancelled,
                        std::vector<CdInfoChoice>& albums, std::string& why) = 0;
    // True when the user has already chosen among the source's answers in its own windows:
    // its one album is taken as it is, not offered again.
    virtual bool UserChose() const { return false; }
};

struct NameAnswer {
    std::vector<CdInfoChoice> albums;
    NameSource* source = nullptr;  // the one that answered, or the last asked
    std::string why;               // the last source's reason when none answered
};

// Asks the sources in order until one answers; false when none does (a cancel stops the turn).
bool AskNameSources(const std::vector<NameSource*>& sources, const cdrom::DiscInfo& disc,
                    const NameCancel& cancelled, NameAnswer& answer);

// The releases of the disc's MusicBrainz disc id (LookUpMusicBrainzChoices).
class MusicBrainzSource final : public NameSource {
public:
    explicit MusicBrainzSource(std::string server) : server_(std::move(server)) {}
    std::string Name() const override { return "MusicBrainz"; }
    bool LookUp(const cdrom::DiscInfo& disc, const NameCancel& cancelled,
                std::vector<CdInfoChoice>& albums, std::string& why) override;

private:
    std::string server_;
};

// The disc's CD-Text, as the grabber's rows show it (CdTextInfoOf).
class CdTextSource final : public NameSource {
public:
    explicit CdTextSource(CdInfo names) : names_(std::move(names)) {}
    std::string Name() const override { return "CD-Text"; }
    bool LookUp(const cdrom::DiscInfo& disc, const NameCancel& cancelled,
                std::vector<CdInfoChoice>& albums, std::string& why) override;

private:
    CdInfo names_;
};

// The first match of the CD database at site, read whole, through a client the caller has
// configured (proxy, identity).
class CddbSource final : public NameSource {
public:
    CddbSource(freedb::CFreeDBClient& client, freedb::FreeDBSite site)
        : client_(client), site_(std::move(site)) {}
    std::string Name() const override { return "CD database"; }
    bool LookUp(const cdrom::DiscInfo& disc, const NameCancel& cancelled,
                std::vector<CdInfoChoice>& albums, std::string& why) override;

private:
    freedb::CFreeDBClient& client_;
    freedb::FreeDBSite site_;
};

// The releases the CUETools database names for the disc (the metadata of level, the first its
// best), each with its tracks' names; a release id is kept only as MusicBrainz's. With keep,
// the lookup's reply (its entries too) serves the check of the rip that follows
// (ctdb::KeepCtdbReply): the disc is looked up once.
class CtdbSource final : public NameSource {
public:
    CtdbSource(std::string server, ctdb::CtdbMetadata level, bool keep)
        : server_(std::move(server)), level_(level), keep_(keep) {}
    std::string Name() const override { return "CTDB"; }
    bool LookUp(const cdrom::DiscInfo& disc, const NameCancel& cancelled,
                std::vector<CdInfoChoice>& albums, std::string& why) override;

private:
    std::string server_;
    ctdb::CtdbMetadata level_;
    bool keep_;
};

// A release of the database as the grabber's rows and the tags take it: its track names on
// the disc's tracks of toc (data tracks unnamed).
CdInfoChoice ChoiceOfRelease(const ctdb::CtdbRelease& release, const cdrom::DiscInfo& disc,
                             const ctdb::CtdbToc& toc);

}  // namespace orvane::cdda
