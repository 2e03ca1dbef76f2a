#pragma once
// The options every program of the toolkit understands, whatever its own command line is like:
// "--help" and "--version" as the first argument.

#include <string>

namespace orvane {

// The toolkit's version, for example "3.0.0".
const char* ToolkitVersion();

// When argv[1] is "--help", prints help (the usage lines, "Usage: NAME ..." and "  or:  NAME
// ...", then what the program does and its options) to standard output; when it is
// "--version", prints "NAME (Orvane) VERSION". Returns 0 when it answered, -1 when the program
// goes on with its own command line.
int AnswerHelpOrVersion(int argc, char* const* argv, const char* name, const char* help);

// A command line the program cannot use: prints "NAME: why" (when why is given) and help to
// standard error. Returns 2, the exit status of a usage error.
int UsageError(const char* name, const char* help, const std::string& why = {});

}  // namespace orvane
