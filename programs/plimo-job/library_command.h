#pragma once
// plimo-job --library: a music library converted into one format (encoder/library).

namespace orvane::plimo_job {

// True when the command line asks for a library conversion.
bool AsksForLibrary(int argc, char** argv);
// Runs it: 0 when every file was converted, skipped or copied, 1 when any failed, 2 for a wrong
// command line.
int RunLibraryCommand(int argc, char** argv);

}  // namespace orvane::plimo_job
