// `vardel history`: every message and contact version ever backed up, from
// every phone, in one database (history.db in the backup folder unless
// --history names another) — adding files, searching, listing, exporting.
#include <iostream>
#include <map>
#include <memory>
#include <regex>
#include <unordered_map>

#include "host/device/backup_files.h"
#include "host/commands/commands.h"
#include "host/commands/print_json.h"
#include "host/device/device_tools.h"
#include "host/history/history_add.h"
#include "host/history/history_export.h"
#include "host/history/history_store.h"
#include "host/device/host_files.h"
#include "host/run/progress_bars.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

struct HistoryOptions {
  std::string history;
  std::vector<std::string> files;
  std::string text;
  std::string number, since, until;
  bool json = false;
  size_t limit = 0;
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
  q.limit = o.limit;
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
  CountsLine line;
  size_t done = 0;
  for (const auto& [f, named] : files) {
    ++done;
    const std::string head = "history: " + std::to_string(done) + "/" +
                             std::to_string(files.size()) + " " + f.filename().string();
    line.show(head, true);
    try {
      // Read as every input is: the device's files through its root.
      const history::AddResult r = history::add_bytes(
          store, f, read_input_file(f), read_contacts_backup_bytes,
          [&](int records) { line.show(head + ": " + std::to_string(records) + " records"); });
      line.clear();
      if (r.kind == history::FileKind::unknown) {
        if (named) {
          std::cerr << "vardel: "
                    << tools::wrong_file(f.string(), tools::what_file(tools::file_head(f))) << "\n";
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
      line.clear();
      std::cerr << "vardel: " << e.what() << " (nothing added from it)\n";
      ++failed;
    } catch (const UsageError& e) {
      // Refused as it was opened: a link out of the device, a FIFO.
      line.clear();
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
  std::map<std::string, std::string> names;  // by number: hits share few
  for (const history::HistoryMessage& m : found) {
    auto known = names.find(m.number);
    if (known == names.end()) known = names.emplace(m.number, store.name_for(m.number)).first;
    const std::string& name = known->second;
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

// What a version changed from the one before: "+Name: value" for a new
// field, "-Name: value" for one gone, "Name: old -> new" for another value.
std::vector<std::string> changes(const history::ContactVersion& before,
                                 const history::ContactVersion& after) {
  std::map<std::string, std::string> old(before.fields.begin(), before.fields.end());
  std::vector<std::string> out;
  for (const auto& [name, value] : after.fields) {
    const auto was = old.find(name);
    if (was == old.end())
      out.push_back("+" + name + ": " + value);
    else if (was->second != value)
      out.push_back(name + ": " + was->second + " -> " + value);
    if (was != old.end()) old.erase(was);
  }
  for (const auto& [name, value] : old) out.push_back("-" + name + ": " + value);
  return out;
}

int run_contacts(const HistoryOptions& o) {
  history::HistoryStore store(history_file(o));
  nlohmann::json all = nlohmann::json::array();
  for (const history::ContactHistory& c : store.contacts()) {
    if (o.json) {
      nlohmann::json versions = nlohmann::json::array();
      for (const history::ContactVersion& v : c.versions) {
        nlohmann::json fields = nlohmann::json::object();
        for (const auto& [name, value] : v.fields) fields[name] = value;
        versions.push_back({{"fields", fields},
                            {"first_file", v.first_file},
                            {"first_seen", v.first_seen},
                            {"last_file", v.last_file},
                            {"last_seen", v.last_seen}});
      }
      all.push_back({{"name", c.name},
                     {"versions", versions},
                     {"first_seen", c.first_seen},
                     {"last_seen", c.last_seen}});
      continue;
    }
    const size_t n = c.versions.size();
    std::cout << (c.name.empty() ? "(no name)" : c.name) << "  " << n
              << (n == 1 ? " version" : " versions") << "\n";
    for (size_t i = 0; i < n; ++i) {
      const history::ContactVersion& v = c.versions[i];
      std::cout << "  " << v.first_seen << " .. " << v.last_seen << "  " << v.last_file << "\n";
      std::vector<std::string> lines;
      if (i == 0)
        for (const auto& [name, value] : v.fields) lines.push_back(name + ": " + value);
      else
        lines = changes(c.versions[i - 1], v);
      for (const std::string& line : lines) std::cout << "    " << line << "\n";
    }
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
  size_t replaced = 0;
  const int n = history::write_messages(
      messages, *format, out.get(),
      [&](const std::string& k) {
        auto found = names.find(k);
        if (found == names.end()) found = names.emplace(k, store.name_for(k)).first;
        return found->second;
      },
      &replaced);
  out.commit();
  if (replaced > 0)
    std::cerr << "vardel: " << o.output << ": " << tools::replaced_warning(replaced) << "\n";
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
  search->add_option("--limit", o->limit, "only the newest N messages found (default: all)")
      ->check(CLI::PositiveNumber);
  CLI::App* conversations = cli.command(
      history, "conversations", "one line per number: name, count, first and last",
      [o] { return read_needs(*o); }, [o] { return run_conversations(*o); });
  CLI::App* contacts = cli.command(
      history, "contacts",
      "every contact with its versions: when each was seen and what it changed",
      [o] { return read_needs(*o); }, [o] { return run_contacts(*o); });
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
