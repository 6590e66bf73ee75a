// Writing history messages out: in this program's own messages backup
// format ("短信.xml", which `vardel messages restore` puts back into a
// phone) or in the formats of the message writers (Android, CSV, JSON).
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "host/history/history_store.h"
#include "host/tools/message_writers.h"
#include "platform/core/types.h"

namespace vardel::history {

enum class ExportFormat { vardel, android, csv, json };

// The format named on the command line ("vardel", "android", "csv", "json").
std::optional<ExportFormat> export_format(const std::string& name);

// The local time of a history message ("2009-04-23 09:05:07"); nullopt for
// none or one that cannot be read.
std::optional<SYSTEMTIME> parse_local_time(const std::string& text);

// Writes every message; out must be able to seek (the Android count is
// filled in last). name_of names the numbers in the Android format. Returns
// the number written; replaced, when given, gains the number of characters
// XML cannot carry that were written as U+FFFD.
int write_messages(const std::vector<HistoryMessage>& messages, ExportFormat format, std::FILE* out,
                   const tools::NameOf& name_of = {}, size_t* replaced = nullptr);

}  // namespace vardel::history
