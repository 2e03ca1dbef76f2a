#ifndef ORVANE_PLATFORM_ASPI_WNASPI32_H
#define ORVANE_PLATFORM_ASPI_WNASPI32_H
/* The SCSI transport interface: request blocks, codes and the two entry points of
 * libwnaspi32.so. The field order and types are the published ones; the offsets are those of
 * natural alignment on 64-bit Linux (8-byte pointers), checked below. The library and its
 * callers both include this header, so the two can never disagree on a layout. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t ASPI_BYTE;
typedef uint16_t ASPI_WORD;
typedef uint32_t ASPI_DWORD;

/* Commands (SRB_Cmd). */
#define SC_HA_INQUIRY 0x00
#define SC_GET_DEV_TYPE 0x01
#define SC_EXEC_SCSI_CMD 0x02
#define SC_ABORT_SRB 0x03
#define SC_RESET_DEV 0x04

/* Request status (SRB_Status). */
#define SS_PENDING 0x00
#define SS_COMP 0x01
#define SS_ABORTED 0x02
#define SS_ABORT_FAIL 0x03
#define SS_ERR 0x04
#define SS_INVALID_CMD 0x80
#define SS_INVALID_HA 0x81
#define SS_NO_DEVICE 0x82
#define SS_INVALID_SRB 0xE0
#define SS_BUFFER_ALIGN 0xE1
#define SS_ILLEGAL_MODE 0xE2
#define SS_NO_ASPI 0xE3
#define SS_FAILED_INIT 0xE4
#define SS_ASPI_IS_BUSY 0xE5
#define SS_BUFFER_TO_BIG 0xE6
#define SS_NO_ADAPTERS 0xE8

/* Host adapter status (SRB_HaStat) and target status (SRB_TargStat). */
#define HASTAT_OK 0x00
#define HASTAT_SEL_TO 0x11
#define HASTAT_DO_DU 0x12
#define STATUS_GOOD 0x00
#define STATUS_CHKCOND 0x02

/* Request flags (SRB_Flags). */
#define SRB_POSTING 0x01
#define SRB_ENABLE_RESIDUAL_COUNT 0x04
#define SRB_DIR_IN 0x08
#define SRB_DIR_OUT 0x10
#define SRB_EVENT_NOTIFY 0x40

#define DTYPE_CDROM 0x05
#define SENSE_LEN 14

typedef struct {
    ASPI_BYTE SRB_Cmd;
    ASPI_BYTE SRB_Status;
    ASPI_BYTE SRB_HaId;
    ASPI_BYTE SRB_Flags;
    ASPI_DWORD SRB_Hdr_Rsvd;
} SRB_Header;

typedef struct {
    ASPI_BYTE SRB_Cmd;
    ASPI_BYTE SRB_Status;
    ASPI_BYTE SRB_HaId;
    ASPI_BYTE SRB_Flags;
    ASPI_DWORD SRB_Hdr_Rsvd;
    ASPI_BYTE HA_Count;
    ASPI_BYTE HA_SCSI_ID;
    ASPI_BYTE HA_ManagerId[16];
    ASPI_BYTE HA_Identifier[16];
    ASPI_BYTE HA_Unique[16];
    ASPI_WORD HA_Rsvd1;
} SRB_HAInquiry;

typedef struct {
    ASPI_BYTE SRB_Cmd;
    ASPI_BYTE SRB_Status;
    ASPI_BYTE SRB_HaId;
    ASPI_BYTE SRB_Flags;
    ASPI_DWORD SRB_Hdr_Rsvd;
    ASPI_BYTE SRB_Target;
    ASPI_BYTE SRB_Lun;
    ASPI_BYTE SRB_DeviceType;
    ASPI_BYTE SRB_Rsvd1[5];
} SRB_GDEVBlock;

/* The command request block. Callers hand a 128-byte zero-filled block; the sense area runs
 * from offset 80 to the end of it (48 bytes, of which a request asks for SRB_SenseLen). */
typedef struct {
    ASPI_BYTE SRB_Cmd;
    ASPI_BYTE SRB_Status;
    ASPI_BYTE SRB_HaId;
    ASPI_BYTE SRB_Flags;
    ASPI_DWORD SRB_Hdr_Rsvd;
    ASPI_BYTE SRB_Target;
    ASPI_BYTE SRB_Lun;
    ASPI_WORD SRB_Rsvd1;
    ASPI_DWORD SRB_BufLen;
    ASPI_BYTE* SRB_BufPointer;
    ASPI_BYTE SRB_SenseLen;
    ASPI_BYTE SRB_CDBLen;
    ASPI_BYTE SRB_HaStat;
    ASPI_BYTE SRB_TargStat;
    void* SRB_PostProc;
    void* SRB_Rsvd2;
    ASPI_BYTE SRB_Rsvd3[16];
    ASPI_BYTE CDBByte[16];
    ASPI_BYTE SenseArea[48];
} SRB_ExecSCSICmd;

typedef struct {
    ASPI_BYTE SRB_Cmd;
    ASPI_BYTE SRB_Status;
    ASPI_BYTE SRB_HaId;
    ASPI_BYTE SRB_Flags;
    ASPI_DWORD SRB_Hdr_Rsvd;
    void* SRB_ToAbort;
} SRB_Abort;

/* Size of the command request block every caller allocates. */
#define ASPI_EXEC_BLOCK_SIZE 128

