// Backups as pages: a backup file is rendered through its stylesheet into an
// HTML page, which is what gets opened, since browsers are dropping XSLT.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace vardel::host {

// The folder holding the program's own two stylesheets, written from the
// copies built into the program: used when a backup file's folder has lost
// its copies.
std::filesystem::path builtin_stylesheet_dir();

// A stylesheet, or something it loads, from outside the allowed folders.
class StylesheetRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Renders xml_file to out_html; throws std::runtime_error saying why not
// (StylesheetRefused when the stylesheet was refused, UsageError when the
// file cannot be opened as open_input_file opens it).
void render_page(const std::filesystem::path& xml_file, const std::filesystem::path& out_html);
// The same for the file's bytes, read already.
void render_page(const std::filesystem::path& xml_file, const std::filesystem::path& out_html,
                 const std::string& bytes);

// What "查看" opens for a host file: an XML file naming a stylesheet is
// rendered to its page in the cache folder and the page is opened; any other
// file (or one that does not render) opens as it is. Returns what was
// opened; nothing when the opener cannot start.
// *page_made, when given, names the page that was made even when no opener
// could show it.
std::optional<std::filesystem::path> open_for_reading(const std::filesystem::path& host_path,
                                                      std::filesystem::path* page_made = nullptr);

}  // namespace vardel::host
