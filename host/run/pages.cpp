// Backups as pages.
#include "host/run/pages.h"

#include <cstring>
#include <stdexcept>
#include <system_error>

#include "host/device/backup_files.h"
#include "host/device/device_tools.h"
#include "host/device/host_files.h"
#include "host/tools/render.h"
#include "platform/core/device.h"
#include "platform/gwes/frontend.h"

namespace fs = std::filesystem;

namespace vardel::host {

namespace {

void write_when_different(const fs::path& file, std::string_view content) {
  std::error_code ec;
  if (fs::exists(file, ec) && read_host_file(file) == content) return;
  replace_host_file(file, content);
}

}  // namespace

fs::path builtin_stylesheet_dir() {
  const fs::path dir = tools::cache_dir() / "stylesheets";
  if (!core::make_private_folders(dir))
    throw std::runtime_error("cannot create " + dir.string() + ": " + std::strerror(errno));
  write_when_different(dir / "MessageLogContact.xsl", contact_stylesheet());
  write_when_different(dir / "MessageLogMsg.xsl", message_stylesheet());
  return dir;
}

void render_page(const fs::path& xml_file, const fs::path& out_html) {
  render_page(xml_file, out_html, read_input_file(xml_file));
}

void render_page(const fs::path& xml_file, const fs::path& out_html, const std::string& bytes) {
  // The cache folder is ours to make; any other folder must exist.
  if (out_html.parent_path() == tools::cache_dir() / "pages")
    core::make_private_folders(out_html.parent_path());
  // Stylesheets come from beside the file, the device's program folder and
  // the program's own copies, and from nowhere else.
  std::vector<fs::path> dirs;
  if (auto program = device::to_host(device::module_path())) dirs.push_back(program->parent_path());
  dirs.push_back(builtin_stylesheet_dir());
  const tools::RenderResult r = tools::render_backup(xml_file, out_html, dirs, &bytes);
  if (r.refused) throw StylesheetRefused("cannot render " + xml_file.string() + ": " + r.error);
  if (!r.ok) throw std::runtime_error("cannot render " + xml_file.string() + ": " + r.error);
}

namespace {

std::string html_escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '&')
      out += "&amp;";
    else
      out += c;
  }
  return out;
}

}  // namespace

std::optional<fs::path> open_for_reading(const fs::path& host_path, fs::path* page_made) {
  // Read as every file of the device is, through its root: a link that
  // leads out of the device, or a FIFO, is refused here, never followed,
  // waited on or handed to a browser.
  const std::string bytes = read_input_file(host_path);
  if (tools::has_stylesheet(host_path, &bytes)) {
    const fs::path page = tools::page_path_for(host_path);
    try {
      render_page(host_path, page, bytes);
      if (page_made) *page_made = page;
      if (gwes::spawn_opener(page)) return page;
      return std::nullopt;
    } catch (const StylesheetRefused& e) {
      // The file itself is not handed to a browser, which would load what
      // was refused here: the page says what was refused instead.
      const std::string html =
          "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Vardel</title></head><body>"
          "<p>" +
          html_escaped(e.what()) + "</p></body></html>\n";
      if (tools::write_page(page, html) && gwes::spawn_opener(page)) return page;
      return std::nullopt;
    } catch (const std::exception&) {
      // Not renderable here: the file itself may still open in a browser
      // that reads XSLT, or show as text.
    }
  }
  if (gwes::spawn_opener(host_path)) return host_path;
  return std::nullopt;
}

}  // namespace vardel::host
