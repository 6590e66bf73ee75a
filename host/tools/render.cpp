#include "host/tools/render.h"

#include <libxml/parser.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace vardel::tools {

namespace fs = std::filesystem;

namespace {

// No network, no entity substitution, no DTD loading (the defaults), quiet.
constexpr int kSafeParse = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

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

Doc read_xml(const fs::path& file) { return Doc(xmlReadFile(file.c_str(), nullptr, kSafeParse)); }

}  // namespace

bool has_stylesheet(const fs::path& xml_file) {
  Doc doc = read_xml(xml_file);
  return doc && stylesheet_href(doc.get()).has_value();
}

RenderResult render_backup(const fs::path& xml_file, const fs::path& out_html,
                           const fs::path& fallback_dir) {
  Doc doc = read_xml(xml_file);
  if (!doc) return {false, "cannot read " + xml_file.string() + " as XML"};
  auto href = stylesheet_href(doc.get());
  if (!href) return {false, xml_file.string() + " names no stylesheet"};
  // Only a plain file name or relative path: never a URL or a path elsewhere.
  if (href->find(':') != std::string::npos || fs::path(*href).is_absolute())
    return {false, "stylesheet \"" + *href + "\" is not a local file name"};
  fs::path sheet_path = xml_file.parent_path() / *href;
  if (!fs::exists(sheet_path) && !fallback_dir.empty())
    sheet_path = fallback_dir / fs::path(*href).filename();
  if (!fs::exists(sheet_path)) return {false, "stylesheet " + *href + " not found"};

  Doc sheet_doc = read_xml(sheet_path);
  if (!sheet_doc) return {false, "cannot read stylesheet " + sheet_path.string()};
  std::unique_ptr<xsltStylesheet, SheetFree> sheet(xsltParseStylesheetDoc(sheet_doc.get()));
  if (!sheet) return {false, "stylesheet " + sheet_path.string() + " is not valid XSLT"};
  sheet_doc.release();  // the stylesheet owns it now

  std::unique_ptr<xsltSecurityPrefs, SecFree> sec(xsltNewSecurityPrefs());
  for (auto opt : {XSLT_SECPREF_READ_FILE, XSLT_SECPREF_WRITE_FILE, XSLT_SECPREF_CREATE_DIRECTORY,
                   XSLT_SECPREF_READ_NETWORK, XSLT_SECPREF_WRITE_NETWORK})
    xsltSetSecurityPrefs(sec.get(), opt, xsltSecurityForbid);
  xsltTransformContext* ctx = xsltNewTransformContext(sheet.get(), doc.get());
  if (!ctx) return {false, "out of memory"};
  xsltSetCtxtSecurityPrefs(sec.get(), ctx);
  Doc result(xsltApplyStylesheetUser(sheet.get(), doc.get(), nullptr, nullptr, nullptr, ctx));
  xsltFreeTransformContext(ctx);
  if (!result) return {false, "the stylesheet failed on " + xml_file.string()};

  xmlChar* bytes = nullptr;
  int size = 0;
  if (xsltSaveResultToString(&bytes, &size, result.get(), sheet.get()) != 0)
    return {false, "cannot write the page"};
  std::string html(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
  xmlFree(bytes);

  std::error_code ec;
  fs::path tmp = out_html;
  tmp += ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(tmp, std::ios::binary);
    out << html;
    out.flush();
    if (!out) {
      fs::remove(tmp, ec);
      return {false, "cannot write " + out_html.string()};
    }
  }
  fs::rename(tmp, out_html, ec);
  if (ec) {
    fs::remove(tmp, ec);
    return {false, "cannot write " + out_html.string()};
  }
  return {true, {}};
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
