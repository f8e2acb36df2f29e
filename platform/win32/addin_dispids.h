#ifndef BRINDLEMARK_ADDIN_DISPIDS_H
#define BRINDLEMARK_ADDIN_DISPIDS_H

/* The dispatch identifiers of the add-in's own interface, _CBrindlemark5,
   in the order of its members. The type library is compiled from these
   numbers, and a caller that invokes the add-in late-bound uses them too.
   Plain macros, because the IDL compiler reads this file as well. A
   property's put and get share one identifier. */

#define BM_DISPID_APPEVENTS 1
#define BM_DISPID_UPDATEONACTIVATE 2
#define BM_DISPID_UPDATEEXISTONLY 3
#define BM_DISPID_PREFACEMODEL 4
#define BM_DISPID_SELECTPROPS 5
#define BM_DISPID_ERASEFIRST 6
#define BM_DISPID_ACTIVATE 7
#define BM_DISPID_AUTOMATION 8
#define BM_DISPID_DEACTIVATE 9
#define BM_DISPID_EXECUTECOMMAND 10
#define BM_DISPID_PHYSICALUPDATE 11
#define BM_DISPID_MASS 12
#define BM_DISPID_MASSZERO 13
#define BM_DISPID_MASSPREC 14
#define BM_DISPID_AREA 15
#define BM_DISPID_AREAZERO 16
#define BM_DISPID_AREAPREC 17
#define BM_DISPID_VOLUME 18
#define BM_DISPID_VOLUMEZERO 19
#define BM_DISPID_VOLUMEPREC 20
#define BM_DISPID_GETPHYSICALPROPS 21
#define BM_DISPID_UPDATEPHYSICALPROPS 22

#endif
