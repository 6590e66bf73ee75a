// Backups as pages: a backup XML file rendered through the stylesheet its
// <?xml-stylesheet?> instruction names, into an HTML page. Browsers are
// dropping XSLT, so the page is what the user opens.
//
// The stylesheet is looked for beside the file first (the backup folder holds
// copies), then in the fallback folder given (the program's own). Loading
// never touches the network, loads no DTD and expands no external entity;
// the stylesheet may not read or write other files.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace vardel::tools {

struct RenderResult {
  bool ok = false;
  std::string error;  // why not, when !ok
};

// Renders xml_file to out_html (written atomically; its folder must exist).
RenderResult render_backup(const std::filesystem::path& xml_file,
                           const std::filesystem::path& out_html,
                           const std::filesystem::path& fallback_stylesheet_dir = {});

// True when the file is XML carrying an xml-stylesheet instruction.
bool has_stylesheet(const std::filesystem::path& xml_file);

// The program's cache folder: $XDG_CACHE_HOME/vardel, or ~/.cache/vardel.
std::filesystem::path cache_dir();

// Where "vardel view" puts the page for a file: cache_dir()/pages, named
// after the file and a hash of its path.
std::filesystem::path page_path_for(const std::filesystem::path& xml_file);

}  // namespace vardel::tools
