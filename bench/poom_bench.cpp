// The contact store at size: create and save N contacts (one transaction
// each), walk them by position reading four fields (FileAs and the three
// telephone numbers the duplicate removal compares), then remove every
// second one by position. Then, into an empty store, N contacts saved as the
// restore saves them: the contact's own fields and Save, then the queued
// property through the generic item and a second Save. Prints the time of
// each phase.
//
//   bench_poom_bench [N]        (default 100000; the device is a temp folder)
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/measure.h"
#include "platform/com/com.h"
#include "platform/core/device.h"
#include "platform/core/wstr.h"
#include "platform/poom/pimstore.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Phase {
  Clock::time_point wall = Clock::now();
  double cpu = cpu_seconds();
  double wall_s = 0, cpu_s = 0;
  void stop() {
    wall_s = std::chrono::duration<double>(Clock::now() - wall).count();
    cpu_s = cpu_seconds() - cpu;
  }
};

void check(HRESULT hr, const char* what) {
  if (FAILED(hr)) {
    std::fprintf(stderr, "%s failed: 0x%08X\n", what, static_cast<unsigned>(hr));
    std::exit(1);
  }
}

void put(IContact* c, HRESULT (IContact::*setter)(BSTR), const std::string& text) {
  std::u16string w = vardel::utf16(text);
  BSTR b = SysAllocString(w.c_str());
  check((c->*setter)(b), "put");
  SysFreeString(b);
}

IPOutlookApp2* logon() {
  IPOutlookApp2* app = nullptr;
  check(CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp2,
                         reinterpret_cast<void**>(&app)),
        "CoCreateInstance");
  check(app->Logon(0), "Logon");
  return app;
}

// N contacts as the restore writes them, into the current device's store.
void restore_like(int n) {
  IPOutlookApp2* app = logon();
  for (int i = 0; i < n; ++i) {
    IDispatch* disp = nullptr;
    check(app->CreateItem(olContactItem, &disp), "CreateItem");
    auto* c = static_cast<IContact*>(disp);
    const std::string num = std::to_string(1000000 + i);
    put(c, &IContact::put_FirstName, "Given");
    put(c, &IContact::put_LastName, "Name" + num);
    put(c, &IContact::put_FileAs, "Name" + num + ", Given");
    put(c, &IContact::put_BusinessTelephoneNumber, "010-" + num);
    put(c, &IContact::put_MobileTelephoneNumber, "139" + num);
    put(c, &IContact::put_HomeTelephoneNumber, "021-" + num);
    put(c, &IContact::put_Email1Address, "user" + num + "@example.com");
    put(c, &IContact::put_CompanyName, "Company & Sons " + num);
    put(c, &IContact::put_JobTitle, "Engineer");
    put(c, &IContact::put_HomeAddressStreet, num + " Long Street");
    put(c, &IContact::put_HomeAddressCity, "Shanghai");
    check(c->Save(), "Save");
    long oid = 0;
    check(c->get_Oid(&oid), "get_Oid");
    IItem* item = nullptr;
    check(app->GetItemFromOidEx(static_cast<CEOID>(oid), 0, &item), "GetItemFromOidEx");
    std::u16string nick = vardel::utf16("nick" + num);
    CEPROPVAL prop{};
    prop.propid = PIMPR_NICKNAME;
    prop.val.lpwstr = nick.data();
    check(item->SetProps(0, 1, &prop), "SetProps");
    check(item->Save(), "Item Save");
    item->Release();
    c->Release();
  }
  app->Logoff();
  app->Release();
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
  std::string tmpl = (std::filesystem::temp_directory_path() / "vardel-poom-bench-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) return 1;
  vardel::device::set_root(tmpl);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  vardel::poom::register_classes();

  IPOutlookApp2* app = logon();

  // Names repeat every 1000 contacts in scrambled order, so the folder's
  // order differs from the creation order and equal names exist.
  Phase create;
  for (int i = 0; i < n; ++i) {
    IDispatch* disp = nullptr;
    check(app->CreateItem(olContactItem, &disp), "CreateItem");
    auto* c = static_cast<IContact*>(disp);
    int key = (i * 7919) % 1000;
    put(c, &IContact::put_FileAs, "Contact " + std::to_string(key));
    put(c, &IContact::put_FirstName, "First" + std::to_string(i));
    put(c, &IContact::put_LastName, "Last" + std::to_string(key));
    put(c, &IContact::put_MobileTelephoneNumber, "138" + std::to_string(10000000 + i));
    put(c, &IContact::put_HomeTelephoneNumber, "010-" + std::to_string(5550000 + key));
    put(c, &IContact::put_Email1Address, "c" + std::to_string(i) + "@example.com");
    check(c->Save(), "Save");
    c->Release();
  }
  create.stop();

  IFolder* folder = nullptr;
  check(app->GetDefaultFolder(olFolderContacts, &folder), "GetDefaultFolder");
  IPOutlookItemCollection* items = nullptr;
  Phase list;
  check(folder->get_Items(&items), "get_Items");
  list.stop();

  int count = 0;
  items->get_Count(&count);
  std::size_t chars = 0;
  Phase walk;
  for (int k = 1; k <= count; ++k) {
    IDispatch* disp = nullptr;
    check(items->Item(k, &disp), "Item");
    auto* c = static_cast<IContact*>(disp);
    BSTR b = nullptr;
    for (auto getter : {&IContact::get_FileAs, &IContact::get_BusinessTelephoneNumber,
                        &IContact::get_MobileTelephoneNumber, &IContact::get_HomeTelephoneNumber}) {
      check((c->*getter)(&b), "get");
      chars += SysStringLen(b);
      SysFreeString(b);
    }
    c->Release();
  }
  walk.stop();

  Phase remove;
  int removed = 0;
  for (int k = 1;; ++k) {
    int now = 0;
    items->get_Count(&now);
    if (k + 1 > now) break;
    check(items->Remove(k + 1), "Remove");
    ++removed;
  }
  items->Release();  // commits the last group of removals
  remove.stop();

  check(folder->get_Items(&items), "get_Items");
  int left = 0;
  items->get_Count(&left);
  items->Release();
  folder->Release();
  app->Logoff();
  app->Release();

  std::string tmpl2 =
      (std::filesystem::temp_directory_path() / "vardel-poom-bench-XXXXXX").string();
  if (!::mkdtemp(tmpl2.data())) return 1;
  vardel::device::set_root(tmpl2);
  Phase restore;
  restore_like(n);
  restore.stop();
  CoUninitialize();

  std::printf("contacts: %d (6 fields each), walked %zu characters\n", n, chars);
  std::printf("%-48s %9s %9s %12s\n", "phase", "wall s", "cpu s", "cpu us/each");
  auto row = [](const char* name, const Phase& p, int each) {
    std::printf("%-48s %9.3f %9.3f %12.2f\n", name, p.wall_s, p.cpu_s,
                each ? p.cpu_s * 1e6 / each : 0.0);
  };
  row("create + save (one transaction each)", create, n);
  row("get_Items (the ordered list)", list, 0);
  row("walk by position reading 4 fields", walk, count);
  row("remove every second by position", remove, removed);
  row("restore-like: 11 fields, Save, SetProps, Save", restore, n);
  std::printf("removed %d, left %d\n", removed, left);
  std::error_code ec;
  std::filesystem::remove_all(tmpl, ec);
  std::filesystem::remove_all(tmpl2, ec);
  return left == count - removed ? 0 : 1;
}
