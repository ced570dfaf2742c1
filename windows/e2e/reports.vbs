' Reports of a script's own variables, as a script host's client sees them.
' Each report follows a "=== title" line.
Option Explicit
Dim o, x, lng, s, d, a(2), m(1, 2), v, e, n, dyn(), i, j
Set o = CreateObject("dudUdudADOD.RavoDUZE")

Sub Show(title, text)
  WScript.Echo "=== " & title
  WScript.Echo text
End Sub

x = 5
Show "a variable holding 5", o.RavoDUZE(x)
lng = CLng(70000)
Show "a Long", o.RavoDUZE(lng)
s = "abc"
Show "a string", o.RavoDUZE(s)
d = DateSerial(2000, 1, 2) + TimeSerial(3, 4, 5)
Show "a date", o.RavoDUZE(d, False, 2 + 16)
Show "Dim a(2)", o.RavoDUZE(a)
For i = 0 To 1
  For j = 0 To 2
    m(i, j) = i * 10 + j
  Next
Next
Show "a two-dimensional array", o.RavoDUZE(m, False, 4 + 8 + 16, 2)
v = Array(1, "two", 3.5, True)
Show "Array(...)", o.RavoDUZE(v, False, 16, 0, ";")
e = Empty
Show "Empty, values", o.RavoDUZE(e, False, 16)
n = Null
Show "Null, no section", o.RavoDUZE(n, False, 0)
Show "a literal", o.RavoDUZE(7, False, 1)
Show "HELP", o.HELP
Show "About", o.About
