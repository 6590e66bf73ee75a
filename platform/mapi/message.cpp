// IMessage: one message, read as it stood when opened.
#include "platform/core/fault.h"
#include "platform/mapi/prop_object.h"

namespace vardel::mapi {

namespace {

class MessageObject final : public PropObject<IMessage, &IID_IMessage> {
 public:
  MessageObject(std::shared_ptr<Db> db, MessageRecord rec)
      : PropObject(std::move(rec.props)), db_(std::move(db)), id_(rec.id) {}

  HRESULT GetAttachmentTable(ULONG ulFlags, LPMAPITABLE* lppTable) noexcept override {
    return stub(u"IMessage::GetAttachmentTable");
  }
  HRESULT GetRecipientTable(ULONG ulFlags, LPMAPITABLE* lppTable) override {
    if (!lppTable) return MAPI_E_INVALID_PARAMETER;
    *lppTable = nullptr;
    return guard([&] {
      if (HRESULT hr = fault::check("mapi.GetRecipientTable"); FAILED(hr)) return hr;
      *lppTable = create_table(recipient_rows(*db_, id_), {});
      return S_OK;
    });
  }
  HRESULT SubmitMessage(ULONG ulFlags) noexcept override {
    return stub(u"IMessage::SubmitMessage");
  }

 private:
  ~MessageObject() override = default;

  std::shared_ptr<Db> db_;
  std::int64_t id_;
};

}  // namespace

IMessage* create_message(std::shared_ptr<Db> db, MessageRecord message) {
  return com::make<MessageObject>(std::move(db), std::move(message));
}

}  // namespace vardel::mapi
