#pragma once
// A small CDDB server over HTTP/1.0 for local use and reviews: it answers the sites, query and
// read commands from a few xmcd entries held in memory (by default the demo disc's entry,
// built from its cue sheet). One connection at a time; every wait has a time-out.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "encoder/freedb/xmcd.h"

namespace orvane::freedb {

struct ServedEntry {
    std::string category;
    FreeDBDiscInfo info;
    std::string text;  // the entry as served (xmcd, UTF-8)
};

// Builds the entry of a disc image from its cue sheet: offsets and length from the table of
// contents, titles from the sheet's TITLE and PERFORMER lines, year and genre from its REM
// DATE and REM GENRE lines. False with a reason when the sheet cannot be read.
bool EntryFromCueSheet(const std::string& cuePath, ServedEntry& out, std::string& reason);
// Reads an entry file (xmcd, optionally with a status line); the category is given.
bool EntryFromFile(const std::string& path, const std::string& category, ServedEntry& out,
                   std::string& reason);

// The reply body (status line and text, without the HTTP header) for one command line such as
// "cddb query 3a02c805 5 150 ...", or "sites"; host and port describe this server.
std::string AnswerCommand(const std::vector<ServedEntry>& entries, const std::string& command,
                          const std::string& host, int port);

// Reads a regular file of at most `limit` bytes; false with a reason otherwise.
bool ReadTextFile(const std::string& path, std::size_t limit, std::string& out,
                  std::string& reason);

// Decodes a query string's value: '+' is a space, %XX a byte.
std::string UrlDecode(const std::string& text);

class CddbServer {
public:
    explicit CddbServer(std::vector<ServedEntry> entries) : entries_(std::move(entries)) {}
    // Binds and listens; port 0 picks a free one. False with a reason on failure.
    bool Listen(const std::string& address, int port, std::string& reason);
    int Port() const { return port_; }
    // Serves connections until Stop() (from another thread or a signal handler).
    void Serve();
    void Stop() { stop_ = true; }

private:
    void Handle(int fd);

    std::vector<ServedEntry> entries_;
    int listenFd_ = -1;
    int port_ = 0;
    std::string address_;
    std::atomic<bool> stop_{false};
};

// Serves a listening server on a thread of its own for as long as it lives.
class ServingThread {
public:
    explicit ServingThread(CddbServer& server)
        : server_(server), thread_([&server] { server.Serve(); }) {}
    ~ServingThread() {
        server_.Stop();
        thread_.join();
    }
    ServingThread(const ServingThread&) = delete;
    ServingThread& operator=(const ServingThread&) = delete;

private:
    CddbServer& server_;
    std::thread thread_;
};

}  // namespace orvane::freedb
