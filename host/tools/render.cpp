#include "host/tools/render.h"

#include "platform/core/atomic_file.h"
#include "platform/core/wstr.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <libxml/parser.h>
#include <libxml/uri.h>
#include <libxslt/documents.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <regex>
#include <sstream>

namespace vardel::tools {

namespace fs = std::filesystem;

namespace {

// No network, no entity substitution, no DTD loading (the defaults), quiet.
constexpr int kSafeParse = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
// Larger inputs are not backups or stylesheets of ours.
constexpr off_t kMaxBytes = 512 << 20;

struct DocFree {
  void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
struct SheetFree {
  void operator()(xsltStylesheet* s) const { xsltFreeStylesheet(s); }
};
struct SecFree {
  void operator()(xsltSecurityPrefs* p) const { xsltFreeSecurityPrefs(p); }
};
using Doc = std::unique_ptr<xmlDoc, DocFree>;

// Reads a regular file without waiting on a FIFO; errno tells why not.
std::optional<std::string> read_regular(int fd) {
  if (fd < 0) return std::nullopt;
  std::optional<std::string> out;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxBytes) {
    std::string bytes;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
      if (n > 0) bytes.append(buf, static_cast<size_t>(n));
    if (n == 0) out = std::move(bytes);
  } else {
    errno = EACCES;
  }
  ::close(fd);
  return out;
}

// Opens name below folder: the kernel refuses ".." and links that lead out
// of the folder.
int open_beneath(const fs::path& folder, const std::string& name) {
  const int dir = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return -1;
  struct open_how how {};
  how.flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  const int fd = static_cast<int>(::syscall(SYS_openat2, dir, name.c_str(), &how, sizeof how));
  const int err = errno;
  ::close(dir);
  errno = err;
  return fd;
}

// A document's base is its path as a URI: relative references in it
// (document('通讯录.xml', /)) can only be resolved against a base whose
// spaces and other characters are escaped ("Storage Card").
Doc parse(const std::string& bytes, const std::string& path) {
  std::error_code ec;
  const std::string whole = fs::absolute(path, ec).string();
  xmlChar* uri = xmlPathToURI(reinterpret_cast<const xmlChar*>(whole.c_str()));
  Doc doc(xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()),
                        uri ? reinterpret_cast<const char*>(uri) : path.c_str(), nullptr,
                        kSafeParse));
  xmlFree(uri);
  return doc;
}

Doc read_xml(const fs::path& file) {
  auto bytes = read_regular(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!bytes) return nullptr;
  return parse(*bytes, file.string());
}

