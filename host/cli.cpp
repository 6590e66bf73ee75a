// The `vardel` command line: options, device tools, and the window commands.
#include "host/cli.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <iostream>
#include <sstream>

#include "host/contacts_json.h"
#include "host/data_files.h"
#include "host/device_tools.h"
#include "host/messages_json.h"
#include "host/pages.h"
#include "host/session.h"
#include "host/tools/render.h"
#include "platform/core/device.h"
#include "platform/mapi/message_db.h"
#include "platform/poom/contact_db.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

struct Options {
  std::optional<std::string> device;
  std::string screen;
  bool trace = false;
  bool yes = false;
  bool demo = false;
  bool tags = false;
  std::string format = "json";
  int vcard_version = 4;
  std::string file;
  std::string output;
};

void apply_screen(const std::string& screen) {
  if (screen.empty()) return;
  int w = 0, h = 0;
  char x = 0, extra = 0;
  std::istringstream in(screen);
  if (!(in >> w >> x >> h) || (x != 'x' && x != 'X') || (in >> extra) || w < 64 || h < 64 ||
      w > 4096 || h > 4096)
    throw UsageError("--screen wants WIDTHxHEIGHT, e.g. 240x320 (got \"" + screen + "\")");
  device::set_screen(w, h);
}

void open_existing_device(const Options& o) {
  const fs::path folder = choose_device_folder(o.device);
  open_device(folder);
  std::error_code ec;
  if (!fs::is_directory(device::system_dir(), ec))
    throw UsageError(folder.string() +
                     " is not a device (no .device folder; run `vardel device init`)");
}

// The window started from the desktop menu on a first run: the default
// device (no --device, no VARDEL_DEVICE) is made empty rather than refused,
// since nobody would see the refusal.
void open_device_for_window(const Options& o) {
  const char* env = std::getenv("VARDEL_DEVICE");
  const bool chosen = (o.device && !o.device->empty()) || (env != nullptr && *env != '\0');
  std::error_code ec;
  if (!chosen && !fs::exists(choose_device_folder(o.device), ec))
    init_device(choose_device_folder(o.device));
  open_existing_device(o);
}

