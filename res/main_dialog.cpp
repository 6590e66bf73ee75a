// Dialog 106, the main window: caption bar with OK, four buttons and the two
// progress lines. Positions are dialog units; the window lays the controls
// out again in pixels when it opens.
#include "res/byte_writer.h"
#include "res/resources.h"
#include "window_shared/resource.h"

namespace vardel::res {
namespace {

constexpr std::uint16_t kButtonAtom = 0x0080;
constexpr std::uint16_t kStaticAtom = 0x0082;

struct Control {
  std::uint16_t id;
  std::uint16_t atom;
  std::u16string_view text;
  std::uint32_t style;
  std::int16_t x, y, cx, cy;
};

// WS_CHILD | WS_VISIBLE | WS_TABSTOP, BS_PUSHBUTTON
constexpr std::uint32_t kButtonStyle = 0x50010000;
// WS_CHILD | WS_VISIBLE | WS_GROUP, SS_LEFT
constexpr std::uint32_t kLabelStyle = 0x50020000;

constexpr Control kControls[] = {
    {IDC_BACKUP, kButtonAtom, u"备份", kButtonStyle, 14, 87, 45, 14},
    {IDC_RESTORE, kButtonAtom, u"恢复通讯录", kButtonStyle, 62, 87, 46, 14},
    {IDC_VIEW, kButtonAtom, u"查看", kButtonStyle, 14, 103, 45, 14},
    {IDC_ABOUT, kButtonAtom, u"关于", kButtonStyle, 62, 103, 46, 14},
    {IDC_CONTACTS_PROGRESS, kStaticAtom, u"", kLabelStyle, 87, 37, 10, 8},
    {IDC_MESSAGES_PROGRESS, kStaticAtom, u"", kLabelStyle, 84, 54, 12, 10},
};

}  // namespace

std::vector<std::uint8_t> main_dialog_template() {
  ByteWriter w;
  w.u32(0x80C00040);  // WS_POPUP | WS_CAPTION | DS_SETFONT
  w.u32(0x80000000);  // WS_EX_CAPTIONOKBTN
  w.u16(static_cast<std::uint16_t>(std::size(kControls)));
  w.i16(0);
  w.i16(0);
  w.i16(136);
  w.i16(130);
  w.u16(0);  // no menu
  w.u16(0);  // the standard dialog class
  w.text(u"Vardel手机版");
  w.u16(10);
  w.text(u"宋体");
  for (const Control& c : kControls) {
    w.align(4);
    w.u32(c.style);
    w.u32(0);
    w.i16(c.x);
    w.i16(c.y);
    w.i16(c.cx);
    w.i16(c.cy);
    w.u16(c.id);
    w.u16(0xFFFF);
    w.u16(c.atom);
    w.text(c.text);
    w.u16(0);  // no creation data
  }
  return w.take();
}

}  // namespace vardel::res