// The href of the document's xml-stylesheet instruction.
std::optional<std::string> stylesheet_href(xmlDoc* doc) {
  for (xmlNode* n = doc->children; n; n = n->next) {
    if (n->type != XML_PI_NODE || !n->name ||
        std::string(reinterpret_cast<const char*>(n->name)) != "xml-stylesheet")
      continue;
    std::string data = n->content ? reinterpret_cast<const char*>(n->content) : "";
    std::smatch m;
    static const std::regex href(R"(href\s*=\s*(['"])([^'"]*)\1)");
    if (std::regex_search(data, m, href)) return m[2].str();
  }
  return std::nullopt;
}

// What one rendering may read: the folders stylesheets come from, and what
// was refused (for the message).
struct Allowed {
  std::vector<fs::path> folders;
  std::string refused;
};
Allowed* g_allowed = nullptr;  // the rendering under way (renderings take turns)
std::mutex g_render_mutex;

// The allowed folder that holds path, and the path's name below it.
std::optional<std::pair<fs::path, std::string>> inside_allowed(const std::string& path) {
  if (!g_allowed) return std::nullopt;
  const fs::path p = fs::path(path).lexically_normal();
  for (const fs::path& folder : g_allowed->folders) {
    const fs::path rel = p.lexically_relative(folder);
    if (!rel.empty() && *rel.begin() != ".." && rel.is_relative() && rel != ".")
      return std::make_pair(folder, rel.string());
  }
  return std::nullopt;
}

// The file path a URI names, when it is a local file (a plain path or a
// file: URI without a host); nothing for any other scheme.
std::optional<std::string> local_path(const char* uri) {
  std::string s = uri ? uri : "";
  if (s.rfind("file://", 0) == 0) {
    s.erase(0, 7);
    if (s.empty() || s[0] != '/') return std::nullopt;  // a host: not local
  } else if (s.rfind("file:", 0) == 0) {
    s.erase(0, 5);
  } else if (xmlURIPtr parsed = xmlParseURI(s.c_str())) {
    const bool scheme = parsed->scheme != nullptr;
    xmlFreeURI(parsed);
    if (scheme) return std::nullopt;
  }
  if (char* unescaped = xmlURIUnescapeString(s.c_str(), 0, nullptr)) {
    s = unescaped;
    xmlFree(unescaped);
  }
  return s;
}

void refuse(const char* uri, const char* why) {
  if (g_allowed && g_allowed->refused.empty())
    g_allowed->refused = std::string(uri ? uri : "") + " (" + why + ")";
}

// Every document a stylesheet loads (xsl:import, xsl:include, document())
// comes from the allowed folders, read through their descriptors; nothing
// from the network.
xmlDocPtr confined_loader(const xmlChar* uri, xmlDictPtr, int, void*, xsltLoadType) {
  const char* text = reinterpret_cast<const char*>(uri);
  auto path = local_path(text);
  if (!path) {
    refuse(text, "not a local file");
    return nullptr;
  }
  auto where = inside_allowed(*path);
  if (!where) {
    refuse(text, "outside the backup folder and the program's stylesheets");
    return nullptr;
  }
  auto bytes = read_regular(open_beneath(where->first, where->second));
  // A file that is not there is no document (the messages page looks for
  // the contacts backup beside it, which a folder need not have).
  if (!bytes && errno == ENOENT) return nullptr;
  if (!bytes) {
    refuse(text,
           errno == EXDEV || errno == ELOOP ? "a link leading elsewhere" : "not a readable file");
    return nullptr;
  }
  return parse(*bytes, *path).release();
}

int allow_read(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char* value) {
  auto path = local_path(value);
  if (path && inside_allowed(*path)) return 1;
  refuse(value, "outside the backup folder and the program's stylesheets");
  return 0;
}

int refuse_network(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char* value) {
  refuse(value, "the network");
  return 0;
}

// libxml2's and libxslt's messages would go to standard error; the result
// says what went wrong instead.
void quiet(void*, const char*, ...) {}

// Refuses every external entity and DTD the parser might ask for.
xmlParserInputPtr no_entities(const char* url, const char*, xmlParserCtxtPtr) {
  refuse(url, "external entity");
  return nullptr;
}

// The page may show only what it holds: no script, no request anywhere,
// whatever a stylesheet put in it. The policy goes first in the head (or
// first in the page, where the parser opens the head for it).
std::string with_content_policy(std::string html) {
  static const std::string kPolicy =
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
      "style-src 'unsafe-inline'; img-src data:; base-uri 'none'; form-action 'none'\">";
  const std::string lower = ascii_lower(html.substr(0, 4096));
  size_t at = lower.find("<head");
  if (at != std::string::npos) at = lower.find('>', at);
  if (at != std::string::npos)
    html.insert(at + 1, kPolicy);
  else
    html.insert(0, kPolicy);
  return html;
}

// The stylesheet named href: a plain file name, looked for in each folder in
// turn and read through that folder's descriptor.
std::optional<std::pair<std::string, fs::path>> read_stylesheet(const std::string& href,
                                                                RenderResult* error) {
  if (href.empty() || href.find_first_of("/\\:") != std::string::npos || href == "." ||
      href == "..") {
    *error = {
        false,
        "stylesheet \"" + href + "\" refused: only a file name beside the backup file is loaded",
        true};
    return std::nullopt;
  }
  // Only a stylesheet file is run as one: never the backup itself or any
  // other file a crafted instruction names, whose script would land in
  // the page.
  if (!ascii_iends_with(href, ".xsl")) {
    *error = {false, "stylesheet \"" + href + "\" refused: only a stylesheet file (.xsl) is loaded",
              true};
    return std::nullopt;
  }
  for (const fs::path& folder : g_allowed->folders) {
    const int fd = open_beneath(folder, href);
    if (fd < 0 && errno == ENOENT) continue;
    if (fd < 0 && (errno == EXDEV || errno == ELOOP)) {
      *error = {false,
                "stylesheet " + (folder / href).string() +
                    " refused: it is a link leading outside its folder",
                true};
      return std::nullopt;
    }
    auto bytes = read_regular(fd);
    if (!bytes) {
      *error = {false, "stylesheet " + (folder / href).string() + " refused: not a regular file",
                true};
      return std::nullopt;
    }
    return std::make_pair(std::move(*bytes), folder / href);
  }
  *error = {false, "stylesheet " + href + " not found"};
  return std::nullopt;
}

}  // namespace

bool has_stylesheet(const fs::path& xml_file, const std::string* xml_bytes) {
  Doc doc = xml_bytes ? parse(*xml_bytes, xml_file.string()) : read_xml(xml_file);
  return doc && stylesheet_href(doc.get()).has_value();
}

