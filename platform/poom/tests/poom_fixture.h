// What the Pocket Outlook tests share: a temporary device with COM
// initialised on the test's thread, and small helpers that log on, save
// contacts and read them back through the object model.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "platform/core/device.h"
#include "platform/poom/contact_db.h"
#include "platform/poom/pimstore.h"
#include "test_support/temp_device.h"

namespace vardel::poom::testing {

// Releases a COM pointer when it goes out of scope.
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* p) : p_(p) {}
  ~Ref() { reset(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T** out() {
    reset();
    return &p_;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

inline std::u16string take(BSTR b) {
  std::u16string s = b ? std::u16string(b, SysStringLen(b)) : std::u16string();
  SysFreeString(b);
  return s;
}

class PoomTest : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  void TearDown() override { CoUninitialize(); }

  // A logged-on application object, or a test failure.
  static Ref<IPOutlookApp2> logon() {
    Ref<IPOutlookApp2> app;
    HRESULT hr = CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IPOutlookApp2, reinterpret_cast<void**>(app.out()));
    EXPECT_EQ(hr, S_OK);
    if (app) {
      EXPECT_EQ(app->Logon(0), S_OK);
    }
    return app;
  }

  static Ref<IPOutlookItemCollection> items(IPOutlookApp2* app) {
    Ref<IFolder> folder;
    EXPECT_EQ(app->GetDefaultFolder(olFolderContacts, folder.out()), S_OK);
    Ref<IPOutlookItemCollection> items;
    if (folder) {
      EXPECT_EQ(folder->get_Items(items.out()), S_OK);
    }
    return items;
  }

  // A new, unsaved contact.
  static Ref<IContact> create(IPOutlookApp2* app) {
    IDispatch* disp = nullptr;
    EXPECT_EQ(app->CreateItem(olContactItem, &disp), S_OK);
    return Ref<IContact>(static_cast<IContact*>(disp));
  }

  // Saves a contact with a FileAs and a mobile number; returns its oid.
  static long save_contact(IPOutlookApp2* app, const std::u16string& file_as,
                           const std::u16string& mobile = u"") {
    Ref<IContact> c = create(app);
    BSTR b = SysAllocString(file_as.c_str());
    EXPECT_EQ(c->put_FileAs(b), S_OK);
    SysFreeString(b);
    if (!mobile.empty()) {
      b = SysAllocString(mobile.c_str());
      EXPECT_EQ(c->put_MobileTelephoneNumber(b), S_OK);
      SysFreeString(b);
    }
    EXPECT_EQ(c->Save(), S_OK);
    long oid = 0;
    EXPECT_EQ(c->get_Oid(&oid), S_OK);
    return oid;
  }

  static Ref<IContact> item(IPOutlookItemCollection* items, int position) {
    IDispatch* disp = nullptr;
    EXPECT_EQ(items->Item(position, &disp), S_OK) << "position " << position;
    return Ref<IContact>(static_cast<IContact*>(disp));
  }

  // The FileAs of every contact, walking a new collection by position.
  static std::vector<std::u16string> file_as_order(IPOutlookApp2* app) {
    auto coll = items(app);
    int n = 0;
    EXPECT_EQ(coll->get_Count(&n), S_OK);
    std::vector<std::u16string> out;
    for (int i = 1; i <= n; ++i) {
      auto c = item(coll.get(), i);
      BSTR b = nullptr;
      EXPECT_EQ(c->get_FileAs(&b), S_OK);
      out.push_back(take(b));
    }
    return out;
  }

  // Property rows in the file, counted by a connection of its own.
  static int stored_property_rows() {
    sqlite3* db = nullptr;
    int rows = -1;
    if (sqlite3_open_v2(device::contacts_db().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
      sqlite3_stmt* s = nullptr;
      if (sqlite3_prepare_v2(db, "SELECT count(*) FROM properties", -1, &s, nullptr) == SQLITE_OK &&
          sqlite3_step(s) == SQLITE_ROW)
        rows = sqlite3_column_int(s, 0);
      sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return rows;
  }

  vardel::testing::TempDevice device_;
};

}  // namespace vardel::poom::testing
