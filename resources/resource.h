/* Identifiers of the program's resources: strings, controls, timers.
   Read by the resource compiler and by the window code. */
#ifndef ZANDREL_RESOURCE_H
#define ZANDREL_RESOURCE_H

/* String table */
#define IDS_CLASS_NAME 10002
#define IDS_FIRST_DIRECTORY 10004 /* then every second identifier */
#define IDS_LAST_DIRECTORY 10030

/* Program icon */
#define IDI_PROGRAM 1

/* Root window children */
#define IDC_COMMAND_BAR 3
#define IDC_PROGRESS 4
#define IDC_BOOT 5
#define IDC_CANCEL 6
#define IDC_TABS 7
#define IDT_AUTO_BOOT 2

/* Main page (WMAIN) */
#define IDC_DIRECTORY 1001
#define IDC_PLATFORM 1002
#define IDC_KERNEL 1003
#define IDC_ROOT_GROUP 100
#define IDC_ROOT_WD 101
#define IDC_ROOT_SD 102
#define IDC_ROOT_MD 103
#define IDC_ROOT_NFS 104
#define IDC_ROOTFS_FILE 105
#define IDC_ASK_NAME 150
#define IDC_SINGLE 151
#define IDC_VERBOSE 152
#define IDC_SERIAL 153
#define IDC_SPEED 154
#define IDC_DEBUGGER 155

/* Option page (WOPTION) */
#define IDC_AUTO_BOOT 200
#define IDC_REVERSE_VIDEO 201
#define IDC_PAUSE 202
#define IDC_LOAD_DEBUG_INFO 203
#define IDC_SAFETY 205
#define IDC_EXTRA 206
#define IDC_SECONDS 2000
#define IDC_SPIN 2001

/* Console page (WCONSOLE) */
#define IDC_DEBUG_BIT0 300 /* up to 307 for bit 7 */
#define IDC_DEBUG_BIT7 307
#define IDC_HOOK_A 310 /* up to 313 for "d" */
#define IDC_HOOK_D 313
#define IDC_OUTPUT 320
#define IDC_SAVE_TO_FILE 321
#define IDC_LOG_NAME 322

#endif