RenderResult render_backup(const fs::path& xml_file, const fs::path& out_html,
                           const std::vector<fs::path>& stylesheet_dirs,
                           const std::string* xml_bytes) {
  Doc doc = xml_bytes ? parse(*xml_bytes, xml_file.string()) : read_xml(xml_file);
  if (!doc) return {false, "cannot read " + xml_file.string() + " as XML"};
  // A document type may declare entities that grow a small file into a
  // page of gigabytes as the stylesheet reads them; no backup has one.
  if (doc->intSubset || doc->extSubset)
    return {false, xml_file.string() + " has a document type declaration, which no backup has"};
  auto href = stylesheet_href(doc.get());
  if (!href) return {false, xml_file.string() + " names no stylesheet"};

  std::lock_guard lock(g_render_mutex);
  Allowed allowed;
  std::error_code ec;
  for (fs::path dir : [&] {
         std::vector<fs::path> all{fs::absolute(xml_file, ec).parent_path()};
         all.insert(all.end(), stylesheet_dirs.begin(), stylesheet_dirs.end());
         return all;
       }()) {
    dir = fs::absolute(dir, ec).lexically_normal();
    if (!dir.empty() && dir.filename().empty()) dir = dir.parent_path();
    if (!dir.empty()) allowed.folders.push_back(dir);
  }
  g_allowed = &allowed;
  struct Restore {
    xmlExternalEntityLoader entities = xmlGetExternalEntityLoader();
    ~Restore() {
      xsltSetLoaderFunc(nullptr);
      xmlSetExternalEntityLoader(entities);
      xmlSetGenericErrorFunc(nullptr, nullptr);
      xsltSetGenericErrorFunc(nullptr, nullptr);
      g_allowed = nullptr;
    }
  } restore;
  xsltSetLoaderFunc(confined_loader);
  xmlSetExternalEntityLoader(no_entities);
  xmlSetGenericErrorFunc(nullptr, quiet);
  xsltSetGenericErrorFunc(nullptr, quiet);

  RenderResult failure;
  auto sheet_file = read_stylesheet(*href, &failure);
  if (!sheet_file) return failure;
  Doc sheet_doc = parse(sheet_file->first, sheet_file->second.string());
  if (!sheet_doc) return {false, "cannot read stylesheet " + sheet_file->second.string()};
  if (sheet_doc->intSubset || sheet_doc->extSubset)
    return {false, "stylesheet " + sheet_file->second.string() +
                       " has a document type declaration, which no stylesheet of ours has"};

  std::unique_ptr<xsltSecurityPrefs, SecFree> sec(xsltNewSecurityPrefs());
  xsltSetSecurityPrefs(sec.get(), XSLT_SECPREF_READ_FILE, allow_read);
  xsltSetSecurityPrefs(sec.get(), XSLT_SECPREF_READ_NETWORK, refuse_network);
  for (auto opt :
       {XSLT_SECPREF_WRITE_FILE, XSLT_SECPREF_CREATE_DIRECTORY, XSLT_SECPREF_WRITE_NETWORK})
    xsltSetSecurityPrefs(sec.get(), opt, xsltSecurityForbid);
  // The imports are read while the stylesheet is parsed, under the default
  // preferences: the same ones, for this parse only.
  xsltSecurityPrefsPtr old_default = xsltGetDefaultSecurityPrefs();
  xsltSetDefaultSecurityPrefs(sec.get());
  std::unique_ptr<xsltStylesheet, SheetFree> sheet(xsltParseStylesheetDoc(sheet_doc.get()));
  xsltSetDefaultSecurityPrefs(old_default);
  if (!sheet) {
    if (!allowed.refused.empty())
      return {false,
              "stylesheet " + sheet_file->second.string() + " refused: it loads " + allowed.refused,
              true};
    return {false, "stylesheet " + sheet_file->second.string() + " is not valid XSLT"};
  }
  sheet_doc.release();  // the stylesheet owns it now
  if (!allowed.refused.empty())
    return {false,
            "stylesheet " + sheet_file->second.string() + " refused: it loads " + allowed.refused,
            true};

  xsltTransformContext* ctx = xsltNewTransformContext(sheet.get(), doc.get());
  if (!ctx) return {false, "out of memory"};
  xsltSetCtxtSecurityPrefs(sec.get(), ctx);
  Doc result(xsltApplyStylesheetUser(sheet.get(), doc.get(), nullptr, nullptr, nullptr, ctx));
  xsltFreeTransformContext(ctx);
  if (!allowed.refused.empty())
    return {false,
            "stylesheet " + sheet_file->second.string() + " refused: it reads " + allowed.refused,
            true};
  if (!result) return {false, "the stylesheet failed on " + xml_file.string()};

  xmlChar* bytes = nullptr;
  int size = 0;
  if (xsltSaveResultToString(&bytes, &size, result.get(), sheet.get()) != 0)
    return {false, "cannot write the page"};
  std::string html(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
  xmlFree(bytes);
  html = with_content_policy(std::move(html));
  if (!write_page(out_html, html)) return {false, "cannot write " + out_html.string()};
  return {true, {}};
}

bool write_page(const fs::path& out_html, const std::string& html) {
  return SUCCEEDED(core::write_host_file(out_html, html));
}

fs::path cache_dir() {
  fs::path base;
  if (const char* x = std::getenv("XDG_CACHE_HOME"); x && *x)
    base = x;
  else if (const char* h = std::getenv("HOME"); h && *h)
    base = fs::path(h) / ".cache";
  else
    base = fs::temp_directory_path();
  return base / "vardel";
}

fs::path page_path_for(const fs::path& xml_file) {
  std::error_code ec;
  auto abs = fs::absolute(xml_file, ec);
  std::ostringstream name;
  name << xml_file.stem().string() << "-" << std::hex
       << (std::hash<std::string>{}(abs.string()) & 0xffffffffu) << ".html";
  return cache_dir() / "pages" / name.str();
}

}  // namespace vardel::tools
