// The headless front end's trace lines and box answers, driven through the
// program's own dialog template.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "host/frontends/frontend_headless.h"
#include "res/resources.h"

namespace {

using vardel::host::HeadlessFrontend;
using Proc = std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)>;

Proc* g_proc = nullptr;
INT_PTR trampoline(HWND h, UINT m, WPARAM w, LPARAM l) { return (*g_proc)(h, m, w, l); }

void run_dialog(HeadlessFrontend& fe, Proc proc) {
  vardel::res::install();
  vardel::gwes::set_frontend(&fe);
  g_proc = &proc;
  HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCE(106), RT_DIALOG);
  DialogBoxIndirectParamW(nullptr, static_cast<LPCDLGTEMPLATE>(LockResource(LoadResource(nullptr, res))),
                          nullptr, trampoline, 0);
  vardel::gwes::set_frontend(nullptr);
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

TEST(HeadlessTrace, LabelChangesAndBoxesGiveOneEscapedLineEach) {
  std::ostringstream trace;
  HeadlessFrontend fe(&trace, HeadlessFrontend::always(IDOK));
  std::thread job;
  run_dialog(fe, [&](HWND h, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m != WM_INITDIALOG) return FALSE;
    SetWindowTextW(GetDlgItem(h, 1007), u"1、通讯录    42%");
    ShowWindow(GetDlgItem(h, 1008), SW_HIDE);
    ShowWindow(GetDlgItem(h, 1008), SW_SHOWNORMAL);
    SetWindowTextW(GetDlgItem(h, 1001), u"button texts are not traced");
    job = std::thread([h] {
      MessageBoxW(h, u"　　Vardel手机版\r\n\"引号\" \\ tab\t", u"关于", MB_ICONINFORMATION);
      EndDialog(h, 1);
    });
    return TRUE;
  });
  job.join();
  EXPECT_EQ(lines(trace.str()),
            (std::vector<std::string>{
                "label 1007 text \"1、通讯录    42%\"",
                "label 1008 hide",
                "label 1008 show",
                "box \"关于\" \"　　Vardel手机版\\r\\n\\\"引号\\\" \\\\ tab\\t\" -> OK",
            }));
  EXPECT_EQ(fe.label_text(1007), u"1、通讯录    42%");
  EXPECT_TRUE(fe.label_visible(1008));
}

TEST(HeadlessTrace, LoneSurrogateIsWrittenAsReplacementNotAsBrokenUtf8) {
  EXPECT_EQ(HeadlessFrontend::quoted(std::u16string(u"a") + char16_t(0xD800) + u"b"), "\"a\xEF\xBF\xBD" "b\"");
  EXPECT_EQ(HeadlessFrontend::quoted(std::u16string(1, u'\x01')), "\"\\u0001\"");
}

TEST(HeadlessBoxes, ConcurrentBoxesAreAskedOneAtATimeAndEachLineIsWhole) {
  std::ostringstream trace;
  std::atomic<int> inside{0}, overlap{0};
  HeadlessFrontend fe(&trace, [&](std::u16string_view, std::u16string_view text, UINT) {
    if (++inside > 1) ++overlap;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    --inside;
    return text == u"restore" ? IDCANCEL : IDOK;
  });
  vardel::gwes::set_frontend(&fe);
  std::vector<std::thread> jobs;
  for (int i = 0; i < 4; ++i)
    jobs.emplace_back([i] { MessageBoxW(nullptr, i % 2 ? u"restore" : u"backup", u"警告", MB_OKCANCEL); });
  for (auto& j : jobs) j.join();
  vardel::gwes::set_frontend(nullptr);
  EXPECT_EQ(overlap.load(), 0);
  auto got = lines(trace.str());
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(std::count(got.begin(), got.end(), "box \"警告\" \"restore\" -> CANCEL"), 2);
  EXPECT_EQ(std::count(got.begin(), got.end(), "box \"警告\" \"backup\" -> OK"), 2);
}

TEST(HeadlessBoxes, TerminalAnswersConfirmationsAndPrintsPlainBoxes) {
  std::istringstream in("maybe\n  Cancel \nyes\n");
  std::ostringstream out;
  auto ask = HeadlessFrontend::ask(in, out);
  EXPECT_EQ(ask(u"完成", u"备份已经完成", MB_OK), IDOK);
  EXPECT_EQ(ask(u"警告", u"将通讯录恢复到手机中", MB_OKCANCEL), IDCANCEL) << "unclear replies ask again";
  EXPECT_EQ(ask(u"警告", u"开始备份", MB_OKCANCEL), IDOK);
  EXPECT_EQ(ask(u"警告", u"开始备份", MB_OKCANCEL), IDCANCEL) << "end of input refuses";
  EXPECT_NE(out.str().find("[完成] 备份已经完成\n"), std::string::npos);
}

TEST(HeadlessBoxes, ViewGoesThroughThePickerAndTheOpener) {
  std::ostringstream trace;
  HeadlessFrontend fe(&trace);
  std::filesystem::path opened;
  fe.set_opener([&](const std::filesystem::path& p) {
    opened = p;
    return true;
  });
  std::filesystem::path start;
  fe.set_picker([&](const std::filesystem::path& s) {
    start = s;
    return std::optional<std::filesystem::path>{};
  });
  EXPECT_FALSE(fe.open_file_dialog(nullptr, "/dev/card", {}));
  EXPECT_EQ(start, "/dev/card");
  EXPECT_TRUE(fe.shell_open("/dev/card/a \"b\".xml"));
  EXPECT_EQ(opened, "/dev/card/a \"b\".xml");
  EXPECT_EQ(trace.str(), "open \"/dev/card/a \\\"b\\\".xml\"\n");
}

}  // namespace
