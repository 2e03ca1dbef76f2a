#pragma once
// The CDDB client: one HTTP/1.0 GET per command (directly or through an HTTP proxy), the hello
// that identifies the client, the three commands (server list, disc query, entry read) with
// their reply parsers, and the disc identifier.
//
// Every command opens its own connection and closes it on every path. A command answers true
// or false; on false LastError() holds a WinSock-style number: 10022 for a host that cannot be
// resolved, 10060 for a silent server, 10043 for a reply that could not be read or parsed,
// 10004 for a wait the user cancelled, others as the socket calls left them.
//
// Text: replies arrive as bytes. Everything handed out (site descriptions, match titles, entry
// fields) is UTF-8: text that is valid UTF-8 is taken as it is, anything else as Windows-1252.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "encoder/app/service_addresses.h"
#include "encoder/freedb/xmcd.h"
#include "platform/cdrom/disc_info.h"

namespace orvane::freedb {

// WinSock error numbers the client reports.
constexpr int kWsaEintr = 10004;            // the wait was cancelled
constexpr int kWsaEinval = 10022;           // the host cannot be resolved
constexpr int kWsaEprotonosupport = 10043;  // the reply could not be read or parsed
constexpr int kWsaEnobufs = 10055;          // the reply is larger than the client accepts
constexpr int kWsaEconnreset = 10054;       // the server closed before the reply was complete
constexpr int kWsaEtimedout = 10060;        // no data for longer than the time-out
constexpr int kWsaEconnrefused = 10061;

// The outside service's deployment values.
constexpr const char* kMainServer = encoder::kDefaultFreeDbServer;
constexpr const char* kServiceDomain = "gnudb.org";
constexpr const char* kServiceWebSite = "https://gnudb.org/";
constexpr const char* kDefaultCgiPath = "/~cddb/cddb.cgi";

// Limits that keep a hostile or broken server from exhausting memory.
constexpr std::size_t kMaxReplyBytes = 4u << 20;
constexpr std::size_t kMaxListRows = 1000;
// Longest wait for a connection to be accepted.
constexpr std::uint32_t kConnectTimeoutMs = 10000;
// Longest a whole command may take, from the connection to the last byte of the reply, however
// the server paces it: the time-out alone only bounds silence, and a server that trickles a
// byte now and then would otherwise hold the caller for ever.
constexpr std::uint32_t kExchangeLimitMs = 30000;

struct FreeDBSite {
    std::string host;
    int port = 80;
    std::string cgiPath = kDefaultCgiPath;
    int north = 1;
    int latitude = 0;  // minutes of arc: degrees * 60 + minutes
    int east = 1;
    int longitude = 0;
    std::string description;
};

struct FreeDBMatch {
    std::string category;
    std::uint32_t discId = 0;
    std::string artist;
    std::string title;
};

// A disc (cdrom::DiscInfo) as the database keys it: the start frame of every track including
// the 150-frame lead-in (a track at logical block 0 starts at frame 150), and the lead-out frame
// including the lead-in. The query's numbers, not a disc model of its own: make it with Of.
struct DiscLayout {
    std::vector<std::uint32_t> offsets;
    std::uint32_t leadOut = 0;

    // Every track of the disc, against its real lead-out.
    static DiscLayout Of(const cdrom::DiscInfo& disc);
    // From logical block addresses as a drive's table of contents gives them.
    static DiscLayout FromLbas(const std::vector<std::uint32_t>& trackLbas,
                               std::uint32_t leadOutLba);
    // Disc length in whole seconds as queries and entries give it: leadOut / 75.
    std::uint32_t Seconds() const { return leadOut / 75; }
};

// The standard CDDB disc identifier: n = sum of the decimal digit sums of offsets[i] / 75,
// t = leadOut / 75 - offsets[0] / 75, id = (n mod 255) << 24 | t << 8 | track count.
// An empty disc gives 0.
std::uint32_t ComputeDiscId(const DiscLayout& disc);
// Sum of the decimal digits of a value; 0 or less gives 0.
int DigitSum(long value);

// Text helpers shared with the parsers and the server.
// Response code of a text: its first three characters in decimal, -1 when shorter.
int ResponseCode(const std::string& text);
// The body after the blank line that ends the HTTP header; false when there is none.
bool ReplyBody(const std::string& reply, std::string& body);
// Base64 (standard alphabet, '=' padding), on one line.
std::string Base64(const std::string& bytes);
// Percent-encoding of everything but letters, digits and "-._~".
std::string PercentEncode(const std::string& text);
// Letters and digits kept, every other byte replaced by '_'; "Unknown" for an empty text.
std::string HelloWord(const std::string& text);
// The first line of a text, without its line end.
std::string FirstLine(const std::string& text);

// Parsers of the command replies (the body, after the HTTP header). They never throw.
// Site line: "host protocol port path latitude longitude description"; false when the line
// does not describe an http site.
bool ParseSiteLine(const std::string& line, FreeDBSite& site);
// Match line: "category discid title"; false without the two separating spaces.
bool ParseMatchLine(const std::string& line, FreeDBMatch& match);

class CFreeDBClient {
public:
    CFreeDBClient();
    virtual ~CFreeDBClient() = default;

