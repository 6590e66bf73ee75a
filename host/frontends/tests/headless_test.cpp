// The headless front end's trace lines and box answers, driven through the
// program's own dialog template.
#include <gtest/gtest.h>

#include <future>
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
  DialogBoxIndirectParamW(nullptr,
                          static_cast<LPCDLGTEMPLATE>(LockResource(LoadResource(nullptr, res))),
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
  EXPECT_EQ(HeadlessFrontend::quoted(std::u16string(u"a") + char16_t(0xD800) + u"b"),
            "\"a\xEF\xBF\xBD"
            "b\"");
  EXPECT_EQ(HeadlessFrontend::quoted(std::u16string(1, u'\x01')), "\"\\u0001\"");
}

TEST(HeadlessBoxes, ABoxHeldOpenByOneJobDoesNotHoldUpAnother) {
  // A job's completion box may stay open while the window shows About: the
  // second box is answered at once and each trace line stays whole.
  std::ostringstream trace;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<void> held;
  HeadlessFrontend fe(&trace, [&](std::u16string_view, std::u16string_view text, UINT) {
    if (text == u"备份已经完成") {
      held.set_value();
      released.wait();
    }
    return IDOK;
  });
  vardel::gwes::set_frontend(&fe);
  std::thread job([] { MessageBoxW(nullptr, u"备份已经完成", u"完成", MB_OK); });
  held.get_future().wait();
  auto about = std::async(std::launch::async, [] {
    return MessageBoxW(nullptr, u"关于", u"关于", MB_ICONINFORMATION);
  });
  ASSERT_EQ(about.wait_for(std::chrono::seconds(5)), std::future_status::ready)
      << "the held box blocked another";
  EXPECT_EQ(about.get(), IDOK);
  release.set_value();
  job.join();
  vardel::gwes::set_frontend(nullptr);
  EXPECT_EQ(lines(trace.str()), (std::vector<std::string>{"box \"关于\" \"关于\" -> OK",
                                                          "box \"完成\" \"备份已经完成\" -> OK"}));
}

TEST(HeadlessBoxes, TerminalPromptsFromTwoThreadsDoNotInterleave) {
  std::istringstream in("ok\ncancel\n");
  std::ostringstream out;
  auto ask = HeadlessFrontend::ask(in, out);
  std::atomic<int> oks{0}, cancels{0};
  std::vector<std::thread> jobs;
  for (int i = 0; i < 2; ++i)
    jobs.emplace_back([&] { (ask(u"警告", u"继续", MB_OKCANCEL) == IDOK ? oks : cancels)++; });
  for (auto& j : jobs) j.join();
  EXPECT_EQ(oks.load(), 1);
  EXPECT_EQ(cancels.load(), 1);
  const std::string prompt = "[警告] 继续\nOK or Cancel? [ok/cancel] ";
  EXPECT_EQ(out.str(), prompt + prompt);
}

TEST(HeadlessBoxes, TerminalAnswersConfirmationsAndPrintsPlainBoxes) {
  std::istringstream in("maybe\n  Cancel \nyes\n");
  std::ostringstream out;
  auto ask = HeadlessFrontend::ask(in, out);
  EXPECT_EQ(ask(u"完成", u"备份已经完成", MB_OK), IDOK);
  EXPECT_EQ(ask(u"警告", u"将通讯录恢复到手机中", MB_OKCANCEL), IDCANCEL)
      << "unclear replies ask again";
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
  vardel::host::FileFilter seen;
  fe.set_picker([&](const std::filesystem::path& s, const vardel::host::FileFilter& f) {
    start = s;
    seen = f;
    return std::optional<std::filesystem::path>{};
  });
  EXPECT_FALSE(fe.open_file_dialog(nullptr, "/dev/card", {{u"All Files (*.*)", u"*.*"}}));
  EXPECT_EQ(start, "/dev/card");
  EXPECT_EQ(seen, (vardel::host::FileFilter{{u"All Files (*.*)", u"*.*"}}));
  EXPECT_TRUE(fe.shell_open("/dev/card/a \"b\".xml"));
  EXPECT_EQ(opened, "/dev/card/a \"b\".xml");
  EXPECT_EQ(trace.str(), "open \"/dev/card/a \\\"b\\\".xml\"\n");
}

}  // namespace
