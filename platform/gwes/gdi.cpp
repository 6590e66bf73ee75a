// The GDI subset: device contexts over 24-bit surfaces, bitmaps from the
// resource table, solid brushes, colours and BitBlt.
//
// Objects live in one table; handles are never reused, so a deleted handle
// finds nothing. Stock objects (the 1 x 1 bitmap a new memory context starts
// with, the white brush) are not counted and cannot be deleted.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <unordered_map>

#include "platform/core/fault.h"
#include "platform/gwes/window_table.h"

using namespace vardel::gwes;
using namespace vardel::gwes::detail;

namespace {

enum class ObjKind { bitmap, brush, dc };

struct Object {
  ObjKind kind = ObjKind::brush;
  bool stock = false;
  // bitmap
  std::shared_ptr<Image> image;
  std::uintptr_t selected_in = 0;
  // brush
  COLORREF color = 0;
  // device context: draws into `image` (a window's surface) or, for a
  // memory context, into the selected bitmap.
  bool memory = false;
  std::uintptr_t bitmap = 0;
  std::uintptr_t brush = 0;
  COLORREF bk = 0x00FFFFFF;
  COLORREF text = 0;
  int mode = OPAQUE;
};

struct Gdi {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, Object> objects;
  std::unordered_map<HWND, std::shared_ptr<Image>> painting;  // paint_window in progress
  std::unordered_map<const Image*, RECT> drawn;  // what BitBlt covered on those surfaces
  std::uintptr_t next = 0x40000;
  std::uintptr_t stock_bitmap = 0;
  std::uintptr_t stock_brush = 0;

  Gdi() {
    Object bmp;
    bmp.kind = ObjKind::bitmap;
    bmp.stock = true;
    bmp.image = std::make_shared<Image>(Image{1, 1, {0, 0, 0}});
    stock_bitmap = add(std::move(bmp));
    Object brush;
    brush.kind = ObjKind::brush;
    brush.stock = true;
    brush.color = 0x00FFFFFF;
    stock_brush = add(std::move(brush));
  }
  std::uintptr_t add(Object o) {
    std::uintptr_t h = next;
    next += 4;
    objects.emplace(h, std::move(o));
    return h;
  }
  Object* find(const void* h) {
    auto it = objects.find(reinterpret_cast<std::uintptr_t>(h));
    return it == objects.end() ? nullptr : &it->second;
  }
};

Gdi& gdi() {
  static Gdi* g = new Gdi;
  return *g;
}

template <typename H>
H handle(std::uintptr_t h) {
  return reinterpret_cast<H>(h);
}

std::shared_ptr<Image> blank(int w, int h) {
  auto img = std::make_shared<Image>();
  img->width = std::max(w, 0);
  img->height = std::max(h, 0);
  // The dialog background before the window paints: white, as on the phone.
  img->rgb.assign(static_cast<std::size_t>(img->width) * img->height * 3, 0xFF);
  return img;
}

// Under the gdi lock: the surface a context draws into.
Image* target_locked(Object& dc) {
  if (!dc.memory) return dc.image.get();
  Object* bmp = gdi().find(reinterpret_cast<void*>(dc.bitmap));
  return bmp ? bmp->image.get() : nullptr;
}

HDC new_dc(std::shared_ptr<Image> surface, bool memory) {
  std::lock_guard lock(gdi().mutex);
  Object dc;
  dc.kind = ObjKind::dc;
  dc.memory = memory;
  dc.image = std::move(surface);
  dc.bitmap = memory ? gdi().stock_bitmap : 0;
  dc.brush = gdi().stock_brush;
  std::uintptr_t h = gdi().add(std::move(dc));
  return handle<HDC>(h);
}

RECT client_of(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  return r;
}

std::uint32_t read32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// A device-independent bitmap as stored in a bitmap resource: the info
// header, the colour table for 8 bits or fewer, then the rows (bottom-up
// unless the height is negative), each padded to 4 bytes.
std::shared_ptr<Image> decode_dib(const std::uint8_t* p, std::size_t size) {
  if (size < 40) return nullptr;
  std::uint32_t header = read32(p);
  auto width = static_cast<std::int32_t>(read32(p + 4));
  auto height = static_cast<std::int32_t>(read32(p + 8));
  WORD bits = 0;
  std::memcpy(&bits, p + 14, 2);
  std::uint32_t compression = read32(p + 16);
  std::uint32_t used = read32(p + 32);
  bool top_down = height < 0;
  if (top_down) height = -height;
  if (header < 40 || header > size || compression != 0 || width <= 0 || height <= 0 ||
      width > 16384 || height > 16384)
    return nullptr;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return nullptr;
  std::size_t colours = bits <= 8 ? (used ? used : 1u << bits) : 0;
  if (colours > 256) return nullptr;
  std::size_t stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
  std::size_t pixels_at = header + colours * 4;
  if (pixels_at > size || stride * height > size - pixels_at) return nullptr;
  const std::uint8_t* palette = p + header;
  auto img = blank(width, height);
  for (int row = 0; row < height; ++row) {
    const std::uint8_t* src = p + pixels_at + stride * (top_down ? row : height - 1 - row);
    std::uint8_t* dst = img->rgb.data() + static_cast<std::size_t>(row) * width * 3;
    for (int x = 0; x < width; ++x) {
      std::uint8_t b, g, r;
      if (bits >= 24) {
        const std::uint8_t* px = src + x * (bits / 8);
        b = px[0], g = px[1], r = px[2];
      } else {
        unsigned per_byte = 8 / bits;
        unsigned shift = (per_byte - 1 - x % per_byte) * bits;
        unsigned index = (src[x / per_byte] >> shift) & ((1u << bits) - 1);
        if (index >= colours) index = 0;
        b = palette[index * 4], g = palette[index * 4 + 1], r = palette[index * 4 + 2];
      }
      dst[x * 3] = r, dst[x * 3 + 1] = g, dst[x * 3 + 2] = b;
    }
  }
  return img;
}

}  // namespace

