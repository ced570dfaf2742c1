' Creates the component by its ProgID and asks it for one value's report;
' prints created: 5 or the error that creation met. Used by
' side_by_side.sh.
On Error Resume Next
Dim o, x, report
Set o = CreateObject("dudUdudADOD.RavoDUZE")
If Err.Number <> 0 Then
  WScript.Echo "not created: error " & Err.Number
  WScript.Quit
End If
x = CLng(5)
report = o.RavoDUZE(x, False, 16)
If InStr(report, vbCrLf & "5" & vbCrLf) > 0 Then
  WScript.Echo "created: 5"
Else
  WScript.Echo "created, but the report is: " & report
End If
