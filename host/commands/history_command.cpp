// `vardel history`: every message and contact version ever backed up, from
// every phone, in one database (history.db in the backup folder unless
// --history names another) — adding files, searching, listing, exporting.
#include <iostream>
#include <memory>
#include <regex>
#include <unordered_map>

#include "host/backup_files.h"
#include "host/commands/commands.h"
#include "host/commands/print_json.h"
#include "host/device_tools.h"
#include "host/history/history_add.h"
#include "host/history/history_export.h"
#include "host/history/history_store.h"
#include "host/host_files.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

struct HistoryOptions {
  std::string history;
  std::vector<std::string> files;
  std::string text;
  std::string number, since, until;
  bool json = false;
  std::string output;
  std::string format = "vardel";
};

// The history file: --history, else the device's backup folder's.
fs::path history_file(const HistoryOptions& o) {
  if (!o.history.empty()) return o.history;
  return backup_folder() / "history.db";
}

// The device is needed for the default history and for adding the backup
// folder; its lock when the device's own history is written.
Needs add_needs(const HistoryOptions& o) {
  const bool device = o.history.empty() || o.files.empty();
  return Needs{device ? Needs::Device::existing : Needs::Device::none, o.history.empty()};
}
Needs read_needs(const HistoryOptions& o) { return o.history.empty() ? kReadsDevice : kNoDevice; }

void check_date(const std::string& date, const char* option) {
  static const std::regex kDate(R"(\d{4}-\d{2}-\d{2})");
  if (!date.empty() && !std::regex_match(date, kDate))
    throw UsageError(std::string(option) + " takes a date as 2009-04-23, not " + date);
}

history::MessageQuery query_of(const HistoryOptions& o) {
  check_date(o.since, "--since");
  check_date(o.until, "--until");
  history::MessageQuery q;
  q.text = o.text;
  if (!o.number.empty()) q.number = o.number;
  if (!o.since.empty()) q.since = o.since;
  if (!o.until.empty()) q.until = o.until;
  return q;
}

// What `add` takes from a folder: its files, in name order (dated copies
// then come oldest first), each told by its content.
std::vector<fs::path> files_in(const fs::path& dir) {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file() && e.path().extension() != ".db" && e.path().extension() != ".xsl")
      out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

int run_add(const HistoryOptions& o) {
  std::vector<fs::path> given(o.files.begin(), o.files.end());
  const fs::path file = history_file(o);
  if (given.empty()) given.push_back(backup_folder());
  std::vector<std::pair<fs::path, bool>> files;  // bool: named on its own
  for (const fs::path& g : given) {
    std::error_code ec;
    if (fs::is_directory(g, ec)) {
      for (const fs::path& f : files_in(g)) files.emplace_back(f, false);
    } else if (fs::is_regular_file(g, ec)) {
      files.emplace_back(g, true);
    } else {
      throw UsageError(g.string() + ": no such file or folder");
    }
  }
  history::HistoryStore store(file);
  int failed = 0;
  for (const auto& [f, named] : files) {
    try {
      const history::AddResult r = history::add_file(store, f, read_contacts_backup);
      if (r.kind == history::FileKind::unknown) {
        if (named) {
          std::cerr << "vardel: " << f.string() << ": not a backup, SMS backup or vCard file\n";
          ++failed;
        }
        continue;
      }
      if (r.kind == history::FileKind::messages_backup || r.kind == history::FileKind::android_sms)
        std::cout << "added " << r.messages_added << " messages (" << r.messages_held
                  << " already held) from " << f.filename().string() << "\n";
      else
        std::cout << "added " << r.contacts_added << " contact versions (" << r.contacts_held
                  << " already held) from " << f.filename().string() << "\n";
    } catch (const history::AddError& e) {
      std::cerr << "vardel: " << e.what() << " (nothing added from it)\n";
      ++failed;
    }
  }
  return failed == 0 ? 0 : 1;
}

nlohmann::json message_json(const history::HistoryMessage& m, const std::string& name) {
  return {{"direction", m.received ? "received" : "sent"},
          {"number", m.number},
          {"name", name},
          {"time", m.time},
          {"text", m.text},
          {"first_file", m.first_file},
          {"last_file", m.last_file}};
}

int run_search(const HistoryOptions& o) {
  history::HistoryStore store(history_file(o));
  const auto found = store.messages(query_of(o));
  nlohmann::json all = nlohmann::json::array();
  for (const history::HistoryMessage& m : found) {
    const std::string name = store.name_for(m.number);
    if (o.json) {
      all.push_back(message_json(m, name));
      continue;
    }
    std::cout << (m.time.empty() ? "(no time)" : m.time) << "  " << (m.received ? "from " : "to ")
              << (name.empty() ? m.number : name + " <" + m.number + ">") << ": " << m.text << "\n";
  }
  if (o.json)
    print_json(all);
  else if (found.empty())
    std::cout << "no message found\n";
  return 0;
}

