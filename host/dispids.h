#pragma once

// The dispatch identifiers of the host operations, by which the Windows
// add-in calls the host's automation objects late-bound (it never asks the
// host for them by name), and by which the Windows workbench answers. Plain
// numbers: no platform header here.

#include <cstdint>

namespace bm::host::dispid {

using Id = std::int32_t;

// Add-in site.
inline constexpr Id SiteApplication = 0x03001401;
inline constexpr Id AddCommand = 0x60010002;
// Application.
inline constexpr Id AppEventSource = 0x03000112;
inline constexpr Id HostVersion = 0x03000134;
inline constexpr Id AddInList = 0x03000125;
inline constexpr Id CurrentDocument = 0x03000101;
// Software version.
inline constexpr Id VersionMajor = 0x03003701;
// Add-in entry.
inline constexpr Id AddInActive = 0x0300110B;
// Command definition.
inline constexpr Id CommandEnabled = 0x03003106;
// Document.
inline constexpr Id DocKind = 0x0300020C;
inline constexpr Id FileRefs = 0x03000213;
inline constexpr Id DocPropertySets = 0x0300021F;
inline constexpr Id DocUpdate = 0x0300022E;
inline constexpr Id DocUnits = 0x0300022B;
inline constexpr Id PartDefinition = 0x05000102;
inline constexpr Id AssemblyDefinition = 0x06000102;
// Component definitions: the mass properties of a part's and an assembly's.
inline constexpr Id PartMassProps = 0x0500020C;
inline constexpr Id AssemblyMassProps = 0x06000204;
// File reference.
inline constexpr Id FileRefKind = 0x03001701;
inline constexpr Id FileRefName = 0x03001707;
inline constexpr Id FileRefFullName = 0x03001708;
inline constexpr Id FileRefDocument = 0x0300170B;
// Property set and property.
inline constexpr Id PropAdd = 0x03001B03;
inline constexpr Id PropName = 0x03001D02;
inline constexpr Id PropValue = 0x03001D03;
inline constexpr Id PropDelete = 0x03001D04;
// Mass properties.
inline constexpr Id MassAccuracy = 0x03008704;
inline constexpr Id MassValue = 0x03008703;
inline constexpr Id AreaValue = 0x03008702;
inline constexpr Id VolumeValue = 0x03008701;
// Units service.
inline constexpr Id UnitText = 0x0300390B;
inline constexpr Id UnitConvert = 0x03003909;
// Any list: Item is the default member, enumeration the standard
// _NewEnum (an IEnumVARIANT).
inline constexpr Id Count = 0x7F000006;
inline constexpr Id Item = 0;        // DISPID_VALUE
inline constexpr Id NewEnum = -4;    // DISPID_NEWENUM

}  // namespace bm::host::dispid

