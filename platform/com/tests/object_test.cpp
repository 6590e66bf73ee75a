// The object helper every stand-in is built from: the interface list, the
// reference count, the exception guard, the stub and the class factory.
#include "platform/com/object.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/fault.h"
#include "platform/core/windows.h"

namespace {

constexpr HRESULT kModuleFailure = static_cast<HRESULT>(0x80045678);
constexpr HRESULT kModuleNotImplemented = static_cast<HRESULT>(0x80041111);
constexpr vardel::com::Module kTest{u"test", kModuleFailure, kModuleNotImplemented};

struct IFrob : IUnknown {
  virtual HRESULT Frob(int how) = 0;
  virtual HRESULT Twiddle() = 0;

 protected:
  ~IFrob() = default;
};
const IID IID_IFrob = {0x1f0b0001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
const IID IID_IFrobBase = {0x1f0b0002, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};
const IID IID_INotOffered = {0x1f0b0003, 0, 0, {0, 0, 0, 0, 0, 0, 0, 3}};

std::atomic<int> g_live{0};

class Frobber final : public vardel::com::Object<kTest, IFrob, &IID_IFrobBase, &IID_IFrob> {
 public:
  Frobber() {
    // Where a constructor runs out of memory.
    if (FAILED(vardel::fault::check("test.Frobber"))) throw std::runtime_error("armed");
    ++g_live;
  }

  // 0: succeeds; 1: runs out of memory; 2: a library error; 3: a thrown
  // value that is no std::exception.
  HRESULT Frob(int how) override {
    return guard([&] {
      if (how == 1) throw std::bad_alloc();
      if (how == 2) throw std::runtime_error("the database is locked");
      if (how == 3) throw 42L;
      return S_FALSE;
    });
  }
  HRESULT Twiddle() noexcept override { return stub(u"IFrob::Twiddle"); }

 private:
  ~Frobber() override { --g_live; }
};

// What NKDbgPrintfW writes while f runs, with debug output on.
template <class F>
std::string trace_of(F&& f) {
  vardel::core::set_debug_output(true);
  ::testing::internal::CaptureStderr();
  f();
  std::string out = ::testing::internal::GetCapturedStderr();
  vardel::core::set_debug_output(false);
  return out;
}

}  // namespace

TEST(ComObject, AnswersForItsInterfaceListWithOneMoreReference) {
  IFrob* frob = vardel::com::make<Frobber>();
  ASSERT_EQ(g_live.load(), 1);
  for (const IID* iid : {&IID_IUnknown, &IID_IFrobBase, &IID_IFrob}) {
    void* pv = nullptr;
    ASSERT_EQ(frob->QueryInterface(*iid, &pv), S_OK);
    EXPECT_EQ(pv, static_cast<void*>(frob));  // one object, one pointer
    EXPECT_EQ(frob->Release(), 1u);           // the reference QueryInterface added
  }
  void* pv = reinterpret_cast<void*>(1);
  EXPECT_EQ(frob->QueryInterface(IID_INotOffered, &pv), E_NOINTERFACE);
  EXPECT_EQ(pv, nullptr);
  EXPECT_EQ(frob->QueryInterface(IID_IFrob, nullptr), E_POINTER);

  EXPECT_EQ(frob->AddRef(), 2u);
  EXPECT_EQ(frob->Release(), 1u);
  EXPECT_EQ(frob->Release(), 0u);
  EXPECT_EQ(g_live.load(), 0);
}

TEST(ComObject, TheCountHoldsAcrossThreadsAndTheObjectGoesOnce) {
  IFrob* frob = vardel::com::make<Frobber>();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([frob] {
      for (int i = 0; i < 20000; ++i) {
        frob->AddRef();
        frob->Release();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(g_live.load(), 1);
  EXPECT_EQ(frob->Release(), 0u);
  EXPECT_EQ(g_live.load(), 0);
}

TEST(ComObject, NoExceptionLeavesACallOnlyItsModulesResults) {
  IFrob* frob = vardel::com::make<Frobber>();
  EXPECT_EQ(frob->Frob(0), S_FALSE);
  EXPECT_EQ(frob->Frob(1), E_OUTOFMEMORY);
  EXPECT_EQ(frob->Frob(2), kModuleFailure);
  EXPECT_EQ(frob->Frob(3), kModuleFailure);
  // The object is unharmed.
  EXPECT_EQ(frob->Frob(0), S_FALSE);
  EXPECT_EQ(frob->AddRef(), 2u);
  frob->Release();
  frob->Release();

  // A library's message goes to the debug output; running out of memory is
  // answered quietly.
  const std::string traced = trace_of([] {
    IFrob* f = vardel::com::make<Frobber>();
    f->Frob(2);
    f->Frob(1);
    f->Release();
  });
  EXPECT_EQ(traced, "test: a call failed: the database is locked\r\n");
}

TEST(ComObject, AStubIsLoudAndAnswersTheModulesNotImplemented) {
  HRESULT hr = S_OK;
  const std::string traced = trace_of([&] {
    IFrob* f = vardel::com::make<Frobber>();
    hr = f->Twiddle();
    f->Release();
  });
  EXPECT_EQ(hr, kModuleNotImplemented);
  EXPECT_EQ(traced, "test: IFrob::Twiddle is not implemented\r\n");
}

TEST(ComObject, TheClassFactoryHandsOutTheOnlyReference) {
  void* pv = nullptr;
  ASSERT_EQ(vardel::com::create_instance<Frobber>(IID_IFrob, &pv), S_OK);
  EXPECT_EQ(g_live.load(), 1);
  EXPECT_EQ(static_cast<IFrob*>(pv)->Release(), 0u);
  EXPECT_EQ(g_live.load(), 0);

  pv = reinterpret_cast<void*>(1);
  EXPECT_EQ(vardel::com::create_instance<Frobber>(IID_INotOffered, &pv), E_NOINTERFACE);
  EXPECT_EQ(pv, nullptr);
  EXPECT_EQ(g_live.load(), 0);  // made and gone again
  EXPECT_EQ(vardel::com::create_instance<Frobber>(IID_IFrob, nullptr), E_POINTER);

  // Out of memory while making it (a fault armed to run out of memory
  // throws std::bad_alloc from its check), or its constructor failing.
  vardel::fault::Scope faults;
  vardel::fault::arm_out_of_memory("test.Frobber");
  pv = reinterpret_cast<void*>(1);
  EXPECT_EQ(vardel::com::create_instance<Frobber>(IID_IFrob, &pv), E_OUTOFMEMORY);
  EXPECT_EQ(pv, nullptr);
  vardel::fault::arm("test.Frobber", E_FAIL);
  EXPECT_EQ(vardel::com::create_instance<Frobber>(IID_IFrob, &pv), kModuleFailure);
  EXPECT_EQ(g_live.load(), 0);
  ASSERT_EQ(vardel::com::create_instance<Frobber>(IID_IFrob, &pv), S_OK);
  static_cast<IFrob*>(pv)->Release();
}
