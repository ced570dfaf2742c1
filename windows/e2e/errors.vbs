' Run-time errors as a script sees them: Err.Number, Err.Description and
' Err.Source, and no result.
Dim o, n, e, dyn(), r
Set o = CreateObject("dudUdudADOD.RavoDUZE")
On Error Resume Next

Sub Report(title)
  WScript.Echo title & ": " & Err.Number & " " & Err.Description & " (" & Err.Source & ")"
  Err.Clear
End Sub

n = Null
r = o.RavoDUZE(n)
Report "Null"
e = Empty
r = o.RavoDUZE(e)
Report "Empty with every section"
r = o.RavoDUZE(dyn, False, 16)
Report "an array never dimensioned"
r = o.RavoDUZE(1, False, "many")
Report "flags that are no number"
r = o.RavoDUZE()
Report "no argument"
WScript.Echo "still running"
