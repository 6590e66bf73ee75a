// `vardel history view`: the history in the browser, served from this
// process on the loopback address until Ctrl-C or half an hour without a
// request. It only reads the history.
#include <csignal>
#include <iostream>
#include <memory>

#include "host/device/backup_files.h"
#include "host/commands/commands.h"
#include "host/device/device_tools.h"
#include "host/history/history_store.h"
#include "host/history_view/view_server.h"
#include "platform/gwes/frontend.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

struct ViewOptions {
  std::string history;
  bool no_browser = false;
};

std::atomic<bool> g_stop{false};
extern "C" void on_stop_signal(int) { g_stop = true; }

int run_view(const ViewOptions& o) {
  const fs::path file = o.history.empty() ? backup_folder() / "history.db" : fs::path(o.history);
  std::error_code ec;
  if (!fs::is_regular_file(file, ec))
    throw UsageError(file.string() +
                     ": there is no history there (`vardel history add` makes one)");
  history::HistoryStore store(file, history::HistoryStore::Access::read_only);
  history_view::ViewServer server(store);
  struct sigaction stop {};
  stop.sa_handler = on_stop_signal;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);
  const std::string url = server.url();
  if (o.no_browser || !gwes::spawn_opener(url)) {
    if (!o.no_browser) std::cout << "no browser could be started; open this address:\n";
    std::cout << url << std::endl;
  } else {
    std::cout << "the history is open in the browser at " << url << std::endl;
  }
  std::cout << "(Ctrl-C ends; so does half an hour without a visit)" << std::endl;
  const bool idle = server.serve(g_stop, std::chrono::minutes(30));
  std::cout << (idle ? "no visit for half an hour: ended\n" : "ended\n");
  return 0;
}

}  // namespace

void add_history_view_command(CommandLine& cli) {
  auto o = std::make_shared<ViewOptions>();
  CLI::App* history =
      cli.group("history", "every message and contact ever backed up, from every phone");
  CLI::App* view = cli.command(
      history, "view", "read the history in the browser: conversations, search, contacts",
      [o] { return o->history.empty() ? kReadsDevice : kNoDevice; }, [o] { return run_view(*o); });
  view->add_option("--history", o->history,
                   "the history file (default: history.db in the device's backup folder)");
  view->add_flag("--no-browser", o->no_browser, "print the address instead of opening it");
}

}  // namespace vardel::host
