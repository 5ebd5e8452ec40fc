// The drive survey: the fixed and removable drives C: to Z: whose space can
// be read, with the totals of the fixed (hard) drives.
#pragma once

#include <windows.h>

// One surveyed drive; sizes in whole megabytes (1 MB = 1,048,576 bytes).
struct DriveRecord {
    char letter;      // 'C' to 'Z'
    DWORD totalMB;    // total size, nearest MB
    DWORD freeMB;     // free space available to the user, nearest MB
    DWORD driveType;  // DRIVE_REMOVABLE or DRIVE_FIXED
};

#define MAX_DRIVE_RECORDS 24  // the letters C..Z

struct DriveTableData {
    DriveRecord records[MAX_DRIVE_RECORDS];  // 0..count-1, ascending letter
    int count;
    DWORD fixedTotalMB;  // sums over the DRIVE_FIXED records
    DWORD fixedFreeMB;
};

// Filled once by SurveyDrives, read by the main window.
extern DriveTableData DriveTable;

// Set while the lookup of the extended free-space query is still to be
// done; cleared by the first QueryDriveSpace.
extern BOOL QueryLookupPending;

// Walks C: to Z:, fills DriveTable and returns the number of records.
int SurveyDrives(void);

// Free bytes available to the caller on the drive of `path` ("x:\"), or
// all 64 bits set when its space cannot be read. `totalBytesOut`, when
// given, receives the drive's total size on success only.
ULONGLONG QueryDriveSpace(LPCSTR path, ULONGLONG *totalBytesOut);

// Megabytes from bytes, the nearest whole MB (an exact half goes up),
// saturated at 4,294,967,295.
DWORD BytesToMegabytes(ULONGLONG bytes);
