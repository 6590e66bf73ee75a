// Creation of the stand-in's COM objects. Each gives back its interface with
// one reference. Every object opened through a session shares the session's
// database connection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/mapi/cemapi.h"
#include "platform/mapi/db.h"
#include "platform/mapi/records.h"

namespace vardel::mapi {

// A table over rows; query_fault, when not empty, is the fault point each
// QueryRows checks first.
HRESULT create_table(std::unique_ptr<RowSource> rows, std::string query_fault, IMAPITable** out);
HRESULT create_session(std::shared_ptr<Db> db, IMAPISession** out);
HRESULT create_store(std::shared_ptr<Db> db, std::int64_t id, PropList props, IMsgStore** out);
HRESULT create_folder(std::shared_ptr<Db> db, FolderRecord folder, IMAPIFolder** out);
HRESULT create_message(std::shared_ptr<Db> db, MessageRecord message, IMessage** out);

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

// GetProps shared by every property object: pointer checks, the
// "mapi.GetProps" fault point, then build_props.
HRESULT get_props(const PropList& props, LPSPropTagArray tags, ULONG flags, ULONG* lpcValues,
                  LPSPropValue* lppPropArray);

}  // namespace vardel::mapi
