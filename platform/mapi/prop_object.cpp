// GetProps and GetPropList of every property object.
#include "platform/mapi/prop_object.h"

#include <vector>

#include "platform/core/fault.h"

namespace vardel::mapi {

HRESULT get_props(const PropList& props, LPSPropTagArray tags, ULONG* lpcValues,
                  LPSPropValue* lppPropArray) {
  if (!lpcValues || !lppPropArray) return MAPI_E_INVALID_PARAMETER;
  *lpcValues = 0;
  *lppPropArray = nullptr;
  if (tags && tags->cValues == 0) return MAPI_E_INVALID_PARAMETER;
  if (HRESULT hr = fault::check("mapi.GetProps"); FAILED(hr)) return hr;
  return build_props(props, tags ? tags->aulPropTag : nullptr, tags ? tags->cValues : 0, lpcValues,
                     lppPropArray);
}

HRESULT get_prop_list(const PropList& props, LPSPropTagArray* lppPropTagArray) {
  if (!lppPropTagArray) return MAPI_E_INVALID_PARAMETER;
  std::vector<ULONG> tags;
  tags.reserve(props.size());
  for (const Prop& p : props) tags.push_back(p.tag);
  return build_tag_array(tags, lppPropTagArray);
}

}  // namespace vardel::mapi
