#pragma once
// The SCSI transport as the grabber uses it: the library bound at run time from the program
// folder, host adapter and device queries, and synchronous execution of one command block with
// a wait of at most 5 seconds.

#include <cstdint>
#include <string>

#include "platform/aspi/wnaspi32.h"
#include "platform/base/wintypes.h"

namespace orvane::cdda {

// Status in bits 0-7, the sense key in bits 16-19; -1 when the request could not be prepared.
using AspiResult = std::int32_t;

// Forms the result of a command from its final status and the block's sense area.
AspiResult MakeAspiResult(int status, const SRB_ExecSCSICmd& srb);

// Loads the library ("wnaspi32.dll", the shared object libwnaspi32.so of the program folder)
// and asks it for its adapters: their number (0-255); -1 when the support query failed; -2
// when GetASPI32SupportInfo is missing; -3 when the library cannot be loaded.
int AspiLoad();
// Uses the given entry points instead of loading the library (tests, tools that hold the
// transport in-process); AspiLoad then only asks for the adapters. Null restores loading.
void AspiBindEntryPoints(GetASPI32SupportInfoFn support, SendASPI32CommandFn send);
// Why the last AspiLoad failed, for messages; empty after a success.
std::string AspiLoadError();
// The problems the loaded library's drive discovery met (a refused cue sheet, a missing image
// file, a bad line of the drive configuration), one a line; empty when there were none or the
// library does not report them.
std::string AspiDriveMessages();

// Adapter identity: on any status other than SS_INVALID_HA both 17-byte outputs receive the
// 16-byte texts followed by a terminating zero.
int AspiHaInquiry(std::uint8_t adapter, char managerId[17], char identifier[17]);
// SRB_Status; the device type is stored only with SS_COMP.
int AspiGetDeviceType(std::uint8_t adapter, std::uint8_t target, int& deviceType);
// Executes a 6-byte command built from the operation code and the data length (one byte).
int AspiExecCdb6(SRB_ExecSCSICmd& srb, std::uint8_t adapter, std::uint8_t target,
                 std::uint8_t opcode, std::uint8_t* data, std::uint32_t length,
                 std::uint8_t direction);
// Executes a command block of 6, 10 or 12 bytes; the final SRB_Status or -1.
int AspiExecCdb(SRB_ExecSCSICmd& srb, std::uint8_t adapter, std::uint8_t target, std::uint8_t* data,
                std::uint32_t length, std::uint8_t direction, const std::uint8_t* cdb,
                std::uint8_t cdbLength);

// How long a request may take before it is aborted (5000 ms; tests shorten it).
void SetAspiWaitMs(unsigned ms);

}  // namespace orvane::cdda

// Signals an event named in SRB_PostProc; the transport library finds it in the program.
extern "C" int orvane_aspi_signal_event(void* event);
