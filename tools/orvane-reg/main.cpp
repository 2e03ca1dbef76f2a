// orvane-reg: reads and changes the registry the toolkit keeps its settings in.
#include <iostream>
#include <string>
#include <vector>

#include "platform/base/command_line.h"
#include "tools/orvane-reg/regtool.h"

namespace {

constexpr const char* kHelp =
    "Usage: orvane-reg query KEY [/v NAME | /ve] [/s]\n"
    "  or:  orvane-reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
    "  or:  orvane-reg delete KEY [/v NAME | /ve | /va] /f\n"
    "  or:  orvane-reg export KEY FILE [/y]\n"
    "  or:  orvane-reg import FILE\n"
    "  or:  orvane-reg save KEY FILE [/y]\n"
    "  or:  orvane-reg restore KEY FILE\n"
    "\n"
    "Reads and changes the registry the toolkit keeps its settings in: one text file per root\n"
    "key in ~/.config/orvane/ (or the folder named by ORVANE_REGISTRY_DIR).\n"
    "\n"
    "KEY starts with HKCU, HKLM, HKCR, HKU, HKCC (or the full root names); TYPE is REG_SZ,\n"
    "REG_EXPAND_SZ, REG_MULTI_SZ (elements separated by \\0), REG_DWORD or REG_BINARY (hex\n"
    "digits).\n"
    "\n"
    "  /v NAME     the value NAME\n"
    "  /ve         the key's default value\n"
    "  /va         every value of the key\n"
    "  /s          the key and every key below it\n"
    "  /t TYPE     the type of the value added\n"
    "  /d DATA     the data of the value added\n"
    "  /f          change without asking\n"
    "  /y          replace FILE without asking\n"
    "  --help      show this help and end\n"
    "  --version   show the version and end\n"
    "\n"
    "import reads REGEDIT4 and \"Windows Registry Editor Version 5.00\" files; export writes\n"
    "REGEDIT4. The exit status is 0 on success and 1 on failure, with the reason on standard\n"
    "error; a command line starting with an unknown -- option exits with 2.\n";

}  // namespace

int main(int argc, char** argv) {
    if (int answered = orvane::AnswerHelpOrVersion(argc, argv, "orvane-reg", kHelp); answered >= 0)
        return answered;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0].rfind("--", 0) == 0)
        return orvane::UsageError("orvane-reg", kHelp, "unknown option " + args[0]);
    return orvane::regtool::Run(args, std::cout, std::cerr);
}
