// IMessage: one message, read as it stood when opened.
#include <atomic>
#include <exception>

#include "platform/core/fault.h"
#include "platform/mapi/objects.h"

namespace vardel::mapi {

namespace {

class MessageObject final : public IMessage {
 public:
  MessageObject(std::shared_ptr<Db> db, MessageRecord rec)
      : db_(std::move(db)), rec_(std::move(rec)) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMAPIProp || riid == IID_IMessage) {
      AddRef();
      *ppv = static_cast<IMessage*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  HRESULT SaveChanges(ULONG ulFlags) override {
    trace_stub("IMessage::SaveChanges");
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                   LPSPropValue* lppPropArray) override {
    return get_props(rec_.props, lpPropTagArray, ulFlags, lpcValues, lppPropArray);
  }
  HRESULT GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) override {
    if (!lppPropTagArray) return MAPI_E_INVALID_PARAMETER;
    std::vector<ULONG> tags;
    for (const Prop& p : rec_.props) tags.push_back(p.tag);
    return build_tag_array(tags, lppPropTagArray);
  }
  HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray, void* lppProblems) override {
    trace_stub("IMessage::SetProps");
    return MAPI_E_NO_SUPPORT;
  }

  HRESULT GetAttachmentTable(ULONG ulFlags, LPMAPITABLE* lppTable) override {
    trace_stub("IMessage::GetAttachmentTable");
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT GetRecipientTable(ULONG ulFlags, LPMAPITABLE* lppTable) override {
    if (!lppTable) return MAPI_E_INVALID_PARAMETER;
    *lppTable = nullptr;
    if (HRESULT hr = fault::check("mapi.GetRecipientTable"); FAILED(hr)) return hr;
    try {
      return create_table(recipient_rows(*db_, rec_.id), {}, lppTable);
    } catch (const std::exception&) {
      return MAPI_E_CALL_FAILED;
    }
  }
  HRESULT SubmitMessage(ULONG ulFlags) override {
    trace_stub("IMessage::SubmitMessage");
    return MAPI_E_NO_SUPPORT;
  }

 private:
  ~MessageObject() = default;

  std::atomic<ULONG> refs_{1};
  std::shared_ptr<Db> db_;
  MessageRecord rec_;
};

}  // namespace

HRESULT create_message(std::shared_ptr<Db> db, MessageRecord message, IMessage** out) {
  if (!out) return E_POINTER;
  *out = new MessageObject(std::move(db), std::move(message));
  return S_OK;
}

}  // namespace vardel::mapi
