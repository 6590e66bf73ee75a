// Creation of the stand-in's COM objects. Each gives back its interface with
// one reference. Every object opened through a session shares the session's
// database connection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/com/object.h"
#include "platform/mapi/cemapi.h"
#include "platform/mapi/db.h"
#include "platform/mapi/records.h"

namespace vardel::mapi {

// What the objects here answer for an unexpected exception (a database
// error) and for a call not provided.
inline constexpr com::Module kMapi{u"mapi", MAPI_E_CALL_FAILED, MAPI_E_NO_SUPPORT};

// A table over rows; query_fault, when not empty, is the fault point each
// QueryRows checks first. Like new, these throw std::bad_alloc.
IMAPITable* create_table(std::unique_ptr<RowSource> rows, std::string query_fault);
IMAPISession* create_session(std::shared_ptr<Db> db);
IMsgStore* create_store(std::shared_ptr<Db> db, std::int64_t id, PropList props);
IMAPIFolder* create_folder(std::shared_ptr<Db> db, FolderRecord folder);
IMessage* create_message(std::shared_ptr<Db> db, MessageRecord message);

// Where an OpenEntry may reach: a session anything, a store its own folders
// and messages, a folder its own messages.
struct EntryScope {
  std::int64_t store = 0;   // 0: any store
  std::int64_t folder = 0;  // 0: any folder; set: messages of this folder only
};

// OpenEntry shared by the session, stores and folders. Gives the object's
// default interface (or lpInterface when given) and its type.
HRESULT open_entry(const std::shared_ptr<Db>& db, const EntryScope& scope, ULONG cbEntryID,
                   LPENTRYID lpEntryID, LPCIID lpInterface, ULONG* lpulObjType, LPUNKNOWN* lppUnk);

}  // namespace vardel::mapi
