// Finding a two-character Chinese text (a name such as "张伟") without
// reading every message. The trigram index holds no two-character terms,
// but every message of three characters or more that holds the text holds
// a trigram beginning with it, unless the text is the message's end; and
// the messages' last two characters have an index of their own. The
// trigrams beginning with the text are read from the index's own list of
// terms.
//
// Only for CJK text: the index folds letter case, and a case it folds
// differently from the query's would be missed.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

namespace vardel::history {

// The ids of the messages that may hold the text, highest first, each to
// be confirmed against the message itself. nullopt when this cannot
// answer: not two CJK characters, a history without the index of endings,
// or a text so common that reading the newest messages finds it sooner.
std::optional<std::vector<sqlite3_int64>> short_text_candidates(sqlite3* db,
                                                                const std::string& text);

}  // namespace vardel::history
