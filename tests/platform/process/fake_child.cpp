// A stand-in codec program for the tests. Its behaviour is chosen by FAKE_MODE:
//   copy    (default) copy standard input to the file named by the last argument, print
//           one line per 64 KiB read and a closing "done <bytes>" line
//   print   print FAKE_TEXT (\n and \xff escapes understood), then behave as copy
//   exit    exit at once with status FAKE_CODE, reading nothing
//   ignore  never read the input and never end (until killed)
//   stall   print one line, then never read and never end
//   linger  copy as above, then stay without ending (until killed, at most a minute)
// FAKE_ARGS, when set, names a file that receives the argument vector, one argument a line.
// FAKE_MODE_FOR, when set, chooses the mode by the last argument: "part=mode;part=mode", the
// first entry whose part the argument contains wins over FAKE_MODE.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
            out += static_cast<char>(std::strtol(s.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

void Say(const std::string& text) {
    [[maybe_unused]] ssize_t w = ::write(1, text.data(), text.size());
}

int Copy(int argc, char** argv) {
    FILE* out = argc > 1 ? std::fopen(argv[argc - 1], "wb") : nullptr;
    char buf[65536];
    long long total = 0;
    for (;;) {
        ssize_t r = ::read(0, buf, sizeof buf);
        if (r <= 0) break;
        total += r;
        if (out) std::fwrite(buf, 1, static_cast<std::size_t>(r), out);
        Say("read " + std::to_string(total) + "\n");
    }
    if (out) std::fclose(out);
    Say("done " + std::to_string(total) + "\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string argsFile = Env("FAKE_ARGS");
    if (!argsFile.empty()) {
        FILE* f = std::fopen(argsFile.c_str(), "w");
        for (int i = 0; f && i < argc; ++i)
            std::fprintf(f, "%s\n", argv[i]);
        if (f) std::fclose(f);
    }
    std::string mode = Env("FAKE_MODE");
    std::string rules = Env("FAKE_MODE_FOR");
    const std::string last = argc > 1 ? argv[argc - 1] : "";
    for (std::size_t at = 0; at < rules.size();) {
        std::size_t end = rules.find(';', at);
        if (end == std::string::npos) end = rules.size();
        const std::string rule = rules.substr(at, end - at);
        const std::size_t eq = rule.find('=');
        if (eq != std::string::npos && last.find(rule.substr(0, eq)) != std::string::npos) {
            mode = rule.substr(eq + 1);
            break;
        }
        at = end + 1;
    }
    if (mode == "exit") return std::atoi(Env("FAKE_CODE").c_str());
    if (mode == "ignore") {
        for (;;)
            ::pause();
    }
    if (mode == "stall") {
        Say("stalling\n");
        for (;;)
            ::pause();
    }
    if (mode == "print") Say(Unescape(Env("FAKE_TEXT")));
    int status = Copy(argc, argv);
    if (mode == "linger") ::sleep(60);
    return status;
}
