// The contact store at size: create and save N contacts (one transaction
// each), walk them by position reading four fields (FileAs and the three
// telephone numbers the duplicate removal compares), then remove every
// second one by position. Then, into an empty store, N contacts saved as the
// restore saves them: the contact's own fields and Save, then the queued
// property through the generic item and a second Save. Each at 10 %, 50 %
// and 100 % of N, on new devices this process holds as a command does.
// Prints wall and CPU time and contacts per second of each phase, then the
// rate at 100 % against 10 %.
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
#include "platform/core/device_lock.h"
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

struct Run {
  Phase create, list, walk, remove, restore;
  int count = 0, removed = 0, left = 0;
  std::size_t chars = 0;
};

// Every phase over n contacts, on new devices.
bool run(int n, Run* r) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vardel-poom-bench-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) return false;
  vardel::device::set_root(tmpl);
  // Held as a command holds it: the store then keeps its file's lock.
  if (vardel::device::lock_device() != vardel::device::LockResult::locked) return false;

  IPOutlookApp2* app = logon();

  // Names repeat every 1000 contacts in scrambled order, so the folder's
  // order differs from the creation order and equal names exist.
  r->create = Phase();
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
  r->create.stop();

  IFolder* folder = nullptr;
  check(app->GetDefaultFolder(olFolderContacts, &folder), "GetDefaultFolder");
  IPOutlookItemCollection* items = nullptr;
  r->list = Phase();
  check(folder->get_Items(&items), "get_Items");
  r->list.stop();

  items->get_Count(&r->count);
  r->walk = Phase();
  for (int k = 1; k <= r->count; ++k) {
    IDispatch* disp = nullptr;
    check(items->Item(k, &disp), "Item");
    auto* c = static_cast<IContact*>(disp);
    BSTR b = nullptr;
    for (auto getter : {&IContact::get_FileAs, &IContact::get_BusinessTelephoneNumber,
                        &IContact::get_MobileTelephoneNumber, &IContact::get_HomeTelephoneNumber}) {
      check((c->*getter)(&b), "get");
      r->chars += SysStringLen(b);
      SysFreeString(b);
    }
    c->Release();
  }
  r->walk.stop();

  r->remove = Phase();
  for (int k = 1;; ++k) {
    int now = 0;
    items->get_Count(&now);
    if (k + 1 > now) break;
    check(items->Remove(k + 1), "Remove");
    ++r->removed;
  }
  items->Release();  // commits the last group of removals
  r->remove.stop();

  check(folder->get_Items(&items), "get_Items");
  items->get_Count(&r->left);
  items->Release();
  folder->Release();
  app->Logoff();
  app->Release();

  std::string tmpl2 =
      (std::filesystem::temp_directory_path() / "vardel-poom-bench-XXXXXX").string();
  if (!::mkdtemp(tmpl2.data())) return false;
  vardel::device::set_root(tmpl2);
  if (vardel::device::lock_device() != vardel::device::LockResult::locked) return false;
  r->restore = Phase();
  restore_like(n);
  r->restore.stop();
  vardel::device::set_root({});
  std::error_code ec;
  std::filesystem::remove_all(tmpl, ec);
  std::filesystem::remove_all(tmpl2, ec);
  return r->left == r->count - r->removed;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  vardel::poom::register_classes();

  std::printf("%-44s %8s %9s %9s %12s %12s\n", "phase", "contacts", "wall s", "cpu s", "per s wall",
              "per s cpu");
  auto row = [](const char* name, int size, const Phase& p, int each) {
    std::printf("%-44s %8d %9.3f %9.3f %12.0f %12.0f\n", name, size, p.wall_s, p.cpu_s,
                each && p.wall_s > 0 ? each / p.wall_s : 0.0,
                each && p.cpu_s > 0 ? each / p.cpu_s : 0.0);
  };
  bool ok = true;
  Run first, last;
  for (int size : {n / 10, n / 2, n}) {
    Run r;
    ok = run(size, &r) && ok;
    row("create + save (one transaction each)", size, r.create, size);
    row("get_Items (the ordered list)", size, r.list, 0);
    row("walk by position reading 4 fields", size, r.walk, r.count);
    row("remove every second by position", size, r.remove, r.removed);
    row("restore-like: 11 fields, Save, SetProps, Save", size, r.restore, size);
    std::fflush(stdout);
    if (size == n / 10) first = r;
    last = r;
  }
  CoUninitialize();
  auto ratio = [&](const char* name, const Phase& a, int na, const Phase& b, int nb) {
    const double ra = na / a.cpu_s, rb = nb / b.cpu_s;
    std::printf("%-44s rate (cpu) at 100 %% / at 10 %%: %.2f%s\n", name, rb / ra,
                rb < 0.8 * ra ? "  (falls by more than a fifth)" : "");
  };
  ratio("create + save", first.create, n / 10, last.create, n);
  ratio("walk", first.walk, first.count, last.walk, last.count);
  ratio("remove", first.remove, first.removed, last.remove, last.removed);
  ratio("restore-like", first.restore, n / 10, last.restore, n);
  return ok ? 0 : 1;
}
