// The contact field map: which element below a VCARD holds which property.
//
// Three paths occur twice (ADDRESS/WORK2, ADDRESS/HOME2, ADDRESS/COMPANY): on
// backup the later row writes into the element its twin made, on restore both
// rows read the same element. Paths with "//" are written as a plain child of
// ADDRESS and found again at any depth below it.
#include "contacts/ContactFieldMap.h"

const ContactFieldMapEntry ContactFieldMap[CONTACT_FIELD_COUNT] = {
    {u"ADDRESS/FIRST", 0x0082001F},        // 0 first name
    {u"ADDRESS/LAST", 0x0084001F},         // 1 last name
    {u"ADDRESS/FILEAS", 0x0080001F},       // 2 file-as name
    {u"ADDRESS/NICKNAME", 0x0086001F},     // 3 nickname
    {u"ADDRESS/WORK1", 0x0097001F},        // 4 business telephone
    {u"ADDRESS/MOBILE", 0x0096001F},       // 5 mobile telephone
    {u"ADDRESS/HOME1", 0x0099001F},        // 6 home telephone
    {u"ADDRESS/WORK2", 0x0098001F},        // 7 business telephone 2
    {u"ADDRESS/HOME2", 0x009A001F},        // 8 home telephone 2
    {u"ADDRESS/COMPANY", 0x00A0001F},      // 9 company telephone
    {u"ADDRESS/PAGER", 0x009D001F},        // 10 pager
    {u"ADDRESS/CAR", 0x009E001F},          // 11 car telephone
    {u"ADDRESS/ASSIT", 0x00A1001F},        // 12 assistant's telephone
    {u"ADDRESS/RADIO", 0x009F001F},        // 13 radio telephone
    {u"ADDRESS/WORK2", 0x009B001F},        // 14 business fax
    {u"ADDRESS/HOME2", 0x009C001F},        // 15 home fax
    {u"CATEGORIES", 0x101D001F},           // 16 categories (never read)
    {u"ADDRESS/EMAIL1", 0x0090001F},       // 17 e-mail 1
    {u"ADDRESS/EMAIL2", 0x0091001F},       // 18 e-mail 2
    {u"ADDRESS/EMAIL3", 0x0092001F},       // 19 e-mail 3
    {u"ADDRESS/IM1", 0x0093001F},          // 20 instant messaging 1
    {u"ADDRESS/IM2", 0x0094001F},          // 21 instant messaging 2
    {u"ADDRESS/IM3", 0x0095001F},          // 22 instant messaging 3
    {u"WEB", 0x00A7001F},                  // 23 web page
    {u"ADDRESS/COMPANY", 0x008A001F},      // 24 company name
    {u"ADDRESS/DEPT", 0x008B001F},         // 25 department
    {u"ADDRESS/TITLE", 0x008C001F},        // 26 job title
    {u"ADDRESS/OFFICE", 0x008E001F},       // 27 office location
    {u"ADDRESS/MANAGER", 0x008D001F},      // 28 manager
    {u"ADDRESS/ASSITANT", 0x008F001F},     // 29 assistant's name
    {u"ADDRESS/STREET1", 0x00C1001F},      // 30 business street
    {u"ADDRESS/CITY1", 0x00C2001F},        // 31 business city
    {u"ADDRESS/STATE1", 0x00C3001F},       // 32 business state
    {u"ADDRESS/COUNTRY1", 0x00C5001F},     // 33 business country
    {u"ADDRESS/ZIP1", 0x00C4001F},         // 34 business postal code
    {u"ADDRESS/STREET2", 0x00D1001F},      // 35 home street
    {u"ADDRESS/CITY2", 0x00D2001F},        // 36 home city
    {u"ADDRESS/STATE2", 0x00D3001F},       // 37 home state
    {u"ADDRESS/COUNTRY2", 0x00D5001F},     // 38 home country
    {u"ADDRESS/ZIP2", 0x00D4001F},         // 39 home postal code
    {u"ADDRESS/STREET3", 0x00E1001F},      // 40 other street
    {u"ADDRESS/CITY3", 0x00E2001F},        // 41 other city
    {u"ADDRESS/STATE3", 0x00E3001F},       // 42 other state
    {u"ADDRESS/COUNTRY3", 0x00E5001F},     // 43 other country
    {u"ADDRESS/ZIP3", 0x00E4001F},         // 44 other postal code
    {u"ADDRESS/BIRTHDAY", 0x00F00040},     // 45 birthday (date)
    {u"ADDRESS/ANNIVERSARY", 0x00F10040},  // 46 anniversary (date)
    {u"ADDRESS//GOVERMENT", 0x00AA001F},   // 47 government id
    {u"ADDRESS//ACCOUNT", 0x00AB001F},     // 48 account name
    {u"ADDRESS//CUSTOMER", 0x00A9001F},    // 49 customer id
    {u"ADDRESS//SPOUSE", 0x00A5001F},      // 50 spouse
    {u"ADDRESS//CHILDREN", 0x00A6001F},    // 51 children
    {u"NOTE", 0x101F001F},                 // 52 notes (never read)
};