namespace vardel::gwes {

std::uint32_t Image::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return 0;
  const std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
  return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}

int live_gdi_objects() {
  std::lock_guard lock(gdi().mutex);
  return static_cast<int>(std::count_if(gdi().objects.begin(), gdi().objects.end(),
                                        [](const auto& kv) { return !kv.second.stock; }));
}

Image paint_window(HWND window, RECT* painted) {
  auto surface = blank(client_of(window).right, client_of(window).bottom);
  {
    std::lock_guard lock(gdi().mutex);
    gdi().painting[window] = surface;
  }
  run_on_owner(window, [=] { return dispatch(window, WM_PAINT, 0, 0); });
  std::lock_guard lock(gdi().mutex);
  gdi().painting.erase(window);
  auto drawn = gdi().drawn.find(surface.get());
  if (painted) *painted = drawn == gdi().drawn.end() ? RECT{} : drawn->second;
  if (drawn != gdi().drawn.end()) gdi().drawn.erase(drawn);
  return *surface;
}

LabelColors label_colors(HWND control) {
  LabelColors colors;
  HWND parent = GetParent(control);
  if (!parent) return colors;
  HDC dc = new_dc(blank(0, 0), false);
  LRESULT answer = run_on_owner(parent, [=] {
                     return dispatch(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                     reinterpret_cast<LPARAM>(control));
                   }).value_or(0);
  {
    std::lock_guard lock(gdi().mutex);
    Object* d = gdi().find(dc);
    Object* brush = gdi().find(reinterpret_cast<void*>(answer));
    if (d && brush && brush->kind == ObjKind::brush) {
      colors.custom = true;
      colors.brush = brush->color;
      colors.text = d->text;
      colors.background = d->bk;
      colors.bk_mode = d->mode;
    }
  }
  DeleteDC(dc);
  return colors;
}

}  // namespace vardel::gwes

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT lpPaint) {
  if (!lpPaint || !IsWindow(hwnd)) return nullptr;
  RECT client = client_of(hwnd);
  std::shared_ptr<Image> surface;
  {
    std::lock_guard lock(gdi().mutex);
    auto it = gdi().painting.find(hwnd);
    if (it != gdi().painting.end()) surface = it->second;
  }
  if (!surface) surface = blank(client.right, client.bottom);
  std::memset(lpPaint, 0, sizeof *lpPaint);
  lpPaint->hdc = new_dc(std::move(surface), false);
  lpPaint->rcPaint = client;
  return lpPaint->hdc;
}

BOOL EndPaint(HWND /*hWnd*/, const PAINTSTRUCT* lpPaint) {
  if (!lpPaint) return FALSE;
  return DeleteDC(lpPaint->hdc);
}

HDC GetDC(HWND hWnd) {
  RECT r = client_of(hWnd);
  if (!hWnd)
    r = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  else if (!IsWindow(hWnd))
    return nullptr;
  return new_dc(blank(r.right, r.bottom), false);
}

int ReleaseDC(HWND /*hWnd*/, HDC hDC) { return DeleteDC(hDC); }

HDC CreateCompatibleDC(HDC /*hdc*/) {
  if (FAILED(vardel::fault::check("gwes.CreateCompatibleDC"))) return nullptr;
  return new_dc(nullptr, true);
}

HBITMAP LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName) {
  if (FAILED(vardel::fault::check("gwes.LoadBitmapW"))) return nullptr;
  HRSRC res = FindResourceW(hInstance, lpBitmapName, RT_BITMAP);
  if (!res) return nullptr;
  auto data = static_cast<const std::uint8_t*>(LockResource(LoadResource(hInstance, res)));
  auto img = data ? decode_dib(data, SizeofResource(hInstance, res)) : nullptr;
  if (!img) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::lock_guard lock(gdi().mutex);
  Object bmp;
  bmp.kind = ObjKind::bitmap;
  bmp.image = std::move(img);
  return handle<HBITMAP>(gdi().add(std::move(bmp)));
}