/* Entry points. GetASPI32SupportInfo answers (status << 8) | number of host adapters.
 * SendASPI32Command returns the request's status: SS_PENDING when it completes later, in
 * which case SRB_Status is set and the event in SRB_PostProc signalled when it does. */
ASPI_DWORD GetASPI32SupportInfo(void);
ASPI_DWORD SendASPI32Command(void* srb);

/* Not part of the published interface: forgets the drives, so that the next call discovers them
 * again (after the drive configuration changed). */
void OrvaneAspiRescan(void);

/* Not part of the published interface: the problems the last drive discovery met (a refused
 * cue sheet, a bad line of the drive configuration), one a line, as a terminated text in
 * buffer. Returns the length of the whole text, which may exceed size - 1. */
unsigned OrvaneAspiDriveMessages(char* buffer, unsigned size);

typedef ASPI_DWORD (*GetASPI32SupportInfoFn)(void);
typedef ASPI_DWORD (*SendASPI32CommandFn)(void*);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#define ASPI_OFFSET_CHECK(type, field, at) \
    static_assert(offsetof(type, field) == (at), #type "." #field " must lie at " #at)
#define ASPI_SIZE_CHECK(type, size) static_assert(sizeof(type) == (size), #type " size")
#else
#define ASPI_OFFSET_CHECK(type, field, at) \
    _Static_assert(offsetof(type, field) == (at), #type "." #field " must lie at " #at)
#define ASPI_SIZE_CHECK(type, size) _Static_assert(sizeof(type) == (size), #type " size")
#endif

ASPI_OFFSET_CHECK(SRB_Header, SRB_Cmd, 0);
ASPI_OFFSET_CHECK(SRB_Header, SRB_Status, 1);
ASPI_OFFSET_CHECK(SRB_Header, SRB_HaId, 2);
ASPI_OFFSET_CHECK(SRB_Header, SRB_Flags, 3);
ASPI_OFFSET_CHECK(SRB_Header, SRB_Hdr_Rsvd, 4);
ASPI_SIZE_CHECK(SRB_Header, 8);

ASPI_OFFSET_CHECK(SRB_HAInquiry, SRB_Cmd, 0);
ASPI_OFFSET_CHECK(SRB_HAInquiry, SRB_Status, 1);
ASPI_OFFSET_CHECK(SRB_HAInquiry, SRB_HaId, 2);
ASPI_OFFSET_CHECK(SRB_HAInquiry, SRB_Flags, 3);
ASPI_OFFSET_CHECK(SRB_HAInquiry, SRB_Hdr_Rsvd, 4);
ASPI_OFFSET_CHECK(SRB_HAInquiry, HA_Count, 8);
ASPI_OFFSET_CHECK(SRB_HAInquiry, HA_SCSI_ID, 9);
ASPI_OFFSET_CHECK(SRB_HAInquiry, HA_ManagerId, 10);
ASPI_OFFSET_CHECK(SRB_HAInquiry, HA_Identifier, 26);
ASPI_OFFSET_CHECK(SRB_HAInquiry, HA_Unique, 42);
ASPI_OFFSET_CHECK(SRB_HAInquiry, HA_Rsvd1, 58);
ASPI_SIZE_CHECK(SRB_HAInquiry, 60);

ASPI_OFFSET_CHECK(SRB_GDEVBlock, SRB_Cmd, 0);
ASPI_OFFSET_CHECK(SRB_GDEVBlock, SRB_Status, 1);
ASPI_OFFSET_CHECK(SRB_GDEVBlock, SRB_HaId, 2);
ASPI_OFFSET_CHECK(SRB_GDEVBlock, SRB_Flags, 3);
ASPI_OFFSET_CHECK(SRB_GDEVBlock, SRB_Hdr_Rsvd, 4);
ASPI_OFFSET_CHECK(SRB_GDEVBlock, SRB_Target, 8);
ASPI_OFFSET_CHECK(SRB_GDEVBlock, SRB_Lun, 9);
ASPI_OFFSET_CHECK(SRB_GDEVBlock, SRB_DeviceType, 10);
ASPI_OFFSET_CHECK(SRB_GDEVBlock, SRB_Rsvd1, 11);
ASPI_SIZE_CHECK(SRB_GDEVBlock, 16);

ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_Cmd, 0);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_Status, 1);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_HaId, 2);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_Flags, 3);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_Hdr_Rsvd, 4);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_Target, 8);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_Lun, 9);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_Rsvd1, 10);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_BufLen, 12);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_BufPointer, 16);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_SenseLen, 24);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_CDBLen, 25);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_HaStat, 26);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_TargStat, 27);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_PostProc, 32);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_Rsvd2, 40);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SRB_Rsvd3, 48);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, CDBByte, 64);
ASPI_OFFSET_CHECK(SRB_ExecSCSICmd, SenseArea, 80);
ASPI_SIZE_CHECK(SRB_ExecSCSICmd, ASPI_EXEC_BLOCK_SIZE);

ASPI_OFFSET_CHECK(SRB_Abort, SRB_Cmd, 0);
ASPI_OFFSET_CHECK(SRB_Abort, SRB_Status, 1);
ASPI_OFFSET_CHECK(SRB_Abort, SRB_HaId, 2);
ASPI_OFFSET_CHECK(SRB_Abort, SRB_Flags, 3);
ASPI_OFFSET_CHECK(SRB_Abort, SRB_Hdr_Rsvd, 4);
ASPI_OFFSET_CHECK(SRB_Abort, SRB_ToAbort, 8);
ASPI_SIZE_CHECK(SRB_Abort, 16);

#endif
