// The background jobs a tap on "备份" or "恢复通讯录" starts, and their
// file helpers.
//
// Each job is a thread procedure that builds its document object on its own
// thread and returns 1 on success, 0 on failure (its exit code). The two
// backup jobs run together; the messages job shows the one end-of-backup box
// after the contacts job has set g_hContactsDoneEvent, which the window
// creates before it starts either thread. No exception ever leaves a job: it
// ends the job with 0 and a box the user sees.
#pragma once

#include "platform/core/windows.h"
#include "platform/gwes/gwes.h"  // WINAPI

DWORD WINAPI ContactsBackupJob(LPVOID lpParameter);
DWORD WINAPI MessagesBackupJob(LPVOID lpParameter);
DWORD WINAPI RestoreJob(LPVOID lpParameter);

// Result of the last contacts backup, written by the contacts job before it
// sets g_hContactsDoneEvent and read by the messages job after its wait.
extern LONG g_nContactsBackupResult;

// Folder of the program file without the trailing backslash (MAX_PATH
// buffer). A program in the root folder keeps its whole path.
void GetProgramFolder(WCHAR* pszFolder);

// Copies a stylesheet from the program folder into the backup folder.
void CopyStylesheet(LPCWSTR pszName);

// Copies "<folder>\<pszFile>" to "<folder>\<pszStem>YYMMDD_HHMMSS.xml" (local
// time), or to the next free "..._2.xml", "..._3.xml" when a copy made within
// the same second already holds that name. No current file, no copy. 1 when
// the copy was made or there was nothing to copy; 0 when the current file
// could not be copied (a full card): the job then must not replace it.
int MakeDatedCopy(LPCWSTR pszStem, LPCWSTR pszFile);

// Removes duplicate contacts through a second contacts writer: 1 when it
// walked the whole folder, 0 when the writer could not be opened or the walk
// stopped early (duplicates may remain).
int RunDuplicateRemoval();

// Texts of the end-of-job boxes.
extern const WCHAR g_szBackupDone[];
extern const WCHAR g_szRestoreDone[];
extern const WCHAR g_szNoBackupFile[];
extern const WCHAR g_szNothingRestored[];
