#include "platform/base/command_line.h"

#include <cstdio>
#include <cstring>

#include "platform/base/version.h"

namespace orvane {

const char* ToolkitVersion() { return ORVANE_VERSION; }

int AnswerHelpOrVersion(int argc, char* const* argv, const char* name, const char* help) {
    if (argc < 2 || argv[1] == nullptr) return -1;
    if (std::strcmp(argv[1], "--help") == 0) {
        std::fputs(help, stdout);
    } else if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s (Orvane) %s\n", name, ToolkitVersion());
    } else {
        return -1;
    }
    // A closed or full standard output is a failure, not a printed answer.
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

int UsageError(const char* name, const char* help, const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "%s: %s\n", name, why.c_str());
    std::fputs(help, stderr);
    return 2;
}

}  // namespace orvane
