#include "host/history/history_export.h"

#include <cstdio>

#include "host/tools/message_writers.h"
#include "platform/core/windows.h"

namespace vardel::history {

namespace {

// Text as the program's own XML save writes it (markup characters and
// carriage returns as references, what XML cannot carry as U+FFFD); counts
// the characters replaced.
std::string escaped(const std::string& text, tools::XmlEscape mode, size_t& replaced) {
  std::string out;
  out.reserve(text.size());
  replaced += tools::append_xml_escaped(out, text, mode);
  return out;
}

void write_backup_record(const HistoryMessage& m, std::FILE* out, size_t& replaced) {
  const std::string label =
      (m.received ? "来自于：" : "到：") + escaped(m.number, tools::XmlEscape::attribute, replaced);
  std::string date, time;
  if (const auto st = parse_local_time(m.time)) {
    date = std::to_string(st->wYear) + "-" + std::to_string(st->wMonth) + "-" +
           std::to_string(st->wDay);
    time = "  " + std::to_string(st->wHour) + ":" + std::to_string(st->wMinute) + ":" +
           std::to_string(st->wSecond);
  }
  std::fprintf(out,
               "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"%s\" ContactNumber=\"%s\">"
               "<MESSAGE Date=\"%s\" Time=\"%s\" Direction=\"1\"><TEXT>%s</TEXT></MESSAGE>"
               "</VCARD>",
               label.c_str(), label.c_str(), date.c_str(), time.c_str(),
               escaped(m.text, tools::XmlEscape::text, replaced).c_str());
}

}  // namespace

std::optional<ExportFormat> export_format(const std::string& name) {
  if (name == "vardel") return ExportFormat::vardel;
  if (name == "android") return ExportFormat::android;
  if (name == "csv") return ExportFormat::csv;
  if (name == "json") return ExportFormat::json;
  return std::nullopt;
}

std::optional<SYSTEMTIME> parse_local_time(const std::string& text) {
  SYSTEMTIME st{};
  int y, mo, d, h, mi, s;
  if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6)
    return std::nullopt;
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(mo);
  st.wDay = static_cast<WORD>(d);
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(mi);
  st.wSecond = static_cast<WORD>(s);
  return st;
}

int write_messages(const std::vector<HistoryMessage>& messages, ExportFormat format, std::FILE* out,
                   const tools::NameOf& name_of, size_t* replaced) {
  size_t none = 0;
  size_t& count = replaced ? *replaced : none;
  if (format == ExportFormat::vardel) {
    std::fputs(
        "<?xml version=\"1.0\"?>\n"
        "<?xml-stylesheet type='text/xsl' href='MessageLogMsg.xsl'?>\n<CONTACTS>\n",
        out);
    // Oldest first, as the phone's own backup lists them.
    for (auto m = messages.rbegin(); m != messages.rend(); ++m) write_backup_record(*m, out, count);
    std::fputs("</CONTACTS>\n", out);
    return static_cast<int>(messages.size());
  }
  const auto kind = format == ExportFormat::android ? tools::MessageFormat::android
                    : format == ExportFormat::csv   ? tools::MessageFormat::csv
                                                    : tools::MessageFormat::json;
  const auto writer = tools::make_message_writer(kind, out, name_of);
  for (auto m = messages.rbegin(); m != messages.rend(); ++m) {
    tools::OutMessage o;
    o.folder = m->received ? mapi::FolderKind::inbox : mapi::FolderKind::sent;
    o.addresses.push_back(m->number);
    o.text = m->text;
    if (const auto st = parse_local_time(m->time)) {
      o.local = *st;
      FILETIME local{}, utc{};
      if (SystemTimeToFileTime(&*st, &local) && LocalFileTimeToFileTime(&local, &utc)) o.utc = utc;
    }
    writer->add(o);
  }
  writer->finish();
  count += writer->replaced();
  return writer->written();
}

}  // namespace vardel::history
