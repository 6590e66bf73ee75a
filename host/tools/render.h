// Backups as pages: a backup XML file rendered through the stylesheet its
// <?xml-stylesheet?> instruction names, into an HTML page. Browsers are
// dropping XSLT, so the page is what the user opens.
//
// The stylesheet must be a plain file name: it is looked for beside the file
// first (the backup folder holds copies), then in the folders given (the
// device's program folder, the program's built-in copies), each read through
// its folder's descriptor, so a link leading out of the folder is refused.
// What the stylesheet loads in turn (xsl:import, xsl:include, document())
// must come from those same folders; every other file and every network
// scheme is refused, and the rendering fails naming what was refused.
// Loading never touches the network, loads no DTD and expands no external
// entity; the stylesheet may not write files. A FIFO is never waited on.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vardel::tools {

struct RenderResult {
  bool ok = false;
  std::string error;     // why not, when !ok
  bool refused = false;  // a stylesheet or what it loads was refused
};

// Renders xml_file to out_html (written atomically; its folder must exist).
// xml_bytes, when given, is the file as the caller read it (the device's
// files are read through the device root); xml_file then names it, for its
// folder and as the base of what it refers to.
RenderResult render_backup(const std::filesystem::path& xml_file,
                           const std::filesystem::path& out_html,
                           const std::vector<std::filesystem::path>& stylesheet_dirs = {},
                           const std::string* xml_bytes = nullptr);

// Writes a page atomically; false when it cannot.
bool write_page(const std::filesystem::path& out_html, const std::string& html);

// True when the file (or xml_bytes, read from it) is XML carrying an
// xml-stylesheet instruction.
bool has_stylesheet(const std::filesystem::path& xml_file, const std::string* xml_bytes = nullptr);

// The program's cache folder: $XDG_CACHE_HOME/vardel, or ~/.cache/vardel.
std::filesystem::path cache_dir();

// Where "vardel view" puts the page for a file: cache_dir()/pages, named
// after the file and a hash of its path.
std::filesystem::path page_path_for(const std::filesystem::path& xml_file);

}  // namespace vardel::tools