    // Connection settings.
    void SetProxy(const std::string& host, int port, const std::string& user,
                  const std::string& password);
    void SetTimeout(std::uint32_t ms) { timeoutMs_ = ms; }
    std::uint32_t Timeout() const { return timeoutMs_; }
    // Bound on a whole command (Exchange); 10060 once it has passed.
    void SetExchangeLimit(std::uint32_t ms) { exchangeLimitMs_ = ms; }
    void SetClient(const std::string& name, const std::string& version, int protocol);
    // The user's e-mail address; when set, its local part and domain are the hello's user and
    // host words (percent-encoded), as the public service requires.
    void SetEmail(const std::string& email) { email_ = email; }
    // Called between waits (at most every 50 ms) while a command waits for the network; true
    // cancels the command (LastError 10004). Dialogs handle their window messages here.
    void SetIdle(std::function<bool()> idle) { idle_ = std::move(idle); }

    // The commands.
    bool QuerySites(const FreeDBSite& site, std::vector<FreeDBSite>& out);
    bool QueryDisc(const FreeDBSite& site, std::uint32_t discId, const DiscLayout& disc,
                   std::vector<FreeDBMatch>& out);
    bool ReadDisc(const FreeDBSite& site, std::uint32_t discId, const std::string& category,
                  FreeDBDiscInfo& info);

    // The hello: "hello=USER+HOST+CLIENT+VERSION&proto=N".
    virtual std::string BuildHello();
    virtual std::string UserNameForHello();
    virtual std::string HostNameForHello();

    // The request text a command sends (exposed for tests and for the command-line tool).
    std::string BuildRequest(const FreeDBSite& site, const std::string& query);

    int LastError() const { return lastError_; }
    // Why the reply could not be read (10060, 10054, 10055 ...) when LastError() is 10043
    // for that reason; 0 otherwise.
    int ReaderError() const { return readerError_; }
    // The last reply (or what was received of it), emptied after a successful parse.
    const std::string& LastReply() const { return lastReply_; }
    // The server's own status line when the last command failed on a refusal (a one-line
    // reply whose code is 4xx or 5xx), else empty.
    const std::string& RefusalLine() const { return refusal_; }

    enum class Mode { List, SingleOrList };
    // Sends one request over its own connection and reads the reply; true with the whole
    // received text (header and body, list terminator cut off) when a complete reply came.
    // The whole exchange takes at most the exchange limit (10060 beyond).
    bool Exchange(const FreeDBSite& site, const std::string& query, Mode mode, std::string& reply);
    // Sends "GET target" (a path from the site's root) over its own connection, through the
    // proxy when one is set, and reads the reply until the server closes: true with the whole
    // received text (header and body). The reply may take at most maxBytes (10055 beyond) and
    // the whole exchange, connection included, at most the time-out (10060), however slowly
    // the reply trickles in.
    bool Fetch(const FreeDBSite& site, const std::string& target, std::size_t maxBytes,
               std::string& reply);

protected:
    // The machine's and user's names for the hello when no e-mail is set.
    virtual std::string SystemUserName();
    virtual std::string SystemHostName();

private:
    bool Connect(int& fd, const std::string& host, int port);
    bool SendAll(int fd, const std::string& text);
    bool ReceiveResponse(int fd, Mode mode, std::string& out);
    bool ReceiveAll(int fd, std::size_t maxBytes, std::string& out);
    // Waits until fd is readable (or writable) for at most ms; 1 ready, 0 not yet, -1 failed.
    int WaitFd(int fd, bool forWrite, std::uint32_t ms);
    bool Idle();
    // Starts the bound on the exchange that begins now.
    void StartExchange(std::uint32_t limitMs);
    // True, with 10060, once the exchange's bound has passed.
    bool Overdue();
    // What is left of the bound, at most cap.
    std::uint32_t Left(std::uint32_t cap);
    void NoteRefusal(const std::string& body);

    std::string lastReply_;
    std::uint32_t timeoutMs_ = 2000;
    std::uint32_t exchangeLimitMs_ = kExchangeLimitMs;
    std::uint64_t deadline_ = ~std::uint64_t{0};
    std::string clientName_ = "OrvaneEncoder";
    std::string clientVersion_ = "3.00";
    int protocol_ = 6;  // level 6: entries in UTF-8, with DYEAR and DGENRE
    std::string proxyHost_;
    int proxyPort_ = 80;
    std::string proxyUser_;
    std::string proxyPassword_;
    std::string email_;
    std::function<bool()> idle_;
    int lastError_ = 0;
    int readerError_ = 0;
    std::string refusal_;
};

}  // namespace orvane::freedb
