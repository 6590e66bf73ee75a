// MAPIInitialize, MAPILogonEx, MAPIUninitialize.
#include <atomic>
#include <exception>

#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/mapi/objects.h"

namespace {

std::atomic<int> g_initialized{0};

}  // namespace

HRESULT MAPIInitialize(LPVOID lpMapiInit) {
  ++g_initialized;
  return S_OK;
}

void MAPIUninitialize() {
  int n = g_initialized.load();
  while (n > 0 && !g_initialized.compare_exchange_weak(n, n - 1)) {
  }
}

HRESULT MAPILogonEx(ULONG_PTR ulUIParam, LPWSTR lpszProfileName, LPWSTR lpszPassword, FLAGS flFlags,
                    LPMAPISESSION* lppSession) {
  if (!lppSession) return MAPI_E_INVALID_PARAMETER;
  *lppSession = nullptr;
  if (g_initialized.load() <= 0) return MAPI_E_NOT_INITIALIZED;
  if (HRESULT hr = vardel::fault::check("mapi.MAPILogonEx"); FAILED(hr)) return hr;
  try {
    auto db = std::make_shared<vardel::mapi::Db>(vardel::device::messages_db());
    *lppSession = vardel::mapi::create_session(std::move(db));
    return S_OK;
  } catch (const std::exception&) {
    return MAPI_E_LOGON_FAILED;
  }
}
