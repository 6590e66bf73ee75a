// Painting the background through the GDI subset, object bookkeeping, and
// the colours a dialog gives its labels.
#include <gtest/gtest.h>

#include "platform/core/fault.h"
#include "platform/gwes/frontend.h"
#include "platform/gwes/resources.h"
#include "res/resources.h"
#include "test_support/recording_window.h"

namespace {

// The program's background painting, call for call.
LRESULT paint_background(HWND hwnd, UINT message, WPARAM, LPARAM) {
  if (message != WM_PAINT) return 0;
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  HBITMAP bitmap = LoadBitmapW(vardel::gwes::module_instance(), MAKEINTRESOURCE(130));
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(hdc, 0, 0, 240, 320, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  EndPaint(hwnd, &ps);
  return 0;
}

class Gdi : public ::testing::Test {
 protected:
  void SetUp() override { vardel::res::install(); }
};

TEST_F(Gdi, BackgroundIsCopiedAtItsOwnSizeAndEveryObjectIsFreed) {
  HWND hwnd = vardel::testing::create_window(paint_background);
  SetWindowPos(hwnd, nullptr, 0, 26, 240, 294, SWP_NOZORDER);
  int before = vardel::gwes::live_gdi_objects();
  RECT painted{};
  auto image = vardel::gwes::paint_window(hwnd, &painted);
  EXPECT_EQ(vardel::gwes::live_gdi_objects(), before);
  // What the copy covered: the picture, not the taller rectangle asked for.
  EXPECT_EQ(painted.left, 0);
  EXPECT_EQ(painted.top, 0);
  EXPECT_EQ(painted.right, 240);
  EXPECT_EQ(painted.bottom, 268);
  ASSERT_EQ(image.width, 240);
  ASSERT_EQ(image.height, 294);
  // Compare with the bitmap's own bytes (bottom-up BGR after a 40-byte header).
  auto dib = vardel::res::background_bitmap();
  auto source = [&](int x, int y) {
    const uint8_t* p = dib.data() + 40 + (267 - y) * 720 + x * 3;
    return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
  };
  for (auto [x, y] : {std::pair{0, 0}, {239, 0}, {120, 131}, {0, 267}, {239, 267}, {57, 200}})
    EXPECT_EQ(image.pixel(x, y), source(x, y)) << x << "," << y;
  // The copy rectangle is taller than the picture: below it stays as it was.
  EXPECT_EQ(image.pixel(10, 268), 0xFFFFFFu);
  EXPECT_EQ(image.pixel(239, 293), 0xFFFFFFu);
  DestroyWindow(hwnd);
}

TEST_F(Gdi, SelectedBitmapCannotBeDeletedNorSelectedTwice) {
  HBITMAP bitmap = LoadBitmapW(nullptr, MAKEINTRESOURCE(130));
  ASSERT_NE(bitmap, nullptr);
  HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
  HGDIOBJ stock = SelectObject(a, bitmap);
  ASSERT_NE(stock, nullptr);
  EXPECT_EQ(SelectObject(b, bitmap), nullptr);
  EXPECT_FALSE(DeleteObject(bitmap));
  EXPECT_EQ(SelectObject(a, stock), static_cast<HGDIOBJ>(bitmap));
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_FALSE(DeleteObject(bitmap)) << "a deleted handle finds nothing";
  EXPECT_TRUE(DeleteDC(a));
  EXPECT_TRUE(DeleteDC(b));
  EXPECT_FALSE(DeleteDC(a));
  EXPECT_FALSE(BitBlt(a, 0, 0, 1, 1, b, 0, 0, SRCCOPY));
}

TEST_F(Gdi, DamagedOrMissingBitmapsLoadAsNull) {
  EXPECT_EQ(LoadBitmapW(nullptr, MAKEINTRESOURCE(131)), nullptr);
  auto dib = vardel::res::background_bitmap();
  dib.resize(dib.size() / 2);  // the rows stop half way
  vardel::gwes::add_resource(WORD{2}, WORD{900}, dib);
  EXPECT_EQ(LoadBitmapW(nullptr, MAKEINTRESOURCE(900)), nullptr);
  auto huge = vardel::res::background_bitmap();
  huge[4] = 0xFF, huge[5] = 0xFF, huge[6] = 0xFF, huge[7] = 0x7F;  // width 2^31-1
  vardel::gwes::add_resource(WORD{2}, WORD{901}, huge);
  EXPECT_EQ(LoadBitmapW(nullptr, MAKEINTRESOURCE(901)), nullptr);
  vardel::fault::Scope faults;
  vardel::fault::arm("gwes.LoadBitmapW", E_OUTOFMEMORY);
  EXPECT_EQ(LoadBitmapW(nullptr, MAKEINTRESOURCE(130)), nullptr);
  EXPECT_NE(LoadBitmapW(nullptr, MAKEINTRESOURCE(130)), nullptr) << "only the armed use fails";
}

// A picture added to be drawn when needed is drawn once, by the first
// lookup, and then loads like any other; one replaced before it was looked
// up is never drawn.
TEST_F(Gdi, APictureAddedToBeDrawnWhenNeededIsDrawnOnceByTheFirstLookup) {
  int drawn = 0;
  vardel::gwes::add_resource(WORD{2}, WORD{902}, std::function([&] {
                               ++drawn;
                               return vardel::res::background_bitmap();
                             }));
  vardel::gwes::add_resource(WORD{2}, WORD{903}, std::function([&] {
                               ++drawn;
                               return std::vector<std::uint8_t>{};
                             }));
  vardel::gwes::add_resource(WORD{2}, WORD{903}, vardel::res::background_bitmap());
  EXPECT_EQ(drawn, 0);
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(902), MAKEINTRESOURCEW(2));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(drawn, 1);
  EXPECT_EQ(SizeofResource(nullptr, found), vardel::res::background_bitmap().size());
  HBITMAP picture = LoadBitmapW(nullptr, MAKEINTRESOURCE(902));
  EXPECT_NE(picture, nullptr);
  DeleteObject(picture);
  picture = LoadBitmapW(nullptr, MAKEINTRESOURCE(903));
  EXPECT_NE(picture, nullptr);
  DeleteObject(picture);
  EXPECT_EQ(drawn, 1);
}

HBRUSH g_label_brush;

INT_PTR label_dialog(HWND, UINT message, WPARAM wParam, LPARAM) {
  if (message != WM_CTLCOLORSTATIC) return FALSE;
  HDC dc = reinterpret_cast<HDC>(wParam);
  SetBkColor(dc, 0x0085380A);
  SetTextColor(dc, 0x00FFFFFF);
  return reinterpret_cast<INT_PTR>(g_label_brush);
}

TEST_F(Gdi, LabelColoursComeFromTheDialogsAnswer) {
  g_label_brush = CreateSolidBrush(0x0085380A);
  HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCE(106), RT_DIALOG);
  auto tmpl = static_cast<LPCDLGTEMPLATE>(LockResource(LoadResource(nullptr, res)));
  static vardel::gwes::LabelColors seen;
  static vardel::gwes::LabelColors button;
  DialogBoxIndirectParamW(
      nullptr, tmpl, nullptr,
      [](HWND h, UINT m, WPARAM w, LPARAM l) -> INT_PTR {
        if (m == WM_INITDIALOG) {
          seen = vardel::gwes::label_colors(GetDlgItem(h, 1007));
          EndDialog(h, 1);
          return TRUE;
        }
        return label_dialog(h, m, w, l);
      },
      0);
  EXPECT_TRUE(seen.custom);
  EXPECT_EQ(seen.background, 0x0085380Au);
  EXPECT_EQ(seen.text, 0x00FFFFFFu);
  EXPECT_EQ(seen.brush, 0x0085380Au);
  EXPECT_TRUE(DeleteObject(g_label_brush));
}

TEST(Resources, LookupByOrdinalNumberTextOrTextWithoutRegardToCase) {
  vardel::res::install();
  HRSRC marker = FindResourceW(nullptr, u"hi_res_aware", u"ceux");
  ASSERT_NE(marker, nullptr);
  EXPECT_EQ(SizeofResource(nullptr, marker), 2u);
  auto value = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, marker)));
  EXPECT_EQ(value[0] | value[1] << 8, 1);
  EXPECT_EQ(FindResourceW(nullptr, u"#106", RT_DIALOG),
            FindResourceW(nullptr, MAKEINTRESOURCE(106), RT_DIALOG));
  EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCE(106), RT_BITMAP), nullptr);
  EXPECT_EQ(FindResourceW(nullptr, nullptr, RT_BITMAP), nullptr);
}

}  // namespace
