// Class and interface identifiers of the MSXML DOM, as the phone's msxml.h
// defines them.
#include "platform/msxml/msxml.h"

using vardel::com::guid;

const CLSID CLSID_DOMDocument = guid("{2933BF90-7B36-11D2-B20E-00C04F983E60}");
const IID IID_IXMLDOMNode = guid("{2933BF80-7B36-11D2-B20E-00C04F983E60}");
const IID IID_IXMLDOMDocument = guid("{2933BF81-7B36-11D2-B20E-00C04F983E60}");
const IID IID_IXMLDOMNodeList = guid("{2933BF82-7B36-11D2-B20E-00C04F983E60}");
const IID IID_IXMLDOMElement = guid("{2933BF86-7B36-11D2-B20E-00C04F983E60}");
const IID IID_IXMLDOMDocument2 = guid("{2933BF95-7B36-11D2-B20E-00C04F983E60}");
