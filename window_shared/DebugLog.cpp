// The diagnostic log. Entries are written as UTF-8 with "\n" line ends, the
// host's text mode for wide stream output.
#include "window_shared/DebugLog.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

static const WCHAR LOG_FILE[] = u"\\My Documents\\debugmsg.txt";
static const WCHAR OLD_LOG_FILE[] = u"\\My Documents\\debugmsg.old.txt";

namespace {

struct Flusher {
  std::mutex mutex;
  std::condition_variable changed;
  bool bStop = false;
  std::thread thread;
};

struct DebugLogState {
  CRITICAL_SECTION cs;
  FILE* pFile = NULL;
  long nSize = 0;   // bytes in the file
  int nOpened = 0;  // OpenDebugLog calls not yet closed
  // Between OpenDebugLog and CloseDebugLog, a file that did not open is not
  // tried again for every entry: a walk logs several entries a message, and
  // each try looks the folder up on the device.
  bool bOpenFailed = false;
  // The last entry's prefix: entries of one thread within one tick share it,
  // so a walk that logs several lines a message formats it once.
  WCHAR szPrefix[64];
  long nPrefix = -1;  // its bytes in the file; -1 before the first entry
  DWORD dwThread = 0;
  DWORD dwTick = 0;
  // Between OpenDebugLog and CloseDebugLog entries wait in the stream's
  // buffer and the flusher hands them to the file within kFlushInterval:
  // a walk writes several entries a message, and a write to the file for
  // each was a fifth of a large backup's time.
  bool bUnflushed = false;
  std::unique_ptr<Flusher> pFlusher;
  DebugLogState() { InitializeCriticalSection(&cs); }
};

constexpr std::chrono::milliseconds kFlushInterval{20};

DebugLogState& LogState() {
  static DebugLogState state;
  return state;
}

// Bytes the text takes in the file.
long Utf8Length(const WCHAR* psz) {
  long n = 0;
  for (; *psz; ++psz) {
    WCHAR c = *psz;
    if (c < 0x80)
      n += 1;
    else if (c < 0x800)
      n += 2;
    else if (c >= 0xD800 && c <= 0xDBFF && psz[1] >= 0xDC00 && psz[1] <= 0xDFFF) {
      n += 4;
      ++psz;
    } else
      n += 3;
  }
  return n;
}

int OpenLogFile(DebugLogState& log) {
  if (log.bOpenFailed) return 0;
  log.pFile = _wfopen(LOG_FILE, u"a");
  if (log.pFile == NULL) {
    log.bOpenFailed = log.nOpened > 0;
    return 0;
  }
  setvbuf(log.pFile, NULL, _IOFBF, 64 * 1024);
  fseek(log.pFile, 0, SEEK_END);
  log.nSize = ftell(log.pFile);
  if (log.nSize < 0) log.nSize = 0;
  return 1;
}

void CloseLogFile(DebugLogState& log) {
  if (log.pFile != NULL) fclose(log.pFile);
  log.pFile = NULL;
  log.bUnflushed = false;
}

void RunFlusher(DebugLogState& log, Flusher& self) {
  std::unique_lock stop(self.mutex);
  while (!self.changed.wait_for(stop, kFlushInterval, [&] { return self.bStop; })) {
    EnterCriticalSection(&log.cs);
    if (log.pFile != NULL && log.bUnflushed) fflush(log.pFile);
    log.bUnflushed = false;
    LeaveCriticalSection(&log.cs);
  }
}

}  // namespace

void WriteDebugLog(const WCHAR* pszText) {
  DebugLogState& log = LogState();
  EnterCriticalSection(&log.cs);
  if (log.pFile != NULL || OpenLogFile(log)) {
    const DWORD dwThread = GetCurrentThreadId();
    const DWORD dwTick = GetTickCount();
    if (log.nPrefix < 0 || dwThread != log.dwThread || dwTick != log.dwTick) {
      swprintf(log.szPrefix, 64, u"%8x - %6d -- ", dwThread, dwTick);
      log.nPrefix = Utf8Length(log.szPrefix);
      log.dwThread = dwThread;
      log.dwTick = dwTick;
    }
    const WCHAR* szPrefix = log.szPrefix;
    const long nLine = log.nPrefix + (pszText != NULL ? Utf8Length(pszText) : 0) + 1;
    if (log.nSize > 0 && log.nSize + nLine > DEBUG_LOG_LIMIT) {
      CloseLogFile(log);
      // Whatever holds the older file's place goes (an empty folder too);
      // when the log cannot be moved aside, logging stops rather than the
      // file growing past its limit.
      if (!DeleteFileW(OLD_LOG_FILE)) RemoveDirectoryW(OLD_LOG_FILE);
      if (MoveFileW(LOG_FILE, OLD_LOG_FILE))
        OpenLogFile(log);
      else
        log.bOpenFailed = log.nOpened > 0;
    }
    if (log.pFile != NULL) {
      // One line, handed to the stream at once when it is short (they are).
      WCHAR szLine[256];
      const size_t cchPrefix = wcslen(szPrefix);
      const size_t cchText = pszText != NULL ? wcslen(pszText) : 0;
      if (cchPrefix + cchText + 2 <= 256) {
        memcpy(szLine, szPrefix, cchPrefix * sizeof(WCHAR));
        if (cchText) memcpy(szLine + cchPrefix, pszText, cchText * sizeof(WCHAR));
        szLine[cchPrefix + cchText] = u'\n';
        szLine[cchPrefix + cchText + 1] = 0;
        fputws(szLine, log.pFile);
      } else {
        fputws(szPrefix, log.pFile);
        if (pszText != NULL) fputws(pszText, log.pFile);
        fputws(u"\n", log.pFile);
      }
      log.nSize += nLine;
      if (log.nOpened == 0)
        CloseLogFile(log);
      else
        log.bUnflushed = true;
    }
  }
  LeaveCriticalSection(&log.cs);
}

void OpenDebugLog() {
  DebugLogState& log = LogState();
  EnterCriticalSection(&log.cs);
  if (log.nOpened++ == 0) {
    log.pFlusher = std::make_unique<Flusher>();
    log.pFlusher->thread = std::thread(RunFlusher, std::ref(log), std::ref(*log.pFlusher));
  }
  LeaveCriticalSection(&log.cs);
}

void CloseDebugLog() {
  DebugLogState& log = LogState();
  EnterCriticalSection(&log.cs);
  std::unique_ptr<Flusher> pFlusher;
  if (log.nOpened > 0 && --log.nOpened == 0) {
    CloseLogFile(log);
    log.bOpenFailed = false;
    pFlusher = std::move(log.pFlusher);
  }
  LeaveCriticalSection(&log.cs);
  // Stopped outside the section, which the flusher takes to flush.
  if (pFlusher) {
    {
      std::lock_guard stop(pFlusher->mutex);
      pFlusher->bStop = true;
    }
    pFlusher->changed.notify_all();
    pFlusher->thread.join();
  }
}
