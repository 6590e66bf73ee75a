// Message boxes, the file picker (aygshell) and opening files with the
// desktop's default application (ShellExecuteEx).
//
// The program speaks CE paths; the front end and the opener see host paths.
// A host path that lies outside the device is never handed back to the
// program, and a CE path that leaves the device is never opened.
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <system_error>
#include <chrono>
#include <thread>

#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/core/wstr.h"
#include "platform/gwes/window_table.h"

extern char** environ;

using namespace vardel::gwes;

namespace {

// The phone's sizes of the two structures, which the program may write.
constexpr DWORD kPhoneOpenFileNameExSize = 84;
constexpr DWORD kPhoneShellExecuteInfoSize = 60;

// "Desc\0pattern\0Desc\0pattern\0\0" into pairs.
std::vector<std::pair<std::u16string, std::u16string>> parse_filter(LPCWSTR filter) {
  std::vector<std::pair<std::u16string, std::u16string>> pairs;
  if (!filter) return pairs;
  // A filter longer than this is not one the program wrote.
  constexpr std::size_t kMaxFilter = 4096;
  std::size_t at = 0;
  while (at < kMaxFilter && filter[at]) {
    std::u16string desc(filter + at);
    at += desc.size() + 1;
    if (!filter[at]) break;
    std::u16string pattern(filter + at);
    at += pattern.size() + 1;
    pairs.emplace_back(std::move(desc), std::move(pattern));
  }
  return pairs;
}

}  // namespace

namespace vardel::gwes {

HINSTANCE module_instance() {
  // Any non-null value: resources belong to the one module there is.
  static int anchor;
  return reinterpret_cast<HINSTANCE>(&anchor);
}

std::optional<std::u16string> ce_path_of(const std::filesystem::path& host_path) {
  std::error_code ec;
  auto root = std::filesystem::weakly_canonical(vardel::device::root(), ec);
  if (ec || root.empty()) return std::nullopt;
  auto path = std::filesystem::weakly_canonical(host_path, ec);
  if (ec) return std::nullopt;
  auto rel = path.lexically_relative(root);
  if (rel.empty() || *rel.begin() == "..") return std::nullopt;
  std::u16string ce;
  for (const auto& part : rel) {
    if (part == ".") continue;
    ce += u'\\';
    ce += vardel::utf16(part.string());
  }
  return ce.empty() ? std::u16string(u"\\") : ce;
}

bool spawn_opener(const std::filesystem::path& host_path) {
  const char* env = std::getenv("VARDEL_OPENER");
  std::string opener = env && *env ? env : "xdg-open";
  std::string file = host_path.string();
  char* argv[] = {opener.data(), file.data(), nullptr};
  pid_t pid = 0;
  // No shell: the path is one argument whatever characters it holds.
  if (posix_spawnp(&pid, opener.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
  // xdg-open hands the file on and ends at once, or says within moments
  // that it has no way to open it: a quick failure is a file not opened.
  // One still running after a second is a browser in the foreground.
  for (int i = 0; i < 50; ++i) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (done < 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // Reap it in the background so no zombie is left while the window runs.
  std::thread([pid] {
    int status = 0;
    waitpid(pid, &status, 0);
  }).detach();
  return true;
}

bool Frontend::shell_open(const std::filesystem::path& host_path) {
  return spawn_opener(host_path);
}

}  // namespace vardel::gwes

int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  if (FAILED(vardel::fault::check("gwes.MessageBoxW"))) return 0;
  Frontend* fe = frontend();
  if (!fe) return 0;
  return fe->message_box(hWnd, lpCaption ? lpCaption : u"Error", lpText ? lpText : u"", uType);
}

BOOL GetOpenFileNameEx(LPOPENFILENAMEEX lpofnex) {
  if (!lpofnex ||
      (lpofnex->lStructSize != sizeof(OPENFILENAMEEX) &&
       lpofnex->lStructSize != kPhoneOpenFileNameExSize) ||
      !lpofnex->lpstrFile || lpofnex->nMaxFile == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (FAILED(vardel::fault::check("gwes.GetOpenFileNameEx"))) return FALSE;
  Frontend* fe = frontend();
  if (!fe) return FALSE;
  std::filesystem::path start = vardel::device::root();
  if (lpofnex->lpstrInitialDir && lpofnex->lpstrInitialDir[0])
    if (auto host = vardel::device::to_host(lpofnex->lpstrInitialDir)) start = *host;
  auto chosen = fe->open_file_dialog(lpofnex->hwndOwner, start, parse_filter(lpofnex->lpstrFilter));
  if (!chosen) return FALSE;
  auto ce = ce_path_of(*chosen);
  if (!ce || ce->size() >= lpofnex->nMaxFile) {
    SetLastError(ce ? ERROR_INSUFFICIENT_BUFFER : ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::copy(ce->begin(), ce->end(), lpofnex->lpstrFile);
  lpofnex->lpstrFile[ce->size()] = 0;
  auto slash = ce->rfind(u'\\');
  lpofnex->nFileOffset = static_cast<WORD>(slash + 1);
  auto dot = ce->rfind(u'.');
  lpofnex->nFileExtension =
      static_cast<WORD>(dot != std::u16string::npos && dot > slash ? dot + 1 : ce->size());
  return TRUE;
}

BOOL ShellExecuteEx(LPSHELLEXECUTEINFO lpExecInfo) {
  if (!lpExecInfo ||
      (lpExecInfo->cbSize != sizeof(SHELLEXECUTEINFO) &&
       lpExecInfo->cbSize != kPhoneShellExecuteInfoSize) ||
      !lpExecInfo->lpFile) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (FAILED(vardel::fault::check("gwes.ShellExecuteEx"))) return FALSE;
  auto host = vardel::device::to_host(lpExecInfo->lpFile);
  std::error_code ec;
  if (!host || !std::filesystem::exists(*host, ec)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  Frontend* fe = frontend();
  bool opened = fe ? fe->shell_open(*host) : spawn_opener(*host);
  // Values above 32 mean success, as the shell reports it.
  lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(opened ? 33 : 31));
  if (!opened) SetLastError(ERROR_FILE_NOT_FOUND);
  return opened ? TRUE : FALSE;
}
