// SurveyDrives and QueryDriveSpace: the drive table behind the main window.
#include "survey/drive_table.h"

#define NO_SPACE (~(ULONGLONG)0)
#define HALF_MB 0x80000ULL
#define ONE_MB 0x100000ULL

DriveTableData DriveTable;
BOOL QueryLookupPending = TRUE;

typedef BOOL(WINAPI *DiskFreeSpaceExProc)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

namespace {
// The extended query's entry point, or null where the system lacks it.
DiskFreeSpaceExProc ExtendedQuery;
}  // namespace

DWORD BytesToMegabytes(ULONGLONG bytes) {
    // Adding the half megabyte cannot wrap: the largest byte counts round to
    // more megabytes than 32 bits hold anyway, and saturate below.
    ULONGLONG mb = bytes / ONE_MB + ((bytes % ONE_MB) >= HALF_MB ? 1 : 0);
    return mb > 0xFFFFFFFFULL ? 0xFFFFFFFFUL : (DWORD)mb;
}

namespace {

DWORD AddSaturated(DWORD a, DWORD b) {
    return a > 0xFFFFFFFFUL - b ? 0xFFFFFFFFUL : a + b;
}

// a * b in 64 bits, held just below the failure value when it would not fit.
ULONGLONG MultiplySaturated(ULONGLONG a, ULONGLONG b) {
    if (a != 0 && b > (NO_SPACE - 1) / a) return NO_SPACE - 1;
    return a * b;
}

void FindExtendedQuery(void) {
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    FARPROC proc = kernel ? GetProcAddress(kernel, "GetDiskFreeSpaceExA") : NULL;
    // Through a generic function pointer type, the conversion both compilers
    // accept without a cast-function-type warning.
    ExtendedQuery = (DiskFreeSpaceExProc)(void (*)(void))proc;
}

}  // namespace

ULONGLONG QueryDriveSpace(LPCSTR path, ULONGLONG *totalBytesOut) {
    if (QueryLookupPending) {
        FindExtendedQuery();
        QueryLookupPending = FALSE;
    }

    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    ULONGLONG result = NO_SPACE;

    if (ExtendedQuery) {
        ULARGE_INTEGER freeToCaller, totalBytes;
        if (ExtendedQuery(path, &freeToCaller, &totalBytes, NULL)) {
            if (totalBytesOut) *totalBytesOut = totalBytes.QuadPart;
            result = freeToCaller.QuadPart;
        }
    } else {
        char root[4] = "x:\\";
        root[0] = path[0];
        DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
        if (GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) {
            ULONGLONG bytesPerCluster = (ULONGLONG)sectorsPerCluster * bytesPerSector;
            if (totalBytesOut) *totalBytesOut = MultiplySaturated(bytesPerCluster, totalClusters);
            result = MultiplySaturated(bytesPerCluster, freeClusters);
        }
    }

    SetErrorMode(previousMode);
    return result;
}

int SurveyDrives(void) {
    char root[4] = "x:\\";
    DriveTable.count = 0;
    for (int i = 2; i <= 25; ++i) {
        root[0] = (char)('A' + i);
        UINT type = GetDriveTypeA(root);
        if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE) continue;

        ULONGLONG totalBytes = 0;
        ULONGLONG freeBytes = QueryDriveSpace(root, &totalBytes);
        if (freeBytes == NO_SPACE) continue;

        DriveRecord *rec = &DriveTable.records[DriveTable.count];
        rec->letter = root[0];
        rec->totalMB = BytesToMegabytes(totalBytes);
        rec->freeMB = BytesToMegabytes(freeBytes);
        rec->driveType = type;
        if (type == DRIVE_FIXED) {
            DriveTable.fixedTotalMB = AddSaturated(DriveTable.fixedTotalMB, rec->totalMB);
            DriveTable.fixedFreeMB = AddSaturated(DriveTable.fixedFreeMB, rec->freeMB);
        }
        DriveTable.count++;
    }
    return DriveTable.count;
}