void print_json(const nlohmann::json& j) {
  std::cout << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace

int run_cli(int argc, char** argv) {
  CLI::App app{"Vardel: back up a phone's contacts and SMS messages to its storage card", "vardel"};
  Options o;
  app.add_option("--device", o.device,
                 "device folder (default $VARDEL_DEVICE, else ~/.local/share/vardel/device)");
  app.add_option("--screen", o.screen, "screen size WxH (default 240x320)");
  app.add_flag("--trace", o.trace, "write every label change and box to standard error");
  app.require_subcommand(0, 1);

  auto* gui = app.add_subcommand("gui", "open the window");
  auto* backup = app.add_subcommand("backup", "tap \"备份\": back up contacts and messages");
  backup->add_flag("--yes,-y", o.yes, "answer the confirmation with OK");
  auto* restore =
      app.add_subcommand("restore", "tap \"恢复通讯录\": restore contacts from the backup");
  restore->add_flag("--yes,-y", o.yes, "answer the confirmation with OK");
  auto* view = app.add_subcommand(
      "view",
      "tap \"查看\": open a file of the backup folder (a backup file as its rendered page)");
  view->add_option("FILE", o.file,
                   "file name in the backup folder, or a path (asked when not given)");
  auto* render =
      app.add_subcommand("render", "render a backup file through its stylesheet into an HTML page");
  render->add_option("FILE", o.file, "backup XML file (contacts or messages)")->required();
  render->add_option(
      "-o,--output", o.output,
      "the page to write (default: the page `view` opens, in ~/.cache/vardel/pages)");
  auto* about = app.add_subcommand("about", "tap \"关于\": show the About text");

  auto* dev = app.add_subcommand("device", "device tools");
  dev->require_subcommand(1);
  auto* init = dev->add_subcommand("init", "create a device (keeps what exists)");
  init->add_flag("--demo", o.demo, "fill it with demo contacts and messages");

  auto* contacts = app.add_subcommand("contacts", "the phone's contacts in and out (JSON, vCard)");
  contacts->require_subcommand(1);
  auto* c_import = contacts->add_subcommand(
      "import", "add the contacts of a vCard file (.vcf: 2.1, 3.0, 4.0) or a JSON file");
  c_import->add_option("FILE", o.file, "vCard or JSON file")->required();
  auto* c_export = contacts->add_subcommand("export", "write the contacts to a JSON or vCard file");
  c_export->add_option("--format", o.format, "json (default) or vcard")
      ->check(CLI::IsMember({"json", "vcard"}));
  c_export
      ->add_option("--vcard-version", o.vcard_version, "vCard version to write: 4 (default) or 3")
      ->check(CLI::IsMember({3, 4}));
  c_export->add_flag("--tags", o.tags, "JSON keys as hex property tags");
  c_export->add_option("FILE", o.file, "file to write (replaced)")->required();
  auto* c_list = contacts->add_subcommand("list", "print the contacts as JSON");
  c_list->add_flag("--tags", o.tags, "keys as hex property tags");

  auto* messages = app.add_subcommand("messages", "the phone's message stores in and out");
  messages->require_subcommand(1);
  auto* m_import = messages->add_subcommand(
      "import",
      "append the messages of a JSON file or an Android SMS backup (<smses>); "
      "messages already on the phone are skipped for the latter");
  m_import->add_option("FILE", o.file, "JSON or SMS backup XML file")->required();
  auto* m_list = messages->add_subcommand("list", "print the message stores as JSON");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::CallForAllHelp&) {
    std::cout << app.help("", CLI::AppFormatMode::All);
    return 0;
  } catch (const CLI::ParseError& e) {
    std::cerr << "vardel: " << e.what() << "\n";
    return 2;
  }

  try {
    apply_screen(o.screen);
    SessionOptions session;
    session.trace = o.trace;
    session.yes = o.yes;

    if (app.got_subcommand(dev)) {
      const fs::path folder = choose_device_folder(o.device);
      init_device(folder);
      std::cout << "device ready: " << device::root().string() << "\n";
      if (o.demo) {
        const DemoCounts n = add_demo_data();
        std::cout << "added " << n.contacts << " contacts and " << n.messages << " messages\n";
      }
      return 0;
    }
    if (app.got_subcommand(render)) {
      const fs::path page = o.output.empty() ? tools::page_path_for(o.file) : fs::path(o.output);
      render_page(o.file, page);
      std::cout << page.string() << "\n";
      return 0;
    }
    if (app.get_subcommands().empty()) {
      if (!display_available()) {
        std::cout << app.help();
        return 0;
      }
      open_device_for_window(o);
      return run_window(session) == 1 ? 0 : 1;
    }
    if (app.got_subcommand(gui)) {
      if (!display_available())
        throw UsageError("no display to open the window on (DISPLAY is not set)");
      open_device_for_window(o);
      return run_window(session) == 1 ? 0 : 1;
    }
    open_existing_device(o);
    if (app.got_subcommand(backup)) return run_backup(session);
    if (app.got_subcommand(restore)) return run_restore(session);
    if (app.got_subcommand(view))
      return run_view(session, o.file.empty() ? std::nullopt : std::optional<fs::path>(o.file));
    if (app.got_subcommand(about)) return run_about(session);
    if (c_import->parsed()) {
      import_contacts_file(o.file, std::cout, std::cerr);
      return 0;
    }
    if (c_export->parsed()) {
      ContactsExport how;
      how.format = o.format == "vcard" ? ContactsFormat::vcard : ContactsFormat::json;
      how.hex_tags = o.tags;
      how.vcard_version = o.vcard_version;
      export_contacts_file(o.file, how);
      return 0;
    }
    if (c_list->parsed()) {
      print_json(contacts_to_json(poom::list_contacts(device::contacts_db()), o.tags));
      return 0;
    }
    if (m_import->parsed()) {
      import_messages_file(o.file, std::cout, std::cerr);
      return 0;
    }
    if (m_list->parsed()) {
      mapi::MessageDb db(device::messages_db());
      print_json(messages_to_json(db));
      return 0;
    }
    std::cout << app.help();
    return 0;
  } catch (const UsageError& e) {
    std::cerr << "vardel: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "vardel: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace vardel::host
