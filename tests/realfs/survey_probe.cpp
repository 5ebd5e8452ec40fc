// Runs the program's drive survey once and prints how long it took and
// what it kept: "elapsed_ms N", then "LETTER totalMB freeMB type" a record.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "survey/drive_table.h"

int main() {
    auto start = std::chrono::steady_clock::now();
    int count = SurveyDrives();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    printf("elapsed_ms %lld\n", static_cast<long long>(ms.count()));
    for (int i = 0; i < count; ++i) {
        const DriveRecord &r = DriveTable.records[i];
        printf("%c %u %u %u\n", r.letter, r.totalMB, r.freeMB, r.driveType);
    }
    return 0;
}
