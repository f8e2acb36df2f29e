' Creates the add-in by its ProgID, as a host or script would, and prints
' what its properties answer through late binding.
Option Explicit
Dim addIn, sum
Set addIn = CreateObject("Brindlemark5.CBrindlemark5")
WScript.Echo "settings " & addIn.UpdateOnActivate & addIn.UpdateExistOnly & addIn.PrefaceModel & _
    addIn.SelectProps & addIn.EraseFirst & " " & addIn.Mass & addIn.MassZero & addIn.MassPrec & " " & _
    addIn.Area & addIn.AreaZero & addIn.AreaPrec & " " & addIn.Volume & addIn.VolumeZero & addIn.VolumePrec
WScript.Echo "PhysicalUpdate " & addIn.PhysicalUpdate
addIn.Mass = 1
addIn.Volume = 1
WScript.Echo "PhysicalUpdate " & addIn.PhysicalUpdate
addIn.MassPrec = 5
WScript.Echo "MassPrec " & addIn.MassPrec
WScript.Echo "Automation is Nothing " & (addIn.ApplicationAddInServer_Automation Is Nothing)
addIn.Area = 2147483647
On Error Resume Next
sum = addIn.PhysicalUpdate
WScript.Echo "PhysicalUpdate fails " & Hex(Err.Number) & " " & Err.Description
' Objects go to the add-in by reference: a variable as a reference to its
' VARIANT, an expression in parentheses by value. A dictionary is no
' property set, so the add-in fails at the first property-set call it
' makes on it, having taken the object either way.
Dim notAPropertySet
Set notAPropertySet = CreateObject("Scripting.Dictionary")
Err.Clear
addIn.UpdatePhysicalProps notAPropertySet, "Model_Mass_Value", "1"
WScript.Echo "UpdatePhysicalProps by reference " & Hex(Err.Number) & " " & Err.Description
Err.Clear
addIn.UpdatePhysicalProps (notAPropertySet), "Model_Mass_Value", "1"
WScript.Echo "UpdatePhysicalProps by value " & Hex(Err.Number) & " " & Err.Description
