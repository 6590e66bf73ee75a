#include "platform/mapi/cemapi.h"

#define MAPI_IID(name, n) \
  const IID name = {      \
      0x00020300 + (n), 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}}

MAPI_IID(IID_IMAPISession, 0x00);
MAPI_IID(IID_IMAPITable, 0x01);
MAPI_IID(IID_IMAPIProp, 0x03);
MAPI_IID(IID_IMsgStore, 0x06);
MAPI_IID(IID_IMessage, 0x07);
MAPI_IID(IID_IMAPIContainer, 0x0B);
MAPI_IID(IID_IMAPIFolder, 0x0C);
