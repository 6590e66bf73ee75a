// The document object every job works through.
//
// A CXMLDocument owns, while open, the thread's COM initialisation, one MSXML
// document, one logged-on contact store and the path of the file being saved
// or loaded. It is created as a local object on the job's thread and never
// leaves it.
//
// Failures of COM calls are thrown inside each operation as an HRESULT
// `long`, caught by that same operation, cleaned up only when the value is
// negative, and reported as a 0 result. `_com_error` from the value holders is
// not caught here.
//
// Destruction releases nothing: the owner calls Close (the jobs decide when).
#pragma once

#include "platform/com/com.h"
#include "platform/core/types.h"

struct IXMLDOMNode;
struct IXMLDOMDocument2;
struct IXMLDOMNodeList;
class CContactStore;

// Which template a writer's document is made from.
typedef int DocumentKind;
#define DOCUMENT_CONTACTS 0  // contacts backup and duplicate removal
#define DOCUMENT_MESSAGES 1  // messages backup

class CXMLDocument {
 public:
  CXMLDocument();
  ~CXMLDocument() {}

  // Initialises COM, creates the DOM document and opens a contact store
  // (unless m_bWithoutStore is set: the messages backup has no use for one,
  // and a damaged contacts database must not stop it). 1 when open (also
  // when it was open already), 0 when opening failed; a failed open leaves
  // the object closed.
  virtual int Open();
  // Closes and deletes the store, releases every interface held, uninitialises
  // COM and clears m_bOpened.
  virtual void Close();
  // Saves the document to m_szFilePath: 1 on success, 0 otherwise.
  int Save();

  CContactStore* m_pStore;
  IXMLDOMNode* m_pDocNode;
  IXMLDOMDocument2* m_pDoc;
  IXMLDOMNodeList* m_pNodeList;
  int m_bOpened;
  WCHAR m_szFilePath[MAX_PATH];
  int m_bWithoutStore;

 private:
  // 1 while this object holds a COM initialisation of its thread.
  int m_bComInit;
};
