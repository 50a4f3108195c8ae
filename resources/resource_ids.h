/* Numeric ids shared by updater.rc and the window code. Plain #defines only:
   windres reads this file too. The dialog template itself is found by its
   name "IDD_MAINFORM", so that name must never get a #define here. */
#ifndef ORVANTA_RESOURCE_IDS_H
#define ORVANTA_RESOURCE_IDS_H

#define IDC_DIRECTORY_EDIT 1000
#define IDC_UPDATE_BUTTON 1001
#define IDC_CANCEL_BUTTON 1002
#define IDC_STATUS_TEXT 1003
#define IDC_PROGRESS_BAR 1004

#define IDB_BANNER 104
#define IDI_UPDATER 105

#endif
