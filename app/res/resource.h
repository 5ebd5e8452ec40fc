/* Resource and command ids shared by the resource script and the program. */
#ifndef MORVALEN_RESOURCE_H
#define MORVALEN_RESOURCE_H

#define IDI_APPICON 125        /* application and about-box icon */
#define IDI_FIXEDDRIVE 126     /* row icon of a fixed drive */
#define IDI_REMOVABLEDRIVE 127 /* row icon of a removable drive */

#define IDC_DRIVELIST 2000 /* the drive list control */
#define IDM_EXIT 9044      /* Alt+X: close the main window */

#endif /* MORVALEN_RESOURCE_H */
