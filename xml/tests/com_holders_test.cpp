// The BSTR and VARIANT holders and the bounded copy.
#include <gtest/gtest.h>

#include <string>

#include "platform/core/fault.h"
#include "xml/ComHolders.h"

TEST(CopyBounded, KeepsWithinTheBufferAndAlwaysTerminates) {
  WCHAR buf[MAX_PATH];
  const std::u16string long_src(300, u'a');
  EXPECT_EQ(CopyBounded(buf, long_src.c_str(), MAX_PATH), buf);
  EXPECT_EQ(std::u16string(buf), long_src.substr(0, 259));

  const std::u16string fits(259, u'b');
  CopyBounded(buf, fits.c_str(), MAX_PATH);
  EXPECT_EQ(std::u16string(buf), fits);
  CopyBounded(buf, u"", MAX_PATH);
  EXPECT_EQ(buf[0], 0);

  // Count 0 and a null destination touch nothing; a null source gives "".
  buf[0] = u'x';
  EXPECT_EQ(CopyBounded(buf, u"zzz", 0), buf);
  EXPECT_EQ(buf[0], u'x');
  EXPECT_EQ(CopyBounded(nullptr, u"zzz", MAX_PATH), nullptr);
  CopyBounded(buf, nullptr, MAX_PATH);
  EXPECT_EQ(buf[0], 0);

  // Nothing past the count is written: guard units around a small buffer.
  WCHAR guarded[6] = {u'#', u'#', u'#', u'#', u'#', u'#'};
  CopyBounded(guarded + 1, u"abcdefg", 4);
  EXPECT_EQ(std::u16string(guarded, 6), std::u16string(u"#abc\0#", 6));
  CopyBounded(guarded + 1, u"q", 1);  // room for the terminator only
  EXPECT_EQ(guarded[1], 0);
  EXPECT_EQ(guarded[2], u'b');
}

TEST(CBstr, HoldsACopyAndLetsItGo) {
  WCHAR text[] = u"VCARD";
  CBstr b(text);
  ASSERT_NE(b.Value(), nullptr);
  EXPECT_NE(static_cast<const WCHAR*>(b), text);  // a copy, not the caller's text
  text[0] = u'X';
  EXPECT_EQ(std::u16string(b), u"VCARD");
  EXPECT_EQ(SysStringLen(b), 5u);

  CBstr none(nullptr);
  EXPECT_EQ(none.Value(), nullptr);
  CBstr empty;
  EXPECT_EQ(static_cast<BSTR>(empty), nullptr);

  // Assigning the very BSTR held keeps it; any other text replaces it.
  BSTR held = b;
  b = held;
  EXPECT_EQ(b.Value(), held);
  b = u"TEL";
  EXPECT_EQ(std::u16string(b), u"TEL");
  // A text inside the held one (its tail) survives the replacement.
  b = b.Value() + 1;
  EXPECT_EQ(std::u16string(b), u"EL");
  b = nullptr;
  EXPECT_EQ(b.Value(), nullptr);
  b.Release();
  b.Release();  // releasing an empty holder does nothing
}

TEST(CBstr, OutOfMemoryIsAComError) {
  vardel::fault::Scope faults;
  vardel::fault::arm("com.SysAllocString", E_OUTOFMEMORY);
  try {
    CBstr b(u"x");
    FAIL() << "no error raised";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), E_OUTOFMEMORY);
  }
  // A failed assignment leaves the held text in place.
  CBstr b(u"kept");
  vardel::fault::arm("com.SysAllocString", E_OUTOFMEMORY);
  EXPECT_THROW(b = u"new", _com_error);
  EXPECT_EQ(std::u16string(b), u"kept");
  // A null text needs no allocation, so it cannot fail.
  vardel::fault::arm("com.SysAllocString", E_OUTOFMEMORY, 1, 0);
  EXPECT_NO_THROW(CBstr(nullptr));
}

TEST(CVariant, HoldsATextCopyAndClearsIt) {
  CVariant v;
  EXPECT_EQ(v.vt, VT_EMPTY);
  v = u"XPath";
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(v.bstrVal), u"XPath");
  v = u"\\Storage Card\\vardelbackup\\通讯录.xml";  // the first text is freed
  EXPECT_EQ(SysStringLen(v.bstrVal), 34u);
  v = v.bstrVal + 14;  // a tail of the held text
  EXPECT_EQ(std::u16string(v.bstrVal), u"vardelbackup\\通讯录.xml");

  v = nullptr;
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(v.bstrVal, nullptr);

  // Passed by value, the callee sees the same text (borrowed, not copied).
  auto peek = [](VARIANT var) { return var.bstrVal; };
  CVariant w(u"x");
  EXPECT_EQ(peek(w), w.bstrVal);
}

TEST(CVariant, FailuresAreComErrorsAndKeepTheOldValue) {
  CVariant v(u"old");
  vardel::fault::Scope faults;
  vardel::fault::arm("com.VariantClear", E_ACCESSDENIED);
  try {
    v = u"new";
    FAIL() << "no error raised";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), E_ACCESSDENIED);
  }
  EXPECT_EQ(std::u16string(v.bstrVal), u"old");

  vardel::fault::arm("com.SysAllocString", E_OUTOFMEMORY);
  try {
    v = u"new";
    FAIL() << "no error raised";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), static_cast<HRESULT>(0x8007000E));
  }
  EXPECT_EQ(std::u16string(v.bstrVal), u"old");
}
