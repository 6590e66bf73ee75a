// The IMAPIProp half of the stores, folders and messages: read-only
// properties held in a PropList, handed out as MAPI property arrays.
// Changing properties is not provided (the program only reads what the
// phone holds).
//
// Fault point: "mapi.GetProps".
#pragma once

#include <utility>

#include "platform/mapi/objects.h"

namespace vardel::mapi {

// GetProps and GetPropList over props (the methods' pointer checks, the
// fault point, then build_props or build_tag_array).
HRESULT get_props(const PropList& props, LPSPropTagArray tags, ULONG* lpcValues,
                  LPSPropValue* lppPropArray);
HRESULT get_prop_list(const PropList& props, LPSPropTagArray* lppPropTagArray);

template <class Interface, const IID*... Iids>
class PropObject : public com::Object<kMapi, Interface, &IID_IMAPIProp, Iids...> {
 public:
  HRESULT SaveChanges(ULONG ulFlags) noexcept override {
    return this->stub(u"IMAPIProp::SaveChanges");
  }
  HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                   LPSPropValue* lppPropArray) override {
    return this->guard([&] { return get_props(props_, lpPropTagArray, lpcValues, lppPropArray); });
  }
  HRESULT GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) override {
    return this->guard([&] { return get_prop_list(props_, lppPropTagArray); });
  }
  HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray, void* lppProblems) noexcept override {
    return this->stub(u"IMAPIProp::SetProps");
  }

 protected:
  explicit PropObject(PropList props) : props_(std::move(props)) {}
  ~PropObject() override = default;

 private:
  PropList props_;
};

}  // namespace vardel::mapi
