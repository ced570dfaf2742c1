' Creates the component by its ProgID and asks it for one value; prints
' created: 5 or the error that creation met. Used by side_by_side.sh.
On Error Resume Next
Dim o, x
Set o = CreateObject("dudUdudADOD.RavoDUZE")
If Err.Number <> 0 Then
  WScript.Echo "not created: error " & Err.Number
  WScript.Quit
End If
x = CLng(5)
WScript.Echo "created: " & Split(o.RavoDUZE(x, False, 16), vbCrLf)(3)
