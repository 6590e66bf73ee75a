// Reading a saved file back (see saved_file_check.h).
#include "platform/msxml/saved_file_check.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <string_view>

#include "platform/core/sha256.h"
#include "platform/msxml/plain_scan.h"

namespace vardel::msxml {

namespace {

struct State {
  SavedFile* out = nullptr;
  xmlParserCtxtPtr ctxt = nullptr;
  size_t depth = 0;
  bool refused = false;
};

void on_start(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar*, int,
              const xmlChar**, int, int, const xmlChar**) {
  auto* s = static_cast<State*>(ctx);
  if (s->depth == 0) {
    s->out->root = prefix ? std::string(reinterpret_cast<const char*>(prefix)) + ":" : "";
    s->out->root += reinterpret_cast<const char*>(localname);
  } else if (s->depth == 1) {
    ++s->out->records;
  }
  ++s->depth;
}

void on_end(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
  auto* s = static_cast<State*>(ctx);
  if (s->depth > 0) --s->depth;
}

void on_doctype(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
  auto* s = static_cast<State*>(ctx);
  s->refused = true;
  if (s->out->error.empty()) s->out->error = "holds a document type declaration";
  xmlStopParser(s->ctxt);
}

void on_error(void* ctx, xmlErrorPtr error) {
  auto* s = static_cast<State*>(ctx);
  if (error == nullptr || error->level < XML_ERR_ERROR || !s->out->error.empty()) return;
  std::string message = error->message ? error->message : "not well-formed";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  s->out->error = "line " + std::to_string(error->line) + ": " + message;
}

struct CtxtFree {
  void operator()(xmlParserCtxt* c) const { xmlFreeParserCtxt(c); }
};

}  // namespace

bool parse_saved_file(int fd, SavedFile* out) {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
  *out = SavedFile{};
  State state;
  state.out = out;

  xmlSAXHandler sax{};
  sax.initialized = XML_SAX2_MAGIC;
  sax.startElementNs = on_start;
  sax.endElementNs = on_end;
  sax.internalSubset = on_doctype;
  sax.serror = on_error;
  std::unique_ptr<xmlParserCtxt, CtxtFree> ctxt(
      xmlCreatePushParserCtxt(&sax, &state, nullptr, 0, nullptr));
  if (!ctxt) {
    errno = ENOMEM;
    return false;
  }
  state.ctxt = ctxt.get();
  // Large texts are allowed (a note may be long); nothing is loaded from
  // outside the file.
  xmlCtxtUseOptions(ctxt.get(), XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR |
                                    XML_PARSE_NOWARNING | XML_PARSE_NOCDATA);

  core::Sha256 sha;
  size_t offset = 0;
  bool parsing = true;
  if (!core::read_file_pieces(fd, [&](std::string_view piece) {
        offset += piece.size();
        sha.update(piece);
        if (parsing &&
            (xmlParseChunk(ctxt.get(), piece.data(), static_cast<int>(piece.size()), 0) != 0 ||
             state.refused))
          parsing = false;  // the rest is still hashed
        return true;
      }))
    return false;
  if (parsing) {
    const bool before_end = !ctxt->wellFormed;
    xmlParseChunk(ctxt.get(), nullptr, 0, 1);
    // The push parser names a file that stops short "extra content at the
    // end"; say what it is.
    if (!before_end && !ctxt->wellFormed && offset > 0) {
      if (state.depth > 0)
        out->error = "is cut short: it ends inside <" + out->root + "> after " +
                     std::to_string(out->records) + " records";
      else if (out->root.empty())
        out->error = "holds no XML element";
    }
  }
  out->sha256 = sha.hex();
  out->well_formed = parsing && !state.refused && ctxt->wellFormed && offset > 0;
  if (offset == 0)
    out->error = "is empty";
  else if (!out->well_formed && out->error.empty())
    out->error = "is not well-formed";
  if (out->well_formed) out->error.clear();
  return true;
}

bool check_saved_file(int fd, SavedFile* out) {
  *out = SavedFile{};
  PlainScan scan;
  core::Sha256 sha;
  if (!core::read_file_pieces(fd, [&](std::string_view piece) {
        if (!scan.feed(piece)) return false;
        sha.update(piece);
        return true;
      }))
    return false;
  if (!scan.finish()) return parse_saved_file(fd, out);
  out->well_formed = true;
  out->root = scan.root();
  out->records = scan.records();
  out->sha256 = sha.hex();
  return true;
}

}  // namespace vardel::msxml