HBRUSH CreateSolidBrush(COLORREF color) {
  if (FAILED(vardel::fault::check("gwes.CreateSolidBrush"))) return nullptr;
  std::lock_guard lock(gdi().mutex);
  Object brush;
  brush.kind = ObjKind::brush;
  brush.color = color & 0x00FFFFFF;
  return handle<HBRUSH>(gdi().add(std::move(brush)));
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
  std::lock_guard lock(gdi().mutex);
  Object* dc = gdi().find(hdc);
  Object* obj = gdi().find(h);
  if (!dc || dc->kind != ObjKind::dc || !obj) return nullptr;
  auto id = reinterpret_cast<std::uintptr_t>(h);
  auto dc_id = reinterpret_cast<std::uintptr_t>(hdc);
  if (obj->kind == ObjKind::brush) {
    std::uintptr_t previous = dc->brush;
    dc->brush = id;
    return handle<HGDIOBJ>(previous);
  }
  if (obj->kind != ObjKind::bitmap || !dc->memory) return nullptr;
  // A bitmap can be selected into one memory context at a time.
  if (!obj->stock && obj->selected_in && obj->selected_in != dc_id) return nullptr;
  std::uintptr_t previous = dc->bitmap;
  if (Object* old = gdi().find(reinterpret_cast<void*>(previous))) old->selected_in = 0;
  dc->bitmap = id;
  if (!obj->stock) obj->selected_in = dc_id;
  return handle<HGDIOBJ>(previous);
}

BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  if (rop != SRCCOPY) return FALSE;  // the program copies only
  std::lock_guard lock(gdi().mutex);
  Object* dst_dc = gdi().find(hdc);
  Object* src_dc = gdi().find(hdcSrc);
  if (!dst_dc || !src_dc || dst_dc->kind != ObjKind::dc || src_dc->kind != ObjKind::dc)
    return FALSE;
  Image* dst = target_locked(*dst_dc);
  Image* src = target_locked(*src_dc);
  if (!dst || !src) return FALSE;
  // Only pixels inside both surfaces are copied; a rectangle larger than the
  // source leaves the rest of the destination as it was.
  auto& painting = gdi().painting;
  if (std::any_of(painting.begin(), painting.end(),
                  [dst](const auto& p) { return p.second.get() == dst; })) {
    // A window being painted: remember what was drawn on it.
    RECT r{std::max({x, x - x1, 0}), std::max({y, y - y1, 0}),
           std::min({x + cx, x - x1 + src->width, dst->width}),
           std::min({y + cy, y - y1 + src->height, dst->height})};
    if (r.left < r.right && r.top < r.bottom) {
      auto [it, added] = gdi().drawn.try_emplace(dst, r);
      if (!added)
        it->second =
            RECT{std::min(it->second.left, r.left), std::min(it->second.top, r.top),
                 std::max(it->second.right, r.right), std::max(it->second.bottom, r.bottom)};
    }
  }
  for (int row = 0; row < cy; ++row) {
    int sy = y1 + row, dy = y + row;
    if (sy < 0 || sy >= src->height || dy < 0 || dy >= dst->height) continue;
    for (int col = 0; col < cx; ++col) {
      int sx = x1 + col, dx = x + col;
      if (sx < 0 || sx >= src->width || dx < 0 || dx >= dst->width) continue;
      std::memcpy(dst->rgb.data() + (static_cast<std::size_t>(dy) * dst->width + dx) * 3,
                  src->rgb.data() + (static_cast<std::size_t>(sy) * src->width + sx) * 3, 3);
    }
  }
  return TRUE;
}

BOOL DeleteObject(HGDIOBJ ho) {
  std::lock_guard lock(gdi().mutex);
  Object* obj = gdi().find(ho);
  if (!obj || obj->kind == ObjKind::dc) return FALSE;
  if (obj->stock) return TRUE;
  if (obj->kind == ObjKind::bitmap && obj->selected_in) return FALSE;
  gdi().objects.erase(reinterpret_cast<std::uintptr_t>(ho));
  return TRUE;
}

BOOL DeleteDC(HDC hdc) {
  std::lock_guard lock(gdi().mutex);
  Object* dc = gdi().find(hdc);
  if (!dc || dc->kind != ObjKind::dc) return FALSE;
  if (Object* bmp = gdi().find(reinterpret_cast<void*>(dc->bitmap))) bmp->selected_in = 0;
  gdi().objects.erase(reinterpret_cast<std::uintptr_t>(hdc));
  return TRUE;
}

COLORREF SetBkColor(HDC hdc, COLORREF color) {
  std::lock_guard lock(gdi().mutex);
  Object* dc = gdi().find(hdc);
  if (!dc || dc->kind != ObjKind::dc) return CLR_INVALID;
  return std::exchange(dc->bk, color & 0x00FFFFFF);
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  std::lock_guard lock(gdi().mutex);
  Object* dc = gdi().find(hdc);
  if (!dc || dc->kind != ObjKind::dc) return CLR_INVALID;
  return std::exchange(dc->text, color & 0x00FFFFFF);
}

int SetBkMode(HDC hdc, int mode) {
  std::lock_guard lock(gdi().mutex);
  Object* dc = gdi().find(hdc);
  if (!dc || dc->kind != ObjKind::dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  return std::exchange(dc->mode, mode);
}