int run_conversations(const HistoryOptions& o) {
  history::HistoryStore store(history_file(o));
  nlohmann::json all = nlohmann::json::array();
  for (const history::Conversation& c : store.conversations()) {
    if (o.json) {
      all.push_back({{"number", c.number},
                     {"name", c.name},
                     {"count", c.count},
                     {"first", c.first},
                     {"last", c.last}});
      continue;
    }
    std::cout << c.number << "  " << (c.name.empty() ? "-" : c.name) << "  " << c.count
              << (c.count == 1 ? " message  " : " messages  ") << c.first << " .. " << c.last
              << "\n";
  }
  if (o.json) print_json(all);
  return 0;
}

int run_contacts(const HistoryOptions& o) {
  history::HistoryStore store(history_file(o));
  nlohmann::json all = nlohmann::json::array();
  for (const history::ContactHistory& c : store.contacts()) {
    if (o.json) {
      all.push_back({{"name", c.name},
                     {"versions", c.versions},
                     {"first_seen", c.first_seen},
                     {"last_seen", c.last_seen}});
      continue;
    }
    std::cout << (c.name.empty() ? "(no name)" : c.name) << "  " << c.versions
              << (c.versions == 1 ? " version" : " versions") << "\n";
  }
  if (o.json) print_json(all);
  return 0;
}

int run_export(const HistoryOptions& o) {
  const auto format = history::export_format(o.format);
  if (!format) throw UsageError("--to takes vardel, android, csv or json, not " + o.format);
  history::HistoryStore store(history_file(o));
  HistoryOptions all = o;
  all.text.clear();
  const auto messages = store.messages(query_of(all));
  HostOutput out(o.output);
  // Named from the newest contact version the history holds for the
  // number, asked once per number.
  std::unordered_map<std::string, std::string> names;
  const int n = history::write_messages(messages, *format, out.get(), [&](const std::string& k) {
    auto found = names.find(k);
    if (found == names.end()) found = names.emplace(k, store.name_for(k)).first;
    return found->second;
  });
  out.commit();
  std::cout << "wrote " << n << " messages to " << o.output << "\n";
  return 0;
}

}  // namespace

void add_history_command(CommandLine& cli) {
  auto o = std::make_shared<HistoryOptions>();
  CLI::App* history =
      cli.group("history", "every message and contact ever backed up, from every phone");
  auto common = [o](CLI::App* c) {
    c->add_option("--history", o->history,
                  "the history file (default: history.db in the device's backup folder)");
  };
  CLI::App* add = cli.command(
      history, "add", "add backups, Android SMS backups and vCard files to the history",
      [o] { return add_needs(*o); }, [o] { return run_add(*o); });
  add->add_option("FILE", o->files,
                  "files, or folders whose files are added (default: the device's backup folder)");
  common(add);
  CLI::App* search = cli.command(
      history, "search", "find messages by their text, newest first",
      [o] { return read_needs(*o); }, [o] { return run_search(*o); });
  search->add_option("TEXT", o->text, "words, or two or more Chinese characters")->required();
  for (CLI::App* c : {search}) {
    c->add_option("--number", o->number, "only messages from or to this number");
    c->add_option("--since", o->since, "only messages from this day on (2009-04-23)");
    c->add_option("--until", o->until, "only messages up to this day");
  }
  CLI::App* conversations = cli.command(
      history, "conversations", "one line per number: name, count, first and last",
      [o] { return read_needs(*o); }, [o] { return run_conversations(*o); });
  CLI::App* contacts = cli.command(
      history, "contacts", "every contact and how many versions", [o] { return read_needs(*o); },
      [o] { return run_contacts(*o); });
  for (CLI::App* c : {search, conversations, contacts}) {
    c->add_flag("--json", o->json, "print the result as JSON");
    common(c);
  }
  CLI::App* out = cli.command(
      history, "export", "write the history's messages to a file", [o] { return read_needs(*o); },
      [o] { return run_export(*o); });
  out->add_option("-o,--output", o->output, "the file to write")->required();
  out->add_option("--to", o->format, "vardel (a 短信.xml backup), android, csv or json");
  out->add_option("--number", o->number, "only messages from or to this number");
  out->add_option("--since", o->since, "only messages from this day on (2009-04-23)");
  common(out);
}

}  // namespace vardel::host
